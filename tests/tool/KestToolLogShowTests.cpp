// kesttool log show on the log of a sample installation: the failure chains that real
// failing calls leave, and logs that are cut, binary or mixed, read by kesttool.exe as
// support would run it.
#include "KestCommon.h"
#include "KestErr.h"
#include "KestLog.h"
#include "KestMyCert.h"

#include "ImportPatch.h"
#include "KestToolProcess.h"
#include "KnownDifference.h"
#include "MyCertTestSupport.h"

#include <gmock/gmock.h>

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

namespace kest::test {
namespace {

// The platform's text for a last error, as the expected lines hold it: the tool's line is
// checked against the documented text first (platformTextsChecked).
std::string platformText(DWORD) { return "<platform text>"; }

// The system's texts for the last errors these failures leave, in Japanese as the system
// language of the test prefix is. Windows' are those of Microsoft's list of system error codes;
// Wine 8.0 has its own translations.
struct SystemText {
    DWORD error;
    const char* windows;
    const char* wine80;
};
constexpr SystemText kSystemTexts[] = {
    {ERROR_SUCCESS, u8"操作は正常に完了しました。", u8"処理は成功しました。"},
    {ERROR_PATH_NOT_FOUND, u8"指定したパスが見つかりません。", u8"パスが見つかりません。"},
};
constexpr char kSystemTextsSource[] =
    "System Error Codes (0-499), learn.microsoft.com/ja-jp/windows/win32/debug/system-error-codes--0-499-";

// Each "last error 0x%08x: <text>" line's text checked against the system's text for the error
// and replaced by platformText's placeholder.
std::vector<std::string> platformTextsChecked(std::vector<std::string> lines) {
    static const std::regex lastError(R"(^(      \w+\(\) failed, last error 0x([0-9a-f]{8}): )(.*)$)");
    for (std::string& line : lines) {
        std::smatch found;
        if (!std::regex_match(line, found, lastError)) continue;
        const DWORD error = std::stoul(found[2].str(), nullptr, 16);
        const auto known = std::find_if(std::begin(kSystemTexts), std::end(kSystemTexts),
                                        [error](const SystemText& text) { return text.error == error; });
        if (known == std::end(kSystemTexts))
            ADD_FAILURE() << "no known text for last error " << found[2] << ": " << line;
        else
            EXPECT_TRUE(knownDifference(found[3].str(), std::string(known->windows), std::string(known->wine80),
                                        kSystemTextsSource));
        line = found[1].str() + platformText(error);
    }
    return lines;
}

// What varies from run to run or from build to build: times and the libraries' line numbers.
std::string withoutTimesAndLines(const std::string& text) {
    static const std::regex time(R"(\d{1,2}/\d\d \d\d:\d\d:\d\d)");
    static const std::regex line(R"(\.cpp:-?\d+)");
    return std::regex_replace(std::regex_replace(text, time, "<time>"), line, ".cpp:<line>");
}

// The lines without the summary by code, whose wording the unit tests check (LogViewTests.cpp):
// here the chains of real failures and the count at the end are what is compared.
std::vector<std::string> withoutSummaryByCode(std::vector<std::string> lines) {
    const auto from = std::find(lines.begin(), lines.end(), "failures by code:");
    const auto to = std::find(from, lines.end(), "");
    lines.erase(from, to == lines.end() ? to : to + 1);
    return lines;
}

// The file line of the first record whose message begins with `message`, after `from`.
std::string fileLineOf(const std::string& bytes, const std::string& message, const std::string& from = "") {
    const std::size_t at = bytes.find("," + message, from.empty() ? 0 : bytes.find(from));
    if (at == std::string::npos) {
        ADD_FAILURE() << message << " not in the log";
        return "?";
    }
    return std::to_string(1 + std::count(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(at), '\n'));
}

LPVOID WINAPI refusingHeapAlloc(HANDLE, DWORD, SIZE_T) { return nullptr; }

class LogShowTest : public InstallationTest {
public:
    std::string recordsInLog() const {
        const std::size_t count = logRecords().size();
        return std::to_string(count) + (count == 1 ? " record" : " records");
    }

    std::string lineOf(const std::string& message) const { return fileLineOf(logBytes(), message); }

