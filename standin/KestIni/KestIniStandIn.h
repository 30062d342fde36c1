// Where the KestIni stand-in keeps its values, for the tests and tools that set them.
//
//   HKEY_CURRENT_USER\Software\Kest\KestIni            InstallPath (REG_SZ)
//   HKEY_CURRENT_USER\Software\Kest\KestIni\<section>  <key> (REG_SZ), e.g. LOG\WriteLog
#pragma once

namespace kest::standin {
inline constexpr char kRootKey[] = "Software\\Kest\\KestIni";
inline constexpr char kInstallPathValue[] = "InstallPath";
}  // namespace kest::standin
