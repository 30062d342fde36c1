// Doctor's verdicts on facts as the libraries, the store and the files would give them, one
// table per check: each row changes a healthy installation's facts in one way and names every
// finding that is not ok, and one finding by the facts its text must name (ids, keys, dates,
// indexes, paths), spelled here as a customer reads them.
#include "Catalogue.h"
#include "Diagnosis.h"
#include "KestResultMessages.h"
#include "Terminal.h"

#include <gmock/gmock.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace kest::tool {
namespace {

constexpr char kIssuer[] = "CN=Kest Test CA, O=Kest Test, C=JP";
constexpr char kSigner[] = "CN=Signer, O=Kest Test, C=JP";
constexpr char kNow[] = "2026.12.10 09:30:00";

// One holder's certificates (current, renewed, expired and its renewal, not yet valid) and a
// colleague's, of one issuer; their ids, serial;issuer, as the settings file holds them.
const StoreCertificate kCurrent{kSigner, kIssuer, "0d01", "2026.01.01 00:00:00", "2027.12.31 23:59:59"};
constexpr char kCurrentId[] = "0d01;CN=Kest Test CA, O=Kest Test, C=JP";
const StoreCertificate kRenewed{kSigner, kIssuer, "0d02", "2026.06.01 00:00:00", "2028.05.31 23:59:59"};
constexpr char kRenewedId[] = "0d02;CN=Kest Test CA, O=Kest Test, C=JP";
const StoreCertificate kColleague{"CN=Colleague, O=Kest Test, C=JP", kIssuer, "0c01", "2026.01.01 00:00:00",
                                  "2027.12.31 23:59:59"};
constexpr char kColleagueId[] = "0c01;CN=Kest Test CA, O=Kest Test, C=JP";
const StoreCertificate kExpired{kSigner, kIssuer, "0e01", "2020.01.01 00:00:00", "2021.12.31 23:59:59"};
constexpr char kExpiredId[] = "0e01;CN=Kest Test CA, O=Kest Test, C=JP";
const StoreCertificate kExpiredRenewal{kSigner, kIssuer, "0e02", "2021.12.01 00:00:00", "2027.11.30 23:59:59"};
constexpr char kExpiredRenewalId[] = "0e02;CN=Kest Test CA, O=Kest Test, C=JP";
const StoreCertificate kFuture{kSigner, kIssuer, "0f01", "2027.01.01 00:00:00", "2029.12.31 23:59:59"};

// A healthy installation: one valid certificate with its key, marked, the choice skipped.
Diagnosis healthy() {
    Diagnosis facts;
    facts.now = kNow;
    facts.installation = {std::string("C:\\Kest"), true, std::nullopt};
    facts.settings.path = "C:\\Kest\\KestEnv.ini";
    facts.settings.encoding = Encoding::shiftJis;
    facts.settings.sections = {"MyCertificate"};
    facts.settings.keys = {"OmitSelectCert", "CertId_0000"};
    facts.settings.omit = 1;
    facts.catalogue.read = true;
    facts.log = {true, {LogDestination::Verdict::written, "to C:\\Kest\\kest.log", ""}};
    facts.certificates.listed = {kCurrent};
    facts.certificates.storeWalked = true;
    facts.candidates.stored = {{kCurrentId, 0}};
    facts.candidates.valueOf = {{0, kCurrentId}};
    return facts;
}

// Stored ids, each with the list position findMyCert finds it at, under CertId_0000 on.
void store(Diagnosis& facts, const std::vector<Diagnosis::StoredId>& stored) {
    facts.settings.keys = {"OmitSelectCert"};
    facts.candidates = {KEST_OK, stored, {}};
    for (unsigned n = 0; n < stored.size(); ++n) {
        char key[16];
        std::snprintf(key, sizeof key, "CertId_%04u", n);
        facts.settings.keys.emplace_back(key);
        facts.candidates.valueOf[n] = stored[n].id;
    }
}

struct Row {
    const char* name;
    void (*arrange)(Diagnosis&);
    std::vector<std::string> notOk;  // "<status> <check>" of each finding that is not ok, in order
    // One finding: its check and status, what its text or what to do names, and does not.
    const char* check;
    Status status;
    std::vector<std::string> holds;
    std::vector<std::string> lacks = {};
    std::optional<ResultCode> code = std::nullopt;
};

std::string said(Status status) {
    return status == Status::ok ? "ok" : status == Status::warning ? "warning" : "problem";
}

std::string shown(const std::vector<Finding>& findings) {
    std::string text;
    for (const Finding& finding : findings)
        text += said(finding.status) + " " + finding.check + ": " + finding.text + " | " + finding.remedy + "\n";
    return text;
}

void expectVerdicts(const std::vector<Row>& rows) {
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Diagnosis facts = healthy();
        row.arrange(facts);
        const std::vector<Finding> findings = diagnose(facts);
        std::vector<std::string> notOk;
        for (const Finding& finding : findings)
            if (finding.status != Status::ok) notOk.push_back(said(finding.status) + " " + finding.check);
        EXPECT_EQ(notOk, row.notOk) << shown(findings);
        const Finding* line = nullptr;
        for (const Finding& finding : findings) {
            const std::string text = finding.text + " | " + finding.remedy;
            if (finding.check == std::string(row.check) && finding.status == row.status &&
                std::all_of(row.holds.begin(), row.holds.end(),
                            [&](const std::string& part) { return text.find(part) != std::string::npos; }))
                line = &finding;
        }
        if (line == nullptr) {
            ADD_FAILURE() << "no " << said(row.status) << " line of " << row.check << " holding "
                          << ::testing::PrintToString(row.holds) << " in\n"
                          << shown(findings);
            continue;
        }
        for (const std::string& part : row.lacks)
            EXPECT_THAT(line->text + line->remedy, ::testing::Not(::testing::HasSubstr(part)));
        EXPECT_EQ(line->code, row.code);
    }
}

