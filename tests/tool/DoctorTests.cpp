// kesttool doctor on sample installations, one broken in one way per case: the check that
// finds it, its status and exit status, and that the installation is as before afterwards
// (settings file, the stand-in's registry key, the personal store, the installation folder),
// and the log as it was, byte for byte: the libraries' records of doctor's calls stay in its memory.
// The cases are those whose facts only the real libraries, profile functions, store and files
// give; what doctor concludes of given facts is DiagnosisTests.cpp's.
#include "KestMyCert.h"
#include "TestOwners.h"
#include "KestToolProcess.h"
#include "KnownDifference.h"
#include "MyCertTestSupport.h"
#include "TestData.h"
#include "ToolTestData.h"

#include <gmock/gmock.h>
#include <nlohmann/json.hpp>

#include <windows.h>

#include <algorithm>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace kest::test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

// readTestData reads in the certificate tests' data folder; the doctor's certificates
// (data/make-doctor-data.sh) are copied into testdata\tool beside it.
constexpr char kData[] = "..\\tool\\";
constexpr char kRegistryRoot[] = "Software\\Kest";
const std::vector<std::string> kLibraryUnits = {"KestCommonUtil.cpp", "KestMyCertManager.cpp",
                                                "KestMyCertStoreUtil.cpp"};
// The checks whose problems come from library calls, which write records.
const std::vector<std::string> kTracedChecks = {"settings", "certificates", "candidates"};

// One object of doctor's JSON: every value a string, null read as "null".
using Object = std::map<std::string, std::string>;

// Doctor's JSON: an array of flat objects of strings and nulls; anything else throws.
std::vector<Object> parseFindings(const std::string& json) {
    const nlohmann::json parsed = nlohmann::json::parse(json);
    if (!parsed.is_array()) throw std::runtime_error("JSON: no array: " + json);
    std::vector<Object> objects;
    for (const nlohmann::json& finding : parsed) {
        if (!finding.is_object()) throw std::runtime_error("JSON: no object: " + finding.dump());
        Object object;
        for (const auto& [key, value] : finding.items())
            object[key] = value.is_null() ? "null" : value.get<std::string>();
        objects.push_back(object);
    }
    return objects;
}

// The values under a registry key and all its subkeys, as "path\name=type:data" lines.
void dumpRegistry(HKEY parent, const std::string& path, std::vector<std::string>& lines) {
    kest::UniqueRegKey opened;
    if (RegOpenKeyExA(parent, path.c_str(), 0, KEY_READ, kest::putInto(opened)) != ERROR_SUCCESS) return;
    const HKEY key = opened.get();
    for (DWORD index = 0;; ++index) {
        char name[256];
        DWORD nameSize = sizeof name, type = 0;
        BYTE data[4096];
        DWORD dataSize = sizeof data;
        if (RegEnumValueA(key, index, name, &nameSize, nullptr, &type, data, &dataSize) != ERROR_SUCCESS) break;
        lines.push_back(path + "\\" + name + "=" + std::to_string(type) + ":" +
                        std::string(reinterpret_cast<char*>(data), dataSize));
    }
    std::vector<std::string> subkeys;
    for (DWORD index = 0;; ++index) {
        char name[256];
        DWORD nameSize = sizeof name;
        if (RegEnumKeyExA(key, index, name, &nameSize, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        subkeys.emplace_back(name);
    }
    opened.reset();
    for (const std::string& subkey : subkeys) dumpRegistry(HKEY_CURRENT_USER, path + "\\" + subkey, lines);
}

// What doctor must leave as it found it.
struct Snapshot {
    bool settingsExists;
    std::string settings;
    std::vector<std::string> registry;
    std::vector<std::string> store;  // each certificate's encoding and whether its key is reachable
    std::vector<std::string> files;  // of the installation folder but the log, which the libraries write

    bool operator==(const Snapshot& other) const {
        return settingsExists == other.settingsExists && settings == other.settings && registry == other.registry &&
               store == other.store && files == other.files;
    }
};

std::wstring toWide(const std::string& ansi) {
    const int wideSize = MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(wideSize), L'\0');
    MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), wide.data(), wideSize);
    return wide;
}

std::string toUtf8(const std::string& ansi) {
    const std::wstring wide = toWide(ansi);
    const auto wideSize = static_cast<int>(wide.size());
    const int size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideSize, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideSize, utf8.data(), size, nullptr, nullptr);
    return utf8;
}

