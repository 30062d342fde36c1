// A known difference between Windows and Wine 8.0, in the spirit of Wine's own todo_wine: the
// check states both answers and what Windows documents, so that a reader sees Windows' answer
// and a test never takes Wine's for it.
//   - On Windows the answer must be Windows' value.
//   - Under Wine (ntdll exports wine_get_version, which Windows' ntdll lacks) it must be Wine
//     8.0's value, and the test prints that it met the difference.
//   - Under a Wine that answers as Windows does, the check fails: the marker is stale and is
//     to be removed, leaving a plain check of Windows' value.
#pragma once

#include <gtest/gtest.h>

#include <string>

namespace kest::test {

enum class Platform { windows, wine };

// The platform this process runs on.
Platform currentPlatform();

namespace detail {
// Prints that a known difference was met, so that a run under Wine lists them.
void reportKnownDifference(const char* windowsSource, const std::string& windows, const std::string& wine);
}  // namespace detail

// `windowsSource` names where Windows' value is stated, in one line. `platform` is for the
// marker's own test; every other caller takes the platform it runs on.
template <typename Actual, typename Expected>
::testing::AssertionResult knownDifference(const Actual& actual, const Expected& windows, const Expected& wine80,
                                           const char* windowsSource, Platform platform = currentPlatform()) {
    const std::string windowsText = ::testing::PrintToString(windows);
    const std::string wineText = ::testing::PrintToString(wine80);
    if (windows == wine80)
        return ::testing::AssertionFailure() << "no difference: Windows and Wine 8.0 both " << windowsText;
    const bool isWindows = actual == windows;
    if (platform == Platform::windows) {
        if (isWindows) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "Windows answered " << ::testing::PrintToString(actual)
                                             << ", not its documented " << windowsText << " (" << windowsSource << ")";
    }
    if (isWindows)
        return ::testing::AssertionFailure()
               << "this Wine answers as Windows does (" << windowsText
               << "): the known difference is gone, remove its marker (" << windowsSource << ")";
    if (actual == wine80) {
        detail::reportKnownDifference(windowsSource, windowsText, wineText);
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "Wine answered " << ::testing::PrintToString(actual)
                                         << ", neither Windows' " << windowsText << " (" << windowsSource
                                         << ") nor Wine 8.0's " << wineText;
}

}  // namespace kest::test
