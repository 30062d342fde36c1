// What doctor concludes of an installation, and how it says so. Doctor gathers plain facts
// through the libraries, the personal store and the installation's files into a Diagnosis;
// diagnose() judges them without a call of its own and words each finding. A new verdict
// brings its facts into the check they belong to, and its judgement into that check's part of
// diagnose().
#pragma once

#include "Catalogue.h"
#include "LogDestination.h"
#include "TextFiles.h"

#include "KestResult.h"

#include <windows.h>

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace kest::tool {

// The checks, in the order doctor makes them: the order a host meets them in.
inline constexpr char kInstallationCheck[] = "installation";
inline constexpr char kSettingsCheck[] = "settings";
inline constexpr char kCatalogueCheck[] = "catalogue";
inline constexpr char kLogCheck[] = "log";
inline constexpr char kCertificatesCheck[] = "certificates";
inline constexpr char kCandidatesCheck[] = "candidates";

enum class Status { ok, warning, problem };
[[nodiscard]] const char* statusName(Status status);

// One line of the report; texts in UTF-8.
struct Finding {
    const char* check;
    Status status;
    std::string text;
    std::string remedy;              // what to do, after the code; empty for ok
    std::optional<ResultCode> code;  // where a library call gave one
};

// A certificate of the personal store as a record of the list gives it: texts in the active
// code page, validity in the records' form ("2026.12.10 09:30:00", UTC), which compares in
// order as text.
struct StoreCertificate {
    std::string subject;
    std::string issuer;
    std::string serial;  // the record's hexadecimal digits
    std::string notBefore;
    std::string notAfter;
};

struct Diagnosis {
    std::string now;  // UTC, in the records' form

    struct Installation {
        std::optional<std::string> directory;  // KestInstallPath's; none when it gives none
        bool isFolder = false;
        // Not a folder: the folder's own name (UTF-8) where the ANSI code page spells another
        // (é as e, Hangul as ?), so that the ANSI calls of every library miss it.
        std::optional<std::string> unspellable;
    } installation;

    // Read only where getIniFilePath gives a path.
    struct Settings {
        ResultCode pathCode = KEST_OK;     // getIniFilePath's
        std::string path;                  // its path, also one not found
        std::optional<Encoding> encoding;  // told from its bytes; none when they cannot be read
        std::size_t firstNul = std::string::npos;
        DWORD writeRefusal = ERROR_SUCCESS;  // of an open for writing, nothing written
        std::vector<std::string> sections;   // as the profile functions list them
        std::vector<std::string> keys;       // of the library's section, as they list them
        ResultCode omitCode = KEST_OK;       // readIniOmitSelectCert's, and its value
        int omit = 0;
    } settings;

    // Read only in an installation directory.
    struct Catalogue {
        bool read = false;  // whether its file could be read
        std::optional<CatalogueFinding> encoding;
        std::vector<CatalogueFinding> findings;
    } catalogue;

    struct Log {
        bool on = false;  // LogFlag's
        LogDestination destination{};
    } log;

    struct Certificates {
        ResultCode listCode = KEST_OK;             // createMyCertList's; the rest only with KEST_OK
        std::vector<StoreCertificate> listed;      // the list's records in order: index 1 first
        bool storeWalked = false;                  // for the certificates the list leaves out
        std::vector<StoreCertificate> withoutKey;  // those, without validity
    } certificates;

    // Read only with a settings file and a list.
    struct StoredId {
        std::string id;                    // active code page
        std::optional<std::size_t> found;  // the listed certificate findMyCert finds for it
    };
    struct Candidates {
        ResultCode readCode = KEST_OK;  // readIniSignerCertCandidate's on the list
        std::vector<StoredId> stored;   // as the library reads them: up to the first key missing or empty
        // For each candidate key of `settings.keys`, the value the library reads under its number.
        std::map<unsigned, std::string> valueOf;
    } candidates;

    [[nodiscard]] bool catalogueChecked() const {
        return installation.directory.has_value() && !installation.directory->empty();
    }
    [[nodiscard]] bool candidatesChecked() const {
        return settings.pathCode == KEST_OK && certificates.listCode == KEST_OK;
    }
};

// The installation's catalogue file.
[[nodiscard]] std::string cataloguePath(const std::string& directory);

// The findings in the order of the checks, each check's own in the order it makes them.
[[nodiscard]] std::vector<Finding> diagnose(const Diagnosis& facts);

// The libraries' records of each check's calls (ANSI), by check.
using RecordsByCheck = std::map<std::string, std::vector<std::string>, std::less<>>;

// The report: a line a finding, status and check in columns, the code and its message before
// what to do, then the count of problems and warnings.
[[nodiscard]] std::string findingsText(const std::vector<Finding>& findings);
// The libraries' records of each check that found something, once per check, after the report.
[[nodiscard]] std::string findingsTrace(const std::vector<Finding>& findings, const RecordsByCheck& records);
// The findings as a JSON array of objects in UTF-8, each with its check's records if given.
[[nodiscard]] std::string findingsJson(const std::vector<Finding>& findings, const RecordsByCheck* records);

}  // namespace kest::tool