TEST(KestToolDoctorVerdicts, HealthyInstallationIsOkThroughout) {
    expectVerdicts({{"healthy",
                     [](Diagnosis&) {},
                     {},
                     "candidates",
                     Status::ok,
                     {std::string("CertId_0000 CN=Signer, O=Kest Test, C=JP (") + kCurrentId + ")"}},
                    {"log off", [](Diagnosis& facts) { facts.log.on = false; }, {}, "log", Status::ok, {"off"}}});
}

// A line for every result code, its message in Shift_JIS, but line `utf8Line` (from 1) in UTF-8.
std::string catalogueOfEveryCode(std::size_t utf8Line = 0) {
    std::string bytes;
    for (const ResultMessage& entry : kResultMessages) {
        char head[16];
        std::snprintf(head, sizeof head, "X%08X,", entry.code);
        const bool utf8 = &entry - kResultMessages + 1 == static_cast<std::ptrdiff_t>(utf8Line);
        bytes += head + (utf8 ? toUtf8(entry.text, kMessageCodePage) : std::string(entry.text)) + "\r\n";
    }
    return bytes;
}

// The catalogue's facts as the gathering takes them from its bytes.
void catalogueOf(Diagnosis& facts, const std::string& bytes) {
    facts.catalogue.encoding = checkCatalogueEncoding(bytes);
    facts.catalogue.findings = checkCatalogue(bytes);
}

// Installed under C:\Café: KestInstallPath's ANSI text spells it C:\Cafe, where neither the
// settings file nor the catalogue is found.
void installedUnderCafe(Diagnosis& facts) {
    facts.installation = {std::string("C:\\Cafe"), false, std::string("C:\\Caf\xc3\xa9")};
    facts.settings = {};
    facts.settings.pathCode = KEST_E_NO_SETTINGS_FILE;
    facts.settings.path = "C:\\Cafe\\KestEnv.ini";
    facts.catalogue = {};
}