    using InstallationTest::installFile;
    using InstallationTest::logMessages;

private:
    WorkingPfxVerifyPassword password_;
};

// Each case makes its failure with the real libraries; the log then holds the chain that the
// tool must give back whole and in order (times and line numbers aside).
struct ChainCase {
    const char* name;
    std::function<void(LogShowTest&)> fail;
    std::function<std::vector<std::string>(LogShowTest&)> expected;
};

std::vector<BYTE> signerPkcs12() { return readTestData("signer.p12"); }

TEST_F(LogShowTest, ErrorsGiveEveryFailureChainFromTheFailingCallUpToTheOutermostFunction) {
    const std::vector<ChainCase> cases = {
        {"a wrong password",
         [](LogShowTest&) {
             const std::vector<BYTE> data = signerPkcs12();
             MyCert* head = nullptr;
             EXPECT_EQ(createMyCertListInPkcs12Store(data.data(), static_cast<DWORD>(data.size()), L"not-the-password",
                                                     &head),
                       KEST_E_PKCS12_PASSWORD);
         },
         [](LogShowTest& test) -> std::vector<std::string> {
             const std::string line = test.lineOf("openPkcs12Store() = ");
             return {
                 u8"failure 0x25000209 at line " + line + u8": PKCS#12形式データのパスワードに誤りがあります。",
                 "  <time>  KestMyCertManager.cpp:<line>  openPkcs12Store() failed",
                 "      PFXVerifyPassword() failed, last error 0x00000000: " + platformText(0),
                 "  <time>  KestMyCertManager.cpp:<line>  createMyCertListInPkcs12Store(): openPkcs12Store() failed",
                 "  outermost: createMyCertListInPkcs12Store(), which returned 0x25000209 to its caller",
                 "",
                 "1 failure in " + test.recordsInLog()};
         }},
        {"a missing settings file",
         [](LogShowTest&) {
             char path[MAX_PATH] = {};
             EXPECT_EQ(getIniFilePath(path), KEST_E_NO_SETTINGS_FILE);
             int omit = 0;
             EXPECT_EQ(readIniOmitSelectCert(path, &omit), KEST_E_SETTINGS_READ);
         },
         [](LogShowTest& test) -> std::vector<std::string> {
             const std::string first = test.lineOf("getIniFilePath() = ");
             const std::string second = test.lineOf("readIniString() = ");
             return {u8"failure 0x25000101 at line " + first + u8": 環境設定ファイルが見つかりません。",
                     "  <time>  KestCommonUtil.cpp:<line>  getIniFilePath() failed",
                     "  outermost: getIniFilePath(), which returned 0x25000101 to its caller",
                     "",
                     "failure 0x25000102 at line " + second +
                         u8": 環境設定ファイルからの値の読み込みに失敗しました。 : [MyCertificate] - OmitSelectCert)",
                     "  <time>  KestCommonUtil.cpp:<line>  readIniString() failed",
                     "  <time>  KestCommonUtil.cpp:<line>  readIniInt(): readIniString() failed",
                     "  <time>  KestMyCertManager.cpp:<line>  readIniOmitSelectCert(): readIniInt() failed",
                     "  outermost: readIniOmitSelectCert(), which returned 0x25000102 to its caller",
                     "",
                     "2 failures in " + test.recordsInLog()};
         }},
        {"a refused allocation",
         [](LogShowTest&) {
             const ImportPatch refuse("KestCommon.dll", "KERNEL32.dll", "HeapAlloc",
                                      reinterpret_cast<const void*>(&refusingHeapAlloc));
             const std::vector<BYTE> data = signerPkcs12();
             MyCert* head = nullptr;
             EXPECT_EQ(
                 createMyCertListInPkcs12Store(data.data(), static_cast<DWORD>(data.size()), kPkcs12Password, &head),
                 KEST_E_NO_MEMORY);
         },
         [](LogShowTest& test) -> std::vector<std::string> {
             const std::string line = test.lineOf("allocMemory() = ");
             return {
                 u8"failure 0x25000000 at line " + line + u8": メモリーの確保に失敗しました。",
                 "  <time>  KestCommonUtil.cpp:<line>  allocMemory() failed",
                 "      HeapAlloc() failed, last error 0x00000000: " + platformText(0),
                 "  <time>  KestMyCertManager.cpp:<line>  newMyCertList(): allocMemory() failed",
                 "  <time>  KestMyCertManager.cpp:<line>  buildNewMyCertList(): newMyCertList() failed",
                 "  <time>  KestMyCertManager.cpp:<line>  createMyCertListInPkcs12Store(): buildNewMyCertList() failed",
                 "  outermost: createMyCertListInPkcs12Store(), which returned 0x25000000 to its caller",
                 "",
                 "1 failure in " + test.recordsInLog()};
         }},
        // The one with a last error other than 0: the platform's text must be the one for it.
        {"a settings file in a missing folder",
         [](LogShowTest& test) {
             EXPECT_EQ(writeIniOmitSelectCert(test.installFile("missing\\KestEnv.ini").c_str(), 1),
                       KEST_E_SETTINGS_WRITE);
         },
         [](LogShowTest& test) -> std::vector<std::string> {
             // The value the library logged, read back from the file itself.
             unsigned lastError = 0;
             for (const std::string& message : test.logMessages())
                 if (std::sscanf(message.c_str(),
                                 "writeIniString() = 0x25000103 : %*[^:]: "
                                 "WritePrivateProfileStringA() failed (0x%x)",
                                 &lastError) == 1)
                     break;
             EXPECT_NE(lastError, 0u);
             char hex[16];
             std::snprintf(hex, sizeof hex, "0x%08x", lastError);
             const std::string line = test.lineOf("writeIniString() = ");
             return {u8"failure 0x25000103 at line " + line + u8": 環境設定ファイルへの値の書き込みに失敗しました。",
                     "  <time>  KestCommonUtil.cpp:<line>  writeIniString() failed",
                     "      WritePrivateProfileStringA() failed, last error " + std::string(hex) + ": " +
                         platformText(lastError),
                     "  <time>  KestMyCertManager.cpp:<line>  writeIniOmitSelectCert(): writeIniString() failed",
                     "  outermost: writeIniOmitSelectCert(), which returned 0x25000103 to its caller",
                     "",
                     "1 failure in " + test.recordsInLog()};
         }},
        // Another process's call passes up a failure of the same function with another code; that
        // process's records of the failure itself were dropped, as when two processes log at once.
        {"a failure of one code, then one of the same function with another code passed up",
         [](LogShowTest& test) {
             Log("KestMyCertManager.cpp", 355, "readIniOmitSelectCert() start");
             writeFileBytes(test.installFile("KestEnv.ini"), "[MyCertificate]\r\nOmitSelectCert=yes\r\n");
             int value = 0;
             EXPECT_EQ(readIniInt(test.installFile("KestEnv.ini").c_str(), "MyCertificate", "OmitSelectCert", &value),
                       KEST_E_SETTINGS_INVALID);
             Log("KestMyCertManager.cpp", 358, "readIniOmitSelectCert() = 0x25000102 : readIniInt() failed");
             Log("KestMyCertManager.cpp", 358, "readIniOmitSelectCert() end");
         },
         [](LogShowTest& test) -> std::vector<std::string> {
             const std::string inner = test.lineOf("readIniInt() = ");
             const std::string passed = test.lineOf("readIniOmitSelectCert() = ");
             return {
                 u8"failure 0x25000104 at line " + inner + u8": 環境設定ファイルの値が不正です。",
                 "  <time>  KestCommonUtil.cpp:<line>  readIniInt() failed",
                 "  outermost: readIniOmitSelectCert(), which did not pass the failure on (last reported by "
                 "readIniInt())",
                 "",
                 u8"failure 0x25000102 at line " + passed + u8": 環境設定ファイルからの値の読み込みに失敗しました。",
                 "  (the record of readIniInt() failing is not in the log)",
                 "  <time>  KestMyCertManager.cpp:<line>  readIniOmitSelectCert(): readIniInt() failed",
                 "  outermost: readIniOmitSelectCert(), which returned 0x25000102 to its caller",
                 "",
                 "2 failures in " + test.recordsInLog()};
         }},
    };
    for (const ChainCase& chain : cases) {
        SCOPED_TRACE(chain.name);
        DeleteFileA(logPath().c_str());
        chain.fail(*this);
        const ToolRun run = runKestTool("log show --errors \"" + logPath() + "\"");
        EXPECT_EQ(run.exitCode, 0u) << run.err;
        EXPECT_THAT(platformTextsChecked(withoutSummaryByCode(linesOf(withoutTimesAndLines(run.out)))),
                    ::testing::ElementsAreArray(chain.expected(*this)));
    }
}

// A damaged log: what the file holds, its bytes as written (Shift_JIS, CRLF; months of one digit
// and of two), and the lines `log show` must print for it (times and line numbers kept: the
// test wrote them).
struct DamagedCase {
    const char* name;
    std::string bytes;
    std::vector<std::string> shown;
    std::string errorsSummary;  // the last line of --errors
};

TEST_F(LogShowTest, CutBinaryAndMixedLogsAreShownReadablyWithTheirOddLinesMarked) {
    // 設定 in Shift_JIS, and in UTF-8 as an editor might have appended it. The expected
    // output is UTF-8 (u8 literals: the tree's other literals are Shift_JIS).
    const std::string sjis = "\x90\xdd\x92\xe8";
    const std::string utf8 = "\xe8\xa8\xad\xe5\xae\x9a";
    const std::string start = "[12/09 15:31:02]KestCommonUtil.cpp,130,getIniFilePath() start\r\n";
    const std::vector<DamagedCase> cases = {
        {"a box text of two lines and a cut last line",
         start + "[2/01 15:31:03]KestErr.cpp,77,\x83\x47\x83\x89\x81\x5B\r\nCode=0x2500ffff\r\n[12/09 15:31:0",
         {"12/09 15:31:02  KestCommonUtil.cpp:130  getIniFilePath() start", u8"2/01 15:31:03  KestErr.cpp:77  エラー",
          "    | Code=0x2500ffff", "!! cut: no line end:     | [12/09 15:31:0"},
         "0 failures in 2 records; 1 line that is no whole record left out (log show marks them)"},
        {"binary bytes: a record with bytes that are no Shift_JIS, then a NUL-filled tail",
         start + "[12/09 15:31:04]KestCommonUtil.cpp,131," + sjis + "\x85\x20\xff\r\n" + std::string(600, '\0'),
         {"12/09 15:31:02  KestCommonUtil.cpp:130  getIniFilePath() start",
          u8"!! not Shift_JIS: 12/09 15:31:04  KestCommonUtil.cpp:131  設定\\x85 \\xFF",
          "!! cut: no line end, control bytes:     | \\x00{600}"},
         "0 failures in 2 records; 1 line that is no whole record left out (log show marks them)"},
        // Four of one byte is the shortest run written with its count; three stay three.
        {"runs of one byte as long as the shortest counted one and one shorter, between Japanese words",
         start + "[12/09 15:31:05]KestCommonUtil.cpp,132," + sjis + std::string(4, '\x01') + sjis +
             std::string(3, '\x1b') + sjis + "\xff\xff\xff\xff" + sjis + "\r\n",
         {"12/09 15:31:02  KestCommonUtil.cpp:130  getIniFilePath() start",
          u8"!! not Shift_JIS, control bytes: 12/09 15:31:05  KestCommonUtil.cpp:132  "
          u8"設定\\x01{4}設定\\x1B\\x1B\\x1B設定\\xFF{4}設定"},
         "0 failures in 2 records"},
        {"mixed: a line before the first record, a UTF-8 line, a failure cut off from its origin",
         "no record\r\n" + start + "[12/09 15:31:04]KestCommonUtil.cpp,131," + sjis + "\r\n" +
             "[1/31 15:31:05]Host.cpp,9," + utf8 + "\r\n" +
             "[12/09 15:31:06]KestMyCertManager.cpp,290,createMyCertListInPkcs12Store() = 0x25000209 : "
             "openPkcs12Store() failed\r\n",
         {"!! not a record: no record", "12/09 15:31:02  KestCommonUtil.cpp:130  getIniFilePath() start",
          u8"12/09 15:31:04  KestCommonUtil.cpp:131  設定",
          u8"!! UTF-8, not Shift_JIS: 1/31 15:31:05  Host.cpp:9  設定",
          "12/09 15:31:06  KestMyCertManager.cpp:290  createMyCertListInPkcs12Store() = 0x25000209 : "
          "openPkcs12Store() failed"},
         "1 failure in 4 records; 1 line that is no whole record left out (log show marks them)"},
    };
    for (const DamagedCase& damaged : cases) {
        SCOPED_TRACE(damaged.name);
        writeFileBytes(logPath(), damaged.bytes);
        const ToolRun shown = runKestTool("log show \"" + logPath() + "\"");
        EXPECT_EQ(shown.exitCode, 0u) << shown.err;
        EXPECT_THAT(linesOf(shown.out), ::testing::ElementsAreArray(damaged.shown));
        const ToolRun errors = runKestTool("log show --errors \"" + logPath() + "\"");
        EXPECT_EQ(errors.exitCode, 0u) << errors.err;
        const std::vector<std::string> lines = linesOf(errors.out);
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back(), damaged.errorsSummary);
    }
}

TEST_F(LogShowTest, WithoutAFileTheInstallationsLogIsShownAndAMissingOrForeignFileIsReported) {
    Log("C:\\build\\Host.cpp", 7, "\x90\xdd\x92\xe8\nsecond line");
    const ToolRun installed = runKestTool("log show");
    EXPECT_EQ(installed.exitCode, 0u) << installed.err;
    EXPECT_EQ(withoutTimesAndLines(installed.out), u8"<time>  Host.cpp:<line>  設定\n    | second line\n");

    const ToolRun missing = runKestTool("log show --errors \"" + installFile("nowhere.log") + "\"");
    EXPECT_EQ(missing.exitCode, 1u);
    EXPECT_EQ(missing.out, "");
    EXPECT_EQ(missing.err, "kesttool: cannot read " + installFile("nowhere.log") + ": No such file or directory\n");

    writeFileBytes(installFile("utf16.log"), std::string("\xff\xfe[\0001\0002\000/\000", 10));
    const ToolRun utf16 = runKestTool("log show \"" + installFile("utf16.log") + "\"");
    EXPECT_EQ(utf16.exitCode, 1u);
    EXPECT_EQ(utf16.err, "kesttool: " + installFile("utf16.log") +
                             " is not a Shift_JIS log as Log writes it: it is UTF-16 text\n");
}

// A log converted to UTF-8 on its way to support, read by the command itself: its own texts in
// UTF-8 on standard output, and the encoding told by the text however far into the file it
// begins (past the first read of 1 MiB here), said once on standard error.
struct ConvertedCase {
    const char* name;
    std::string bytes;
    const char* options;
    std::vector<std::string> tail;  // the last lines of standard output
};

TEST_F(LogShowTest, ALogConvertedToUtf8IsReadAsSuchAndTheToolsOwnTextsStayUtf8) {
    std::string asciiHead;
    for (int record = 0; asciiHead.size() <= (std::size_t{1} << 20) + 4096; ++record)
        asciiHead += "[" + std::to_string(1 + record % 12) + "/0" + std::to_string(1 + record % 9) +
                     " 09:00:00]KestCommonUtil.cpp,130,getIniFilePath() start\r\n";
    const std::vector<ConvertedCase> cases = {
        {"a short log: the chain's and the summary's messages from the table of codes",
         "[1/05 09:03:07]KestMyCertManager.cpp,287,createMyCertListInPkcs12Store() = 0x25000209 : openPkcs12Store() "
         "failed\r\n"
         u8"[12/31 09:03:08]KestErr.cpp,77,エラーメッセージが見つかりません\r\nCode=0x2500ffff\r\n",
         "--errors ",
         {u8"failure 0x25000209 at line 1: PKCS#12形式データのパスワードに誤りがあります。",
          "  (the record of openPkcs12Store() failing is not in the log)",
          "  1/05 09:03:07  KestMyCertManager.cpp:287  createMyCertListInPkcs12Store(): openPkcs12Store() failed",
          "  outermost: not in the log (the call's start record is missing); last reported by "
          "createMyCertListInPkcs12Store()",
          "", "failures by code:", u8"  0x25000209  1 failure: PKCS#12形式データのパスワードに誤りがあります。",
          "    line 1", "", u8"boxes for codes the catalogue lacks (エラーメッセージが見つかりません):",
          "  0x2500ffff  1 box", "    line 2", "", "1 failure in 2 records"}},
        {"text beyond ASCII only after the first MiB",
         asciiHead + u8"[10/10 10:10:10]Host.cpp,9,設定\r\n",
         "",
         {u8"10/10 10:10:10  Host.cpp:9  設定"}},
    };
    for (const ConvertedCase& converted : cases) {
        SCOPED_TRACE(converted.name);
        writeFileBytes(installFile("converted.log"), converted.bytes);
        const ToolRun run =
            runKestTool("log show " + std::string(converted.options) + "\"" + installFile("converted.log") + "\"");
        EXPECT_EQ(run.exitCode, 0u);
        EXPECT_EQ(run.err, "kesttool: " + installFile("converted.log") +
                               " is not a Shift_JIS log as Log writes it: it is UTF-8 text, read as such\n");
        const std::vector<std::string> lines = linesOf(run.out);
        const std::size_t tail = std::min(lines.size(), converted.tail.size());
        EXPECT_THAT(std::vector<std::string>(lines.end() - static_cast<std::ptrdiff_t>(tail), lines.end()),
                    ::testing::ElementsAreArray(converted.tail));
        EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                                [](const std::string& line) { return line.rfind("!! ", 0) == 0; }),
                  0);
    }
}

