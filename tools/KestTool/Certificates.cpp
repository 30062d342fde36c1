// What the certificate commands share: lists from the personal store or a PKCS#12 file, with
// the marks of the settings file, all through KestMyCert's exports in the order a host calls
// them.
#include "Certificates.h"

#include "CertificateTable.h"
#include "Platform.h"
#include "Terminal.h"

#include "KestCommon.h"
#include "KestMyCert.h"
#include "KestMyCertText.h"

#include <algorithm>

namespace kest::tool {
namespace {

constexpr unsigned kSettingsPathSize = 260;

}  // namespace

ResultCode settingsFile(std::string& path) noexcept {
    char buffer[kSettingsPathSize] = {};
    const ResultCode code = getIniFilePath(buffer);
    if (code == KEST_OK) path = buffer;
    return code;
}

ResultCode personalStoreList(UniqueMyCertList& list) noexcept {
    MyCert* head = nullptr;
    const ResultCode code = createMyCertList(&head);
    if (code == KEST_OK) list.reset(head);
    return code;
}

// The list of the personal store with the marks of the settings file, as the host reads it
// before the user chooses.
int markedPersonalStoreList(std::string& settings, UniqueMyCertList& list) {
    if (const ResultCode code = settingsFile(settings); code != KEST_OK) return reportFailure("getIniFilePath", code);
    if (const ResultCode code = personalStoreList(list); code != KEST_OK)
        return reportFailure("createMyCertList", code);
    int matched = 0;
    if (const ResultCode code = readIniSignerCertCandidate(settings.c_str(), list.get(), &matched); code != KEST_OK)
        return reportFailure("readIniSignerCertCandidate", code);
    return kExitOk;
}

namespace {

std::vector<CertificateRow> rowsOf(const MyCert* head) {
    std::vector<CertificateRow> rows;
    unsigned index = 1;
    for (const MyCert* record = head; record != nullptr; record = record->next)
        rows.push_back({index++, record->subject, record->issuer, record->serialHex, record->notBefore,
                        record->notAfter, record->candidate != 0});
    return rows;
}

}  // namespace

void printList(const MyCert* head, bool json) {
    const std::vector<CertificateRow> rows = rowsOf(head);
    if (json) {
        writeOut(formatJson(rows, CP_ACP), CP_UTF8);
    } else if (rows.empty()) {
        writeOut("no certificates with a reachable private key\n");
    } else {
        writeOut(formatTable(rows));
    }
}

std::string describe(unsigned index, const MyCert& record) {
    return std::to_string(index) + ": " + record.subject + " (" + certificateId(record.serialHex, record.issuer) + ")";
}

namespace {

bool allDigits(const std::string& text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

}  // namespace

// By its 1-based list index, or by certificate id through findMyCert with a record that
// carries just the id's two parts (a serial number in hexadecimal holds no semicolon).
std::optional<NamedCertificate> certificateNamed(MyCert* head, const std::string& argument) {
    if (allDigits(argument)) {
        const unsigned long wanted = std::strtoul(argument.c_str(), nullptr, 10);
        unsigned index = 1;
        for (MyCert* record = head; record != nullptr; record = record->next, ++index)
            if (index == wanted) return NamedCertificate{record, index};
        return std::nullopt;
    }
    std::string serial;
    std::string issuer;
    if (!mycert::splitCertId(argument, serial, issuer)) return std::nullopt;
    MyCert wanted{};
    wanted.serialHex = serial.data();
    wanted.issuer = issuer.data();
    MyCert* found = findMyCert(head, &wanted);
    if (found == nullptr) return std::nullopt;
    unsigned index = 1;
    for (MyCert* record = head; record != found; record = record->next) ++index;
    return NamedCertificate{found, index};
}

int reportNoCertificate(const std::string& argument) {
    return reportProblem("no certificate " + argument + " in the personal store's list");
}

std::vector<std::string> storedCandidateIds(const std::string& settings) {
    std::vector<std::string> ids;
    for (unsigned n = 0;; ++n) {
        char value[mycert::kCertIdSize] = {};
        if (mycert::readCandidate(settings.c_str(), n, value) == 0) return ids;
        ids.emplace_back(value);
    }
}

namespace {

MyCert* recordAt(MyCert* head, unsigned wanted) {
    unsigned index = 1;
    for (MyCert* record = head; record != nullptr; record = record->next, ++index)
        if (index == wanted) return record;
    return nullptr;
}

std::string idOf(const MyCert& record) { return certificateId(record.serialHex, record.issuer); }

// What the settings file gives a host for one certificate asked to be marked or unmarked, in
// the list read back after the save; the line to print, and whether it is what was asked.
std::pair<std::string, bool> outcome(MyCert* after, unsigned index, const MyCert& asked, int candidate) {
    const MyCert* now = recordAt(after, index);
    if (now != nullptr && (now->candidate != 0) == (candidate != 0))
        return {(candidate ? "marked " : "unmarked ") + describe(index, *now), true};
    if (now == nullptr) return {"not saved: " + describe(index, asked) + " is no longer in the list", false};
    // The library finds an id's certificate as the last one of the list that carries it.
    unsigned twin = 0;
    unsigned at = 1;
    for (const MyCert* record = after; record != nullptr; record = record->next, ++at)
        if (at != index && idOf(*record) == idOf(*now)) twin = at;
    if (candidate != 0 && twin > index)
        return {"not marked " + describe(index, *now) + ": " + describe(twin, *recordAt(after, twin)) +
                    " carries the same id (serial number and issuer), and the host always takes the later of the "
                    "two; remove the one not wanted from the store with kesttool remove <index>",
                false};
    return {(candidate ? "not marked " : "still marked ") + describe(index, *now) +
                ": the settings file does not hold what was saved",
            false};
}

}  // namespace

// Saves the marks, then reads them back as a host would, in a new list: what is reported is
// what the settings file gives, not what was asked.
int setCandidates(const std::vector<std::string>& selectors, int candidate) {
    std::string settings;
    UniqueMyCertList list;
    if (const int status = markedPersonalStoreList(settings, list); status != kExitOk) return status;
    std::vector<std::pair<unsigned, MyCert*>> chosen;
    std::vector<std::string> stale;
    const std::vector<std::string> stored = storedCandidateIds(settings);
    for (const std::string& selector : selectors) {
        const std::optional<NamedCertificate> named = certificateNamed(list.get(), selector);
        // A stored id whose certificate is gone: writing the list's candidates leaves it out.
        if (!named && candidate == 0 && std::find(stored.begin(), stored.end(), selector) != stored.end()) {
            stale.push_back(selector);
            continue;
        }
        if (!named) return reportNoCertificate(selector);
        chosen.emplace_back(named->index, named->record);
    }
    for (const auto& [index, record] : chosen) record->candidate = candidate;
    const ResultCode saved = writeIniSignerCertCandidate(settings.c_str(), list.get());

    UniqueMyCertList after;
    if (const int status = markedPersonalStoreList(settings, after); status != kExitOk) return status;
    const std::vector<std::string> storedAfter = storedCandidateIds(settings);
    bool asked = true;
    for (const auto& [index, record] : chosen) {
        const auto [line, done] = outcome(after.get(), index, *record, candidate);
        if (done) {
            writeOut(line + "\n");
        } else {
            asked = false;
            static_cast<void>(reportProblem(line));
        }
    }
    for (const std::string& id : stale) {
        if (std::find(storedAfter.begin(), storedAfter.end(), id) == storedAfter.end()) {
            writeOut("unmarked " + id + ", which no certificate of the personal store's list carries\n");
        } else {
            asked = false;
            static_cast<void>(reportProblem("still stored " + id + ": the settings file does not hold what was saved"));
        }
    }
    if (saved != KEST_OK) return reportFailure("writeIniSignerCertCandidate", saved);
    return asked ? kExitOk : kExitFailed;
}

namespace {

// The bytes of a file through KestCommon's helpers, as a host reads a key file.
[[nodiscard]] bool readKeyFile(const std::string& path, std::vector<BYTE>& data) {
    const unsigned size = getFileSize(path.c_str());
    if (size == 0) return false;
    data.resize(size);
    return readFile(path.c_str(), data.data(), size) == size;
}

[[nodiscard]] bool obtainPassword(const std::optional<std::string>& variable, Password& password) {
    if (variable) {
        if (passwordFromEnvironment(*variable, password)) return true;
        static_cast<void>(reportProblem("the environment variable " + *variable + " is not set"));
        return false;
    }
    if (promptPassword("PKCS#12 password: ", password)) return true;
    static_cast<void>(
        reportProblem("no console to ask for the password on: name an environment variable that holds "
                      "it with --password-env"));
    return false;
}

}  // namespace

int pkcs12List(const std::string& file, const std::optional<std::string>& passwordVariable, UniqueMyCertList& list) {
    std::vector<BYTE> data;
    if (!readKeyFile(file, data)) return reportProblem("cannot read " + file);
    Password password;
    if (!obtainPassword(passwordVariable, password)) return kExitFailed;

    const WorkingPfxPasswordCheck passwordCheck;
    MyCert* head = nullptr;
    const ResultCode code =
        createMyCertListInPkcs12Store(data.data(), static_cast<DWORD>(data.size()), password.c_str(), &head);
    if (code != KEST_OK) return reportFailure("createMyCertListInPkcs12Store", code);
    list.reset(head);
    return kExitOk;
}

}  // namespace kest::tool
