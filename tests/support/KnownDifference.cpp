#include "KnownDifference.h"

#include <windows.h>

#include <cstdio>

namespace kest::test {

Platform currentPlatform() {
    static const Platform platform = [] {
        const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
        return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr ? Platform::wine
                                                                                        : Platform::windows;
    }();
    return platform;
}

namespace detail {

void reportKnownDifference(const char* windowsSource, const std::string& windows, const std::string& wine) {
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::printf("[ KNOWN    ] %s%s%s: Wine 8.0's %s, where Windows gives %s (%s)\n",
                test != nullptr ? test->test_suite_name() : "", test != nullptr ? "." : "",
                test != nullptr ? test->name() : "", wine.c_str(), windows.c_str(), windowsSource);
    std::fflush(stdout);
}

}  // namespace detail
}  // namespace kest::test
