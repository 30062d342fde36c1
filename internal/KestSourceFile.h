// The caller's source unit as our libraries pass it to Log: the base name of __FILE__, at
// compile time. Builds on other systems spell __FILE__ with forward slashes, which Log would
// write whole.
#pragma once

namespace kest {

constexpr const char* sourceBaseName(const char* path) noexcept {
    const char* base = path;
    for (const char* p = path; *p != '\0'; ++p)
        if (*p == '/' || *p == '\\') base = p + 1;
    return base;
}

}  // namespace kest

#define KEST_SOURCE_FILE (::kest::sourceBaseName(__FILE__))
