// kesttool doctor: why signing cannot start on this installation. Each check asks the
// libraries as a host would, in the order a host meets them, and takes the installation's
// files through the calls and modes the libraries use: the settings file as the profile
// functions list and resolve it, for keys the library never reads, the catalogue through
// ShowError's text-mode stream, the log as Log opens it (LogDestination.cpp). The settings
// file's bytes are also read, for what an editor did to it. What the facts mean is
// Diagnosis.h's; here they are gathered and the findings printed.
// Read-only throughout: no setting is written, the personal store is opened read-only, the
// settings file and the log file are opened for writing only to see whether they could be and
// closed unwritten, and the libraries' records of doctor's calls are kept in memory (--trace
// shows those of the checks that found something), so the customer's log stays as it was,
// byte for byte.
#include "Catalogue.h"
#include "Certificates.h"
#include "CommandLine.h"
#include "Diagnosis.h"
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

#include <wincrypt.h>

#include <cstddef>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace kest::tool {
namespace {

constexpr unsigned kPathSize = 260;
constexpr char kTraceOption[] = "--trace";
// Room for every section or key name of a settings file.
constexpr std::size_t kProfileListSize = 65536;

// The current time in the records' own form.
std::string nowUtc() {
    SYSTEMTIME now;
    GetSystemTime(&now);
    char text[20];
    std::snprintf(text, sizeof text, "%04u.%02u.%02u %02u:%02u:%02u", now.wYear, now.wMonth, now.wDay, now.wHour,
                  now.wMinute, now.wSecond);
    return text;
}

// Names as the profile functions list them: NUL-separated, ended by a second NUL. A null
// section lists the sections.
std::vector<std::string> profileNames(const std::string& file, const char* section) {
    std::vector<char> buffer(kProfileListSize);
    const auto size = static_cast<DWORD>(buffer.size());
    const DWORD length = section == nullptr
                             ? GetPrivateProfileSectionNamesA(buffer.data(), size, file.c_str())
                             : GetPrivateProfileStringA(section, nullptr, "", buffer.data(), size, file.c_str());
    std::vector<std::string> names;
    for (std::size_t at = 0; at < length && buffer[at] != '\0'; at += names.back().size() + 1)
        names.emplace_back(buffer.data() + at);
    return names;
}

// The personal store's certificates whose key cannot be reached: what createMyCertList
// leaves out. Walked here, read-only, as the list cannot tell.
[[nodiscard]] bool certificatesWithoutKey(std::vector<StoreCertificate>& left) noexcept {
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
                            {}});
        }
    } catch (...) {
        return false;
    }
    return true;
}

// The facts of each check, gathered in the order a host meets them, each check's records apart.
class Gatherer {
public:
    explicit Gatherer(const RecordsInMemory& records) noexcept : records_(records) {}

    void run() {
        facts_.now = nowUtc();
        gather(kInstallationCheck, &Gatherer::gatherInstallation);
        gather(kSettingsCheck, &Gatherer::gatherSettings);
        gather(kCatalogueCheck, &Gatherer::gatherCatalogue);
        gather(kLogCheck, &Gatherer::gatherLog);
        gather(kCertificatesCheck, &Gatherer::gatherCertificates);
        gather(kCandidatesCheck, &Gatherer::gatherCandidates);
    }
    [[nodiscard]] const Diagnosis& facts() const noexcept { return facts_; }
    [[nodiscard]] const RecordsByCheck& records() const noexcept { return recordsByCheck_; }

private:
    void gather(const char* check, void (Gatherer::*step)()) {
        const std::size_t first = records_.records().size();
        (this->*step)();
        const std::vector<std::string>& records = records_.records();
        recordsByCheck_[check].assign(records.begin() + static_cast<std::ptrdiff_t>(first), records.end());
    }

    void gatherInstallation() {
        char directory[kPathSize] = {};
        if (!KestInstallPath(directory, sizeof directory)) return;
        facts_.installation.directory = directory;
        facts_.installation.isFolder = isDirectory(directory);
        if (!facts_.installation.isFolder) facts_.installation.unspellable = spelledOtherwise(directory);
    }

    void gatherSettings() {
        Diagnosis::Settings& settings = facts_.settings;
        char path[kPathSize] = {};
        settings.pathCode = getIniFilePath(path);
        settings.path = path;
        if (settings.pathCode != KEST_OK) return;
        if (const std::optional<std::string> bytes = readWholeFile(settings.path))
            settings.encoding = encodingOf(*bytes, settings.firstNul);
        // The host writes the user's choice back; opening for writing, without a write, tells
        // whether it could.
        settings.writeRefusal = writeRefusal(settings.path, GENERIC_WRITE);
        settings.sections = profileNames(settings.path, nullptr);
        settings.keys = profileNames(settings.path, mycert::kSettingsSection);
        settings.omitCode = readIniOmitSelectCert(settings.path.c_str(), &settings.omit);
    }

