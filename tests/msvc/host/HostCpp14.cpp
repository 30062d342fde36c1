// The C++14 unit of the MSVC-ABI host, as Visual Studio compiles a C++ project by default:
// every public header whose C++ part needs no C++ library (KestMyCert.h's brings <memory>,
// which this compiler has none of here), and Log called through KestLog.lib.
#include "Host.h"

#include <KestCommon.h>
#include <KestErr.h>
#include <KestIni.h>
#include <KestLog.h>
#include <KestResult.h>

#include <windows.h>

static_assert(__cplusplus == 201402L, "this unit is compiled as C++14");
// As this compiler sees the declarations: unevaluated, so KestErr.lib need not be linked.
static_assert(noexcept(Log(nullptr, 0, nullptr)), "Log is noexcept");
static_assert(noexcept(LogFlag()), "LogFlag is noexcept");
static_assert(noexcept(ShowError(nullptr, 0)), "ShowError is noexcept");
static_assert(noexcept(allocMemory(0, nullptr)), "allocMemory is noexcept");

extern "C" void hostCheckCpp14(void) {
    // The installation settings that switch the log on, as KestLog.h names them.
    char section[] = "LOG";
    char key[] = "WriteLog";
    char value[261];
    value[0] = '\0';
    const bool on = KestIniRead(section, key, value) == 0 && lstrcmpA(value, "1") == 0;
    hostCheck(on && LogFlag(), "C++14: LogFlag agrees with KestIniRead of LOG/WriteLog");
    Log("HostCpp14.cpp", __LINE__, "MSVC-ABI host: a record from C++14 through KestLog");
}
