// Two processes log into one file at once: records are lost only where the other process
// held the file, and every record that reaches the file is whole and on its own line.
#include "Installation.h"
#include "KestSupportOwners.h"

#include <gmock/gmock.h>

#include <windows.h>

#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace kest::test {
namespace {

constexpr unsigned kRecordsPerWriter = 1000;
constexpr char kStartEvent[] = "KestReliabilityLogWritersStart";
constexpr DWORD kWriterTimeoutMs = 300000;

using kest::UniqueHandle;

std::string writerPath() {
    char self[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, self, sizeof self);
    std::string path(self, length);
    return path.substr(0, path.find_last_of('\\') + 1) + "KestLogWriter.exe";
}

UniqueHandle startWriter(const std::string& tag, const std::string& resultFile) {
    std::string command = "\"" + writerPath() + "\" " + tag + " " + std::to_string(kRecordsPerWriter) + " " +
                          kStartEvent + " \"" + resultFile + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return UniqueHandle{};
    CloseHandle(process.hThread);
    return UniqueHandle{process.hProcess};
}

unsigned failedOpensOf(const std::string& resultFile) {
    std::ifstream in(resultFile);
    unsigned failed = kRecordsPerWriter + 1;
    in >> failed;
    return failed;
}

class ConcurrentLogTest : public InstallationTest {};

TEST_F(ConcurrentLogTest, TwoWritersLoseOnlyTheRecordsWhoseOpenFailedAndNeverInterleave) {
    const UniqueHandle start{CreateEventA(nullptr, TRUE, FALSE, kStartEvent)};
    ASSERT_TRUE(start);
    const std::vector<std::string> tags = {"alpha", "bravo"};
    std::vector<UniqueHandle> writers;
    for (const std::string& tag : tags) {
        writers.push_back(startWriter(tag, installFile(tag + ".result")));
        ASSERT_TRUE(writers.back()) << "cannot start " << writerPath() << ": " << GetLastError();
    }
    SetEvent(start.get());
    for (const UniqueHandle& writer : writers) {
        ASSERT_EQ(WaitForSingleObject(writer.get(), kWriterTimeoutMs), WAIT_OBJECT_0);
        DWORD exitCode = 1;
        GetExitCodeProcess(writer.get(), &exitCode);
        ASSERT_EQ(exitCode, 0u);
    }

    // Every record must be exactly one a writer made, each writer's in its own order.
    std::map<std::string, unsigned> lastNumber;
    std::map<std::string, unsigned> written;
    const std::vector<LogRecord> records = logRecords();
    for (const LogRecord& record : records) {
        const std::string tag = record.message.substr(0, record.message.find(' '));
        ASSERT_TRUE(tag == tags[0] || tag == tags[1]) << "foreign or broken record: " << record.message;
        const unsigned number = static_cast<unsigned>(std::stoul(record.line));
        EXPECT_EQ(record.sourceFile, "LogWriter.cpp");
        EXPECT_EQ(record.message, tag + " " + record.line + " " + std::string(200, tag[0]));
        EXPECT_GT(number, lastNumber[tag]) << "out of order: " << record.message;
        lastNumber[tag] = number;
        ++written[tag];
    }
    // One record, one physical line: nothing joined two records or split one.
    const std::string bytes = logBytes();
    std::size_t lineEnds = 0;
    for (std::size_t at = 0; (at = bytes.find("\r\n", at)) != std::string::npos; at += 2) ++lineEnds;
    EXPECT_EQ(lineEnds, records.size());
    EXPECT_EQ(bytes.size() >= 2 ? bytes.substr(bytes.size() - 2) : bytes, "\r\n");

    for (const std::string& tag : tags) {
        const unsigned failed = failedOpensOf(installFile(tag + ".result"));
        EXPECT_EQ(written[tag] + failed, kRecordsPerWriter) << tag;
        std::printf("[          ] %s: %u records written, %u lost to a held file\n", tag.c_str(), written[tag], failed);
    }
}

}  // namespace
}  // namespace kest::test