// A certificate of the data, as the library's list names it.
struct Named {
    std::string id;       // active code page, as the settings file holds it
    std::string subject;  // UTF-8
};

enum class Settings { file, none };
// The log is on, to: the installation's kest.log, there or not yet; a file in a missing folder; the installation folder
// itself; a relative path; the installation's kest.log held open by a viewer that follows it (it lets writers write,
// Log shares with no one).
enum class LogFolder { installation, installationWithoutFile, missing, folder, relative, followed, heldByWriter };
// How the settings file is saved: as shipped, or as an editor may save it.
enum class Saved { shiftJis, utf8WithBom, utf16Be };

struct DoctorCase {
    const char* name;
    std::vector<const char*> withKey;     // .p12 files of the data, added with their keys
    std::vector<const char*> withoutKey;  // .der files, added without a key
    std::vector<const char*> candidates;  // names of the data, or ids as they are
    Settings settings;
    const char* omit;  // the OmitSelectCert value; null for none
    LogFolder log;
    DWORD exitCode;
    std::vector<std::string> problemChecks;  // the checks that say problem, in order
    std::vector<std::string> warningChecks;  // and those that warn
    // One line expected: its check, status and code, texts it holds and does not hold; "{name}"
    // stands for the id of that certificate of the data, "{name:subject}" for its subject.
    const char* check;
    const char* status;
    const char* code;
    std::vector<std::string> holds;
    std::vector<std::string> lacks;
    const char* settingsTail = "";  // lines appended to the settings file, "{name}" as in holds
    Saved settingsSaved = Saved::shiftJis;
    bool settingsReadOnly = false;
    // Where Windows' profile functions read the settings file otherwise than Wine 8.0's: the
    // checks that warn on Windows, and where that is stated; warningChecks is then Wine's answer.
    std::vector<std::string> windowsWarningChecks = {};
    const char* windowsSource = nullptr;
};

// Windows' reading of a settings file saved with a UTF-8 mark or as big-endian UTF-16.
constexpr char kWindowsProfileEncodings[] =
    "github.com/WelliSolutions/IniFileFormatReverseEngineering, documentation/GetPrivateProfileString.md, "
    "lpFileName: a UTF-8 BOM breaks the first section; UTF-16 BE is not understood";

// Text of the active code page as an editor saves it.
std::string saved(const std::string& ansi, Saved how) {
    switch (how) {
        case Saved::shiftJis: return ansi;
        case Saved::utf8WithBom: return "\xEF\xBB\xBF" + toUtf8(ansi);
        case Saved::utf16Be: break;
    }
    std::string bytes = "\xFE\xFF";
    for (const wchar_t unit : toWide(ansi))
        bytes += std::string{static_cast<char>((unit >> 8) & 0xFF), static_cast<char>(unit & 0xFF)};
    return bytes;
}

std::ostream& operator<<(std::ostream& out, const DoctorCase& doctorCase) { return out << doctorCase.name; }

class KestToolDoctor : public PersonalStoreTest, public ::testing::WithParamInterface<DoctorCase> {
protected:
    // The id and subject of a certificate of the data, from a list of its key file.
    Named named(const std::string& name) {
        if (const auto known = named_.find(name); known != named_.end()) return known->second;
        const WorkingPfxVerifyPassword passwordCheck;
        std::vector<BYTE> data = readTestData(kData + name + ".p12");
        MyCert* head = nullptr;
        if (createMyCertListInPkcs12Store(data.data(), static_cast<DWORD>(data.size()), kPkcs12Password, &head) !=
                KEST_OK ||
            head == nullptr)
            throw std::runtime_error("no list of " + name);
        const UniqueMyCertList list{head};
        return named_[name] = {std::string(head->serialHex) + ";" + head->issuer, toUtf8(head->subject)};
    }

    // "{name}" is the certificate's id, "{name:subject}" its subject, "{name:index}" its index
    // in the personal store's list as arranged.
    std::string expand(std::string text) {
        for (std::size_t open; (open = text.find('{')) != std::string::npos;) {
            const std::size_t close = text.find('}', open);
            std::string name = text.substr(open + 1, close - open - 1);
            const std::size_t colon = name.find(':');
            const std::string part = colon == std::string::npos ? "" : name.substr(colon + 1);
            name = name.substr(0, colon);
            const Named certificate = named(name);
            text.replace(open, close - open + 1,
                         part == "subject" ? certificate.subject
                         : part == "index" ? std::to_string(listIndex_.at(certificate.id))
                                           : toUtf8(certificate.id));
        }
        return text;
    }

