// Installation settings service (KestIni): the two functions our libraries import.
//
// A real installation ships its own KestIni.dll, built with the platform's compiler, which
// exports these under C++ (MSVC-decorated) names:
//   ?KestInstallPath@@YA_NPEADK@Z   bool KestInstallPath(char*, unsigned long)
//   ?KestIniRead@@YAKPEAD00@Z       unsigned long KestIniRead(char*, char*, char*)
// GCC cannot produce those names, so for MinGW builds the functions are declared with C
// linkage and the import library (made from KestIni.def) maps them to the decorated names.
//
// C++ only: a C unit can neither spell the MSVC names nor parse extern "C".
#pragma once

#ifndef __cplusplus
#error "KestIni.h is C++ only: the installation's KestIni.dll exports C++ names"
#endif

#if defined(_MSC_VER)
#define KEST_INI_LINKAGE
#else
#define KEST_INI_LINKAGE extern "C"
#endif

// The installation directory into buffer (bufferSize bytes): on true, a NUL-terminated ANSI
// path without a trailing backslash that fits the buffer; on false its content is not to be
// used. Our callers pass 260 (KestCommon) and 261 (KestErr) bytes.
KEST_INI_LINKAGE bool KestInstallPath(char* buffer, unsigned long bufferSize);

// The size of the value buffer our libraries pass to KestIniRead, zero-filled: a value holds
// at most 260 bytes and its terminator.
constexpr unsigned long kKestIniValueSize = 261;

// The installation setting `key` of `section` into value: on 0, a NUL-terminated 8-bit text;
// any other result is a failure, with value's content not to be used. Our libraries pass a
// zero-filled buffer of kKestIniValueSize bytes. Nothing to free.
KEST_INI_LINKAGE unsigned long KestIniRead(char* section, char* key, char* value);