    void gatherCatalogue() {
        if (!facts_.catalogueChecked()) return;
        Diagnosis::Catalogue& catalogue = facts_.catalogue;
        const std::optional<CatalogueCheck> checked = checkCatalogueFile(cataloguePath(*facts_.installation.directory));
        if (!checked) return;
        catalogue.read = true;
        catalogue.encoding = checked->encoding;
        catalogue.findings = checked->findings;
    }

    // The two settings as Log reads them, and the file as Log opens it; a record written here,
    // or a file made to see whether one could be, would change the customer's log.
    void gatherLog() {
        facts_.log.on = LogFlag();
        if (facts_.log.on) facts_.log.destination = logDestination(gatherLogFile());
    }

    void gatherCertificates() {
        Diagnosis::Certificates& certificates = facts_.certificates;
        MyCert* head = nullptr;
        certificates.listCode = createMyCertList(&head);
        if (certificates.listCode != KEST_OK) return;
        list_.reset(head);
        for (const MyCert* record = list_.get(); record != nullptr; record = record->next)
            certificates.listed.push_back(
                {record->subject, record->issuer, record->serialHex, record->notBefore, record->notAfter});
        certificates.storeWalked = certificatesWithoutKey(certificates.withoutKey);
    }

    void gatherCandidates() {
        if (!facts_.candidatesChecked()) return;
        Diagnosis::Candidates& candidates = facts_.candidates;
        // As the host reads them: a file that is there but cannot be read fails the read.
        int matched = 0;
        candidates.readCode = readIniSignerCertCandidate(facts_.settings.path.c_str(), list_.get(), &matched);
        if (candidates.readCode != KEST_OK) return;
        for (const std::string& id : storedCandidateIds(facts_.settings.path)) {
            std::string serial;
            std::string issuer;
            static_cast<void>(mycert::splitCertId(id, serial, issuer));
            // Each id on its own through the library's own lookup, so that the line can say
            // which id found what (readIniSignerCertCandidate only marks the records).
            MyCert wanted{};
            wanted.serialHex = serial.data();
            wanted.issuer = issuer.data();
            Diagnosis::StoredId stored{id, std::nullopt};
            const MyCert* found = findMyCert(list_.get(), &wanted);
            std::size_t position = 0;
            for (const MyCert* record = list_.get(); record != nullptr; record = record->next, ++position)
                if (record == found) stored.found = position;
            candidates.stored.push_back(stored);
        }
        for (const std::string& key : facts_.settings.keys)
            if (const std::optional<unsigned> n = candidateIndex(key)) {
                char value[mycert::kCertIdSize] = {};
                static_cast<void>(mycert::readCandidate(facts_.settings.path.c_str(), *n, value));
                candidates.valueOf[*n] = value;
            }
    }

    const RecordsInMemory& records_;
    Diagnosis facts_;
    RecordsByCheck recordsByCheck_;
    UniqueMyCertList list_;
};

int run(const Invocation& invocation) {
    const bool json = invocation.flag(kJsonOption);
    const bool trace = invocation.flag(kTraceOption);
    const RecordsInMemory records;
    Gatherer gatherer(records);
    gatherer.run();
    const std::vector<Finding> findings = diagnose(gatherer.facts());
    writeOut(json ? findingsJson(findings, trace ? &gatherer.records() : nullptr)
                  : findingsText(findings) + (trace ? findingsTrace(findings, gatherer.records()) : ""),
             CP_UTF8);
    for (const Finding& finding : findings)
        if (finding.status == Status::problem) return kExitFailed;
    return kExitOk;
}

}  // namespace

extern const Command kDoctorCommand{
    "doctor",
    "",
    0,
    0,
    "    Checks the installation step by step, each the way the libraries meet it:\n"
    "      installation  KestInstallPath, as KestCommon asks it\n"
    "      settings      getIniFilePath and readIniOmitSelectCert; sections and keys as\n"
    "                    the profile functions resolve them (any letter case, the first\n"
    "                    section of a name, values without their quotes)\n"
    "      catalogue     KestErr.csv in text mode, line by line as ShowError reads it\n"
    "      log           LogFlag; LogPath through KestIniRead with Log's 261-byte buffer;\n"
    "                    the file opened with Log's access and sharing (readers), a name\n"
    "                    that is not there as Windows' file functions answer for it\n"
    "      certificates  createMyCertList, and the store's certificates it leaves out\n"
    "      candidates    the CertId keys as readIniSignerCertCandidate reads them, each\n"
    "                    looked up with findMyCert\n"
    "    One line each, ok, warning or problem, and for a warning or problem what to\n"
    "    do; \"cannot tell\" where the tool cannot take a verdict that way. Changes\n"
    "    nothing: the settings and log files are opened for writing only to see whether\n"
    "    they could be and closed unwritten, a log file that is not there is not made,\n"
    "    and the libraries' records of its calls are kept in memory, not added to the\n"
    "    log. Exit status 1 with at least one problem.\n",
    {{kJsonOption, nullptr, "the findings as a JSON array of objects in UTF-8"},
     {kTraceOption, nullptr, "the libraries' records of each check that found something"}},
    &run,
    {}};

}  // namespace kest::tool
