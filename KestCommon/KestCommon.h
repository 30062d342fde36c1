/* KestCommon: trace records, the shared heap, whole-file helpers and the settings file.
 * Exported by name with fixed ordinals (KestCommon.def); KestMyCert binds 1, 2, 5, 6, 10
 * and 11 by ordinal. */
#pragma once

#include "KestResult.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Blocks come from the process heap, zero-filled, so that any library may free them. */
ResultCode allocMemory(unsigned size, void** out);
void freeMemory(void* block);

/* The settings file "KestEnv.ini" in the installation directory; dest holds 260 bytes. */
ResultCode getIniFilePath(char* dest);
/* size must be at least 64; a missing value leaves the absent-value sentinel in value. */
ResultCode readIniString(const char* file, const char* section, const char* key, char* value, unsigned size);
ResultCode readIniInt(const char* file, const char* section, const char* key, int* value);
ResultCode writeIniString(const char* file, const char* section, const char* key, const char* value);

/* Counts, not codes: 0 when the file cannot be opened (or its size not obtained). */
unsigned getFileSize(const char* path);
unsigned readFile(const char* path, void* buffer, unsigned size);
unsigned writeFile(const char* path, const void* data, unsigned size);

/* "<functionName>() = 0x<code> : <detail>" and any formatted text, at most 255 characters. */
void logError(const char* sourceFile, unsigned line, const char* functionName, unsigned code, const char* format,
              ...);
void logAny(const char* sourceFile, unsigned line, const char* format, ...);

#ifdef __cplusplus
}
#endif