TEST(KestToolDoctorVerdicts, InstallationCatalogueAndLog) {
    expectVerdicts({
        {"no installation directory",
         [](Diagnosis& facts) {
             facts.installation = {};
             facts.catalogue = {};
         },
         {"problem installation", "warning catalogue"},
         "installation",
         Status::problem,
         {"KestInstallPath", "kesttool install-dir <folder>"}},
        {"installation directory gone",
         [](Diagnosis& facts) {
             facts.installation.isFolder = false;
             facts.catalogue = {};
         },
         {"problem installation", "problem catalogue"},
         "catalogue",
         Status::problem,
         {"C:\\Kest\\KestErr.csv not found"}},
        // Restoring the files would not help; the folder's name is what is missed.
        {"an installation folder the code page cannot spell",
         installedUnderCafe,
         {"problem installation", "problem settings", "problem catalogue", "warning candidates"},
         "installation",
         Status::problem,
         {"the folder is C:\\Caf\xc3\xa9"
          ", a name the code page cannot spell",
          "install into a folder"}},
        {"a missing settings file in a folder the code page cannot spell",
         installedUnderCafe,
         {"problem installation", "problem settings", "problem catalogue", "warning candidates"},
         "settings",
         Status::problem,
         {"see the installation line", "install into a folder"},
         {"restore it"},
         KEST_E_NO_SETTINGS_FILE},
        {"catalogue with a finding",
         [](Diagnosis& facts) {
             facts.catalogue.findings = {{15, "code 25000101 written twice (first on line 3)"}};
         },
         {"warning catalogue"},
         "catalogue",
         Status::warning,
         {"C:\\Kest\\KestErr.csv: 1 finding: line 15: code 25000101 written twice",
          "kesttool check-catalogue C:\\Kest\\KestErr.csv"}},
        {"catalogue with four findings names three",
         [](Diagnosis& facts) {
             facts.catalogue.findings = {{14, "first"}, {15, "second"}, {0, "third"}, {16, "fourth"}};
         },
         {"warning catalogue"},
         "catalogue",
         Status::warning,
         {"4 findings", "line 14: first", "line 15: second; third; ..."},
         {"fourth", "line 0"}},
        // As the gathering reads the file: its findings and how it was saved, from its bytes.
        {"catalogue saved as UTF-8",
         [](Diagnosis& facts) {
             std::string bytes;
             for (const ResultMessage& entry : kResultMessages) {
                 char head[16];
                 std::snprintf(head, sizeof head, "X%08X,", entry.code);
                 bytes += head + toUtf8(entry.text, kMessageCodePage) + "\r\n";
             }
             facts.catalogue.encoding = checkCatalogueEncoding(bytes);
             facts.catalogue.findings = checkCatalogue(bytes);
         },
         {"problem catalogue"},
         "catalogue",
         Status::problem,
         {"C:\\Kest\\KestErr.csv: saved as UTF-8", "garbled"}},
        // ShowError reads the mark as the first line's letter and digits; the other lines are sound.
        {"catalogue with a byte-order mark before Shift_JIS",
         [](Diagnosis& facts) { catalogueOf(facts, "\xEF\xBB\xBF" + catalogueOfEveryCode()); },
         {"warning catalogue"},
         "catalogue",
         Status::warning,
         {"2 findings: line 1: begins with UTF-8's byte-order mark",
          "no line with a message for code " + hexDigits(kResultMessages[0].code)},
         {"garbled", "line 2"}},
        {"catalogue with one line in UTF-8 among Shift_JIS",
         [](Diagnosis& facts) { catalogueOf(facts, catalogueOfEveryCode(3)); },
         {"warning catalogue"},
         "catalogue",
         Status::warning,
         {"1 finding: line 3: code " + hexDigits(kResultMessages[2].code) + ": its message is UTF-8", "garbled"},
         {"line 2", "line 4", "saved as"}},
        // An old editor's end-of-file mark, then bytes of UTF-16 and UTF-8 that ShowError never reads.
        {"catalogue with bytes after its end-of-file mark",
         [](Diagnosis& facts) {
             const std::string read = catalogueOfEveryCode();
             const std::string afterTheMark = std::string("\x1A") + 'X' + '\0' + '2' + '\0' + "\xE8\xA8\xAD";
             facts.catalogue.encoding = checkCatalogueEncoding(read + afterTheMark);
             facts.catalogue.findings = checkCatalogue(read);
         },
         {},
         "catalogue",
         Status::ok,
         {"no findings"}},
        {"catalogue without a line for most codes",
         [](Diagnosis& facts) { facts.catalogue.findings = checkCatalogue(""); },
         {"problem catalogue"},
         "catalogue",
         Status::problem,
         {std::to_string(std::size(kResultMessages)) + " of the " + std::to_string(std::size(kResultMessages)) +
              " codes",
          "kesttool check-catalogue C:\\Kest\\KestErr.csv"}},
        {"log to a relative path",
         [](Diagnosis& facts) {
             facts.log.destination = {LogDestination::Verdict::elsewhere, "to kest.log, a relative path", "set one"};
         },
         {"warning log"},
         "log",
         Status::warning,
         {"on, to kest.log, a relative path", "set one"}},
        {"log dropped",
         [](Diagnosis& facts) {
             facts.log.destination = {LogDestination::Verdict::dropped, "but no LogPath", "set a log file"};
         },
         {"problem log"},
         "log",
         Status::problem,
         {"on, but no LogPath", "set a log file"}},
    });
}

