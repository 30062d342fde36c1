// Where an installation's log records go with the log on, told without writing one: doctor
// and log status say it alike, and log on warns with it. The facts are gathered as KestLog
// meets them (LogDestination.cpp); what they mean is judged without a call (Diagnosis.cpp).
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace kest::tool {

// What a path names as Windows resolves it ("File path formats on Windows systems", Win32
// documentation): which of them name one file wherever the host runs.
enum class PathKind {
    driveAbsolute,  // C:\Kest\kest.log, also \\?\C:\... and \\.\C:\...
    driveRelative,  // C:kest.log: under the host's working folder on that drive
    rooted,         // \Kest\kest.log: from the root of the host's current drive
    relative,       // kest.log, logs\kest.log: under the host's working folder
    unc,            // \\server\share\kest.log, either slash
    device,         // \\.\NUL, NUL, COM1.log: a device, not a file
};
// Pure: double-byte characters of the active code page are walked whole.
[[nodiscard]] PathKind pathKind(const std::string& path);

// The installation's log file as Log meets it: LogPath as KestIniRead hands it over, then the
// name as Windows takes it, and an existing file opened as Log opens it. Errors are Windows'
// last-error values, 0 for none.
struct LogFile {
    unsigned long pathRead = 0;  // KestIniRead's result for LogPath, 0 for success
    // With a failed read: the length of the LogPath the KestIni stand-in holds, if it holds one.
    std::optional<std::size_t> standInLength;
    std::string path;                         // the value read, active code page
    PathKind kind = PathKind::driveAbsolute;  // pathKind's answer
    std::string folder;                       // its folder part; empty for a bare name
    bool folderIsFile = false;                // the folder part names a file
    std::string expanded;                     // with the environment's variables expanded, which Log never does
    bool exists = false;                      // GetFileAttributesA's answer
    bool isFolder = false;
    bool readOnly = false;
    unsigned long nameError = 0;  // GetFileAttributesA's error for a name that is not there
    unsigned long openError = 0;  // of the existing file, opened with Log's access and sharing
};

struct LogDestination {
    enum class Verdict {
        written,    // records are appended to the file
        elsewhere,  // they go somewhere the tool cannot see, or to a file not meant
        dropped,    // no record can be written
        unknown,    // the tool cannot tell
    };
    Verdict verdict;
    std::string where;   // "to <path>..." or "but no LogPath...", active code page
    std::string remedy;  // what to do; empty for `written`
};

// The installation's log file, LogPath read through KestIni as KestLog reads it; nothing
// when KestIni gives none or an empty one.
[[nodiscard]] std::optional<std::string> installationLogPath();

// The facts of the installation's log file, gathered as Log meets it, nothing written or made.
[[nodiscard]] LogFile gatherLogFile();

// What the facts mean for the records (Diagnosis.cpp, pure).
[[nodiscard]] LogDestination logDestination(const LogFile& facts);

}  // namespace kest::tool