// Logs damaged as a crash damages them: the libraries write the log, the run ends inside a
// record (the file is cut there), and a later run appends to it. The file lines, the records
// and the cut bytes are taken from the log the libraries wrote.
int WINAPI closedBox(HWND, LPCSTR, LPCSTR, UINT) { return IDOK; }

class CrashedLogTest : public InstallationTest {
public:
    // The run that wrote the log ends `keep` bytes into the first occurrence of `text`.
    void crashInside(const std::string& text, std::size_t keep) {
        const std::string bytes = logBytes();
        const std::size_t at = bytes.find(text);
        ASSERT_NE(at, std::string::npos) << text << " not in " << bytes;
        beforeCrash_ = bytes.substr(0, at + keep);
        writeFileBytes(logPath(), beforeCrash_);
    }

    std::string lineOf(const std::string& message, const std::string& from = "") const {
        return fileLineOf(logBytes(), message, from);
    }

    // The records of the run that crashed (the cut one among them) and of the later runs.
    std::string records() const {
        const std::string bytes = logBytes();
        const std::size_t count =
            parseLogRecords(beforeCrash_).size() + parseLogRecords(bytes.substr(beforeCrash_.size())).size();
        return std::to_string(count) + " records";
    }

    void wrongPassword() {
        const std::vector<BYTE> data = signerPkcs12();
        MyCert* head = nullptr;
        EXPECT_EQ(
            createMyCertListInPkcs12Store(data.data(), static_cast<DWORD>(data.size()), L"not-the-password", &head),
            KEST_E_PKCS12_PASSWORD);
    }

