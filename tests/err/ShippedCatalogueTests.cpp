// The catalogue we ship: one error line for every result code, worded as the log words it.
#include "ErrorBoxTest.h"
#include "KestResultMessages.h"
#include "LogFile.h"
#include "TestData.h"

#include <gmock/gmock.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

namespace kest::test {
namespace {

using ::testing::ElementsAre;
using ::testing::SizeIs;

std::string codeText(ResultCode code) {
    char text[9];
    std::snprintf(text, sizeof text, "%08x", code);
    return text;
}

std::string shippedCatalogue() {
    const std::string path = testDataPath("KestErr\\KestErr.csv");
    const std::string bytes = readFileBytes(path);
    if (bytes.empty()) ADD_FAILURE() << "cannot read " << path;
    return bytes;
}

TEST(ShippedCatalogue, HasOneErrorLineForEveryResultCodeWithItsMessage) {
    const std::string bytes = shippedCatalogue();
    ASSERT_FALSE(bytes.empty());
    ASSERT_EQ(bytes.substr(bytes.size() - 2), "\r\n");

    std::map<ResultCode, std::string> messages;
    for (std::size_t start = 0; start < bytes.size();) {
        const std::size_t end = bytes.find("\r\n", start);
        const std::string line = bytes.substr(start, end - start);
        start = end + 2;
        SCOPED_TRACE(line);
        EXPECT_EQ(line.find('\n'), std::string::npos) << "bare newline";
        ASSERT_GT(line.size(), 10u);
        EXPECT_EQ(line[0], 'X');
        EXPECT_EQ(line[9], ',');
        const std::string digits = line.substr(1, 8);
        EXPECT_EQ(digits.find_first_not_of("0123456789ABCDEFabcdef"), std::string::npos);
        const auto code = static_cast<ResultCode>(std::strtoul(digits.c_str(), nullptr, 16));
        EXPECT_TRUE(messages.emplace(code, line.substr(10)).second) << "second line for one code";
    }

    EXPECT_THAT(messages, SizeIs(std::size(kResultMessages)));
    for (const ResultMessage& entry : kResultMessages) {
        SCOPED_TRACE(codeText(entry.code));
        const auto line = messages.find(entry.code);
        ASSERT_NE(line, messages.end()) << "no line";
        EXPECT_EQ(line->second, entry.text);
    }
}

class ShippedCatalogueBoxTest : public ErrorBoxTest {};

TEST_F(ShippedCatalogueBoxTest, EveryResultCodeShowsAndLogsItsMessage) {
    writeCatalogue(shippedCatalogue());
    for (const ResultMessage& entry : kResultMessages) {
        SCOPED_TRACE(codeText(entry.code));
        const Shown shown = show(static_cast<int>(entry.code));
        const std::string code = "Code=0x" + codeText(entry.code);
        EXPECT_THAT(shown.boxes, ElementsAre(ErrorBox(std::string(entry.text) + "\n\n" + code, MB_ICONERROR)));
        EXPECT_THAT(shown.records, ElementsAre(KestErrRecord(entry.text + code)));
    }
    expectCatalogueClosed();
}

}  // namespace
}  // namespace kest::test
