// The tool's own logic without the libraries: the catalogue checker, the certificate table
// and the JSON text.
#include "Catalogue.h"
#include "CertificateTable.h"
#include "CommandLine.h"
#include "KestResultMessages.h"
#include "TextFiles.h"

#include <gmock/gmock.h>

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kest::tool {
namespace {

using ::testing::ElementsAre;
using ::testing::Field;
using ::testing::IsEmpty;

// A catalogue with a line for every result code, as ShowError expects it.
std::string completeCatalogue(const char* lineEnd = "\r\n") {
    std::string bytes;
    for (const ResultMessage& entry : kResultMessages) {
        char head[16];
        std::snprintf(head, sizeof head, "X%08X,", entry.code);
        bytes += head + std::string(entry.text) + lineEnd;
    }
    return bytes;
}

::testing::Matcher<const CatalogueFinding&> Finding(unsigned line, const std::string& text) {
    return ::testing::AllOf(Field("line", &CatalogueFinding::line, line), Field("text", &CatalogueFinding::text, text));
}

TEST(KestToolCatalogueChecker, CompleteCatalogueHasNoFindingsWithEitherLineEnd) {
    EXPECT_THAT(checkCatalogue(completeCatalogue("\r\n")), IsEmpty());
    EXPECT_THAT(checkCatalogue(completeCatalogue("\n")), IsEmpty());
}

TEST(KestToolCatalogueChecker, LastLineWithoutNewlineCounts) {
    std::string bytes = completeCatalogue();
    bytes.resize(bytes.size() - 2);
    EXPECT_THAT(checkCatalogue(bytes), IsEmpty());
}

TEST(KestToolCatalogueChecker, EmptyCatalogueLacksEveryCode) {
    const std::vector<CatalogueFinding> findings = checkCatalogue("");
    ASSERT_EQ(findings.size(), std::size(kResultMessages));
    EXPECT_THAT(findings[0], Finding(0, std::string("no line with a message for code 25000000 (") +
                                            resultMessage(KEST_E_NO_MEMORY) + ")"));
}

TEST(KestToolCatalogueChecker, CodesCompareWithoutLetterCaseAndTheSecondLineIsReported) {
    EXPECT_THAT(checkCatalogue(completeCatalogue() + "i2500020a,again\r\n"),
                ElementsAre(Finding(std::size(kResultMessages) + 1, "code 2500020a written twice (first on line 14)")));
}

TEST(KestToolCatalogueChecker, LineOf259CharactersFitsAnd260DoNot) {
    const std::string fits = "I25000999," + std::string(249, 'a');
    const std::string tooLong = "I25000998," + std::string(250, 'a');
    const unsigned first = std::size(kResultMessages) + 1;
    EXPECT_THAT(
        checkCatalogue(completeCatalogue() + fits + "\r\n" + tooLong + "\r\n"),
        ElementsAre(Finding(first + 1, "line of 260 characters, longer than 259: ShowError reads it in pieces")));
}

TEST(KestToolCatalogueChecker, EmptyMessageDoesNotCountAsTheCodesLine) {
    std::string bytes = completeCatalogue();
    bytes.replace(0, bytes.find("\r\n"), "X25000000,");
    EXPECT_THAT(checkCatalogue(bytes),
                ElementsAre(Finding(1, "code 25000000 has an empty message"),
                            Finding(0, std::string("no line with a message for code 25000000 (") +
                                           resultMessage(KEST_E_NO_MEMORY) + ")")));
}

TEST(KestToolCatalogueChecker, SeverityLettersOutsideIQWXAreReported) {
    const unsigned first = std::size(kResultMessages) + 1;
    EXPECT_THAT(
        checkCatalogue(completeCatalogue() + "q25000901,a\r\nw25000902,b\r\nE25000903,c\r\n"),
        ElementsAre(Finding(first + 2, "unknown severity letter 'E': the box shows no icon (I, Q, W or X expected)")));
}

TEST(KestToolCatalogueChecker, ShortLinesAndBadDigitsAreNoEntries) {
    const unsigned first = std::size(kResultMessages) + 1;
    const std::string notEntry =
        "not an entry: a severity letter, eight hexadecimal digits, a separator and the message expected";
    EXPECT_THAT(checkCatalogue(completeCatalogue() + "\r\nX2500010G,x\r\n"),
                ElementsAre(Finding(first, notEntry), Finding(first + 1, notEntry)));
}

CertificateRow row(unsigned index, std::string subject, bool candidate) {
    return {index, std::move(subject), "CN=CA", "012a", "2024.01.05 00:00:00", "2034.01.05 00:00:00", candidate};
}

TEST(KestToolCertificateTable, ColumnsAlignOnTheWidestCellCountingShiftJisBytes) {
    // Two double-byte characters: four bytes, four columns on a terminal.
    const std::string wide = "CN=\x8e\x52\x93\x63";
    EXPECT_EQ(formatTable({row(1, wide, true), row(2, "CN=A", false)}),
              "#  Subject  Issuer  Serial  Valid from (UTC)     Valid to (UTC)       Candidate\n"
              "1  " +
                  wide +
                  "  CN=CA   012a    2024.01.05 00:00:00  2034.01.05 00:00:00  *\n"
                  "2  CN=A     CN=CA   012a    2024.01.05 00:00:00  2034.01.05 00:00:00\n");
}

TEST(KestToolCertificateTable, IdIsSerialSemicolonIssuer) {
    EXPECT_EQ(certificateId(row(1, "CN=A", false)), "012a;CN=CA");
}

TEST(KestToolCertificateJson, StringsEscapeQuotesBackslashesAndControlCharacters) {
    EXPECT_EQ(jsonString("O=\"R&D\" \\ a\tb\nc\x01"), R"("O=\"R&D\" \\ a\tb\nc\u0001")");
}

TEST(KestToolCertificateJson, ListIsAnArrayOfUtf8Objects) {
    EXPECT_EQ(formatJson({}, 932), "[]\n");
    EXPECT_EQ(formatJson({row(1, "CN=\x8e\x52\x93\x63", true)}, 932),
              "[\n {\"index\": 1, \"id\": \"012a;CN=CA\", \"subject\": \"CN=\xe5\xb1\xb1\xe7\x94\xb0\", \"issuer\": "
              "\"CN=CA\", \"serial\": \"012a\", \"notBefore\": \"2024.01.05 00:00:00\", \"notAfter\": "
              "\"2034.01.05 00:00:00\", \"candidate\": true}\n]\n");
}

// UTF-16 little-endian, as Windows saves it, without a mark.
std::string utf16Bytes(std::u16string_view text) {
    std::string bytes;
    for (const char16_t unit : text) bytes += {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
    return bytes;
}

// How a file was saved, told from its bytes: a settings file or catalogue whole, and the head
// of a log, which may end inside a character and is UTF-8 wherever UTF-8 reads it.
TEST(KestToolTextFiles, TheEncodingIsToldByMarksNulBytesAndStrictConversions) {
    struct Case {
        const char* name;
        std::string bytes;
        Encoding whole;
        Encoding logHead;
    };
    const std::string error = "\xe3\x82\xa8\xe3\x83\xa9\xe3\x83\xbc";  // エラー in UTF-8: valid Shift_JIS too
    const std::string setting = "\xe7\x92\xb0\xe5\xa2\x83\xe8\xa8\xad\xe5\xae";  // 環境設, 定 cut
    const std::vector<Case> cases = {
        {"ASCII", "[1/05 09:03:07]A.cpp,1,x", Encoding::shiftJis, Encoding::shiftJis},
        {"Shift_JIS", "\x90\xdd\x92\xe8", Encoding::shiftJis, Encoding::shiftJis},
        {"UTF-8 that is valid Shift_JIS", error, Encoding::shiftJis, Encoding::utf8},
        {"UTF-8 cut inside a character", setting, Encoding::shiftJis, Encoding::utf8},
        // A cut leaves out a lead byte short of its continuation bytes, nothing else.
        {"Shift_JIS of one character", "\x83\x47", Encoding::shiftJis, Encoding::shiftJis},
        {"Shift_JIS: ASCII, then a half-width katakana", "OK\xc3", Encoding::shiftJis, Encoding::shiftJis},
        {"UTF-8 with a NUL-filled tail", error + std::string(6, '\0'), Encoding::nulBytes, Encoding::utf8},
        {"Shift_JIS with a NUL-filled tail", "abc" + std::string(6, '\0'), Encoding::nulBytes, Encoding::shiftJis},
        {"NUL bytes at its head, as a crash may leave it", std::string(4, '\0') + "[MyCertificate]\r\n",
         Encoding::nulBytes, Encoding::shiftJis},
        {"UTF-8's mark", "\xef\xbb\xbfx", Encoding::utf8WithBom, Encoding::utf8WithBom},
        {"UTF-16 little-endian's mark", std::string("\xff\xfe[\0", 4), Encoding::utf16Le, Encoding::utf16Le},
        {"UTF-16 big-endian's mark", std::string("\xfe\xff\0[", 4), Encoding::utf16Be, Encoding::utf16Be},
        {"UTF-16 without a mark",
         std::string("[\0"
                     "1\0"
                     "/\0"
                     "0\0",
                     8),
         Encoding::utf16NoBom, Encoding::utf16NoBom},
        // A catalogue line of ours: 12 of its 36 characters ASCII, the least that still counts.
        {"UTF-16 without a mark, mostly Japanese",
         utf16Bytes(u"X25000103,環境設定ファイルへの値の書き込みに失敗しました。\r\n"), Encoding::utf16NoBom,
         Encoding::utf16NoBom},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::size_t firstNul = 0;
        EXPECT_EQ(encodingOf(c.bytes, firstNul, Reading::wholeFile), c.whole);
        EXPECT_EQ(firstNul, c.bytes.find('\0'));
        EXPECT_EQ(encodingOf(c.bytes, firstNul, Reading::logHead), c.logHead);
    }
}

// What the parser handed to the command it ran.
std::optional<Invocation> ran;
int record(const Invocation& invocation) {
    ran = invocation;
    return 0;
}

const Command kShow{"show", "[<file>]", 0, 1, "", {{"--errors", nullptr, ""}}, &record, {}};
const Command kTool{"tool", "", 0, 0, "", {}, nullptr, {kShow}};
const Command kCopy{"copy", "<from> <to>", 2, 2, "", {{"--out", "<dir>", ""}, {"--json", nullptr, ""}}, &record, {}};
const std::vector<const Command*> kTable = {&kCopy, &kTool};

int runWords(std::vector<std::string> words) {
    ran.reset();
    return runCommandLine(kTable, words);
}

TEST(KestToolCommandLine, OptionsAnywhereAndOperandsInOrderReachTheCommand) {
    ASSERT_EQ(runWords({"copy", "--json", "a", "--out", "--b", "c"}), 0);
    ASSERT_TRUE(ran.has_value());
    EXPECT_THAT(ran->operands(), ElementsAre("a", "c"));
    EXPECT_EQ(ran->value("--out"), "--b");
    EXPECT_TRUE(ran->flag("--json"));
    ASSERT_EQ(runWords({"tool", "show", "--errors"}), 0);
    ASSERT_TRUE(ran.has_value());
    EXPECT_TRUE(ran->flag("--errors"));
    EXPECT_THAT(ran->operands(), IsEmpty());
}

TEST(KestToolCommandLine, WrongUsageRunsNothingAndGivesExitStatus2) {
    for (const std::vector<std::string>& words : std::vector<std::vector<std::string>>{{"copy", "a"},
                                                                                       {"copy", "a", "b", "c"},
                                                                                       {"copy", "a", "b", "--jsn"},
                                                                                       {"copy", "a", "b", "--out"},
                                                                                       {"tool"},
                                                                                       {"tool", "shwo"},
                                                                                       {"tool", "show", "a", "b"},
                                                                                       {"copy", "a", "b", "--errors"},
                                                                                       {"cpy"},
                                                                                       {}}) {
        EXPECT_EQ(runWords(words), 2) << words.size();
        EXPECT_FALSE(ran.has_value());
    }
    EXPECT_EQ(runWords({"copy", "--help"}), 0);
    EXPECT_EQ(runWords({"help", "tool"}), 0);
    EXPECT_FALSE(ran.has_value());
}

TEST(KestToolCommandLine, AMistypedNameFindsTheNearestKnownOneAndAFarOneNone) {
    EXPECT_EQ(nearestName("--jsn", {"--password-env", "--json"}), "--json");
    EXPECT_EQ(nearestName("lst", {"log", "list", "list-p12"}), "list");
    EXPECT_EQ(nearestName("--verbose", {"--json", "--errors"}), std::nullopt);
}

TEST(KestToolCommandLine, CodesAreAtMostEightHexadecimalDigits) {
    int code = 0;
    EXPECT_TRUE(parseCodeArgument("2500020A", code));
    EXPECT_EQ(code, 0x2500020A);
    EXPECT_TRUE(parseCodeArgument("ffffffff", code));
    EXPECT_EQ(code, -1);
    EXPECT_FALSE(parseCodeArgument("100000000", code));
    EXPECT_FALSE(parseCodeArgument("2500020G", code));
    EXPECT_FALSE(parseCodeArgument("", code));
}

}  // namespace
}  // namespace kest::tool
