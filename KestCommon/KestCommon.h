/* KestCommon: trace records, the shared heap, whole-file helpers and the settings file.
 * Exported by name with fixed ordinals (KestCommon.def); KestMyCert binds 1, 2, 5, 6, 10
 * and 11 by ordinal. */
#pragma once

#include "KestResult.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Every function but logError and logAny writes its start and end trace records, and a
 * failure with a result code its error record. Out-parameters are written on success only,
 * but where said otherwise. */

/* A zero-filled block of `size` bytes of the process heap into *out: KEST_OK (size 0 gives a
 * block too). The block is the caller's, to be given back to freeMemory by any library.
 * KEST_E_NO_MEMORY: *out untouched. */
KEST_NODISCARD ResultCode allocMemory(unsigned size, void** out) KEST_NOEXCEPT;
/* Gives a block of allocMemory back to the process heap; null is accepted and ignored. */
void freeMemory(void* block) KEST_NOEXCEPT;

/* The path of the settings file "KestEnv.ini" in the installation directory (joined by the
 * platform's path rule) into dest, of which all 260 bytes are written. KEST_OK: a file or a
 * directory of that name exists (whether it is a file is not checked).
 * KEST_E_NO_INSTALL_PATH: dest untouched. KEST_E_NO_SETTINGS_FILE: nothing of that name, dest
 * holds the path all the same (empty when it would not fit). */
KEST_NODISCARD ResultCode getIniFilePath(char* dest) KEST_NOEXCEPT;

/* file, section and key go to the platform's profile calls as they are: a file name without a
 * path names one in the Windows directory, and null has the platform's meaning. The two reads
 * never change the file. */

/* The value of [section] key of `file` into value (size bytes, at least 64), cut to size - 1
 * bytes and terminated: KEST_OK (an empty value too). KEST_E_SETTINGS_READ: size below 64
 * (value untouched), or file, section or key missing (value then holds a fixed placeholder
 * text, no value of the file). */
KEST_NODISCARD ResultCode readIniString(const char* file, const char* section, const char* key, char* value,
                                        unsigned size) KEST_NOEXCEPT;
/* The value read as a number (strtod rules in the C locale, whatever locale the host set: "1.5"
 * is 1.5, "1,5" is not a number; the whole text, within int's range), truncated
 * toward zero into *value: KEST_OK. KEST_E_SETTINGS_READ: missing. KEST_E_SETTINGS_INVALID:
 * empty, not a number, trailing text, out of range or over 62 bytes. *value untouched on
 * failure. */
KEST_NODISCARD ResultCode readIniInt(const char* file, const char* section, const char* key, int* value) KEST_NOEXCEPT;
/* Sets [section] key of `file` to value, making the file and section as needed (a null value
 * deletes the key, a null key the section, as the platform's call does): KEST_OK, or
 * KEST_E_SETTINGS_WRITE. */
KEST_NODISCARD ResultCode writeIniString(const char* file, const char* section, const char* key,
                                         const char* value) KEST_NOEXCEPT;

/* Counts, not codes; nothing to free.
 * getFileSize: the size in bytes; 0 when the file is missing, its status cannot be had or it
 *   holds 2 GiB or more.
 * readFile: reads up to `size` bytes from the file's start into buffer, the rest of it left as
 *   it was, and returns the bytes read.
 * writeFile: makes or empties the file and writes `size` bytes of data, and returns the bytes
 *   that reached the file: fewer than `size` when the file refuses the rest (a full disk), a
 *   failed write or close traced with the runtime's reason. Size 0 makes or empties the file
 *   and returns 0.
 * Both return 0 when the file cannot be opened (traced). */
unsigned getFileSize(const char* path) KEST_NOEXCEPT;
unsigned readFile(const char* path, void* buffer, unsigned size) KEST_NOEXCEPT;
unsigned writeFile(const char* path, const void* data, unsigned size) KEST_NOEXCEPT;

/* Trace records through Log (so only while logging is on), for the caller's source unit and
 * line; the text cut to 255 characters, on a whole character of the ANSI code page (a cut
 * never leaves the lead byte of a double-byte character alone), a null format or functionName
 * taken as an empty text.
 * logError writes "<functionName>() = 0x<code> : <detail>" (code in eight lower-case hex
 * digits), logAny any formatted text.
 * Formats are the Windows runtime's printf (msvcrt.dll, formatted also while logging is off):
 * flags, width, precision, the size prefixes h, l, ll, w, I, I32, I64 and the types c, C, s, S,
 * d, i, o, u, x, X, p, a, e, f, g and %% as Microsoft documents them. Not to be used, as the
 * Universal CRT of a current Visual Studio documents them otherwise: the prefixes hh, j, t, z
 * (use I, I64), the types F and n (%n ends a Visual Studio host), and unknown type
 * characters (copied unchanged here). Wide texts (%ws, %S) convert in the runtime's "C" locale:
 * a character beyond Latin-1 ends the text there, so Japanese goes in as Shift_JIS with %s. */
void logError(const char* sourceFile, unsigned line, const char* functionName, unsigned code, const char* format,
              ...) KEST_NOEXCEPT;
void logAny(const char* sourceFile, unsigned line, const char* format, ...) KEST_NOEXCEPT;

#ifdef __cplusplus
}
#endif