TEST(KestToolDoctorVerdicts, Settings) {
    expectVerdicts({
        {"settings file not found",
         [](Diagnosis& facts) {
             facts.settings = {};
             facts.settings.pathCode = KEST_E_NO_SETTINGS_FILE;
             facts.settings.path = "C:\\Kest\\KestEnv.ini";
         },
         {"problem settings", "warning candidates"},
         "settings",
         Status::problem,
         {"C:\\Kest\\KestEnv.ini not found", "restore it"},
         {},
         KEST_E_NO_SETTINGS_FILE},
        // What a backup or sync client does: the remedy is to close it, not to give rights.
        {"held by another program",
         [](Diagnosis& facts) {
             facts.settings.writeRefusal = ERROR_SHARING_VIOLATION;
             facts.candidates.readCode = KEST_E_SETTINGS_READ;
         },
         {"problem settings", "problem candidates"},
         "settings",
         Status::problem,
         {"another program holds it open (error 32)", "close that program"},
         {"right"}},
        {"candidates the library cannot read",
         [](Diagnosis& facts) {
             facts.settings.writeRefusal = ERROR_SHARING_VIOLATION;
             facts.candidates.readCode = KEST_E_SETTINGS_READ;
         },
         {"problem settings", "problem candidates"},
         "candidates",
         Status::problem,
         {"cannot read the candidates", "close the program that holds the file"},
         {},
         KEST_E_SETTINGS_READ},
        {"read-only",
         [](Diagnosis& facts) { facts.settings.writeRefusal = ERROR_FILE_READ_ONLY; },
         {"problem settings"},
         "settings",
         Status::problem,
         {"read-only", "attrib -r C:\\Kest\\KestEnv.ini"}},
        {"not writable",
         [](Diagnosis& facts) { facts.settings.writeRefusal = ERROR_ACCESS_DENIED; },
         {"problem settings"},
         "settings",
         Status::problem,
         {"(error 5)", "the right to write it"}},
        {"saved as UTF-8 with a mark",
         [](Diagnosis& facts) { facts.settings.encoding = Encoding::utf8WithBom; },
         {"problem settings"},
         "settings",
         Status::problem,
         {"C:\\Kest\\KestEnv.ini: saved as UTF-8 with a byte-order mark", "Shift_JIS"}},
        // Windows reads a file with UTF-16's little-endian mark: a warning only.
        {"saved as UTF-16",
         [](Diagnosis& facts) { facts.settings.encoding = Encoding::utf16Le; },
         {"warning settings"},
         "settings",
         Status::warning,
         {"UTF-16 with a little-endian byte-order mark", "Shift_JIS"}},
        {"NUL bytes",
         [](Diagnosis& facts) {
             facts.settings.encoding = Encoding::nulBytes;
             facts.settings.firstNul = 40;
         },
         {"problem settings"},
         "settings",
         Status::problem,
         {"byte 40"}},
        // Key names in any letter case are the library's; a near name of its section is a typo.
        {"misspelled section and a key nothing reads",
         [](Diagnosis& facts) {
             facts.settings.sections = {"MyCertificate", "MyCertficate", "Printing"};
             facts.settings.keys = {"omitselectcert", "certid_0000", "CertId_1"};
         },
         {"warning settings"},
         "settings",
         Status::warning,
         {"nothing reads [MyCertficate], [MyCertificate] CertId_1", "OmitSelectCert and CertId_0000"},
         {"Printing", "omitselectcert", "certid_0000"}},
        // The profile functions read the first section of the name, in any letter case, alone.
        {"the library's section twice",
         [](Diagnosis& facts) {
             facts.settings.sections = {"MyCertificate", "Printing", "mycertificate"};
         },
         {"warning settings"},
         "settings",
         Status::warning,
         {"[MyCertificate] is there 2 times: the profile functions read the first alone",
          "the later [mycertificate]; move them into the first"},
         {"Printing"}},
        {"no OmitSelectCert",
         [](Diagnosis& facts) { facts.settings.omitCode = KEST_E_SETTINGS_READ; },
         {"warning settings"},
         "settings",
         Status::warning,
         {"no OmitSelectCert", "kesttool omit set"},
         {},
         KEST_E_SETTINGS_READ},
        {"OmitSelectCert neither 0 nor 1",
         [](Diagnosis& facts) { facts.settings.omitCode = KEST_E_OMIT_SELECT_INVALID; },
         {"problem settings"},
         "settings",
         Status::problem,
         {"OmitSelectCert", "kesttool omit set"},
         {},
         KEST_E_OMIT_SELECT_INVALID},
    });
}

TEST(KestToolDoctorVerdicts, Certificates) {
    expectVerdicts({
        {"no list",
         [](Diagnosis& facts) {
             facts.certificates = {};
             facts.certificates.listCode = KEST_E_STORE_OPEN;
         },
         {"problem certificates", "warning candidates"},
         "certificates",
         Status::problem,
         {"list cannot be made", "--trace"},
         {},
         KEST_E_STORE_OPEN},
        {"empty list",
         [](Diagnosis& facts) {
             facts.certificates.listed = {};
             store(facts, {});
         },
         {"problem certificates", "warning candidates"},
         "certificates",
         Status::problem,
         {"no certificate", "kesttool add-p12"}},
        {"expired one in the list",
         [](Diagnosis& facts) {
             facts.certificates.listed = {kCurrent, kExpired};
         },
         {"warning certificates"},
         "certificates",
         Status::warning,
         {std::string("(") + kExpiredId + "): expired on 2021.12.31 23:59:59 UTC", "kesttool remove 2"}},
        {"one not valid yet",
         [](Diagnosis& facts) {
             facts.certificates.listed = {kCurrent, kFuture};
         },
         {"warning certificates"},
         "certificates",
         Status::warning,
         {"not valid before 2027.01.01 00:00:00 UTC", "clock"}},
        // Valid to the end of its last second, in UTC as the records' validity and now.
        {"valid in its last second",
         [](Diagnosis& facts) { facts.certificates.listed[0].notAfter = kNow; },
         {},
         "candidates",
         Status::ok,
         {kCurrentId}},
        {"expired a second ago",
         [](Diagnosis& facts) { facts.certificates.listed[0].notAfter = "2026.12.10 09:29:59"; },
         {"warning certificates", "warning candidates", "problem candidates"},
         "certificates",
         Status::warning,
         {"expired on 2026.12.10 09:29:59 UTC"}},
        {"store not walked",
         [](Diagnosis& facts) { facts.certificates.storeWalked = false; },
         {"warning certificates"},
         "certificates",
         Status::warning,
         {"certmgr.msc"}},
        // Names in the active code page (Shift_JIS here) are said in UTF-8.
        {"four left out for their key, three named",
         [](Diagnosis& facts) {
             facts.certificates.withoutKey = {
                 {"CN=\x8e\x52\x93\x63", kIssuer, "0a01", {}, {}}, kColleague, kRenewed, kExpired};
         },
         {"warning certificates"},
         "certificates",
         Status::warning,
         {"4 certificates of the personal store left out", u8"CN=山田 (0a01;CN=Kest Test CA, O=Kest Test, C=JP)",
          kColleagueId, kRenewedId, ", ...", "insert the smart card"},
         {kExpiredId}},
    });
}

