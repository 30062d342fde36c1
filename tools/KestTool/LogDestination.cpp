// Where the log's records go: KestLog appends each record to LogPath, and drops it when the
// file cannot be opened. Looked at only: the file is opened for appending and closed at once,
// nothing written, and a file that is not there is not made.
#include "LogDestination.h"

#include "Platform.h"

#include "KestIni.h"
#include "KestLogSettings.h"

#include <windows.h>
#include <shlwapi.h>

#include <cstring>

namespace kest::tool {
namespace {

constexpr char kLogOnCommand[] = "kesttool log on <file>";

LogDestination dropped(std::string where, std::string remedy) {
    return {LogDestination::Verdict::dropped, std::move(where), std::move(remedy)};
}

}  // namespace

std::optional<std::string> installationLogPath() {
    char value[kKestIniValueSize] = {};
    char section[sizeof kLogSection];
    char key[sizeof kLogPathKey];
    std::memcpy(section, kLogSection, sizeof section);
    std::memcpy(key, kLogPathKey, sizeof key);
    if (KestIniRead(section, key, value) != 0 || value[0] == '\0') return std::nullopt;
    value[sizeof value - 1] = '\0';
    return std::string(value);
}

LogDestination logDestination(const std::optional<std::string>& path) {
    if (!path || path->empty())
        return dropped("but no LogPath: every record is dropped", std::string("set a log file with ") + kLogOnCommand);
    const std::string to = "to " + *path;
    if (PathIsRelativeA(path->c_str()))
        return {LogDestination::Verdict::elsewhere,
                to + ", a relative path: the records go to the working folder of the host, wherever it was started",
                std::string("set a full path with ") + kLogOnCommand};
    const std::string folder = folderOf(*path);
    if (!folder.empty() && !isDirectory(folder))
        return dropped(to + ", but the folder " + folder + " does not exist: every record is dropped",
                       std::string("create the folder, or set another file with ") + kLogOnCommand);
    if (isDirectory(*path))
        return dropped(to + ", which is a folder: no record can be written",
                       "name a file in it with kesttool log on " + *path + "\\kest.log");

    if (GetFileAttributesA(path->c_str()) == INVALID_FILE_ATTRIBUTES)
        return {LogDestination::Verdict::written, to + " (made with the first record)", {}};
    switch (const DWORD error = writeRefusal(*path, FILE_APPEND_DATA)) {
        case ERROR_SUCCESS: return {LogDestination::Verdict::written, to, {}};
        case ERROR_FILE_READ_ONLY:
            return dropped(to + ", which is read-only: every record is dropped",
                           "clear its read-only attribute (attrib -r " + *path + ")");
        default:
            return dropped(to + ", which cannot be opened for appending (error " + std::to_string(error) +
                               "): every record is dropped",
                           error == ERROR_SHARING_VIOLATION ? "close the program that holds it open"
                                                            : "give the user the right to write it");
    }
}

}  // namespace kest::tool
