// Threads and processes log into one file at once, with or without a viewer following the log:
// every record reaches the file, whole and on its own line, each writer's in the order of its
// calls.
#include "Installation.h"
#include "KestLog.h"
#include "KestSupportOwners.h"

#include <gmock/gmock.h>

#include <windows.h>

#include <map>
#include <ostream>
#include <string>
#include <vector>

namespace kest::test {
namespace {

constexpr char kStartEvent[] = "KestReliabilityLogWritersStart";
constexpr DWORD kWriterTimeoutMs = 300000;

using kest::UniqueFileHandle;
using kest::UniqueHandle;

std::string writerPath() {
    char self[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, self, sizeof self);
    std::string path(self, length);
    return path.substr(0, path.find_last_of('\\') + 1) + "KestLogWriter.exe";
}

UniqueHandle startWriter(const std::string& tag, unsigned threads, unsigned count) {
    std::string command = "\"" + writerPath() + "\" " + tag + " " + std::to_string(threads) + " " +
                          std::to_string(count) + " " + kStartEvent;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return UniqueHandle{};
    CloseHandle(process.hThread);
    return UniqueHandle{process.hProcess};
}

struct Shape {
    const char* name;
    unsigned processes;
    unsigned threads;  // of each process
    unsigned records;  // of each thread
    bool viewer;       // a viewer follows the log throughout, sharing reading and writing
};

void PrintTo(const Shape& shape, std::ostream* out) { *out << shape.name; }

class ConcurrentLogTest : public InstallationTest, public ::testing::WithParamInterface<Shape> {};

TEST_P(ConcurrentLogTest, EveryRecordIsWrittenWholeAndInItsWritersOrder) {
    const Shape& shape = GetParam();
    // The file is there before the viewer opens it, as when someone follows a host's log.
    Log("KestReliability.cpp", 1, "begin");
    UniqueFileHandle viewer;
    if (shape.viewer) {
        viewer.reset(CreateFileA(logPath().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(viewer) << GetLastError();
    }
    const UniqueHandle start{CreateEventA(nullptr, TRUE, FALSE, kStartEvent)};
    ASSERT_TRUE(start);
    std::vector<UniqueHandle> writers;
    for (unsigned p = 0; p < shape.processes; ++p) {
        writers.push_back(startWriter(std::string(1, static_cast<char>('a' + p)), shape.threads, shape.records));
        ASSERT_TRUE(writers.back()) << "cannot start " << writerPath() << ": " << GetLastError();
    }
    SetEvent(start.get());
    for (const UniqueHandle& writer : writers) {
        ASSERT_EQ(WaitForSingleObject(writer.get(), kWriterTimeoutMs), WAIT_OBJECT_0);
        DWORD exitCode = 1;
        GetExitCodeProcess(writer.get(), &exitCode);
        ASSERT_EQ(exitCode, 0u);
    }
    viewer.reset();

    // Every record must be exactly one a writer made, each writer's numbered 1, 2, ... in turn.
    std::map<std::string, unsigned> lastNumber;
    const std::vector<LogRecord> records = logRecords();
    ASSERT_FALSE(records.empty());
    for (auto record = records.begin() + 1; record != records.end(); ++record) {
        const std::string writer = record->message.substr(0, record->message.find(' '));
        const unsigned number = ++lastNumber[writer];
        ASSERT_EQ(record->message, writer + " " + std::to_string(number) + " " + std::string(200, writer[0]))
            << "foreign, broken or out of order";
        EXPECT_EQ(record->line, std::to_string(number));
    }
    EXPECT_EQ(lastNumber.size(), shape.processes * shape.threads);
    for (const auto& [writer, last] : lastNumber) EXPECT_EQ(last, shape.records) << writer << "'s records";
    // One record, one physical line: nothing joined two records or split one.
    const std::string bytes = logBytes();
    std::size_t lineEnds = 0;
    for (std::size_t at = 0; (at = bytes.find("\r\n", at)) != std::string::npos; at += 2) ++lineEnds;
    EXPECT_EQ(lineEnds, records.size());
}

// The shapes a host meets: its own threads, two windows of the application, several of both.
INSTANTIATE_TEST_SUITE_P(Shapes, ConcurrentLogTest,
                         ::testing::Values(Shape{"FollowedByAViewer", 1, 1, 10, true},
                                           Shape{"TwoThreads", 1, 2, 400, false},
                                           Shape{"EightThreads", 1, 8, 200, false},
                                           Shape{"TwoProcesses", 2, 1, 400, false},
                                           Shape{"FourProcessesOfFourThreadsFollowed", 4, 4, 100, true}),
                         [](const ::testing::TestParamInfo<Shape>& info) { return info.param.name; });

}  // namespace
}  // namespace kest::test
