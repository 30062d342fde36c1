#include "KestLog.h"
#include "KestLogSettings.h"

#include "ImportPatch.h"
#include "Installation.h"
#include "TestOwners.h"
#include "KnownDifference.h"

#include <gmock/gmock.h>

#include <windows.h>

#include <fcntl.h>
#include <malloc.h>
#include <share.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

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

// Whole seconds from the platform's UTC clock to its local clock.
LONGLONG localClockAheadOfUtcSeconds() {
    SYSTEMTIME utc;
    SYSTEMTIME local;
    GetSystemTime(&utc);
    GetLocalTime(&local);
    FILETIME utcTime;
    FILETIME localTime;
    SystemTimeToFileTime(&utc, &utcTime);
    SystemTimeToFileTime(&local, &localTime);
    const auto ticks = [](const FILETIME& time) {
        return static_cast<LONGLONG>((ULONGLONG{time.dwHighDateTime} << 32) | time.dwLowDateTime);
    };
    constexpr LONGLONG kTicksPerSecond = 10000000;
    // Rounded: the two reads may straddle a second.
    return (ticks(localTime) - ticks(utcTime) + kTicksPerSecond / 2) / kTicksPerSecond;
}

TEST_F(LogTest, RecordIsTimestampBaseNameLineAndMessageEndingInCrLf) {
    // Our users' clock: local time is UTC+9, so a record stamped in UTC shows the wrong hour.
    ASSERT_EQ(localClockAheadOfUtcSeconds(), 9 * 3600) << "the tests run with TZ=Asia/Tokyo (cmake/wine-run.sh)";
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

HMODULE moduleHolding(const void* address) {
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       static_cast<LPCSTR>(address), &module);
    return module;
}

TEST_F(LogTest, RecordsEndInCrLfWhenTheRuntimeDefaultsToBinary) {
    // The default open mode belongs to the runtime (msvcrt.dll's _fmode), which KestLog.dll
    // shares with this test when it takes its _fsopen from the same module. Were it another
    // runtime, the default set here would not reach the DLL: the test says so and checks the
    // bytes all the same.
    int* defaultMode = __p__fmode();
    const ULONG_PTR* logOpen = findImportSlot(GetModuleHandleA("KestLog.dll"), "msvcrt.dll", "_fsopen", 0);
    const bool sharedRuntime =
        logOpen != nullptr && moduleHolding(reinterpret_cast<const void*>(*logOpen)) == moduleHolding(defaultMode);
    if (!sharedRuntime) std::printf("KestLog.dll's runtime is not the test's: its default mode is left as it is\n");

    const int savedMode = *defaultMode;
    *defaultMode = _O_BINARY;
    // The binary default took: a stream of the test opened without 't' writes "\n" bare.
    const std::string probePath = installFile("probe.txt");
    if (FILE* probe = _fsopen(probePath.c_str(), "a", _SH_DENYRW)) {
        std::fputs("x\n", probe);
        std::fclose(probe);
    }
    Log("unit.cpp", 1, "first\nsecond");
    *defaultMode = savedMode;

    EXPECT_EQ(readFileBytes(probePath), "x\n");
    EXPECT_EQ(afterTimestamp(logBytes()), "unit.cpp,1,first\r\nsecond\r\n");
}

// KestLog.dll's clock, fixed: the real date cannot show a month below 10 for most of the year.
SYSTEMTIME gFixedLocalTime{};
unsigned gLocalTimeReads = 0;
void WINAPI fixedLocalTime(SYSTEMTIME* time) {
    ++gLocalTimeReads;
    *time = gFixedLocalTime;
}

TEST_F(LogTest, MonthHasNoLeadingZeroAndTheOtherFieldsTwoDigits) {
    const ImportPatch clock("KestLog.dll", "KERNEL32.dll", "GetLocalTime",
                            reinterpret_cast<const void*>(&fixedLocalTime));
    // Every field below 10, where a zero-padded month or a one-digit day shows; then every
    // field at its widest. A clock read other than GetLocalTime (UTC, say) misses the patch.
    gFixedLocalTime = SYSTEMTIME{2024, 3, 4, 7, 5, 4, 9, 0};
    gLocalTimeReads = 0;
    Log("unit.cpp", 1, "x");
    EXPECT_EQ(gLocalTimeReads, 1u) << "the timestamp is the local time of the platform";
    gFixedLocalTime = SYSTEMTIME{2024, 12, 2, 31, 23, 59, 58, 999};
    Log("unit.cpp", 2, "y");
    const std::vector<LogRecord> records = logRecords();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].timestamp, "[3/07 05:04:09]");
    EXPECT_EQ(records[1].timestamp, "[12/31 23:59:58]");
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

