// kesttool doctor: why signing cannot start on this installation. Each check asks the
// libraries as a host would, in the order a host meets them, and says ok, warning or problem;
// a warning or problem ends with what to do. The installation's text files are also read as
// bytes, for what an editor did to them, and the settings file as the profile functions list
// it, for keys the library never reads.
// Read-only throughout: no setting is written, the personal store is opened read-only, the
// settings file and the log file are opened for writing only to see whether they could be and
// closed unwritten, and the libraries' records of doctor's calls are kept in memory (--trace
// shows those of the checks that found something), so the customer's log stays as it was,
// byte for byte.
#include "Catalogue.h"
#include "Certificates.h"
#include "CommandLine.h"
#include "Output.h"
#include "LogDestination.h"
#include "Platform.h"
#include "SettingsFile.h"
#include "Terminal.h"
#include "TextFiles.h"

#include "KestCommon.h"
#include "KestIni.h"
#include "KestLog.h"
#include "KestMyCert.h"
#include "KestMyCertOwners.h"
#include "KestMyCertSettings.h"
#include "KestMyCertText.h"
#include "KestResultMessages.h"

#include <wincrypt.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kest::tool {
namespace {

constexpr unsigned kPathSize = 260;
constexpr char kJsonOption[] = "--json";
constexpr char kTraceOption[] = "--trace";
// How many catalogue findings and left-out certificates a line names before it just counts.
constexpr std::size_t kNamedAtMost = 3;
// What to do, said alike by several lines.
constexpr char kSetInstallation[] =
    "set the installation directory in the installation's settings (kesttool install-dir <folder> with the stand-in)";
constexpr char kSetOmit[] = "set it with kesttool omit set or kesttool omit clear";
constexpr char kImportKey[] = "import the certificate with its key (kesttool add-p12 <file.p12>)";
constexpr char kMarkAValidOne[] = "mark a valid certificate with kesttool mark <index> (kesttool list names them)";

enum class Status { ok, warning, problem };

const char* statusName(Status status) {
    switch (status) {
        case Status::ok: return "ok";
        case Status::warning: return "warning";
        case Status::problem: return "problem";
    }
    return "";
}

// One line of the report; texts in UTF-8.
struct Finding {
    const char* check;
    Status status;
    std::string text;
    std::string remedy;                // what to do, after the code; empty for ok
    std::optional<ResultCode> code;    // where a library call gave one
    std::vector<std::string> records;  // the libraries' records of its check's calls (ANSI)
};

std::string fromAnsi(std::string_view text) { return toUtf8(text, CP_ACP); }

std::string messageOf(ResultCode code) { return toUtf8(resultMessage(code), kMessageCodePage); }

std::string plural(std::size_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

// Validity against the current time, in the records' own form, so that texts compare in order.
std::string nowUtc() {
    SYSTEMTIME now;
    GetSystemTime(&now);
    char text[20];
    std::snprintf(text, sizeof text, "%04u.%02u.%02u %02u:%02u:%02u", now.wYear, now.wMonth, now.wDay, now.wHour,
                  now.wMinute, now.wSecond);
    return text;
}

// A certificate as the lines name it.
struct Certificate {
    std::string subject;  // active code page
    std::string issuer;
    std::string serial;
    std::string notBefore;
    std::string notAfter;
    unsigned index = 0;  // in the list, from 1; 0 for one the list leaves out

    [[nodiscard]] std::string id() const { return serial + ";" + issuer; }
    [[nodiscard]] std::string named() const { return fromAnsi(subject + " (" + id() + ")"); }
    [[nodiscard]] bool expired(const std::string& now) const { return notAfter < now; }
    [[nodiscard]] bool notYetValid(const std::string& now) const { return notBefore > now; }
    [[nodiscard]] bool valid(const std::string& now) const { return !expired(now) && !notYetValid(now); }
    [[nodiscard]] std::string validityProblem(const std::string& now) const {
        if (expired(now)) return "expired on " + notAfter + " UTC";
        if (notYetValid(now)) return "not valid before " + notBefore + " UTC";
        return {};
    }
    [[nodiscard]] bool sameHolder(const Certificate& other) const {
        return subject == other.subject && issuer == other.issuer;
    }
    [[nodiscard]] std::string markCommand() const { return "kesttool mark " + std::to_string(index); }
};

Certificate certificateOf(const MyCert& record, unsigned index) {
    return {record.subject, record.issuer, record.serialHex, record.notBefore, record.notAfter, index};
}

// The personal store's certificates whose key cannot be reached: what createMyCertList
// leaves out. Walked here, read-only, as the list cannot tell.
[[nodiscard]] bool certificatesWithoutKey(std::vector<Certificate>& left) noexcept {
    const UniqueCertStore store{
        CertOpenStore(CERT_STORE_PROV_SYSTEM_A, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER | CERT_STORE_READONLY_FLAG, "MY")};
    if (!store) return false;
    try {
        UniqueCertContext context;
        while (context.enumerate(store.get())) {
            if (privateKeyReachable(context.get())) continue;
            const CERT_INFO& info = *context->pCertInfo;
            left.push_back({mycert::nameText(info.Subject),
                            mycert::nameText(info.Issuer),
                            mycert::serialText(info.SerialNumber),
                            {},
                            {},
                            0});
        }
    } catch (...) {
        return false;
    }
    return true;
}

class Doctor {
public:
    explicit Doctor(const RecordsInMemory& records) noexcept : records_(records) {}

    void run() {
        for (const auto check : {&Doctor::checkInstallation, &Doctor::checkSettings, &Doctor::checkCatalogue,
                                 &Doctor::checkLog, &Doctor::checkCertificates, &Doctor::checkCandidates}) {
            const std::size_t firstFinding = findings_.size();
            const std::size_t firstRecord = records_.records().size();
            (this->*check)();
            const auto& records = records_.records();
            for (std::size_t n = firstFinding; n < findings_.size(); ++n)
                findings_[n].records.assign(records.begin() + static_cast<std::ptrdiff_t>(firstRecord), records.end());
        }
    }
    [[nodiscard]] const std::vector<Finding>& findings() const noexcept { return findings_; }

private:
    void add(const char* check, Status status, std::string text) {
        findings_.push_back({check, status, std::move(text), {}, std::nullopt, {}});
    }
    // A line and what to do, with the result code of a library call, if one gave it, between.
    void add(const char* check, Status status, std::string text, std::string remedy,
             std::optional<ResultCode> code = std::nullopt) {
        findings_.push_back({check, status, std::move(text), std::move(remedy), code, {}});
    }

    void checkInstallation() {
        char directory[kPathSize] = {};
        if (!KestInstallPath(directory, sizeof directory)) {
            add("installation", Status::problem,
                std::string("KestInstallPath gives no installation directory; ") + kSetInstallation);
            return;
        }
        installDir_ = directory;
        if (isDirectory(installDir_))
            add("installation", Status::ok, fromAnsi(installDir_));
        else
            add("installation", Status::problem, fromAnsi(installDir_) + ": no such folder; " + kSetInstallation);
    }

    void checkSettings() {
        char path[kPathSize] = {};
        if (const ResultCode code = getIniFilePath(path); code != KEST_OK) {
            if (code == KEST_E_NO_SETTINGS_FILE)
                add("settings", Status::problem, fromAnsi(path) + " not found: no candidates, no omit flag",
                    "restore it from the installation", code);
            else
                add("settings", Status::problem, "no settings file without an installation directory", kSetInstallation,
                    code);
            return;
        }
        settings_ = path;
        const std::string where = fromAnsi(settings_) + ": ";
        if (const std::optional<std::string> bytes = readWholeFile(settings_))
            if (const std::optional<SettingsEncoding> encoding = settingsEncoding(*bytes))
                add("settings", encoding->problem ? Status::problem : Status::warning,
                    where + encoding->effect + "; " + kSaveAsShiftJis);
        checkSettingsWritable(where);
        checkUnreadSettings(where);

        int omit = 0;
        const ResultCode code = readIniOmitSelectCert(settings_.c_str(), &omit);
        if (code == KEST_OK) {
            omit_ = omit;
            add("settings", Status::ok,
                where + (omit ? "OmitSelectCert=1, the certificate choice is skipped"
                              : "OmitSelectCert=0, the certificate choice is shown"));
        } else if (code == KEST_E_SETTINGS_READ) {
            add("settings", Status::warning, where + "no OmitSelectCert: the host decides whether to show the choice",
                kSetOmit, code);
        } else {
            add("settings", Status::problem, where + "OmitSelectCert is neither 0 nor 1", kSetOmit, code);
        }
    }

    // The host writes the user's choice back; opening for writing, without a write, tells
    // whether it could.
    void checkSettingsWritable(const std::string& where) {
        const char* const lost = "the host cannot save the user's choice of certificate or the omit flag";
        const DWORD error = writeRefusal(settings_, GENERIC_WRITE);
        if (error == ERROR_FILE_READ_ONLY)
            add("settings", Status::problem,
                where + "read-only: " + lost + "; clear its read-only attribute (attrib -r " + fromAnsi(settings_) +
                    ")");
        else if (error != ERROR_SUCCESS)
            add("settings", Status::problem,
                where + "cannot be opened for writing (error " + std::to_string(error) + "): " + lost +
                    "; give the user the right to write it");
    }

    void checkUnreadSettings(const std::string& where) {
        const std::vector<std::string> unread = unreadSettings(settings_);
        if (unread.empty()) return;
        std::string text = where + "nothing reads ";
        for (std::size_t i = 0; i < unread.size(); ++i) text += (i == 0 ? "" : ", ") + fromAnsi(unread[i]);
        add("settings", Status::warning,
            text + "; rename them: the library reads [" + mycert::kSettingsSection + "] with " +
                mycert::kOmitSelectCertKey + " and CertId_0000, CertId_0001, ...");
    }

    void checkCatalogue() {
        if (installDir_.empty()) {
            add("catalogue", Status::warning,
                "not checked without an installation directory; " + std::string(kSetInstallation));
            return;
        }
        const std::string path = installDir_ + "\\" + catalogue::kFileName;
        const std::string where = fromAnsi(path) + ": ";
        const std::optional<std::string> bytes = readWholeFile(path);
        if (!bytes) {
            add("catalogue", Status::problem,
                fromAnsi(path) + " not found: error boxes cannot show their texts; restore it from the installation");
            return;
        }
        if (const std::optional<CatalogueFinding> encoding = checkCatalogueEncoding(*bytes))
            add("catalogue", Status::problem, where + toUtf8(encoding->text, kMessageCodePage));
        const std::vector<CatalogueFinding> found = kest::tool::checkCatalogue(*bytes);
        if (found.empty()) {
            add("catalogue", Status::ok, where + "no findings");
            return;
        }
        const auto withoutMessage = static_cast<std::size_t>(std::count_if(
            found.begin(), found.end(), [](const CatalogueFinding& finding) { return finding.codeWithoutMessage; }));
        const std::size_t codes = std::size(kResultMessages);
        const std::string listAll = "kesttool check-catalogue " + fromAnsi(path) + " lists them all";
        // Most boxes without their text is a catalogue that does not work, not one to tidy.
        if (withoutMessage * 2 > codes) {
            add("catalogue", Status::problem,
                where + std::to_string(withoutMessage) + " of the " + std::to_string(codes) +
                    " codes have no usable line, their boxes say only that no message was found; mend the file (" +
                    listAll + ")");
            return;
        }
        std::string text = where + plural(found.size(), "finding", "findings");
        for (std::size_t i = 0; i < found.size() && i < kNamedAtMost; ++i) {
            text += i == 0 ? ": " : "; ";
            if (found[i].line != 0) text += "line " + std::to_string(found[i].line) + ": ";
            text += toUtf8(found[i].text, kMessageCodePage);
        }
        if (found.size() > kNamedAtMost) text += "; ...";
        add("catalogue", Status::warning, text + "; mend them (" + listAll + ")");
    }

    // Only reads the two settings and looks at the file: a record written here, or a file
    // made to see whether one could be, would change the customer's log.
    void checkLog() {
        if (!LogFlag()) {
            add("log", Status::ok, "off");
            return;
        }
        const LogDestination destination = logDestination(installationLogPath());
        const std::string text = "on, " + fromAnsi(destination.where);
        switch (destination.verdict) {
            case LogDestination::Verdict::written: add("log", Status::ok, text); return;
            case LogDestination::Verdict::elsewhere:
                add("log", Status::warning, text, fromAnsi(destination.remedy));
                return;
            case LogDestination::Verdict::dropped:
                add("log", Status::problem, text, fromAnsi(destination.remedy));
                return;
        }
    }

    void checkCertificates() {
        MyCert* head = nullptr;
        if (const ResultCode code = createMyCertList(&head); code != KEST_OK) {
            add("certificates", Status::problem, "the personal store's list cannot be made",
                "kesttool doctor --trace shows the library's records", code);
            return;
        }
        list_.reset(head);
        listed_ = true;
        const std::string now = nowUtc();
        for (const MyCert* record = list_.get(); record != nullptr; record = record->next)
            listedCertificates_.push_back(
                certificateOf(*record, static_cast<unsigned>(listedCertificates_.size() + 1)));
        for (const Certificate& certificate : listedCertificates_) {
            if (certificate.expired(now))
                add("certificates", Status::warning,
                    certificate.named() + ": " + certificate.validityProblem(now) +
                        "; renew it, or take it out with kesttool remove " + std::to_string(certificate.index));
            else if (certificate.notYetValid(now))
                add("certificates", Status::warning,
                    certificate.named() + ": " + certificate.validityProblem(now) +
                        "; check the computer's clock, or wait until then");
        }
        if (listedCertificates_.empty())
            add("certificates", Status::problem,
                std::string("no certificate of the personal store has a reachable private key; ") + kImportKey);
        else
            add("certificates", Status::ok,
                plural(listedCertificates_.size(), "certificate", "certificates") + " with a reachable private key");

        if (!certificatesWithoutKey(withoutKey_)) {
            add("certificates", Status::warning,
                "the personal store cannot be walked for certificates without a key; check the store with certmgr.msc");
            return;
        }
        if (withoutKey_.empty()) {
            add("certificates", Status::ok, "none left out for an unreachable private key");
            return;
        }
        std::string text = plural(withoutKey_.size(), "certificate", "certificates") +
                           " of the personal store left out, their private key cannot be reached: ";
        for (std::size_t i = 0; i < withoutKey_.size() && i < kNamedAtMost; ++i)
            text += (i == 0 ? "" : ", ") + withoutKey_[i].named();
        if (withoutKey_.size() > kNamedAtMost) text += ", ...";
        add("certificates", Status::warning, text + "; insert the smart card, or " + kImportKey);
    }

    // The newest valid certificate of the list with the same subject and issuer as `old`, and
    // another id; none if there is none.
    [[nodiscard]] const Certificate* renewalOf(const Certificate& old, const std::string& now) const {
        const Certificate* newest = nullptr;
        for (const Certificate& certificate : listedCertificates_)
            if (certificate.sameHolder(old) && certificate.id() != old.id() && certificate.valid(now) &&
                (newest == nullptr || certificate.notBefore > newest->notBefore))
                newest = &certificate;
        return newest;
    }

    // A stored id that finds no certificate of the list: what is known of it, and what to do.
    [[nodiscard]] std::string staleIdText(const std::string& id, const std::string& now) const {
        std::string serial;
        std::string issuer;
        static_cast<void>(mycert::splitCertId(id, serial, issuer));
        const Certificate* old = nullptr;
        for (const Certificate& certificate : withoutKey_)
            if (certificate.serial == serial && certificate.issuer == issuer) old = &certificate;
        const std::string takeOut = "take it out with kesttool unmark \"" + fromAnsi(id) + "\"";
        if (old != nullptr) {
            std::string text = "; in the personal store, but its private key cannot be reached";
            if (const Certificate* renewal = renewalOf(*old, now))
                return text + "; likely successor (same subject and issuer): " + renewal->named() + "; mark it with " +
                       renewal->markCommand();
            return text + "; insert the smart card, or " + takeOut;
        }
        std::string named;
        const Certificate* first = nullptr;
        for (const Certificate& certificate : listedCertificates_) {
            if (certificate.issuer != issuer || !certificate.valid(now)) continue;
            named += (named.empty() ? "" : ", ") + certificate.named();
            if (first == nullptr) first = &certificate;
        }
        std::string text = "; no certificate of the personal store has this id";
        if (first != nullptr)
            return text + "; of the same issuer in the list: " + named + "; if one is its renewal, mark it (" +
                   first->markCommand() + " for the first), else " + takeOut;
        return text + "; " + takeOut;
    }

    void checkCandidates() {
        if (settings_.empty() || !listed_) {
            add("candidates", Status::warning, "not checked: no settings file or no list; mend the lines above first");
            return;
        }
        const std::vector<std::string> ids = storedCandidateIds(settings_);
        const std::string now = nowUtc();
        std::size_t usable = 0;
        for (std::size_t n = 0; n < ids.size(); ++n) {
            const std::string key = candidateKey(n);
            std::string serial;
            std::string issuer;
            static_cast<void>(mycert::splitCertId(ids[n], serial, issuer));
            // Each id on its own through the library's own lookup, so that the line can say
            // which id found what (readIniSignerCertCandidate only marks the records).
            MyCert wanted{};
            wanted.serialHex = serial.data();
            wanted.issuer = issuer.data();
            const MyCert* found = findMyCert(list_.get(), &wanted);
            if (found == nullptr) {
                add("candidates", Status::problem,
                    key + " " + fromAnsi(ids[n]) + " matches no certificate of the list" + staleIdText(ids[n], now));
                continue;
            }
            const Certificate& certificate =
                *std::find_if(listedCertificates_.begin(), listedCertificates_.end(), [&](const Certificate& listed) {
                    return listed.serial == found->serialHex && listed.issuer == found->issuer;
                });
            const Certificate* renewal = renewalOf(certificate, now);
            if (!certificate.valid(now)) {
                add("candidates", Status::warning,
                    key + " " + certificate.named() + ": " + certificate.validityProblem(now) +
                        (renewal != nullptr ? "; its renewal " + renewal->named() + " is in the list: mark it with " +
                                                  renewal->markCommand()
                                            : "; renew it, or " + std::string(kMarkAValidOne)));
                continue;
            }
            ++usable;
            if (renewal != nullptr && renewal->notBefore > certificate.notBefore &&
                std::find(ids.begin(), ids.end(), renewal->id()) == ids.end())
                add("candidates", Status::warning,
                    key + " " + certificate.named() + ": its newer renewal " + renewal->named() +
                        " is in the list and not marked; mark it with " + renewal->markCommand());
            else
                add("candidates", Status::ok, key + " " + certificate.named());
        }
        const bool ignored = checkIgnoredCandidates(ids.size());
        const bool neverAsked = omit_ == 1;
        const std::string skipped = std::string(": OmitSelectCert=1 skips the choice, so the user is never asked; ") +
                                    kMarkAValidOne + ", or show the choice with kesttool omit clear";
        if (ids.empty()) {
            const char* none = ignored ? "none read" : "none stored";
            if (neverAsked)
                add("candidates", Status::warning, none + skipped);
            else
                add("candidates", Status::ok, none + std::string(": the user chooses"));
        } else if (usable == 0) {
            add("candidates", Status::problem,
                "none of the " + plural(ids.size(), "stored candidate", "stored candidates") +
                    " is a valid certificate of the list" +
                    (neverAsked ? skipped : std::string("; ") + kMarkAValidOne));
        }
    }

    // Candidate keys after the first that is missing or empty, which the library never reads;
    // whether there was one. The empty keys the library leaves behind a shorter list are no news.
    bool checkIgnoredCandidates(std::size_t read) {
        const std::vector<std::string> keys = settingsKeys(settings_, mycert::kSettingsSection);
        const bool stopIsThere = std::any_of(keys.begin(), keys.end(), [&](const std::string& key) {
            return candidateIndex(key) == std::optional<unsigned>(static_cast<unsigned>(read));
        });
        bool any = false;
        for (const std::string& key : keys) {
            const std::optional<unsigned> n = candidateIndex(key);
            if (!n || *n <= read) continue;
            char value[mycert::kCertIdSize] = {};
            if (mycert::readCandidate(settings_.c_str(), *n, value) == 0) continue;
            any = true;
            add("candidates", Status::warning,
                key + " " + fromAnsi(value) + " is never read: the library reads the candidates up to the first key " +
                    "that is missing or empty, and " + candidateKey(read) +
                    (stopIsThere ? " is empty" : " is missing") +
                    "; mark its certificate again with kesttool mark <index> (kesttool list names them)");
        }
        return any;
    }

    const RecordsInMemory& records_;
    std::vector<Finding> findings_;
    std::string installDir_;
    std::string settings_;
    std::optional<int> omit_;
    UniqueMyCertList list_;
    bool listed_ = false;
    std::vector<Certificate> listedCertificates_;
    std::vector<Certificate> withoutKey_;
};

// The widest status and check, so that the columns stand alike in every report.
constexpr std::size_t kStatusWidth = 7;
constexpr std::size_t kCheckWidth = 12;

std::string formatText(const std::vector<Finding>& findings) {
    std::vector<std::vector<std::string>> rows;
    std::size_t problems = 0;
    std::size_t warnings = 0;
    for (const Finding& finding : findings) {
        problems += finding.status == Status::problem;
        warnings += finding.status == Status::warning;
        std::string text = finding.text;
        if (finding.code) text += ": " + hexCode(*finding.code) + " " + messageOf(*finding.code);
        if (!finding.remedy.empty()) text += "; " + finding.remedy;
        rows.push_back({statusName(finding.status), finding.check, text});
    }
    return formatColumns(rows, {kStatusWidth, kCheckWidth}) + plural(problems, "problem", "problems") + ", " +
           plural(warnings, "warning", "warnings") + "\n";
}

std::vector<std::string> recordsInUtf8(const Finding& finding) {
    std::vector<std::string> records;
    for (const std::string& record : finding.records) records.push_back(toUtf8(record, kMessageCodePage));
    return records;
}

// The libraries' records of each check that found something, once per check, after the report.
std::string formatTrace(const std::vector<Finding>& findings) {
    std::string text;
    std::string_view shown;
    for (const Finding& finding : findings) {
        if (finding.status == Status::ok || finding.check == shown) continue;
        shown = finding.check;
        text += std::string("--- the libraries' records of the ") + finding.check +
                " check: " + plural(finding.records.size(), "record", "records") + "\n";
        for (const std::string& record : recordsInUtf8(finding)) text += "    " + record + "\n";
    }
    return text;
}

std::string formatFindingsJson(const std::vector<Finding>& findings, bool trace) {
    std::vector<nlohmann::ordered_json> objects;
    for (const Finding& finding : findings) {
        objects.push_back({{"check", finding.check},
                           {"status", statusName(finding.status)},
                           {"text", finding.remedy.empty() ? finding.text : finding.text + "; " + finding.remedy},
                           {"code", finding.code ? nlohmann::ordered_json(hexCode(*finding.code)) : nullptr},
                           {"message", finding.code ? nlohmann::ordered_json(messageOf(*finding.code)) : nullptr}});
        if (trace) objects.back()["records"] = recordsInUtf8(finding);
    }
    return jsonLines(objects);
}

int run(const Invocation& invocation) {
    const bool json = invocation.flag(kJsonOption);
    const bool trace = invocation.flag(kTraceOption);
    const RecordsInMemory records;
    Doctor doctor(records);
    doctor.run();
    writeOut(json ? formatFindingsJson(doctor.findings(), trace)
                  : formatText(doctor.findings()) + (trace ? formatTrace(doctor.findings()) : ""),
             CP_UTF8);
    for (const Finding& finding : doctor.findings())
        if (finding.status == Status::problem) return kExitFailed;
    return kExitOk;
}

}  // namespace

extern const Command kDoctorCommand{
    "doctor",
    "",
    0,
    0,
    "    Checks the installation step by step (installation directory, settings file,\n"
    "    catalogue, log, certificates, signer candidates): one line each, ok, warning or\n"
    "    problem, and for a warning or problem what to do. Changes nothing: the settings\n"
    "    and log files are opened for writing only to see whether they could be, and the\n"
    "    libraries' records of its calls are kept in memory, not added to the log. Exit\n"
    "    status 1 with at least one problem.\n",
    {{tool::kJsonOption, nullptr, "the findings as a JSON array of objects in UTF-8"},
     {kTraceOption, nullptr, "the libraries' records of each check that found something"}},
    &run,
    {}};

}  // namespace kest::tool
