// The marker of known platform differences, asked as each platform would answer.
#include "KnownDifference.h"

#include <windows.h>

#include <string>

namespace kest::test {
namespace {

const std::string kWindows = "O=Kest Test";
const std::string kWine = "O=\"Kest Test\"";
constexpr char kSource[] = "the source of Windows' value";

struct Answer {
    const char* name;
    Platform platform;
    std::string actual;
    std::string windows;
    std::string wine;
    bool passes;
    const char* saying;  // a part of the failure message
};

void PrintTo(const Answer& answer, std::ostream* out) { *out << answer.name; }

class KnownDifferenceTest : public ::testing::TestWithParam<Answer> {};

TEST_P(KnownDifferenceTest, HoldsOnlyForThePlatformsOwnValue) {
    const Answer& answer = GetParam();
    const ::testing::AssertionResult result =
        knownDifference(answer.actual, answer.windows, answer.wine, kSource, answer.platform);
    EXPECT_EQ(static_cast<bool>(result), answer.passes) << result.message();
    EXPECT_NE(std::string(result.message()).find(answer.saying), std::string::npos) << result.message();
}

INSTANTIATE_TEST_SUITE_P(
    Answers, KnownDifferenceTest,
    ::testing::Values(
        Answer{"WindowsGivesItsValue", Platform::windows, kWindows, kWindows, kWine, true, ""},
        Answer{"WindowsGivesWinesValue", Platform::windows, kWine, kWindows, kWine, false,
               "not its documented \"O=Kest Test\" (the source of Windows' value)"},
        Answer{"WineGivesItsKnownValue", Platform::wine, kWine, kWindows, kWine, true, ""},
        Answer{"WineGivesWindowsValue", Platform::wine, kWindows, kWindows, kWine, false, "remove its marker"},
        Answer{"WineGivesAThirdValue", Platform::wine, "O=Kest", kWindows, kWine, false,
               "neither Windows' \"O=Kest Test\""},
        Answer{"NoDifferenceStated", Platform::wine, kWindows, kWindows, kWindows, false, "no difference"}),
    [](const ::testing::TestParamInfo<Answer>& info) { return std::string(info.param.name); });

// Told by something other than ntdll's export: only Wine maps the Linux root to Z:.
TEST(CurrentPlatform, IsWineWhereTheLinuxRootIsAtZ) {
    const bool linuxRoot = GetFileAttributesA("Z:\\proc\\self\\status") != INVALID_FILE_ATTRIBUTES;
    EXPECT_EQ(currentPlatform() == Platform::wine, linuxRoot);
}

}  // namespace
}  // namespace kest::test