TEST(KestToolDoctorVerdicts, StoredIdsTheListDoesNotFind) {
    expectVerdicts({
        {"an id no certificate carries",
         [](Diagnosis& facts) {
             store(facts, {{"0bad;CN=Nobody", std::nullopt}});
         },
         {"problem candidates", "problem candidates"},
         "candidates",
         Status::problem,
         {"CertId_0000 0bad;CN=Nobody matches no certificate", "kesttool unmark \"0bad;CN=Nobody\""},
         {"successor", "same issuer"}},
        {"its key unreachable, its renewal in the list",
         [](Diagnosis& facts) {
             facts.certificates.listed = {kColleague, kRenewed};
             facts.certificates.withoutKey = {kCurrent};
             store(facts, {{kCurrentId, std::nullopt}});
         },
         {"warning certificates", "problem candidates", "problem candidates"},
         "candidates",
         Status::problem,
         {"CertId_0000 " + std::string(kCurrentId), "private key cannot be reached", "successor", kRenewedId,
          "kesttool mark 2"},
         {kColleagueId}},
        {"its key unreachable, no renewal",
         [](Diagnosis& facts) {
             facts.certificates.listed = {kColleague};
             facts.certificates.withoutKey = {kCurrent};
             store(facts, {{kCurrentId, std::nullopt}});
         },
         {"warning certificates", "problem candidates", "problem candidates"},
         "candidates",
         Status::problem,
         {"private key cannot be reached", "insert the smart card", "kesttool unmark \"" + std::string(kCurrentId)},
         {"successor", kColleagueId}},
        // The valid ones of its issuer, the first to mark.
        {"gone, others of its issuer in the list",
         [](Diagnosis& facts) {
             facts.certificates.listed = {kExpired, kColleague, kRenewed};
             store(facts, {{kCurrentId, std::nullopt}});
         },
         {"warning certificates", "problem candidates", "problem candidates"},
         "candidates",
         Status::problem,
         {"same issuer", kColleagueId, kRenewedId, "kesttool mark 2 for the first",
          "kesttool unmark \"" + std::string(kCurrentId)},
         {kExpiredId}},
    });
}

