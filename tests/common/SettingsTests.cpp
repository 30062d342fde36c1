// The settings file: finding it, reading text and integer values, writing values.
#include "KestCommon.h"
#include "KestResultMessages.h"

#include "ImportPatch.h"
#include "Installation.h"

#include <gmock/gmock.h>

#include <windows.h>

#include <clocale>
#include <cstring>
#include <string>

namespace kest::test {
namespace {

using ::testing::ElementsAre;

constexpr char kSentinel[] = "#####KESTINI_GetPrivateProfileString_ERROR#####";

class SettingsTest : public InstallationTest {
protected:
    std::string ini() const { return installFile("KestEnv.ini"); }
    void writeIni(const std::string& text) { writeFileBytes(ini(), text); }
};

// --- getIniFilePath -----------------------------------------------------------------------

TEST_F(SettingsTest, GetIniFilePathJoinsTheInstallationDirectoryAndKestEnvIni) {
    writeIni("[MyCertificate]\r\n");
    char path[MAX_PATH];
    std::memset(path, 'x', sizeof path);
    EXPECT_EQ(getIniFilePath(path), KEST_OK);
    EXPECT_EQ(std::string(path), installDir() + "\\KestEnv.ini");
    EXPECT_THAT(logMessages(), ElementsAre("getIniFilePath() start", "getIniFilePath() end"));
}

TEST_F(SettingsTest, GetIniFilePathWithoutTheFileFailsButStillFillsThePath) {
    char path[MAX_PATH] = {};
    EXPECT_EQ(getIniFilePath(path), KEST_E_NO_SETTINGS_FILE);
    EXPECT_EQ(std::string(path), installDir() + "\\KestEnv.ini");
    EXPECT_THAT(logMessages(), ElementsAre("getIniFilePath() start",
                                           "getIniFilePath() = 0x25000101 : 環境設定ファイルが見つかりません。",
                                           "getIniFilePath() end"));
}

TEST_F(SettingsTest, GetIniFilePathWithATrailingBackslashedDirectoryHasOneBackslash) {
    writeIni("");
    setInstallPath(installDir() + "\\");
    char path[MAX_PATH] = {};
    EXPECT_EQ(getIniFilePath(path), KEST_OK);
    EXPECT_EQ(std::string(path), installDir() + "\\KestEnv.ini");
}

TEST_F(SettingsTest, GetIniFilePathWithoutAnInstallationDirectoryLeavesDestUntouched) {
    removeInstallPath();
    char path[MAX_PATH];
    std::memset(path, 'x', sizeof path);
    EXPECT_EQ(getIniFilePath(path), KEST_E_NO_INSTALL_PATH);
    EXPECT_EQ(std::string(path, sizeof path), std::string(sizeof path, 'x'));
    EXPECT_THAT(logMessages(), ElementsAre("getIniFilePath() start",
                                           "getIniFilePath() = 0x25000100 : インストールパス名の取得に失敗しました。",
                                           "getIniFilePath() end"));
}

TEST_F(SettingsTest, GetIniFilePathTooLongForThePathBufferFindsNoFile) {
    const std::string longDir = "C:\\" + std::string(252, 'd');  // 255 bytes: no room for "\KestEnv.ini".
    setInstallPath(longDir);
    char path[MAX_PATH + 16];
    std::memset(path, 'x', sizeof path);
    EXPECT_EQ(getIniFilePath(path), KEST_E_NO_SETTINGS_FILE);
    EXPECT_LT(std::strlen(path), static_cast<std::size_t>(MAX_PATH));
    EXPECT_EQ(std::string(path + MAX_PATH, 16), std::string(16, 'x'));
}

// --- readIniString ------------------------------------------------------------------------

TEST_F(SettingsTest, ReadIniStringNeedsABufferOfAtLeast64Bytes) {
    writeIni("[S]\r\nkey=value\r\n");
    char value[64];
    std::memset(value, 'x', sizeof value);
    EXPECT_EQ(readIniString(ini().c_str(), "S", "key", value, 63), KEST_E_SETTINGS_READ);
    EXPECT_EQ(std::string(value, sizeof value), std::string(sizeof value, 'x'));
    EXPECT_EQ(readIniString(ini().c_str(), "S", "key", value, 64), KEST_OK);
    EXPECT_STREQ(value, "value");
    EXPECT_THAT(logMessages(), ElementsAre("readIniString() start",
                                           "readIniString() = 0x25000102 : バッファーサイズが不足しています。",
                                           "readIniString() end", "readIniString() start", "readIniString() end"));
}

TEST_F(SettingsTest, ReadIniStringOfAMissingFileSectionOrKeyLeavesTheSentinel) {
    writeIni("[S]\r\nkey=value\r\n");
    const std::string missingFile = installFile("other.ini");
    struct Case {
        std::string file;
        const char* section;
        const char* key;
    } cases[] = {{missingFile, "S", "key"}, {ini(), "Missing", "key"}, {ini(), "S", "missing"}};
    for (const Case& c : cases) {
        DeleteFileA(logPath().c_str());
        char value[128] = {};
        EXPECT_EQ(readIniString(c.file.c_str(), c.section, c.key, value, sizeof value), KEST_E_SETTINGS_READ);
        EXPECT_STREQ(value, kSentinel);
        EXPECT_THAT(
            logMessages(),
            ElementsAre(
                "readIniString() start",
                std::string("readIniString() = 0x25000102 : 環境設定ファイルからの値の読み込みに失敗しました。 : [") +
                    c.section + "] - " + c.key + ")",
                "readIniString() end"));
    }
    EXPECT_FALSE(fileExists(missingFile));
}

TEST_F(SettingsTest, ReadIniStringOfAnEmptyValueIsAnEmptyString) {
    writeIni("[S]\r\nempty=\r\n");
    char value[64] = "unchanged";
    EXPECT_EQ(readIniString(ini().c_str(), "S", "empty", value, sizeof value), KEST_OK);
    EXPECT_STREQ(value, "");
}

TEST_F(SettingsTest, ReadIniStringCutsALongValueToTheBuffer) {
    writeIni("[S]\r\nlong=" + std::string(100, 'v') + "\r\n");
    char value[65];
    std::memset(value, 'x', sizeof value);
    EXPECT_EQ(readIniString(ini().c_str(), "S", "long", value, 64), KEST_OK);
    EXPECT_EQ(std::string(value), std::string(63, 'v'));
    EXPECT_EQ(value[64], 'x');
}

TEST_F(SettingsTest, ReadsDoNotChangeTheFile) {
    const std::string text = "[S]\r\nkey=value\r\n";
    writeIni(text);
    char value[64];
    int number = 0;
    (void)readIniString(ini().c_str(), "S", "absent", value, sizeof value);
    (void)readIniInt(ini().c_str(), "T", "absent", &number);
    EXPECT_EQ(readFileBytes(ini()), text);
}

// --- readIniInt ---------------------------------------------------------------------------

// The runtime's numeric locale as a host may set it (a decimal comma in much of Europe): the
// settings file is read in the C locale's form all the same. Restored when done.
class HostNumericLocale {
public:
    explicit HostNumericLocale(const char* name) : before_(std::setlocale(LC_NUMERIC, nullptr)) {
        set_ = std::setlocale(LC_NUMERIC, name) != nullptr;
    }
    ~HostNumericLocale() { std::setlocale(LC_NUMERIC, before_.c_str()); }
    HostNumericLocale(const HostNumericLocale&) = delete;
    HostNumericLocale& operator=(const HostNumericLocale&) = delete;
    [[nodiscard]] bool set() const noexcept { return set_; }

private:
    std::string before_;
    bool set_ = false;
};

constexpr const char* kHostLocales[] = {"C", "German_Germany.1252", "French_France.1252"};

TEST_F(SettingsTest, ReadIniIntConvertsByStrtodRulesAndTruncatesTowardZero) {
    writeIni(
        "[N]\r\na=12\r\nb=-7\r\nc=1.9\r\nd=-1.9\r\ne=1e3\r\nf=\" 5\"\r\ng=2147483647\r\nh=-2147483648\r\n"
        "i=+3\r\nj=1.5\r\nk=0x10\r\nl=1e-400\r\nm=.5e1\r\n");
    // Values by the C standard's strtod in the "C" locale (C11 7.22.1.3): hexadecimal with 0x,
    // a result too small for a double is 0.
    const std::pair<const char*, int> cases[] = {
        {"a", 12}, {"b", -7}, {"c", 1},  {"d", -1}, {"e", 1000}, {"f", 5}, {"g", 2147483647}, {"h", -2147483647 - 1},
        {"i", 3},  {"j", 1},  {"k", 16}, {"l", 0},  {"m", 5}};
    for (const char* locale : kHostLocales) {
        const HostNumericLocale host(locale);
        ASSERT_TRUE(host.set()) << locale;
        ASSERT_EQ(std::localeconv()->decimal_point[0], locale == kHostLocales[0] ? '.' : ',') << locale;
        for (const auto& [key, expected] : cases) {
            int value = 99;
            EXPECT_EQ(readIniInt(ini().c_str(), "N", key, &value), KEST_OK) << key << " in " << locale;
            EXPECT_EQ(value, expected) << key << " in " << locale;
        }
    }
}

TEST_F(SettingsTest, ReadIniIntRejectsTextThatIsNotOneNumberInRange) {
    writeIni(
        "[N]\r\nspace=\"12 \"\r\nletters=12abc\r\nbig=2147483648\r\nsmall=-2147483649\r\nempty=\r\n"
        "word=abc\r\nblank=\"   \"\r\nnan=nan\r\nfraction=2147483647.5\r\ncomma=1,5\r\nhuge=1e400\r\n"
        "signs=+-1\r\nx=0x\r\n");
    for (const char* locale : kHostLocales) {
        const HostNumericLocale host(locale);
        ASSERT_TRUE(host.set()) << locale;
        for (const char* key : {"space", "letters", "big", "small", "empty", "word", "blank", "nan", "fraction",
                                "comma", "huge", "signs", "x"}) {
            int value = 99;
            EXPECT_EQ(readIniInt(ini().c_str(), "N", key, &value), KEST_E_SETTINGS_INVALID) << key << " in " << locale;
            EXPECT_EQ(value, 99) << key << " in " << locale;
        }
    }
}

TEST_F(SettingsTest, ReadIniIntRecordsForAnInvalidValue) {
    writeIni("[N]\r\nletters=12abc\r\n");
    int value = 0;
    EXPECT_EQ(readIniInt(ini().c_str(), "N", "letters", &value), KEST_E_SETTINGS_INVALID);
    EXPECT_THAT(logMessages(),
                ElementsAre("readIniInt() start", "readIniString() start", "readIniString() end",
                            "readIniInt() = 0x25000104 : 環境設定ファイルの値が不正です。", "readIniInt() end"));
}

TEST_F(SettingsTest, ReadIniIntOfAMissingKeyPassesTheReadFailureUp) {
    writeIni("[MyCertificate]\r\n");
    int value = 99;
    EXPECT_EQ(readIniInt(ini().c_str(), "MyCertificate", "OmitSelectCert", &value), KEST_E_SETTINGS_READ);
    EXPECT_EQ(value, 99);
    EXPECT_THAT(
        logMessages(),
        ElementsAre("readIniInt() start", "readIniString() start",
                    "readIniString() = 0x25000102 : 環境設定ファイルからの値の読み込みに失敗しました。 : "
                    "[MyCertificate] - OmitSelectCert)",
                    "readIniString() end", "readIniInt() = 0x25000102 : readIniString() failed", "readIniInt() end"));
}

TEST_F(SettingsTest, ReadIniIntOfAMissingFileFailsToRead) {
    int value = 99;
    EXPECT_EQ(readIniInt(installFile("none.ini").c_str(), "N", "a", &value), KEST_E_SETTINGS_READ);
    EXPECT_EQ(value, 99);
}

// --- writeIniString -----------------------------------------------------------------------

TEST_F(SettingsTest, WriteIniStringCreatesFileSectionAndKeyAndReplacesValues) {
    EXPECT_EQ(writeIniString(ini().c_str(), "MyCertificate", "CertId_0000", "012a;CN=Test"), KEST_OK);
    EXPECT_EQ(writeIniString(ini().c_str(), "MyCertificate", "OmitSelectCert", "0"), KEST_OK);
    EXPECT_EQ(writeIniString(ini().c_str(), "mycertificate", "omitselectcert", "1"), KEST_OK);
    char value[64] = {};
    EXPECT_EQ(readIniString(ini().c_str(), "MyCertificate", "CertId_0000", value, sizeof value), KEST_OK);
    EXPECT_STREQ(value, "012a;CN=Test");
    int omit = 0;
    EXPECT_EQ(readIniInt(ini().c_str(), "MyCertificate", "OmitSelectCert", &omit), KEST_OK);
    EXPECT_EQ(omit, 1);
}

BOOL WINAPI refuseProfileWrite(LPCSTR, LPCSTR, LPCSTR, LPCSTR) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}

TEST_F(SettingsTest, AFailedWriteGivesTheWriteCodeWithThePlatformsLastError) {
    ImportPatch refuse("KestCommon.dll", "KERNEL32.dll", "WritePrivateProfileStringA",
                       reinterpret_cast<const void*>(&refuseProfileWrite));
    EXPECT_EQ(writeIniString(ini().c_str(), "S", "key", "value"), KEST_E_SETTINGS_WRITE);
    EXPECT_FALSE(fileExists(ini()));
    EXPECT_THAT(logMessages(),
                ElementsAre("writeIniString() start",
                            "writeIniString() = 0x25000103 : 環境設定ファイルへの値の書き込みに失敗しました。 : "
                            "WritePrivateProfileStringA() failed (0x00000005)",
                            "writeIniString() end"));
}

TEST_F(SettingsTest, AWriteIntoAMissingDirectoryFails) {
    EXPECT_EQ(writeIniString(installFile("missing\\KestEnv.ini").c_str(), "S", "key", "value"), KEST_E_SETTINGS_WRITE);
    const std::vector<std::string> messages = logMessages();
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[1].rfind("writeIniString() = 0x25000103 : ", 0), 0u) << messages[1];
}

}  // namespace
}  // namespace kest::test
