// KestLog: the log file of the whole system.
//
// Log appends one record "[M/DD hh:mm:ss]<base name of sourceFile>,<line>,<message>" when the
// installation setting LOG/WriteLog is exactly "1", to the file named by LOG/LogPath.
// Every failure is silent: a record that cannot be written is dropped.
#pragma once

#ifdef __cplusplus
extern "C" {
#else
#include <stdbool.h>
#endif

/* Exports never throw. The same definition as KestResult.h's, which a host of this DLL alone
 * does not see. */
#ifndef KEST_NOEXCEPT
#ifdef __cplusplus
#define KEST_NOEXCEPT noexcept
#else
#define KEST_NOEXCEPT
#endif
#endif

/* Appends one record for the caller's source unit and line when logging is on, and nothing
 * otherwise. sourceFile: a path, of which only the text after the last backslash is written
 * (double-byte characters of the ANSI code page are walked whole); line: written in decimal as
 * a signed int; message: written byte for byte, a newline in it continuing the record on the
 * next line. A null sourceFile or message is written as an empty text. The timestamp is the
 * local time at the call. The file is opened and closed within the call, shared for reading
 * but with no other writer, so records never interleave: calls from any thread or process take
 * turns, each writer's records in the order of its calls. A record waits at most 100 ms for its
 * turn and 50 ms for a file another program holds, then is dropped, as is any record that
 * cannot be written, without a report. Nothing is kept: the flag is read anew at every call, the path only when
 * the flag is on. */
void Log(const char* sourceFile, unsigned line, const char* message) KEST_NOEXCEPT;

/* true exactly when the setting LOG/WriteLog reads as "1" (read anew at every call); a failed
 * read is false. Writes nothing. */
bool LogFlag(void) KEST_NOEXCEPT;

#ifdef __cplusplus
}
#endif