// "section/key" of each KestIniRead call of KestLog.dll, in order.
std::vector<std::string> gSettingsRead;
using KestIniReadFunction = unsigned long (*)(char*, char*, char*);
KestIniReadFunction gRealKestIniRead = nullptr;
unsigned long recordingKestIniRead(char* section, char* key, char* value) {
    gSettingsRead.push_back(std::string(section) + "/" + key);
    return gRealKestIniRead(section, key, value);
}

TEST_F(LogTest, ASwitchTakesEffectAtTheVeryNextCall) {
    // The flag is read first at every call, and the path only while logging is on.
    const ImportPatch reads("KestLog.dll", "KestIni.dll", "?KestIniRead@@YAKPEAD00@Z",
                            reinterpret_cast<const void*>(&recordingKestIniRead));
    gRealKestIniRead = reads.original<KestIniReadFunction>();
    const std::string flag = std::string(kLogSection) + "/" + kWriteLogKey;
    const std::string path = std::string(kLogSection) + "/" + kLogPathKey;
    const auto readsOfLog = [](unsigned line, const char* message) {
        gSettingsRead.clear();
        Log("unit.cpp", line, message);
        return gSettingsRead;
    };
    EXPECT_THAT(readsOfLog(1, "one"), ElementsAre(flag, path));
    setWriteLog("0");
    EXPECT_THAT(readsOfLog(2, "two"), ElementsAre(flag));
    setWriteLog("1");
    EXPECT_THAT(readsOfLog(3, "three"), ElementsAre(flag, path));
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
    RegistryValueOverride logPathSetting(kLogSection, kLogPathKey);
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
    // Code page 932 has lead bytes in two ranges, 0x81-0x9F and 0xE0-0xFC, and trail bytes that
    // may be a backslash (Microsoft's CP932.TXT): 表 U+8868 is 0x95 0x5C, 饅 U+9945 0xE9 0x5C.
    Log("C:\\src\\\x95\x5c.cpp", 1, "m");
    Log("C:\\\x95\x5c\\unit.cpp", 2, "m");
    Log("\x95\x5c\x95\x5c", 3, "m");
    Log("C:\\src\\\xe9\x5c.cpp", 4, "m");
    Log("C:\\\xe9\x5c\\unit.cpp", 5, "m");
    std::vector<std::string> names;
    for (const LogRecord& record : logRecords()) names.push_back(record.sourceFile);
    EXPECT_THAT(names, ElementsAre("\x95\x5c.cpp", "unit.cpp", "\x95\x5c\x95\x5c", "\xe9\x5c.cpp", "unit.cpp"));
}

// --- Silent failures ------------------------------------------------------------------

// "name size" of every entry matching a FindFirstFile pattern, "." and ".." left out.
std::vector<std::string> entries(const std::string& pattern) {
    std::vector<std::string> found;
    WIN32_FIND_DATAA entry;
    const UniqueFindHandle search{FindFirstFileA(pattern.c_str(), &entry)};
    if (!search) return found;
    do {
        const std::string name = entry.cFileName;
        if (name != "." && name != "..")
            found.push_back(name + " " + std::to_string((ULONGLONG{entry.nFileSizeHigh} << 32) | entry.nFileSizeLow));
    } while (FindNextFileA(search.get(), &entry));
    return found;
}