    void arrange(const DoctorCase& doctorCase) {
        for (const char* name : doctorCase.withKey) addPkcs12ToPersonalStore(kData + std::string(name) + ".p12");
        for (const char* name : doctorCase.withoutKey) addDerToPersonalStore(kData + std::string(name) + ".der");
        indexTheList();
        writeFileBytes(installFile("KestErr.csv"), readFileBytes(testDataPath("KestErr\\KestErr.csv")));
        if (doctorCase.settings == Settings::file) {
            std::string settings = "[MyCertificate]\r\n";
            if (doctorCase.omit != nullptr) settings += std::string("OmitSelectCert=") + doctorCase.omit + "\r\n";
            for (std::size_t n = 0; n < doctorCase.candidates.size(); ++n) {
                const std::string candidate = doctorCase.candidates[n];
                char key[16];
                std::snprintf(key, sizeof key, "CertId_%04u", static_cast<unsigned>(n));
                settings += key + std::string("=") +
                            (candidate.find(';') != std::string::npos ? candidate : named(candidate).id) + "\r\n";
            }
            writeFileBytes(installFile("KestEnv.ini"),
                           saved(settings + idsOf(doctorCase.settingsTail), doctorCase.settingsSaved));
            if (doctorCase.settingsReadOnly)
                SetFileAttributesA(installFile("KestEnv.ini").c_str(), FILE_ATTRIBUTE_READONLY);
        }
        // Last: naming the data's certificates lists them, which logs.
        switch (doctorCase.log) {
            case LogFolder::installation: break;
            case LogFolder::installationWithoutFile: DeleteFileA(logPath().c_str()); break;
            case LogFolder::missing: setLogPath(installFile("absent") + "\\kest.log"); break;
            case LogFolder::folder: setLogPath(installDir()); break;
            case LogFolder::relative: setLogPath("kest.log"); break;
            // A viewer following the log (shares reading and writing), or another writer (an
            // editor that saves, which shares reading only).
            case LogFolder::followed:
            case LogFolder::heldByWriter:
                holder_.reset(CreateFileA(
                    logPath().c_str(), doctorCase.log == LogFolder::followed ? GENERIC_READ : GENERIC_WRITE,
                    doctorCase.log == LogFolder::followed ? FILE_SHARE_READ | FILE_SHARE_WRITE : FILE_SHARE_READ,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
                if (!holder_) throw std::runtime_error("the log cannot be held open");
                break;
        }
    }

    // What arrange made read-only is writable again, and what it held open closed, for the
    // installation to go.
    void makeWritable() {
        holder_.reset();
        SetFileAttributesA(installFile("KestEnv.ini").c_str(), FILE_ATTRIBUTE_NORMAL);
    }

    Snapshot snapshot() const {
        Snapshot shot;
        shot.settingsExists = fileExists(installFile("KestEnv.ini"));
        shot.settings = readFileBytes(installFile("KestEnv.ini"));
        dumpRegistry(HKEY_CURRENT_USER, kRegistryRoot, shot.registry);
        for (const CertContextPtr& cert : personalStoreCerts())
            shot.store.push_back(std::string(reinterpret_cast<const char*>(cert->pbCertEncoded), cert->cbCertEncoded) +
                                 (keyInLinkedContainer(cert.get()) ? "+key" : "-key"));
        std::sort(shot.store.begin(), shot.store.end());
        shot.files = filesIn(installDir());
        return shot;
    }

private:
    // "{name}" in settings lines: the ids of the data's certificates, in the active code page.
    std::string idsOf(std::string text) {
        for (std::size_t open; (open = text.find('{')) != std::string::npos;) {
            const std::size_t close = text.find('}', open);
            text.replace(open, close - open + 1, named(text.substr(open + 1, close - open - 1)).id);
        }
        return text;
    }

    void indexTheList() {
        MyCert* head = nullptr;
        if (createMyCertList(&head) != KEST_OK) throw std::runtime_error("no list of the personal store");
        const UniqueMyCertList list{head};
        unsigned index = 0;
        for (const MyCert* record = head; record != nullptr; record = record->next)
            listIndex_[std::string(record->serialHex) + ";" + record->issuer] = ++index;
    }

    std::map<std::string, Named> named_;
    std::map<std::string, unsigned> listIndex_;  // of each certificate's id
    kest::UniqueFileHandle holder_;              // LogFolder::followed's and heldByWriter's
};

std::vector<std::string> checksSaying(const std::string& status, const std::vector<Object>& findings) {
    std::vector<std::string> checks;
    for (const Object& finding : findings)
        if (finding.at("status") == status && (checks.empty() || checks.back() != finding.at("check")))
            checks.push_back(finding.at("check"));
    return checks;
}

TEST_P(KestToolDoctor, FindsAndNamesWhatKeepsSigningFromStartingAndChangesNothing) {
    const DoctorCase& doctorCase = GetParam();
    arrange(doctorCase);
    const std::string logBefore = logBytes();
    const Snapshot before = snapshot();

    const ToolRun json = runKestTool("doctor --json");
    const ToolRun text = runKestTool("doctor");
    const ToolRun traced = runKestTool("doctor --trace");
    makeWritable();

    // The installation folder's listing says whether the log file is there.
    EXPECT_TRUE(snapshot() == before) << "doctor changed the installation";
    EXPECT_TRUE(logBytes() == logBefore) << "doctor changed the log";
    if (doctorCase.log == LogFolder::missing) {
        EXPECT_FALSE(fileExists(installFile("absent")));
    }
    // --trace: the same report, then the libraries' records of each check that found something.
    EXPECT_EQ(traced.out.compare(0, text.out.size(), text.out), 0) << traced.out;
    if (std::string(doctorCase.status) != "ok") {
        const std::size_t heading =
            traced.out.find(std::string("--- the libraries' records of the ") + doctorCase.check + " check");
        EXPECT_NE(heading, std::string::npos) << traced.out;
        const std::string trace = heading == std::string::npos ? "" : traced.out.substr(heading);
        if (std::string(doctorCase.status) == "problem" &&
            std::find(kTracedChecks.begin(), kTracedChecks.end(), doctorCase.check) != kTracedChecks.end()) {
            EXPECT_TRUE(std::any_of(
                kLibraryUnits.begin(), kLibraryUnits.end(),
                [&](const std::string& unit) { return trace.find("\n    " + unit + ",") != std::string::npos; }))
                << "no record of a library's call under the check's heading:\n"
                << traced.out;
        }
    }

    EXPECT_EQ(json.exitCode, doctorCase.exitCode) << json.out;
    EXPECT_EQ(text.exitCode, doctorCase.exitCode) << text.out;
    const std::vector<Object> findings = parseFindings(json.out);
    // The same lines as text, then the count.
    EXPECT_EQ(std::count(text.out.begin(), text.out.end(), '\n'), static_cast<long>(findings.size() + 1)) << text.out;

    EXPECT_EQ(checksSaying("problem", findings), doctorCase.problemChecks) << json.out;
    if (doctorCase.windowsSource != nullptr)
        EXPECT_TRUE(knownDifference(checksSaying("warning", findings), doctorCase.windowsWarningChecks,
                                    doctorCase.warningChecks, doctorCase.windowsSource))
            << json.out;
    else
        EXPECT_EQ(checksSaying("warning", findings), doctorCase.warningChecks) << json.out;

    const Object* line = nullptr;
    for (const Object& finding : findings)
        if (finding.at("check") == doctorCase.check && finding.at("status") == doctorCase.status &&
            std::all_of(doctorCase.holds.begin(), doctorCase.holds.end(), [&](const std::string& part) {
                return finding.at("text").find(expand(part)) != std::string::npos;
            }))
            line = &finding;
    ASSERT_NE(line, nullptr) << "no " << doctorCase.status << " line of " << doctorCase.check << " holding "
                             << ::testing::PrintToString(doctorCase.holds) << " in\n"
                             << json.out;
    for (const std::string& part : doctorCase.lacks) EXPECT_THAT(line->at("text"), Not(HasSubstr(expand(part))));
    EXPECT_EQ(line->at("code"), doctorCase.code);
    if (std::string(doctorCase.code) != "null") {
        EXPECT_NE(line->at("message"), "null");
        // What to do comes last, after the code and its message.
        EXPECT_THAT(text.out, HasSubstr(doctorCase.code + (" " + line->at("message")) + "; "));
    }
}

// The keys as an editor may have spelled them, which the profile functions read all the same.
const std::string kKeysInOtherLetterCases =
    std::string(kOmitKeyInUpperCase) + "=1\r\n" + kFirstCandidateKeyInLowerCase + "={current}\r\n";

const DoctorCase kCases[] = {
    {"Healthy",
     {"current"},
     {},
     {"current"},
     Settings::file,
     "1",
     LogFolder::installationWithoutFile,
     0,
     {},
     {},
     "candidates",
     "ok",
     "null",
     {"CertId_0000 {current:subject} ({current})"},
     {}},
    {"StaleId",
     {"current"},
     {},
     {"0bad;CN=Nobody"},
     Settings::file,
     "0",
     LogFolder::installation,
     1,
     {"candidates"},
     {},
     "candidates",
     "problem",
     "null",
     {"CertId_0000 0bad;CN=Nobody matches no certificate of the list",
      "no certificate of the personal store has this id; take it out with kesttool unmark \"0bad;CN=Nobody\""},
     {"successor"}},
    {"RenewalNamedAsSuccessor",
     {"renewed", "colleague"},
     {"current"},
     {"current"},
     Settings::file,
     "1",
     LogFolder::installation,
     1,
     {"candidates"},
     {"certificates"},
     "candidates",
     "problem",
     "null",
     {"CertId_0000 {current} matches no certificate",
      "private key cannot be reached; likely successor (same subject and issuer): {renewed:subject} ({renewed}); "
      "mark it with kesttool mark {renewed:index}"},
     {"{colleague}"}},
    {"CandidateAfterAMissingKey",
     {"current"},
     {},
     {},
     Settings::file,
     "0",
     LogFolder::installation,
     0,
     {},
     {"candidates"},
     "candidates",
     "warning",
     "null",
     {"certid_0001 {current} is never read", "and CertId_0000 is missing; mark its certificate again"},
     {},
     // In lower case, as the profile functions list it: doctor still knows it for a candidate key.
     "certid_0001={current}\r\n"},
    {"MisspelledSectionAndKey",
     {"current"},
     {},
     {},
     Settings::file,
     "0",
     LogFolder::installation,
     0,
     {},
     {"settings"},
     "settings",
     "warning",
     "null",
     {"KestEnv.ini: nothing reads [MyCertficate], [MyCertificate] CertId_1; rename them"},
     {},
     "CertId_1={current}\r\n[MyCertficate]\r\nCertId_0000={current}\r\n"},
    // The candidate under the second section of the name is never read: the profile
    // functions stop at the first.
    {"SecondSectionOfTheSameName",
     {"current"},
     {},
     {},
     Settings::file,
     "0",
     LogFolder::installation,
     0,
     {},
     {"settings"},
     "settings",
     "warning",
     "null",
     {"[MyCertificate] is there 2 times: the profile functions read the first alone", "the later [mycertificate]"},
     {},
     "[Printing]\r\nCopies=1\r\n[mycertificate]\r\nCertId_0000={current}\r\n"},
    {"ReadOnlySettings",
     {"current"},
     {},
     {"current"},
     Settings::file,
     "0",
     LogFolder::installation,
     1,
     {"settings"},
     {},
     "settings",
     "problem",
     "null",
     {"KestEnv.ini: read-only: the host cannot save the user's choice", "attrib -r "},
     {},
     "",
     Saved::shiftJis,
     true},
    // Windows loses [MyCertificate] on the mark's line, so OmitSelectCert and the candidate with
    // it, and doctor warns of the missing OmitSelectCert; Wine 8.0 reads the file as UTF-8.
    {"SettingsSavedAsUtf8WithAMark",
     {"current"},
     {},
     {"current"},
     Settings::file,
     "0",
     LogFolder::installation,
     1,
     {"settings"},
     {},
     "settings",
     "problem",
     "null",
     {"KestEnv.ini: saved as UTF-8 with a byte-order mark: Windows reads the mark as part of the first line",
      "; save it as Shift_JIS (ANSI)"},
     {},
     "",
     Saved::utf8WithBom,
     false,
     {"settings"},
     kWindowsProfileEncodings},
    // Windows reads no setting from big-endian UTF-16, so doctor warns of the missing
    // OmitSelectCert; Wine 8.0 reads the file.
    {"SettingsSavedAsBigEndianUtf16",
     {"current"},
     {},
     {"current"},
     Settings::file,
     "0",
     LogFolder::installation,
     1,
     {"settings"},
     {},
     "settings",
     "problem",
     "null",
     {"KestEnv.ini: saved as UTF-16 with a big-endian byte-order mark: Windows reads no setting from it",
      "; save it as Shift_JIS (ANSI)"},
     {},
     "",
     Saved::utf16Be,
     false,
     {"settings"},
     kWindowsProfileEncodings},
    {"SettingsWithAJapaneseNameInUtf8",
     {"current"},
     {},
     {u8"0d01;CN=署名者, O=Kest Test, C=JP"},
     Settings::file,
     "0",
     LogFolder::installation,
     1,
     {"settings", "candidates"},
     {},
     "settings",
     "problem",
     "null",
     {"KestEnv.ini: saved as UTF-8: Japanese names in ids are read as Shift_JIS and match no certificate"},
     {}},
    {"BadOmitFlag",
     {"current"},
     {},
     {"current"},
     Settings::file,
     "2",
     LogFolder::installation,
     1,
     {"settings"},
     {},
     "settings",
     "problem",
     "0x25000105",
     {"KestEnv.ini: OmitSelectCert is neither 0 nor 1"},
     {}},
    {"MissingSettingsFile",
     {"current"},
     {},
     {},
     Settings::none,
     nullptr,
     LogFolder::installation,
     1,
     {"settings"},
     {"candidates"},
     "settings",
     "problem",
     "0x25000101",
     {"KestEnv.ini not found"},
     {}},
    {"MissingLogFolder",
     {"current"},
     {},
     {"current"},
     Settings::file,
     "1",
     LogFolder::missing,
     1,
     {"log"},
     {},
     "log",
     "problem",
     "null",
     {"absent\\kest.log, but the folder ", "absent does not exist: every record is dropped; create the folder"},
     {}},
    {"LogPathNamesAFolder",
     {"current"},
     {},
     {"current"},
     Settings::file,
     "1",
     LogFolder::folder,
     1,
     {"log"},
     {},
     "log",
     "problem",
     "null",
     {", which is a folder: no record can be written; name a file in it with kesttool log on "},
     {}},
    {"RelativeLogPath",
     {"current"},
     {},
     {"current"},
     Settings::file,
     "1",
     LogFolder::relative,
     0,
     {},
     {"log"},
     "log",
     "warning",
     "null",
     {"on, to kest.log, a relative path: the records go wherever the host was started",
      "; set a full path with its drive letter with kesttool log on"},
     {"dropped"}},
    // Log shares its file with readers: a viewer following the log stops nothing. Another
    // writer does.
    {"LogFileFollowedByAViewer",
     {"current"},
     {},
     {"current"},
     Settings::file,
     "1",
     LogFolder::followed,
     0,
     {},
     {},
     "log",
     "ok",
     "null",
     {"kest.log"},
     {"holds open", "dropped"}},
    {"LogFileHeldOpenByAnotherWriter",
     {"current"},
     {},
     {"current"},
     Settings::file,
     "1",
     LogFolder::heldByWriter,
     1,
     {"log"},
     {},
     "log",
     "problem",
     "null",
     {"kest.log, which another program holds open for writing", "waits a moment for each record, then drops it",
      "close the program that holds it"},
     {}},
    {"KeysInOtherLetterCases",
     {"current"},
     {},
     {},
     Settings::file,
     nullptr,
     LogFolder::installation,
     0,
     {},
     {},
     "candidates",
     "ok",
     "null",
     {"CertId_0000 {current:subject} ({current})"},
     {},
     kKeysInOtherLetterCases.c_str()},
};

INSTANTIATE_TEST_SUITE_P(Installations, KestToolDoctor, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<DoctorCase>& info) { return info.param.name; });

// The stale id doctor reports is taken out with the tool, as its line says.
TEST_F(KestToolDoctor, UnmarkTakesOutAStaleIdThatNoCertificateCarries) {
    const DoctorCase& staleId = kCases[1];
    ASSERT_STREQ(staleId.name, "StaleId");
    arrange(staleId);
    const ToolRun unmark = runKestTool(std::string("unmark \"") + staleId.candidates[0] + "\"");
    EXPECT_EQ(unmark.exitCode, 0u) << unmark.err;
    EXPECT_THAT(readFileBytes(installFile("KestEnv.ini")), Not(HasSubstr(staleId.candidates[0])));
    const ToolRun doctor = runKestTool("doctor --json");
    EXPECT_THAT(doctor.out, Not(HasSubstr(staleId.candidates[0]))) << doctor.out;
    // An id that was never stored is still no certificate to unmark.
    EXPECT_EQ(runKestTool("unmark \"0bad;CN=Nobody Else\"").exitCode, 1u);
}

// The findings of one check with a status whose text holds `part`.
std::vector<Object> findingsHolding(const std::vector<Object>& findings, const std::string& check,
                                    const std::string& status, const std::string& part) {
    std::vector<Object> found;
    for (const Object& finding : findings)
        if (finding.at("check") == check && finding.at("status") == status &&
            finding.at("text").find(part) != std::string::npos)
            found.push_back(finding);
    return found;
}

// An in-house CA's reissue under the same serial: doctor names both certificates, mark of the
// earlier says that the host takes the later instead, and the remedy, followed, clears it.
TEST_F(KestToolDoctor, TwoCertificatesWithOneIdAreToldAndRemovingOneClearsIt) {
    const DoctorCase twins{"Twins",
                           {"expired", "reissued"},
                           {},
                           {"expired"},
                           Settings::file,
                           "0",
                           LogFolder::installation,
                           0,
                           {},
                           {},
                           "certificates",
                           "warning",
                           "null",
                           {},
                           {}};
    arrange(twins);
    const std::vector<Object> told =
        findingsHolding(parseFindings(runKestTool("doctor --json").out), "certificates", "warning", "carry one id");
    ASSERT_EQ(told.size(), 1u);
    const std::string& text = told[0].at("text");
    // "1: <one> and 2: <other> carry one id ... (kesttool remove <n> for the one not valid)"
    const std::string lead = "(kesttool remove ";
    ASSERT_NE(text.find(lead), std::string::npos) << text;
    const std::string expiredIndex = text.substr(text.find(lead) + lead.size(), 1);

    // The earlier one cannot be marked: its id finds the later.
    const ToolRun mark = runKestTool("mark 1");
    EXPECT_EQ(mark.exitCode, 1u);
    EXPECT_EQ(mark.out, "");
    EXPECT_THAT(mark.err, HasSubstr("2: CN=Kest Doctor Expired, O=Kest Test, C=JP (0d04;"));
    EXPECT_THAT(mark.err, HasSubstr("carries the same id"));

    ASSERT_EQ(runKestTool("remove " + expiredIndex).exitCode, 0u);
    EXPECT_THAT(
        findingsHolding(parseFindings(runKestTool("doctor --json").out), "certificates", "warning", "carry one id"),
        ::testing::IsEmpty());
}

// Installed under a folder whose name holds é: KestInstallPath hands its callers the name the
// ANSI code page spells (best fit, C:\...\Cafe), and doctor names the folder as it is, instead
// of telling the customer to restore files that are right there.
TEST_F(KestToolDoctor, AnInstallationFolderTheCodePageCannotSpellIsNamedAsItIs) {
    const std::wstring folder = toWide(installDir()) + L"\\Caf\u00e9";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    char ansi[MAX_PATH];
    WideCharToMultiByte(CP_ACP, 0, folder.c_str(), -1, ansi, sizeof ansi, nullptr, nullptr);
    setInstallPath(ansi);
    const std::vector<Object> findings = parseFindings(runKestTool("doctor --json").out);
    RemoveDirectoryW(folder.c_str());
    EXPECT_EQ(findingsHolding(findings, "installation", "problem",
                              "Caf\xc3\xa9"
                              ", a name the code page cannot spell")
                  .size(),
              1u);
    EXPECT_EQ(findingsHolding(findings, "settings", "problem", "see the installation line").size(), 1u);
    EXPECT_EQ(findingsHolding(findings, "catalogue", "problem", "see the installation line").size(), 1u);
}

// Validity is UTC in the records and must be judged against UTC: around the moment that
// matters (made now, hours either side of it), local time nine hours ahead in Japan would
// call the first expired, and validity read as local time the second valid.
TEST_F(KestToolDoctor, ACertificateEndingInHoursIsValidAndOneEndedHoursAgoExpiredInUtc) {
    const SYSTEMTIME from = hoursFromNow(-48);
    const SYSTEMTIME soonEnd = hoursFromNow(2);
    const SYSTEMTIME pastEnd = hoursFromNow(-2);
    static_cast<void>(addKeyedCertificate("C=JP, O=Kest Test, CN=Kest Doctor Ends Soon", from, soonEnd));
    static_cast<void>(addKeyedCertificate("C=JP, O=Kest Test, CN=Kest Doctor Just Ended", from, pastEnd));
    MyCert* head = nullptr;
    ASSERT_EQ(createMyCertList(&head), KEST_OK);
    const UniqueMyCertList list{head};
    std::map<std::string, std::string> idOf;  // by subject
    for (const MyCert* record = head; record != nullptr; record = record->next)
        idOf[record->subject] = std::string(record->serialHex) + ";" + record->issuer;
    const std::string soon = "CN=Kest Doctor Ends Soon, O=Kest Test, C=JP";
    const std::string ended = "CN=Kest Doctor Just Ended, O=Kest Test, C=JP";
    ASSERT_EQ(idOf.size(), 2u);
    writeFileBytes(installFile("KestErr.csv"), readFileBytes(testDataPath("KestErr\\KestErr.csv")));
    writeFileBytes(installFile("KestEnv.ini"), "[MyCertificate]\r\nOmitSelectCert=0\r\nCertId_0000=" + idOf.at(soon) +
                                                   "\r\nCertId_0001=" + idOf.at(ended) + "\r\n");

    const ToolRun doctor = runKestTool("doctor --json");
    EXPECT_EQ(doctor.exitCode, 0u) << doctor.out;
    const std::vector<Object> findings = parseFindings(doctor.out);
    const std::string endedLine = ended + " (" + idOf.at(ended) + "): expired on " + recordTime(pastEnd) + " UTC";
    EXPECT_EQ(findingsHolding(findings, "certificates", "warning", endedLine).size(), 1u) << doctor.out;
    EXPECT_EQ(findingsHolding(findings, "candidates", "warning", "CertId_0001 " + endedLine).size(), 1u) << doctor.out;
    EXPECT_EQ(findingsHolding(findings, "candidates", "ok", "CertId_0000 " + soon + " (" + idOf.at(soon) + ")").size(),
              1u)
        << doctor.out;
    for (const Object& finding : findings) {
        if (finding.at("status") == "ok") continue;
        EXPECT_THAT(finding.at("text"), Not(HasSubstr(soon))) << doctor.out;
    }
}

// The settings file and the catalogue are read as the bytes they are: a CRLF before a NUL byte
// does not move its offset (counted from 0, as a hex viewer counts), and a 0x1A before it does
// not end the file, as a read in text mode would do.
TEST_F(KestToolDoctor, NulBytesAreFoundAtTheirOffsetsAmongCrLfAnd0x1A) {
    const std::string settings = "[MyCertificate]" + kCrLf + "OmitSelectCert=0" + kCrLf + "[Host]" + kCrLf +
                                 "Mark=" + kCtrlZ + kCrLf + "Note=a" + kNulByte + "b" + kCrLf;
    // An old editor's end-of-file mark after the last line, which text mode reads as the end.
    const std::string catalogue =
        readFileBytes(testDataPath("KestErr\\KestErr.csv")) + "X25000999,a" + kNulByte + "b" + kCrLf + kCtrlZ;
    writeFileBytes(installFile("KestEnv.ini"), settings);
    writeFileBytes(installFile("KestErr.csv"), catalogue);
    const std::string settingsNul = "(the first at byte " + std::to_string(settings.find('\0')) + ")";
    const std::string catalogueNul = "(the first at byte " + std::to_string(catalogue.find('\0')) + ")";

    const ToolRun doctor = runKestTool("doctor --json");
    const std::vector<Object> findings = parseFindings(doctor.out);
    EXPECT_EQ(findingsHolding(findings, "settings", "problem", "text with NUL bytes: a NUL byte " + settingsNul).size(),
              1u)
        << doctor.out;
    EXPECT_EQ(findingsHolding(findings, "catalogue", "problem",
                              "text with NUL bytes: a line is read only up to its "
                              "first NUL byte " +
                                  catalogueNul)
                  .size(),
              1u)
        << doctor.out;
    const ToolRun checker = runKestTool("check-catalogue \"" + installFile("KestErr.csv") + "\"");
    EXPECT_THAT(checker.out, HasSubstr(catalogueNul)) << checker.out;
}

TEST(KestToolDoctorUsage, ArgumentsAreWrongUsage) {
    EXPECT_EQ(runKestTool("doctor extra").exitCode, 2u);
    EXPECT_EQ(runKestTool("doctor --verbose").exitCode, 2u);
}

}  // namespace
}  // namespace kest::test
