// Where an installation's log records go with the log on, told without writing one: doctor
// and log status say it alike, and log on warns with it.
#pragma once

#include <optional>
#include <string>

namespace kest::tool {

struct LogDestination {
    enum class Verdict {
        written,    // records are appended to the file
        elsewhere,  // a relative path: the file is in whatever folder the host was started in
        dropped,    // no record can be written
    };
    Verdict verdict;
    std::string where;   // "to <path>..." or "but no LogPath...", active code page
    std::string remedy;  // what to do; empty for `written`
};

// The installation's log file, LogPath read through KestIni as KestLog reads it; nothing
// when KestIni gives none or an empty one.
[[nodiscard]] std::optional<std::string> installationLogPath();

// `path` is the installation's LogPath, if it has one.
[[nodiscard]] LogDestination logDestination(const std::optional<std::string>& path);

}  // namespace kest::tool
