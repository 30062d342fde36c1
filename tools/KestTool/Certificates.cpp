// The certificate commands: lists from the personal store or a PKCS#12 file, adding and
// removing, signer candidates and the omit-selection flag, all through KestMyCert's exports
// in the order a host calls them.
#include "CertificateTable.h"
#include "Commands.h"
#include "Platform.h"
#include "Terminal.h"

#include "KestCommon.h"
#include "KestMyCert.h"

namespace kest::tool {
namespace {

constexpr unsigned kSettingsPathSize = 260;
constexpr char kPasswordEnvOption[] = "--password-env";
constexpr char kJsonOption[] = "--json";

[[nodiscard]] ResultCode settingsFile(std::string& path) noexcept {
    char buffer[kSettingsPathSize] = {};
    const ResultCode code = getIniFilePath(buffer);
    if (code == KEST_OK) path = buffer;
    return code;
}

[[nodiscard]] ResultCode personalStoreList(UniqueMyCertList& list) noexcept {
    MyCert* head = nullptr;
    const ResultCode code = createMyCertList(&head);
    if (code == KEST_OK) list.reset(head);
    return code;
}

// The list of the personal store with the marks of the settings file, as the host reads it
// before the user chooses.
[[nodiscard]] int markedPersonalStoreList(std::string& settings, UniqueMyCertList& list) {
    if (const ResultCode code = settingsFile(settings); code != KEST_OK) return reportFailure("getIniFilePath", code);
    if (const ResultCode code = personalStoreList(list); code != KEST_OK)
        return reportFailure("createMyCertList", code);
    int matched = 0;
    if (const ResultCode code = readIniSignerCertCandidate(settings.c_str(), list.get(), &matched); code != KEST_OK)
        return reportFailure("readIniSignerCertCandidate", code);
    return kExitOk;
}

std::vector<CertificateRow> rowsOf(const MyCert* head) {
    std::vector<CertificateRow> rows;
    unsigned index = 1;
    for (const MyCert* record = head; record != nullptr; record = record->next)
        rows.push_back({index++, record->subject, record->issuer, record->serialHex, record->notBefore,
                        record->notAfter, record->candidate != 0});
    return rows;
}

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
    return std::to_string(index) + ": " + record.subject + " (" + record.serialHex + ";" + record.issuer + ")";
}

bool allDigits(const std::string& text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

// A record by its 1-based list index, or by certificate id through findMyCert with a record
// that carries just the id's two parts (a serial number in hexadecimal holds no semicolon).
MyCert* selectRecord(MyCert* head, const std::string& selector, unsigned& index) {
    if (allDigits(selector)) {
        const unsigned long wanted = std::strtoul(selector.c_str(), nullptr, 10);
        index = 1;
        for (MyCert* record = head; record != nullptr; record = record->next, ++index)
            if (index == wanted) return record;
        return nullptr;
    }
    const std::size_t separator = selector.find(';');
    if (separator == std::string::npos) return nullptr;
    std::string serial = selector.substr(0, separator);
    std::string issuer = selector.substr(separator + 1);
    MyCert wanted{};
    wanted.serialHex = serial.data();
    wanted.issuer = issuer.data();
    MyCert* found = findMyCert(head, &wanted);
    index = 1;
    for (MyCert* record = head; record != found && record != nullptr; record = record->next) ++index;
    return found;
}

[[nodiscard]] int setCandidates(Arguments& arguments, const std::string& command, int candidate) {
    const std::vector<std::string>& selectors = arguments.positional();
    if (!arguments.valid()) return usageError(command, arguments.error());
    if (selectors.empty()) return usageError(command, "a certificate id or list index is needed");

    std::string settings;
    UniqueMyCertList list;
    if (const int status = markedPersonalStoreList(settings, list); status != kExitOk) return status;
    std::vector<std::pair<unsigned, MyCert*>> chosen;
    for (const std::string& selector : selectors) {
        unsigned index = 0;
        MyCert* record = selectRecord(list.get(), selector, index);
        if (record == nullptr) return reportProblem("no certificate " + selector + " in the personal store's list");
        chosen.emplace_back(index, record);
    }
    for (const auto& [index, record] : chosen) {
        record->candidate = candidate;
        writeOut((candidate ? "marked " : "unmarked ") + describe(index, *record) + "\n");
    }
    if (const ResultCode code = writeIniSignerCertCandidate(settings.c_str(), list.get()); code != KEST_OK)
        return reportFailure("writeIniSignerCertCandidate", code);
    return kExitOk;
}

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

// The list of a PKCS#12 file given as the one positional argument.
[[nodiscard]] int pkcs12List(Arguments& arguments, const std::string& command, UniqueMyCertList& list) {
    const std::optional<std::string> passwordVariable = arguments.takeOption(kPasswordEnvOption);
    const std::vector<std::string>& files = arguments.positional();
    if (!arguments.valid()) return usageError(command, arguments.error());
    if (files.size() != 1) return usageError(command, "one PKCS#12 file is needed");

    std::vector<BYTE> data;
    if (!readKeyFile(files[0], data)) return reportProblem("cannot read " + files[0]);
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

}  // namespace

int listStoreCommand(Arguments& arguments) {
    const bool json = arguments.takeFlag(kJsonOption);
    if (!arguments.positional().empty() || !arguments.valid())
        return usageError("list", arguments.valid() ? "no arguments expected" : arguments.error());
    std::string settings;
    UniqueMyCertList list;
    if (const int status = markedPersonalStoreList(settings, list); status != kExitOk) return status;
    printList(list.get(), json);
    return kExitOk;
}

int listPkcs12Command(Arguments& arguments) {
    const bool json = arguments.takeFlag(kJsonOption);
    UniqueMyCertList list;
    if (const int status = pkcs12List(arguments, "list-p12", list); status != kExitOk) return status;
    // Marks found again in a list from a key file: the point of certificate ids.
    std::string settings;
    if (const ResultCode code = settingsFile(settings); code != KEST_OK) return reportFailure("getIniFilePath", code);
    int matched = 0;
    if (const ResultCode code = readIniSignerCertCandidate(settings.c_str(), list.get(), &matched); code != KEST_OK)
        return reportFailure("readIniSignerCertCandidate", code);
    printList(list.get(), json);
    return kExitOk;
}

int addPkcs12Command(Arguments& arguments) {
    UniqueMyCertList list;
    if (const int status = pkcs12List(arguments, "add-p12", list); status != kExitOk) return status;
    if (!list) writeOut("no certificates with a private key in the file\n");
    unsigned index = 1;
    for (const MyCert* record = list.get(); record != nullptr; record = record->next, ++index) {
        if (const ResultCode code = storeMyCertToStore(record->certContext); code != KEST_OK)
            return reportFailure("storeMyCertToStore", code);
        writeOut("added " + describe(index, *record) + "\n");
    }
    return kExitOk;
}

int removeCommand(Arguments& arguments) {
    const std::vector<std::string>& selectors = arguments.positional();
    if (!arguments.valid()) return usageError("remove", arguments.error());
    if (selectors.size() != 1) return usageError("remove", "one certificate id or list index is needed");

    UniqueMyCertList list;
    if (const ResultCode code = personalStoreList(list); code != KEST_OK)
        return reportFailure("createMyCertList", code);
    unsigned index = 0;
    const MyCert* record = selectRecord(list.get(), selectors[0], index);
    if (record == nullptr) return reportProblem("no certificate " + selectors[0] + " in the personal store's list");
    if (const ResultCode code = deleteMyCertFromStore(record->certContext); code != KEST_OK)
        return reportFailure("deleteMyCertFromStore", code);
    writeOut("removed " + describe(index, *record) + "\n");
    return kExitOk;
}

int markCommand(Arguments& arguments) { return setCandidates(arguments, "mark", 1); }
int unmarkCommand(Arguments& arguments) { return setCandidates(arguments, "unmark", 0); }

int omitCommand(Arguments& arguments) {
    const std::vector<std::string>& words = arguments.positional();
    if (!arguments.valid()) return usageError("omit", arguments.error());
    if (words.size() != 1 || (words[0] != "set" && words[0] != "clear" && words[0] != "show"))
        return usageError("omit", "set, clear or show expected");

    std::string settings;
    if (const ResultCode code = settingsFile(settings); code != KEST_OK) return reportFailure("getIniFilePath", code);
    if (words[0] == "show") {
        int omit = 0;
        if (const ResultCode code = readIniOmitSelectCert(settings.c_str(), &omit); code != KEST_OK)
            return reportFailure("readIniOmitSelectCert", code);
        writeOut(omit ? "OmitSelectCert=1: the certificate choice is skipped\n"
                      : "OmitSelectCert=0: the certificate choice is shown\n");
        return kExitOk;
    }
    const int omit = words[0] == "set" ? 1 : 0;
    if (const ResultCode code = writeIniOmitSelectCert(settings.c_str(), omit); code != KEST_OK)
        return reportFailure("writeIniOmitSelectCert", code);
    return kExitOk;
}

}  // namespace kest::tool
