// Installation settings service (KestIni): the two functions our libraries import.
//
// A real installation ships its own KestIni.dll, built with the platform's compiler, which
// exports these under C++ (MSVC-decorated) names:
//   ?KestInstallPath@@YA_NPEADK@Z   bool KestInstallPath(char*, unsigned long)
//   ?KestIniRead@@YAKPEAD00@Z       unsigned long KestIniRead(char*, char*, char*)
// GCC cannot produce those names, so for MinGW builds the functions are declared with C
// linkage and the import library (made from KestIni.def) maps them to the decorated names.
#pragma once

#if defined(_MSC_VER)
#define KEST_INI_LINKAGE
#else
#define KEST_INI_LINKAGE extern "C"
#endif

// On true, buffer holds the installation directory without a trailing backslash.
KEST_INI_LINKAGE bool KestInstallPath(char* buffer, unsigned long bufferSize);

// 0 on success, the value then NUL-terminated in value (callers pass 261 bytes).
KEST_INI_LINKAGE unsigned long KestIniRead(char* section, char* key, char* value);
