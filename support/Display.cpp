#include "Display.h"

#include <windows.h>

namespace kest {
namespace {

bool runningOnWine() noexcept {
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

bool windowStationVisible() noexcept {
    USEROBJECTFLAGS flags{};
    DWORD needed = 0;
    if (!GetUserObjectInformationA(GetProcessWindowStation(), UOI_FLAGS, &flags, sizeof flags, &needed)) return true;
    return (flags.dwFlags & WSF_VISIBLE) != 0;
}

bool wineGraphicsDriverIsNull() noexcept {
    char value[64] = {};
    DWORD size = sizeof value;
    if (RegGetValueA(HKEY_CURRENT_USER, "Software\\Wine\\Drivers", "Graphics", RRF_RT_REG_SZ, nullptr, value, &size) !=
        ERROR_SUCCESS)
        return false;
    return lstrcmpiA(value, "null") == 0;
}

bool environmentSet(const char* name) noexcept { return GetEnvironmentVariableA(name, nullptr, 0) > 0; }

}  // namespace

const char* whyNoDisplay() noexcept {
    if (!windowStationVisible())
        return "no interactive desktop: this process's window station is invisible (a service or a "
               "non-interactive logon)";
    if (!runningOnWine()) return nullptr;
    if (wineGraphicsDriverIsNull())
        return R"(no display: Wine's graphics driver is null (HKCU\Software\Wine\Drivers Graphics))";
    if (!environmentSet("DISPLAY") && !environmentSet("WAYLAND_DISPLAY"))
        return "no display: neither DISPLAY nor WAYLAND_DISPLAY is set, so Wine uses its null driver";
    return nullptr;
}

}  // namespace kest
