#include "Installation.h"

#include "KestIniStandIn.h"
#include "KestLog.h"
#include "KestLogSettings.h"
#include "TestOwners.h"
#include "StandInSettings.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <stdexcept>

namespace kest::test {

RegistryValueOverride::RegistryValueOverride(std::string section, std::string name)
    : section_(std::move(section)), name_(std::move(name)) {
    std::string value;
    if (readStandInValue(section_.c_str(), name_.c_str(), value) == StandInRead::found) saved_ = std::move(value);
}

RegistryValueOverride::~RegistryValueOverride() {
    if (saved_)
        set(*saved_);
    else
        remove();
}

void RegistryValueOverride::set(const std::string& value) {
    if (!setStandInValue(section_.c_str(), name_.c_str(), value.c_str()))
        throw std::runtime_error("cannot set the setting " + section_ + "\\" + name_);
}

void RegistryValueOverride::remove() { static_cast<void>(removeStandInValue(section_.c_str(), name_.c_str())); }

TemporaryDirectory::TemporaryDirectory(const std::string& nameSuffix) {
    static std::atomic<unsigned> counter{0};
    char temp[MAX_PATH];
    const DWORD length = GetTempPathA(sizeof temp, temp);
    if (length == 0 || length >= sizeof temp) throw std::runtime_error("GetTempPathA failed");
    // The tick count too: Wine reuses process ids quickly.
    path_ = std::string(temp) + "kest-" + std::to_string(GetCurrentProcessId()) + "-" +
            std::to_string(GetTickCount64() % 100000) + "-" + std::to_string(counter++) + nameSuffix;
    removeTree(path_);
    if (!CreateDirectoryA(path_.c_str(), nullptr)) throw std::runtime_error("cannot create " + path_);
}

TemporaryDirectory::~TemporaryDirectory() { removeTree(path_); }

namespace {

// The wide functions with the "\\?\" prefix reach paths beyond 260 bytes, which tests make on
// purpose and the ANSI functions cannot remove.
void removeTreeWide(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(path.c_str());
        return;
    }
    WIN32_FIND_DATAW entry;
    const UniqueFindHandle search{FindFirstFileW((path + L"\\*").c_str(), &entry)};
    if (search) {
        do {
            const std::wstring name = entry.cFileName;
            if (name != L"." && name != L"..") removeTreeWide(path + L"\\" + name);
        } while (FindNextFileW(search.get(), &entry));
    }
    RemoveDirectoryW(path.c_str());
}

}  // namespace

void removeTree(const std::string& path) {
    const int length = MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, nullptr, 0);
    if (length <= 1) return;
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide.data(), length);
    wide.resize(static_cast<std::size_t>(length) - 1);
    removeTreeWide(L"\\\\?\\" + wide);
}

std::vector<std::string> filesIn(const std::string& directory) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA entry;
    const UniqueFindHandle search{FindFirstFileA((directory + "\\*").c_str(), &entry)};
    if (!search) return names;
    do {
        const std::string name = entry.cFileName;
        if (name != "." && name != "..") names.push_back(name);
    } while (FindNextFileA(search.get(), &entry));
    std::sort(names.begin(), names.end());
    return names;
}

void writeFileBytes(const std::string& path, const std::string& bytes) {
    const UniqueFile file{std::fopen(path.c_str(), "wb")};
    if (!file) throw std::runtime_error("cannot write " + path);
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size())
        throw std::runtime_error("short write to " + path);
}

SampleInstallation::SampleInstallation()
    : logPath_(directory_.file("kest.log")),
      installPath_("", kest::standin::kInstallPathValue),
      writeLog_(kest::kLogSection, kest::kWriteLogKey),
      logPathSetting_(kest::kLogSection, kest::kLogPathKey) {
    installPath_.set(directory_.path());
    writeLog_.set("1");
    logPathSetting_.set(logPath_);
}

SampleInstallation::~SampleInstallation() {
    const std::string endSuffix = "() end";
    try {
        for (const LogRecord& record : logRecords()) {
            const bool endRecord =
                record.message.size() >= endSuffix.size() &&
                record.message.compare(record.message.size() - endSuffix.size(), endSuffix.size(), endSuffix) == 0;
            if (endRecord && record.line == "0")
                ADD_FAILURE() << "an exit without its line: " << record.sourceFile << ",0," << record.message;
        }
    } catch (const std::exception& error) {
        ADD_FAILURE() << "cannot read the log for its end records: " << error.what();
    }
}

}  // namespace kest::test
