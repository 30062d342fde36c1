// The installation settings (read through KestIniRead) that switch the log on ("1" exactly)
// and name its file: KestLog reads them, the tool and the tests set them.
#pragma once

namespace kest {

inline constexpr char kLogSection[] = "LOG";
inline constexpr char kWriteLogKey[] = "WriteLog";
inline constexpr char kLogPathKey[] = "LogPath";

}  // namespace kest
