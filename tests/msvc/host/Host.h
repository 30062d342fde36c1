/* Shared by the two units of the MSVC-ABI host: the C unit (Host.c) calls our C exports, the C++
 * unit (HostKestIni.cpp) the installation's KestIni, whose names only C++ decorates. */
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

/* Writes text to standard output; hostCheck writes "ok <what>" or "FAILED <what>" and counts. */
void hostWrite(const char* text);
void hostCheck(int ok, const char* what);

/* KestInstallPath and KestIniRead through KestIni.lib. */
void hostCheckKestIni(void);

#ifdef __cplusplus
}
#endif
