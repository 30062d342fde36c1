/* Shared by the units of the MSVC-ABI host: the C unit (Host.c) calls our C exports, the C++
 * units the installation's KestIni, whose names only C++ decorates (HostKestIni.cpp), and our
 * log from C++14 (HostCpp14.cpp). */
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

/* Writes text to standard output; hostCheck writes "ok <what>" or "FAILED <what>" and counts. */
void hostWrite(const char* text);
void hostCheck(int ok, const char* what);

/* KestInstallPath and KestIniRead through KestIni.lib. */
void hostCheckKestIni(void);
/* LogFlag and Log through KestLog.lib from a C++14 unit. */
void hostCheckCpp14(void);

#ifdef __cplusplus
}
#endif
