// A sample installation for one test: a fresh directory as the installation directory of the
// KestIni stand-in, with logging on into a log file inside it. Everything the test changed in
// the stand-in's settings is put back afterwards. Fixtures hold it as a part beside
// ::testing::Test (InstallationTest, PersonalStoreTest, ErrorBoxTest), so that a suite's own
// fixture derives from one of them and no chain grows deeper.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "LogFile.h"

namespace kest::test {

// Sets (or deletes) one setting of the KestIni stand-in, by section (empty: the root key) and
// name, and restores it on destruction.
class RegistryValueOverride {
public:
    RegistryValueOverride(std::string section, std::string name);
    ~RegistryValueOverride();
    RegistryValueOverride(const RegistryValueOverride&) = delete;
    RegistryValueOverride& operator=(const RegistryValueOverride&) = delete;

    void set(const std::string& value);
    void remove();

private:
    std::string section_;
    std::string name_;
    std::optional<std::string> saved_;
};

// A directory under %TEMP% removed with its contents on destruction.
class TemporaryDirectory {
public:
    explicit TemporaryDirectory(const std::string& nameSuffix = "");
    ~TemporaryDirectory();
    TemporaryDirectory(const TemporaryDirectory&) = delete;
    TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;

    const std::string& path() const noexcept { return path_; }
    std::string file(const std::string& name) const { return path_ + "\\" + name; }

private:
    std::string path_;
};

void writeFileBytes(const std::string& path, const std::string& bytes);
void removeTree(const std::string& path);
// The names of a directory's entries, sorted, without "." and ".."; none if it cannot be read.
std::vector<std::string> filesIn(const std::string& directory);

// A sample installation, for a fixture to hold beside ::testing::Test: the fixtures stay one
// level deep and take what they share from parts like this one instead of from each other.
// On destruction it fails the test if the log holds an end record at line 0: an exit of one
// of our traced functions that did not mark its line (KEST_RETURN).
class SampleInstallation {
public:
    SampleInstallation();
    ~SampleInstallation();
    SampleInstallation(const SampleInstallation&) = delete;
    SampleInstallation& operator=(const SampleInstallation&) = delete;

    const std::string& installDir() const noexcept { return directory_.path(); }
    std::string installFile(const std::string& name) const { return directory_.file(name); }
    const std::string& logPath() const noexcept { return logPath_; }

    void setWriteLog(const std::string& value) { writeLog_.set(value); }
    void removeWriteLog() { writeLog_.remove(); }
    void setLogPath(const std::string& path) {
        logPath_ = path;
        logPathSetting_.set(path);
    }
    void setInstallPath(const std::string& path) { installPath_.set(path); }
    void removeInstallPath() { installPath_.remove(); }

    std::vector<LogRecord> logRecords() const { return readLogRecords(logPath_); }
    std::vector<std::string> logMessages() const { return readLogMessages(logPath_); }
    std::string logBytes() const { return readFileBytes(logPath_); }

private:
    TemporaryDirectory directory_;
    std::string logPath_;
    RegistryValueOverride installPath_;
    RegistryValueOverride writeLog_;
    RegistryValueOverride logPathSetting_;
};

// The fixture of tests that need the sample installation and nothing else.
class InstallationTest : public ::testing::Test, protected SampleInstallation {};

}  // namespace kest::test
