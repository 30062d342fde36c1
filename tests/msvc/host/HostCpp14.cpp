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

namespace {

// KestIniRead takes writable texts; the setting names are KestLog.h's.
template <SIZE_T N>
void copyName(char (&to)[N], const char (&from)[N]) noexcept {
    for (SIZE_T i = 0; i < N; ++i) to[i] = from[i];
}

}  // namespace

extern "C" void hostCheckCpp14(void) {
    char section[sizeof kest::kLogSection];
    char key[sizeof kest::kWriteLogKey];
    copyName(section, kest::kLogSection);
    copyName(key, kest::kWriteLogKey);
    char value[261];
    value[0] = '\0';
    const bool on = KestIniRead(section, key, value) == 0 && lstrcmpA(value, "1") == 0;
    hostCheck(on && LogFlag(), "C++14: LogFlag agrees with KestIniRead of kest::kLogSection/kest::kWriteLogKey");
    Log(KEST_SOURCE_FILE, __LINE__, "MSVC-ABI host: a record from C++14 through KestLog");
}
