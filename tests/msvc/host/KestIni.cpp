// An installation's KestIni.dll as the platform's compiler builds it: two C++ functions exported
// with __declspec(dllexport), under the names the compiler decorates (no .def file). It reads
// the registry values of our stand-in (KestIniStandIn.h), so kesttool sets them up.
#include <windows.h>

#include "KestIniStandIn.h"

namespace {

constexpr DWORD kValueBufferSize = 261;  // what KestLog passes
constexpr int kSubKeySize = 300;

}  // namespace

__declspec(dllexport) bool KestInstallPath(char* buffer, unsigned long bufferSize) {
    DWORD bytes = bufferSize;
    if (RegGetValueA(HKEY_CURRENT_USER, kest::standin::kRootKey, kest::standin::kInstallPathValue, RRF_RT_REG_SZ,
                     nullptr, buffer, &bytes) != ERROR_SUCCESS)
        return false;
    // Without a trailing backslash (the tests set none, and their paths are ASCII).
    const int length = lstrlenA(buffer);
    if (length > 3 && buffer[length - 1] == '\\') buffer[length - 1] = '\0';
    return true;
}

__declspec(dllexport) unsigned long KestIniRead(char* section, char* key, char* value) {
    char subKey[kSubKeySize];
    lstrcpynA(subKey, kest::standin::kRootKey, kSubKeySize);
    if (lstrlenA(subKey) + 1 + lstrlenA(section) >= kSubKeySize) return ERROR_INVALID_PARAMETER;
    lstrcatA(subKey, "\\");
    lstrcatA(subKey, section);
    DWORD bytes = kValueBufferSize;
    return static_cast<unsigned long>(
        RegGetValueA(HKEY_CURRENT_USER, subKey, key, RRF_RT_REG_SZ, nullptr, value, &bytes));
}

// The entry point (linked with /entry, there is no runtime to provide one).
extern "C" BOOL WINAPI kestIniEntry(HINSTANCE, DWORD, LPVOID) { return TRUE; }
