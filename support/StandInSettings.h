// The KestIni stand-in's settings (KestIniStandIn.h) as the tool, the benchmark and the tests
// set them: a value by section and name, an empty section meaning the stand-in's root key
// (InstallPath), any other one of its subkeys (LOG: WriteLog, LogPath).
#pragma once

#include <string>

namespace kest {

// What a read of a setting found.
enum class StandInRead { found, missing, failed };

// Sets the value as text, making its section's key where there is none.
[[nodiscard]] bool setStandInValue(const char* section, const char* name, const char* value) noexcept;

// The value's text, whatever its length; `value` changes only when it is found. A value that
// is no text (another registry type) fails.
[[nodiscard]] StandInRead readStandInValue(const char* section, const char* name, std::string& value) noexcept;

// Removes the value; true also when there was none.
[[nodiscard]] bool removeStandInValue(const char* section, const char* name) noexcept;

}  // namespace kest