TEST(KestToolDoctorVerdicts, StoredCandidatesAndTheirRenewals) {
    expectVerdicts({
        // An in-house CA reissued the expired one under the same serial: marking the valid one
        // stores the same id, which finds the later of the two, the expired one, again.
        {"expired whose valid twin shares its id",
         [](Diagnosis& facts) {
             facts.settings.omit = 0;
             facts.certificates.listed = {{kSigner, kIssuer, "0e01", "2022.01.01 00:00:00", "2049.12.31 23:59:59"},
                                          kExpired};
             store(facts, {{kExpiredId, 1}});
         },
         {"warning certificates", "warning certificates", "warning candidates", "problem candidates"},
         "candidates",
         Status::warning,
         {"CertId_0000 ", "the valid 1 carries the same id", "kesttool remove 2"},
         {"kesttool mark"}},
        {"two certificates with one id",
         [](Diagnosis& facts) {
             facts.certificates.listed = {kCurrent,
                                          {kSigner, kIssuer, "0d01", "2026.02.01 00:00:00", "2028.01.31 23:59:59"}};
             store(facts, {{kCurrentId, 1}});
         },
         {"warning certificates"},
         "certificates",
         Status::warning,
         {"1: ", "and 2: ", "carry one id", "always takes the later, 2", "kesttool remove <index>"}},
        {"expired, the choice skipped",
         [](Diagnosis& facts) {
             facts.certificates.listed = {kExpired};
             store(facts, {{kExpiredId, 0}});
         },
         {"warning certificates", "warning candidates", "problem candidates"},
         "candidates",
         Status::problem,
         {"none of the 1 stored candidate", "OmitSelectCert=1", "kesttool omit clear"}},
        {"expired beside its renewal",
         [](Diagnosis& facts) {
             facts.settings.omit = 0;
             facts.certificates.listed = {kExpired, kExpiredRenewal};
             store(facts, {{kExpiredId, 0}});
         },
         {"warning certificates", "warning candidates", "problem candidates"},
         "candidates",
         Status::warning,
         {"CertId_0000 ", kExpiredId, "expired on 2021.12.31 23:59:59 UTC", kExpiredRenewalId, "kesttool mark 2"}},
        {"expired beside a valid one",
         [](Diagnosis& facts) {
             facts.certificates.listed = {kCurrent, kExpired};
             store(facts, {{kCurrentId, 0}, {kExpiredId, 1}});
         },
         {"warning certificates", "warning candidates"},
         "candidates",
         Status::warning,
         {"CertId_0001 ", kExpiredId, "expired on"}},
        {"valid, a newer renewal unmarked",
         [](Diagnosis& facts) {
             facts.certificates.listed = {kCurrent, kRenewed};
         },
         {"warning candidates"},
         "candidates",
         Status::warning,
         {"CertId_0000 ", kCurrentId, "newer renewal", kRenewedId, "kesttool mark 2"}},
        {"valid, its newer renewal marked too",
         [](Diagnosis& facts) {
             facts.certificates.listed = {kCurrent, kRenewed};
             store(facts, {{kCurrentId, 0}, {kRenewedId, 1}});
         },
         {},
         "candidates",
         Status::ok,
         {"CertId_0001 ", kRenewedId}},
        {"the newer one marked, an older one beside it",
         [](Diagnosis& facts) {
             facts.certificates.listed = {kCurrent, kRenewed};
             store(facts, {{kRenewedId, 1}});
         },
         {},
         "candidates",
         Status::ok,
         {"CertId_0000 ", kRenewedId}},
        {"none stored, the choice skipped",
         [](Diagnosis& facts) { store(facts, {}); },
         {"warning candidates"},
         "candidates",
         Status::warning,
         {"none stored", "OmitSelectCert=1", "kesttool mark <index>"}},
        {"none stored, the choice shown",
         [](Diagnosis& facts) {
             facts.settings.omit = 0;
             store(facts, {});
         },
         {},
         "candidates",
         Status::ok,
         {"none stored", "the user chooses"}},
    });
}

// The library reads the candidates up to the first key missing or empty.
TEST(KestToolDoctorVerdicts, CandidateKeysTheLibraryNeverReads) {
    expectVerdicts({
        {"after a missing key",
         [](Diagnosis& facts) {
             store(facts, {});
             facts.settings.keys.emplace_back("CertId_0001");
             facts.candidates.valueOf[1] = kCurrentId;
         },
         {"warning candidates", "warning candidates"},
         "candidates",
         Status::warning,
         {"CertId_0001 " + std::string(kCurrentId) + " is never read", "CertId_0000 is missing"}},
        {"after an empty key",
         [](Diagnosis& facts) {
             facts.settings.keys = {"OmitSelectCert", "CertId_0000", "CertId_0001", "CertId_0002"};
             facts.candidates.valueOf = {{0, kCurrentId}, {1, ""}, {2, kRenewedId}};
         },
         {"warning candidates"},
         "candidates",
         Status::warning,
         {"CertId_0002 " + std::string(kRenewedId) + " is never read", "CertId_0001 is empty"}},
        {"an emptied key after the last is no news",
         [](Diagnosis& facts) {
             facts.settings.keys = {"OmitSelectCert", "CertId_0000", "CertId_0001"};
             facts.candidates.valueOf = {{0, kCurrentId}, {1, ""}};
         },
         {},
         "candidates",
         Status::ok,
         {kCurrentId}},
        // The profile functions find keys in any letter case.
        {"a key in lower case after a missing one",
         [](Diagnosis& facts) {
             store(facts, {});
             facts.settings.keys.emplace_back("certid_0001");
             facts.candidates.valueOf[1] = kCurrentId;
         },
         {"warning candidates", "warning candidates"},
         "candidates",
         Status::warning,
         {"certid_0001 " + std::string(kCurrentId) + " is never read", "CertId_0000 is missing"}},
    });
}