TEST_F(LogTest, LogPathNamingADirectoryWritesNothing) {
    Log("unit.cpp", 1, "before");
    setLogPath(installDir());
    // Inside the directory (the earlier log among them) and beside it under names that begin with its name.
    const auto snapshot = [this] {
        std::vector<std::string> all = entries(installDir() + "\\*");
        for (const std::string& entry : entries(installDir() + "*")) all.push_back("beside: " + entry);
        return all;
    };
    const std::vector<std::string> before = snapshot();
    Log("unit.cpp", 2, "lost");
    EXPECT_EQ(GetFileAttributesA(installDir().c_str()) & FILE_ATTRIBUTE_DIRECTORY,
              static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_EQ(snapshot(), before);
    EXPECT_THAT(readLogMessages(installFile("kest.log")), ElementsAre("before"));
}

TEST_F(LogTest, LogPathInAMissingDirectoryWritesNothing) {
    const std::string missing = installFile("missing");
    setLogPath(missing + "\\kest.log");
    Log("unit.cpp", 1, "lost");
    EXPECT_FALSE(fileExists(missing));
}

TEST_F(LogTest, RecordsOnAFullDiskAreDroppedSilentlyAndLaterOnesArrive) {
    // Under Wine Z:\dev\full opens and takes buffered bytes, but refuses every write to the disk.
    // Windows has no such device.
    if (currentPlatform() != Platform::wine) GTEST_SKIP() << "no always-full disk: Z:\\dev\\full is Wine's";
    Log("unit.cpp", 1, "before");
    const std::string writable = logPath();
    setLogPath("Z:\\dev\\full");
    Log("unit.cpp", 2, "refused");
    Log("unit.cpp", 3, "refused again");
    setLogPath(writable);
    Log("unit.cpp", 4, "after");
    EXPECT_THAT(logMessages(), ElementsAre("before", "after"));
}

// Log shares its file with readers and with no writer: a viewer following the log stops
// nothing; while another writer, or an opener that lets no one write, holds it, the record
// waits a moment and is dropped; once the holder lets go, records arrive again.
TEST_F(LogTest, AnotherOpenerOfTheFileDropsRecordsOnlyWhenItKeepsWritersOut) {
    struct Holder {
        const char* name;
        DWORD access;
        DWORD share;
        bool written;
    };
    const Holder holders[] = {
        {"a viewer that shares reading and writing", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, true},
        {"a viewer that shares reading only", GENERIC_READ, FILE_SHARE_READ, false},
        {"another writer", GENERIC_WRITE, FILE_SHARE_READ, false},
        {"an opener that shares nothing", GENERIC_READ, 0, false},
    };
    for (const Holder& holder : holders) {
        SCOPED_TRACE(holder.name);
        DeleteFileA(logPath().c_str());
        Log("unit.cpp", 1, "before");
        HANDLE held = CreateFileA(logPath().c_str(), holder.access, holder.share, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        const ULONGLONG start = GetTickCount64();
        Log("unit.cpp", 2, "held");
        // Bounded, whatever the holder does: a host never hangs on its log.
        EXPECT_LT(GetTickCount64() - start, 2000u);
        CloseHandle(held);
        Log("unit.cpp", 3, "after");
        if (holder.written)
            EXPECT_THAT(logMessages(), ElementsAre("before", "held", "after"));
        else
            EXPECT_THAT(logMessages(), ElementsAre("before", "after"));
    }
}

// KestLog.dll's malloc while a test refuses its record buffers: blocks of a long message's size.
constexpr std::size_t kRefusedSize = 4096;
void*(__cdecl* passedOnMalloc)(std::size_t) = nullptr;
std::atomic<int> refusedBlocks{0};
void* __cdecl refuseLargeBlocks(std::size_t size) {
    if (size < kRefusedSize) return passedOnMalloc(size);
    ++refusedBlocks;
    return nullptr;
}

// 0 when the record's buffer was asked for, and refused, on this thread.
DWORD WINAPI logWithItsBufferRefused(void* /*unused*/) {
    const int before = refusedBlocks;
    Log("unit.cpp", 1, std::string(kRefusedSize, 'x').c_str());
    return refusedBlocks > before ? 0 : 1;
}

// A refused record buffer is a bad_alloc thrown and caught inside the runtime KestLog.dll links,
// whose exception state is thread-local (internal/runtime/KestThreadLocal.cpp). Threads that did
// so end while the DLL stays loaded: what they held must go back whole to the heaps it came from.
// Under the heap-checking run Wine's complaint about a wrong free, a warn:heap line, fails the
// test (cmake/wine-run.sh).
TEST_F(LogTest, ThreadsThatHadARecordRefusedEndWithTheHeapsWhole) {
    const ImportPatch refused("KestLog.dll", "msvcrt.dll", "malloc", reinterpret_cast<const void*>(&refuseLargeBlocks));
    passedOnMalloc = refused.original<void*(__cdecl*)(std::size_t)>();
    for (int thread = 0; thread < 4; ++thread) {
        const UniqueHandle running{CreateThread(nullptr, 0, logWithItsBufferRefused, nullptr, 0, nullptr)};
        ASSERT_TRUE(running);
        ASSERT_EQ(WaitForSingleObject(running.get(), INFINITE), WAIT_OBJECT_0);
        DWORD status = ~DWORD{0};
        GetExitCodeThread(running.get(), &status);
        EXPECT_EQ(status, 0u) << "thread " << thread << ": Log asked for no record buffer";
    }
    EXPECT_TRUE(HeapValidate(GetProcessHeap(), 0, nullptr));
    EXPECT_TRUE(HeapValidate(reinterpret_cast<HANDLE>(_get_heap_handle()), 0, nullptr)) << "the runtime's heap";
}

}  // namespace
}  // namespace kest::test