    void box(int code) {
        const ImportPatch closed("KestErr.dll", "USER32.dll", "MessageBoxA", reinterpret_cast<const void*>(&closedBox));
        ShowError(nullptr, code);
    }

    using InstallationTest::installFile;

private:
    WorkingPfxVerifyPassword password_;
    std::string beforeCrash_;
};

struct CrashCase {
    const char* name;
    std::function<void(CrashedLogTest&)> make;
    std::function<std::vector<std::string>(CrashedLogTest&)> errors;  // the whole of --errors
    std::function<std::vector<std::string>(CrashedLogTest&)> shown;   // consecutive lines of log show
};

TEST_F(CrashedLogTest, ACutRecordEndsItsRunAndIsShownAsCutWithTheFailuresAndBoxesSummedUpByCode) {
    const std::vector<CrashCase> cases = {
        {"cut inside a failure's message, between the two bytes of a character, then a later run",
         [](CrashedLogTest& test) {
             test.wrongPassword();
             const std::string message = "openPkcs12Store() = 0x25000209 : PKCS#12形式データのパスワードに誤";
             test.crashInside(message, message.size() - 1);
             char path[MAX_PATH] = {};
             EXPECT_EQ(getIniFilePath(path), KEST_E_NO_SETTINGS_FILE);
         },
         [](CrashedLogTest& test) -> std::vector<std::string> {
             const std::string cut = test.lineOf("openPkcs12Store() = ");
             const std::string later = test.lineOf("getIniFilePath() = ");
             return {u8"failure 0x25000209 at line " + cut + u8": PKCS#12形式データのパスワードに誤りがあります。",
                     u8"  <time>  KestMyCertManager.cpp:<line>  openPkcs12Store() failed [cut, read: "
                     u8"PKCS#12形式データのパスワードに\\x8C]",
                     "  outermost: createMyCertListInPkcs12Store(), still open where the log breaks off at line " +
                         cut + " (last reported by openPkcs12Store())",
                     "",
                     "failure 0x25000101 at line " + later + u8": 環境設定ファイルが見つかりません。",
                     "  <time>  KestCommonUtil.cpp:<line>  getIniFilePath() failed",
                     "  outermost: getIniFilePath(), which returned 0x25000101 to its caller",
                     "",
                     "2 failures in " + test.records()};
         },
         [](CrashedLogTest&) -> std::vector<std::string> {
             return {
                 u8"!! cut: a later record begins inside the line: <time>  KestMyCertManager.cpp:<line>  "
                 u8"openPkcs12Store() = 0x25000209 : PKCS#12形式データのパスワードに\\x8C",
                 "<time>  KestCommonUtil.cpp:<line>  getIniFilePath() start"};
         }},
        {"cut inside the last record of a failure, the name of the inner function",
         [](CrashedLogTest& test) {
             test.wrongPassword();
             const std::string passedUp = "createMyCertListInPkcs12Store() = 0x25000209 : openPkcs12St";
             test.crashInside(passedUp, passedUp.size());
         },
         [](CrashedLogTest& test) -> std::vector<std::string> {
             const std::string first = test.lineOf("openPkcs12Store() = ");
             const std::string cut = test.lineOf("createMyCertListInPkcs12Store() = ");
             return {u8"failure 0x25000209 at line " + first + u8": PKCS#12形式データのパスワードに誤りがあります。",
                     "  <time>  KestMyCertManager.cpp:<line>  openPkcs12Store() failed",
                     "      PFXVerifyPassword() failed, last error 0x00000000: " + platformText(0),
                     "  <time>  KestMyCertManager.cpp:<line>  createMyCertListInPkcs12Store() failed [cut, read: "
                     "openPkcs12St]",
                     "  outermost: createMyCertListInPkcs12Store(), still open where the log breaks off at line " +
                         cut + " (last reported by createMyCertListInPkcs12Store())",
                     "",
                     "1 failure in " + test.records()};
         },
         [](CrashedLogTest&) -> std::vector<std::string> {
             return {
                 "!! cut: no line end: <time>  KestMyCertManager.cpp:<line>  createMyCertListInPkcs12Store() = "
                 "0x25000209 : openPkcs12St"};
         }},
        {"boxes for codes the catalogue lacks, one cut inside its code by a later run's box",
         [](CrashedLogTest& test) {
             writeFileBytes(test.installFile("KestErr.csv"), "X25000209,パスワードが違います。\r\n");
             test.box(0x2500ffff);
             test.box(0x25000209);
             test.box(0x2500fffe);
             test.crashInside("Code=0x2500fffe", std::strlen("Code=0x2500"));
             test.box(0x2500ffff);
         },
         [](CrashedLogTest& test) -> std::vector<std::string> {
             const std::string box = "エラーメッセージが見つかりません";
             const std::string first = test.lineOf(box);
             const std::string cut = test.lineOf(box, "Code=0x25000209");
             const std::string later = test.lineOf(box, "Code=0x2500[");
             return {
                 u8"boxes for codes the catalogue lacks (エラーメッセージが見つかりません):",
                 "  0x2500...  1 box",
                 "    line " + cut,
                 "  0x2500ffff  2 boxes",
                 "    lines " + first + ", " + later,
                 "",
                 "0 failures in " + test.records() + "; 1 line that is no whole record left out (log show marks them)"};
         },
         [](CrashedLogTest&) -> std::vector<std::string> {
             return {"!! cut: a later record begins inside the line:     | Code=0x2500",
                     u8"<time>  KestErr.cpp:<line>  エラーメッセージが見つかりません", "    | Code=0x2500ffff"};
         }},
    };
    for (const CrashCase& crash : cases) {
        SCOPED_TRACE(crash.name);
        DeleteFileA(logPath().c_str());
        crash.make(*this);
        const ToolRun errors = runKestTool("log show --errors \"" + logPath() + "\"");
        EXPECT_EQ(errors.exitCode, 0u) << errors.err;
        EXPECT_THAT(platformTextsChecked(withoutSummaryByCode(linesOf(withoutTimesAndLines(errors.out)))),
                    ::testing::ElementsAreArray(crash.errors(*this)));
        const ToolRun shown = runKestTool("log show \"" + logPath() + "\"");
        EXPECT_EQ(shown.exitCode, 0u) << shown.err;
        std::string consecutive;
        for (const std::string& line : crash.shown(*this)) consecutive += line + "\n";
        EXPECT_THAT(withoutTimesAndLines(shown.out), ::testing::HasSubstr(consecutive));
    }
}

}  // namespace
}  // namespace kest::test
