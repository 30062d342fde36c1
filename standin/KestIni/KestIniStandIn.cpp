// Stand-in for an installation's KestIni.dll, for our tests and the demo: the installation
// directory and the installation-wide settings come from the current user's registry.
#include "KestIniStandIn.h"

#include "KestIni.h"

#include <windows.h>

#include <cstring>
#include <string>

namespace {

constexpr DWORD kIniValueBufferSize = kKestIniValueSize;

LSTATUS readString(const std::string& subKey, const char* key, char* value, DWORD size) noexcept {
    DWORD bytes = size;
    return RegGetValueA(HKEY_CURRENT_USER, subKey.c_str(), key, RRF_RT_REG_SZ, nullptr, value, &bytes);
}

}  // namespace

extern "C" bool kestStandInInstallPath(char* buffer, unsigned long bufferSize) noexcept {
    if (buffer == nullptr || bufferSize == 0) return false;
    try {
        if (readString(kest::standin::kRootKey, kest::standin::kInstallPathValue, buffer, bufferSize) != ERROR_SUCCESS)
            return false;
    } catch (...) {
        return false;
    }
    // Callers append "\file" themselves: hand out the directory without a trailing backslash.
    // (Walk by characters: the trail byte of a double-byte character may be 0x5C.)
    char* lastBackslash = nullptr;
    char* end = buffer;
    for (char* p = buffer; *p != '\0'; ++p) {
        if (IsDBCSLeadByte(static_cast<BYTE>(*p)) && p[1] != '\0') {
            ++p;
            end = p + 1;
            continue;
        }
        lastBackslash = (*p == '\\') ? p : nullptr;
        end = p + 1;
    }
    if (lastBackslash != nullptr && lastBackslash + 1 == end && lastBackslash - buffer > 2) *lastBackslash = '\0';
    return true;
}

extern "C" unsigned long kestStandInIniRead(char* section, char* key, char* value) noexcept {
    if (section == nullptr || key == nullptr || value == nullptr) return ERROR_INVALID_PARAMETER;
    try {
        std::string subKey = std::string(kest::standin::kRootKey) + "\\" + section;
        return static_cast<unsigned long>(readString(subKey, key, value, kIniValueBufferSize));
    } catch (...) {
        return ERROR_OUTOFMEMORY;
    }
}

BOOL WINAPI DllMain(HINSTANCE /*instance*/, DWORD /*reason*/, LPVOID /*reserved*/) { return TRUE; }
