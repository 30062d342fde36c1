#include "StandInSettings.h"

#include "KestIniStandIn.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <new>
#include <utility>

namespace kest {
namespace {

// The root key and a section: far below the registry's 255 characters of a key name.
constexpr std::size_t kSubKeySize = 256;

[[nodiscard]] bool subKeyOf(const char* section, char (&subKey)[kSubKeySize]) noexcept {
    const int length = section[0] == '\0' ? std::snprintf(subKey, sizeof subKey, "%s", standin::kRootKey)
                                          : std::snprintf(subKey, sizeof subKey, "%s\\%s", standin::kRootKey, section);
    return length > 0 && static_cast<std::size_t>(length) < sizeof subKey;
}

}  // namespace

bool setStandInValue(const char* section, const char* name, const char* value) noexcept {
    char subKey[kSubKeySize];
    if (!subKeyOf(section, subKey)) return false;
    return RegSetKeyValueA(HKEY_CURRENT_USER, subKey, name, REG_SZ, value,
                           static_cast<DWORD>(std::strlen(value) + 1)) == ERROR_SUCCESS;
}

StandInRead readStandInValue(const char* section, const char* name, std::string& value) noexcept {
    char subKey[kSubKeySize];
    if (!subKeyOf(section, subKey)) return StandInRead::failed;
    try {
        std::string text(MAX_PATH, '\0');
        for (;;) {
            auto size = static_cast<DWORD>(text.size());
            const LSTATUS status =
                RegGetValueA(HKEY_CURRENT_USER, subKey, name, RRF_RT_REG_SZ, nullptr, text.data(), &size);
            if (status == ERROR_FILE_NOT_FOUND) return StandInRead::missing;
            if (status == ERROR_MORE_DATA) {
                // Longer than the buffer: again with the size it needs, or more if it keeps growing.
                text.resize(size > text.size() ? size : text.size() * 2);
                continue;
            }
            if (status != ERROR_SUCCESS) return StandInRead::failed;
            text.resize(std::strlen(text.c_str()));
            value = std::move(text);
            return StandInRead::found;
        }
    } catch (const std::bad_alloc&) {
        return StandInRead::failed;
    }
}

bool removeStandInValue(const char* section, const char* name) noexcept {
    char subKey[kSubKeySize];
    if (!subKeyOf(section, subKey)) return false;
    const LSTATUS status = RegDeleteKeyValueA(HKEY_CURRENT_USER, subKey, name);
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

}  // namespace kest