// Where the records go, told from the log file's facts as Log meets them: LogPath as KestIniRead
// hands it over, the name as Windows' file functions answer for it, an existing file as Log's
// open (read and write, shared with no one) answers.
// Each kind as "File path formats on Windows systems" (Win32 documentation) describes it.
TEST(KestToolLogVerdicts, APathIsOfTheKindWindowsMakesOfIt) {
    const std::pair<const char*, PathKind> kinds[] = {
        {"C:\\Kest\\kest.log", PathKind::driveAbsolute},
        {"c:/Kest/kest.log", PathKind::driveAbsolute},
        {"\\\\?\\C:\\Kest\\kest.log", PathKind::driveAbsolute},
        {"\\\\.\\C:\\Kest\\kest.log", PathKind::driveAbsolute},
        {"Z:kest.log", PathKind::driveRelative},
        {"Z:", PathKind::driveRelative},
        {"\\Kest\\kest.log", PathKind::rooted},
        {"/Kest/kest.log", PathKind::rooted},
        {"kest.log", PathKind::relative},
        {"..\\logs\\kest.log", PathKind::relative},
        {"\\\\server\\share\\kest.log", PathKind::unc},
        {"//server/share/kest.log", PathKind::unc},
        {"\\/server\\share\\kest.log", PathKind::unc},
        {"\\\\?\\UNC\\server\\share\\kest.log", PathKind::unc},
        {"\\\\.\\NUL", PathKind::device},
        {"\\\\.\\pipe\\kest", PathKind::device},
        {"NUL", PathKind::device},
        {"C:\\Kest\\nul.log", PathKind::device},
        {"C:\\Kest\\COM1", PathKind::device},
        {"C:\\Kest\\com10.log", PathKind::driveAbsolute},
        {"C:\\Kest\\CONSOLE.log", PathKind::driveAbsolute},
        // 表 is 0x95 0x5C: its trail byte is no separator, and the name is not NUL's.
        {"C:\\表\\kest.log", PathKind::driveAbsolute},
    };
    for (const auto& [path, kind] : kinds) EXPECT_EQ(pathKind(path), kind) << path;
}

TEST(KestToolLogVerdicts, WhereTheRecordsGo) {
    using Verdict = LogDestination::Verdict;
    struct LogRow {
        const char* name;
        LogFile facts;
        Verdict verdict;
        std::vector<std::string> holds;  // in "<where> | <remedy>"
        std::vector<std::string> lacks = {};
    };
    const auto absolute = [](const char* path) {
        LogFile facts;
        facts.path = path;
        facts.folder = "C:\\Kest";
        facts.expanded = path;
        facts.exists = true;
        return facts;
    };
    const auto with = [](LogFile facts, auto change) {
        change(facts);
        return facts;
    };
    const LogFile log = absolute("C:\\Kest\\kest.log");
    const std::vector<LogRow> rows = {
        {"an existing file Log opens", log, Verdict::written, {"to C:\\Kest\\kest.log |"}, {"made"}},
        {"a file not there in a folder that is",
         with(log, [](LogFile& f) { f.exists = false, f.nameError = ERROR_FILE_NOT_FOUND; }),
         Verdict::written,
         {"(made with the first record)"}},
        // Log's open shares with readers only: what refuses it is another writer.
        {"held open by another program",
         with(log, [](LogFile& f) { f.openError = ERROR_SHARING_VIOLATION; }),
         Verdict::dropped,
         {"another program holds open for writing", "then drops it", "| close the program that holds it"}},
        {"read-only",
         with(log, [](LogFile& f) { f.readOnly = true, f.openError = ERROR_ACCESS_DENIED; }),
         Verdict::dropped,
         {"which is read-only: every record is dropped", "attrib -r C:\\Kest\\kest.log"}},
        {"the folder missing",
         with(log, [](LogFile& f) { f.exists = false, f.nameError = ERROR_PATH_NOT_FOUND; }),
         Verdict::dropped,
         {"but the folder C:\\Kest does not exist: every record is dropped"}},
        // Windows refuses the quotes as part of a name wherever the host was started.
        {"pasted with its quotes",
         with(log,
              [](LogFile& f) {
                  f.path = f.expanded = "\"C:\\Kest\\kest.log\"";
                  f.kind = PathKind::relative, f.exists = false, f.nameError = ERROR_INVALID_NAME;
              }),
         Verdict::dropped,
         {"a name Windows refuses (error 123): every record is dropped",
          "| take the quotes off: kesttool log on C:\\Kest\\kest.log"},
         {"relative", "working folder"}},
        {"an unexpanded %TEMP%",
         with(log,
              [](LogFile& f) {
                  f.path = "%TEMP%\\kest.log", f.folder = "%TEMP%", f.expanded = "C:\\Users\\u\\Temp\\kest.log";
                  f.kind = PathKind::relative, f.exists = false, f.nameError = ERROR_PATH_NOT_FOUND;
              }),
         Verdict::dropped,
         {"nothing expands the environment variables in LogPath", "holds no folder %TEMP%",
          "| set the path expanded: kesttool log on C:\\Users\\u\\Temp\\kest.log"},
         {"wherever it was started"}},
        {"a variable in an absolute name",
         with(log,
              [](LogFile& f) {
                  f.path = "C:\\Kest\\%USERNAME%.log", f.expanded = "C:\\Kest\\u.log";
                  f.exists = false, f.nameError = ERROR_FILE_NOT_FOUND;
              }),
         Verdict::elsewhere,
         {"the log writer opens the name as written", "| set the path expanded: kesttool log on C:\\Kest\\u.log"}},
        {"a relative path with a folder: the host's working folder decides",
         with(log,
              [](LogFile& f) {
                  f.path = f.expanded = "logs\\kest.log", f.folder = "logs", f.kind = PathKind::relative;
                  f.exists = false, f.nameError = ERROR_PATH_NOT_FOUND;
              }),
         Verdict::unknown,
         {"cannot tell", "holds no folder logs"}},
        {"a name Windows answers for otherwise",
         with(log, [](LogFile& f) { f.exists = false, f.nameError = ERROR_ACCESS_DENIED; }),
         Verdict::unknown,
         {"cannot tell whether the log writer can make it: Windows answers error 5"}},
        // The settings service refuses a value longer than the 260 bytes Log's buffer holds.
        {"a LogPath longer than KestIniRead hands over",
         with(LogFile{}, [](LogFile& f) { f.pathRead = ERROR_MORE_DATA, f.standInLength = 300; }),
         Verdict::dropped,
         {"its LogPath of 300 bytes is longer than the 260 the log writer reads", "(result 234)",
          "| set a shorter path"},
         {"no LogPath"}},
        {"no LogPath",
         with(LogFile{}, [](LogFile& f) { f.pathRead = ERROR_FILE_NOT_FOUND; }),
         Verdict::dropped,
         {"but no LogPath (KestIniRead's result 2): every record is dropped"}},
    };
    for (const LogRow& row : rows) {
        SCOPED_TRACE(row.name);
        const LogDestination destination = logDestination(row.facts);
        const std::string text = destination.where + " | " + destination.remedy;
        EXPECT_EQ(static_cast<int>(destination.verdict), static_cast<int>(row.verdict)) << text;
        for (const std::string& part : row.holds) EXPECT_THAT(text, ::testing::HasSubstr(part));
        for (const std::string& part : row.lacks) EXPECT_THAT(text, ::testing::Not(::testing::HasSubstr(part)));
    }
}

