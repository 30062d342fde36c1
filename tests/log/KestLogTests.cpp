#include "KestLog.h"

#include "Installation.h"

#include <gmock/gmock.h>

#include <windows.h>

#include <cstdio>
#include <string>

namespace kest::test {
namespace {

using ::testing::ElementsAre;

std::string timestampOf(const SYSTEMTIME& time) {
    char text[32];
    std::snprintf(text, sizeof text, "[%d/%02d %02d:%02d:%02d]", time.wMonth, time.wDay, time.wHour, time.wMinute,
                  time.wSecond);
    return text;
}

// The log's bytes after the first record's "[M/DD hh:mm:ss]".
std::string afterTimestamp(const std::string& bytes) {
    const std::size_t end = bytes.find(']');
    return end == std::string::npos ? std::string() : bytes.substr(end + 1);
}

class LogTest : public InstallationTest {};

TEST_F(LogTest, RecordIsTimestampBaseNameLineAndMessageEndingInCrLf) {
    SYSTEMTIME before;
    GetLocalTime(&before);
    Log("C:\\work\\src\\KestCommonUtil.cpp", 64, "getIniFilePath() start");
    SYSTEMTIME after;
    GetLocalTime(&after);

    const std::string bytes = logBytes();
    const std::string tail = "KestCommonUtil.cpp,64,getIniFilePath() start\r\n";
    ASSERT_GT(bytes.size(), tail.size());
    EXPECT_EQ(bytes.substr(bytes.size() - tail.size()), tail);
    const std::string stamp = bytes.substr(0, bytes.size() - tail.size());
    EXPECT_TRUE(stamp == timestampOf(before) || stamp == timestampOf(after)) << stamp;
}

TEST_F(LogTest, MonthHasNoLeadingZeroAndTheOtherFieldsTwoDigits) {
    Log("unit.cpp", 1, "x");
    const std::vector<LogRecord> records = logRecords();
    ASSERT_EQ(records.size(), 1u);
    const std::string& stamp = records[0].timestamp;
    ASSERT_GE(stamp.size(), 15u);
    EXPECT_NE(stamp[1], '0');
    const std::size_t slash = stamp.find('/');
    ASSERT_NE(slash, std::string::npos);
    EXPECT_EQ(stamp.size() - slash, 13u) << stamp;  // "/DD hh:mm:ss]"
}

TEST_F(LogTest, MessageBytesArePassedUnchanged) {
    const std::string message = "\x83\x81\x83\x82\x83\x8a\x81\x5b \x95\x5c\t%s%d end";
    Log("unit.cpp", 7, message.c_str());
    EXPECT_EQ(afterTimestamp(logBytes()), "unit.cpp,7," + message + "\r\n");
}

TEST_F(LogTest, MessageWithNewlineMakesOneRecordOfTwoLines) {
    Log("unit.cpp", 3, "first\nsecond");
    Log("unit.cpp", 4, "next");
    EXPECT_EQ(afterTimestamp(logBytes()).find("unit.cpp,3,first\r\nsecond\r\n["), 0u);
    const std::vector<LogRecord> records = logRecords();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].message, "first\nsecond");
    EXPECT_EQ(records[1].message, "next");
}

TEST_F(LogTest, EmptyMessageEndsWithTheSecondComma) {
    Log("unit.cpp", 12, "");
    EXPECT_EQ(afterTimestamp(logBytes()), "unit.cpp,12,\r\n");
}

TEST_F(LogTest, NullMessageOrSourceIsWrittenAsEmptyText) {
    Log(nullptr, 5, nullptr);
    EXPECT_EQ(afterTimestamp(logBytes()), ",5,\r\n");
}

TEST_F(LogTest, LineNumbersAtAndBeyondTheUsualRangeAreWrittenWhole) {
    Log("unit.cpp", 0, "a");
    Log("unit.cpp", 9999, "b");
    Log("unit.cpp", 10000, "c");
    Log("unit.cpp", 2147483647u, "d");
    Log("unit.cpp", static_cast<unsigned>(-999), "e");
    Log("unit.cpp", static_cast<unsigned>(-2147483647 - 1), "f");
    std::vector<std::string> lines;
    for (const LogRecord& record : logRecords()) lines.push_back(record.line + ":" + record.message);
    EXPECT_THAT(lines, ElementsAre("0:a", "9999:b", "10000:c", "2147483647:d", "-999:e", "-2147483648:f"));
}

TEST_F(LogTest, RecordsAreAppendedToExistingContent) {
    writeFileBytes(logPath(), "older\r\n");
    Log("unit.cpp", 1, "newer");
    const std::string bytes = logBytes();
    EXPECT_EQ(bytes.substr(0, 7), "older\r\n");
    EXPECT_EQ(bytes.substr(bytes.size() - 18), "unit.cpp,1,newer\r\n");
}

