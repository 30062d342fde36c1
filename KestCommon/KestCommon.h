/* KestCommon: trace records, the shared heap, whole-file helpers and the settings file.
 * Exported by name with fixed ordinals (KestCommon.def); KestMyCert binds 1, 2, 5, 6, 10
 * and 11 by ordinal. */
#pragma once

#include "KestResult.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Blocks come from the process heap, zero-filled, so that any library may free them. */
KEST_NODISCARD ResultCode allocMemory(unsigned size, void** out) KEST_NOEXCEPT;
void freeMemory(void* block) KEST_NOEXCEPT;

/* The settings file "KestEnv.ini" in the installation directory; dest holds 260 bytes. */
KEST_NODISCARD ResultCode getIniFilePath(char* dest) KEST_NOEXCEPT;
/* size must be at least 64; a missing value leaves the absent-value sentinel in value. */
KEST_NODISCARD ResultCode readIniString(const char* file, const char* section, const char* key, char* value,
                                        unsigned size) KEST_NOEXCEPT;
KEST_NODISCARD ResultCode readIniInt(const char* file, const char* section, const char* key, int* value) KEST_NOEXCEPT;
KEST_NODISCARD ResultCode writeIniString(const char* file, const char* section, const char* key,
                                         const char* value) KEST_NOEXCEPT;

/* Counts, not codes: 0 when the file cannot be opened (or its size not obtained). */
unsigned getFileSize(const char* path) KEST_NOEXCEPT;
unsigned readFile(const char* path, void* buffer, unsigned size) KEST_NOEXCEPT;
unsigned writeFile(const char* path, const void* data, unsigned size) KEST_NOEXCEPT;

/* "<functionName>() = 0x<code> : <detail>" and any formatted text, at most 255 characters. */
void logError(const char* sourceFile, unsigned line, const char* functionName, unsigned code, const char* format,
              ...) KEST_NOEXCEPT;
void logAny(const char* sourceFile, unsigned line, const char* format, ...) KEST_NOEXCEPT;

#ifdef __cplusplus
}
#endif