// The report: status and check in columns, a library's code and its message before what to do,
// the count last; --trace adds the records of each check that found something, once a check;
// the JSON says the same text and what to do as one.
TEST(KestToolDoctorReport, TextTraceAndJsonSayTheSameFindings) {
    const std::vector<Finding> findings = {
        {"installation", Status::ok, "C:\\Kest", "", std::nullopt},
        {"settings", Status::problem, "C:\\Kest\\KestEnv.ini not found", "restore it", KEST_E_NO_SETTINGS_FILE},
        {"settings", Status::warning, "more", "do this", std::nullopt},
        {"candidates", Status::warning, "not checked", "mend the lines above", std::nullopt}};
    const RecordsByCheck records = {{"installation", {"KestCommonUtil.cpp,10,a"}},
                                    {"settings", {"KestCommonUtil.cpp,20,b", "KestCommonUtil.cpp,30,c"}}};
    const std::string message = toUtf8(resultMessage(KEST_E_NO_SETTINGS_FILE), kMessageCodePage);
    EXPECT_EQ(findingsText(findings),
              "ok       installation  C:\\Kest\n"
              "problem  settings      C:\\Kest\\KestEnv.ini not found: 0x25000101 " +
                  message +
                  "; restore it\n"
                  "warning  settings      more; do this\n"
                  "warning  candidates    not checked; mend the lines above\n"
                  "1 problem, 2 warnings\n");
    EXPECT_EQ(findingsTrace(findings, records),
              "--- the libraries' records of the settings check: 2 records\n"
              "    KestCommonUtil.cpp,20,b\n"
              "    KestCommonUtil.cpp,30,c\n"
              "--- the libraries' records of the candidates check: 0 records\n");
    const nlohmann::json json = nlohmann::json::parse(findingsJson(findings, &records));
    ASSERT_EQ(json.size(), 4u);
    EXPECT_EQ(json[1]["check"], "settings");
    EXPECT_EQ(json[1]["status"], "problem");
    EXPECT_EQ(json[1]["text"], "C:\\Kest\\KestEnv.ini not found; restore it");
    EXPECT_EQ(json[1]["code"], "0x25000101");
    EXPECT_EQ(json[1]["message"], message);
    EXPECT_EQ(json[1]["records"], nlohmann::json({"KestCommonUtil.cpp,20,b", "KestCommonUtil.cpp,30,c"}));
    EXPECT_TRUE(json[0]["code"].is_null() && json[0]["message"].is_null());
    EXPECT_EQ(json[0]["text"], "C:\\Kest");
    EXPECT_FALSE(nlohmann::json::parse(findingsJson(findings, nullptr))[0].contains("records"));
}

}  // namespace
}  // namespace kest::tool