// --- WriteLog -------------------------------------------------------------------------

TEST_F(LogTest, OnlyExactlyOneSwitchesLoggingOn) {
    for (const char* value : {"1 ", "01", "true", "", " 1", "2", "11"}) {
        setWriteLog(value);
        EXPECT_FALSE(LogFlag()) << "WriteLog=\"" << value << "\"";
        Log("unit.cpp", 1, value);
    }
    removeWriteLog();
    EXPECT_FALSE(LogFlag());
    Log("unit.cpp", 1, "removed");
    EXPECT_FALSE(fileExists(logPath()));

    setWriteLog("1");
    EXPECT_TRUE(LogFlag());
    Log("unit.cpp", 1, "on");
    EXPECT_THAT(logMessages(), ElementsAre("on"));
}

TEST_F(LogTest, ASwitchTakesEffectAtTheVeryNextCall) {
    Log("unit.cpp", 1, "one");
    setWriteLog("0");
    Log("unit.cpp", 2, "two");
    setWriteLog("1");
    Log("unit.cpp", 3, "three");
    EXPECT_THAT(logMessages(), ElementsAre("one", "three"));
}

TEST_F(LogTest, AMovedLogPathTakesEffectAtTheVeryNextCall) {
    Log("unit.cpp", 1, "first file");
    const std::string firstPath = logPath();
    setLogPath(installFile("second.log"));
    Log("unit.cpp", 2, "second file");
    EXPECT_THAT(readLogMessages(firstPath), ElementsAre("first file"));
    EXPECT_THAT(logMessages(), ElementsAre("second file"));
}

TEST_F(LogTest, MissingLogPathWritesNothing) {
    RegistryValueOverride logPathSetting("Software\\Kest\\KestIni\\LOG", "LogPath");
    logPathSetting.remove();
    Log("unit.cpp", 1, "lost");
    EXPECT_FALSE(fileExists(logPath()));
}

// --- Base name ------------------------------------------------------------------------

TEST_F(LogTest, BaseNameIsTheTextAfterTheLastBackslash) {
    Log("C:\\a\\b\\unit.cpp", 1, "m");
    Log("unit.cpp", 2, "m");
    Log("src/log/unit.cpp", 3, "m");
    Log("C:\\a\\b\\", 4, "m");
    Log("C:\\dir/sub\\deep/unit.cpp", 5, "m");
    std::vector<std::string> names;
    for (const LogRecord& record : logRecords()) names.push_back(record.sourceFile);
    EXPECT_THAT(names, ElementsAre("unit.cpp", "unit.cpp", "src/log/unit.cpp", "", "deep/unit.cpp"));
}

TEST_F(LogTest, TrailByteBackslashOfADoubleByteCharacterDoesNotSeparate) {
    ASSERT_EQ(GetACP(), 932u) << "tests run with the Japanese ANSI code page";
    // 表 is 0x95 0x5C in Shift_JIS; its trail byte is a backslash.
    Log("C:\\src\\\x95\x5c.cpp", 1, "m");
    Log("C:\\\x95\x5c\\unit.cpp", 2, "m");
    Log("\x95\x5c\x95\x5c", 3, "m");
    std::vector<std::string> names;
    for (const LogRecord& record : logRecords()) names.push_back(record.sourceFile);
    EXPECT_THAT(names, ElementsAre("\x95\x5c.cpp", "unit.cpp", "\x95\x5c\x95\x5c"));
}

// --- Silent failures ------------------------------------------------------------------

TEST_F(LogTest, LogPathNamingADirectoryWritesNothing) {
    setLogPath(installDir());
    Log("unit.cpp", 1, "lost");
    EXPECT_EQ(GetFileAttributesA(installDir().c_str()) & FILE_ATTRIBUTE_DIRECTORY,
              static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
}

TEST_F(LogTest, LogPathInAMissingDirectoryWritesNothing) {
    const std::string missing = installFile("missing");
    setLogPath(missing + "\\kest.log");
    Log("unit.cpp", 1, "lost");
    EXPECT_FALSE(fileExists(missing));
}

TEST_F(LogTest, RecordsAreDroppedWhileAnotherOpenerHoldsTheFileAndAppendedAfterwards) {
    Log("unit.cpp", 1, "before");
    HANDLE holder = CreateFileA(logPath().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    Log("unit.cpp", 2, "dropped");
    CloseHandle(holder);
    Log("unit.cpp", 3, "after");
    EXPECT_THAT(logMessages(), ElementsAre("before", "after"));
}

}  // namespace
}  // namespace kest::test
