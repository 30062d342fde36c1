#include "ErrorBoxTest.h"

#include <gmock/gmock.h>

#include <windows.h>

#include <cstdio>
#include <string>
#include <utility>

namespace kest::test {
namespace {

using ::testing::ElementsAre;
using ::testing::Ne;

const std::string kNoInstallPathText = "レジストリ情報取得に失敗しました。\n Code=0xFF000000";
const std::string kCannotOpenText = "エラーファイルを開く事に失敗しました。\nCode=0xFF000001";
const std::string kNotFoundText = "エラーメッセージが見つかりません\nCode=0x";

class ShowErrorTest : public ErrorBoxTest {};

// --- Found messages -------------------------------------------------------------------

TEST_F(ShowErrorTest, FoundMessageIsShownWithItsCodeAndThenLogged) {
    writeCatalogue(
        "X25000100,インストールパス名の取得に失敗しました。\r\n"
        "X25000101,環境設定ファイルが見つかりません。\r\n");
    const Shown shown = show(0x25000101);
    EXPECT_EQ(shown.result, IDOK);
    EXPECT_THAT(shown.boxes,
                ElementsAre(ErrorBox("環境設定ファイルが見つかりません。\n\nCode=0x25000101", MB_ICONERROR)));
    EXPECT_THAT(shown.records, ElementsAre(KestErrRecord("環境設定ファイルが見つかりません。Code=0x25000101")));
    expectCatalogueClosed();
}

TEST_F(ShowErrorTest, CodeDigitsAndSeverityLettersMatchInEitherCase) {
    writeCatalogue(
        "x25000101,lower-case letter\r\n"
        "X2500020A,upper-case digits\r\n"
        "xaBcDeF01,mixed digits\r\n");
    const std::pair<int, const char*> cases[] = {
        {0x25000101, "lower-case letter\n\nCode=0x25000101"},
        {0x2500020a, "upper-case digits\n\nCode=0x2500020a"},
        {static_cast<int>(0xabcdef01), "mixed digits\n\nCode=0xabcdef01"},
    };
    for (const auto& [code, text] : cases) {
        SCOPED_TRACE(text);
        EXPECT_THAT(show(code).boxes, ElementsAre(ErrorBox(text, MB_ICONERROR)));
    }
}

TEST_F(ShowErrorTest, SeverityLetterChoosesTheIcon) {
    const std::pair<char, UINT> cases[] = {
        {'I', MB_ICONINFORMATION},
        {'i', MB_ICONINFORMATION},
        {'Q', MB_ICONQUESTION},
        {'q', MB_ICONQUESTION},
        {'W', MB_ICONWARNING},
        {'w', MB_ICONWARNING},
        {'X', MB_ICONERROR},
        {'x', MB_ICONERROR},
        {'E', 0},
        {'e', 0},
        {' ', 0},
        {'1', 0},
    };
    // One code per letter: 0x10, 0x11, ...
    auto codeTextOf = [](std::size_t i) {
        char text[9];
        std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(0x10 + i));
        return std::string(text);
    };
    std::string catalogue;
    for (std::size_t i = 0; i < std::size(cases); ++i) catalogue += cases[i].first + codeTextOf(i) + ",m\r\n";
    writeCatalogue(catalogue);

    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(std::string("letter '") + cases[i].first + "'");
        EXPECT_THAT(show(static_cast<int>(0x10 + i)).boxes,
                    ElementsAre(ErrorBox("m\n\nCode=0x" + codeTextOf(i), cases[i].second)));
    }
}

TEST_F(ShowErrorTest, CodeMinusOneIsLookedUpAsEightFs) {
    writeCatalogue("WFFFFFFFF,all bits\r\n");
    const Shown found = show(-1);
    EXPECT_THAT(found.boxes, ElementsAre(ErrorBox("all bits\n\nCode=0xffffffff", MB_ICONWARNING)));
    EXPECT_THAT(found.records, ElementsAre(KestErrRecord("all bits"
                                                         "Code=0xffffffff")));

    writeCatalogue("");
    EXPECT_THAT(show(-1).boxes, ElementsAre(ErrorBox(kNotFoundText + "ffffffff", MB_ICONERROR)));
}

TEST_F(ShowErrorTest, FirstOfTwoLinesForOneCodeIsShown) {
    writeCatalogue(
        "I00000005,first\r\n"
        "X00000005,second\r\n");
    const Shown shown = show(5);
    EXPECT_THAT(shown.boxes, ElementsAre(ErrorBox("first\n\nCode=0x00000005", MB_ICONINFORMATION)));
    EXPECT_THAT(shown.records, ElementsAre(KestErrRecord("firstCode=0x00000005")));
}

// --- Lines that do not match ----------------------------------------------------------

TEST_F(ShowErrorTest, LineWithoutMessageIsPassedOverAndTheSearchGoesOn) {
    writeCatalogue(
        "\r\n"
        "X0000000\r\n"   // too short
        "X00000007\r\n"  // the newline is the separator: no message
        "W00000007,later\r\n");
    EXPECT_THAT(show(7).boxes, ElementsAre(ErrorBox("later\n\nCode=0x00000007", MB_ICONWARNING)));
}

TEST_F(ShowErrorTest, LastLineEndingAtTheSeparatorIsPassedOver) {
    writeCatalogue(
        "X00000001,other\r\n"
        "X00000007,");
    const Shown shown = show(7);
    EXPECT_THAT(shown.boxes, ElementsAre(ErrorBox(kNotFoundText + "00000007", MB_ICONERROR)));
    EXPECT_THAT(shown.records, ElementsAre(KestErrRecord(kNotFoundText + "00000007")));
    expectCatalogueClosed();
}

TEST_F(ShowErrorTest, NewlineAloneIsAMessage) {
    writeCatalogue("X00000007,\r\n");
    const Shown shown = show(7);
    EXPECT_THAT(shown.boxes, ElementsAre(ErrorBox("\n\nCode=0x00000007", MB_ICONERROR)));
    EXPECT_THAT(shown.records, ElementsAre(KestErrRecord("Code=0x00000007")));
}

TEST_F(ShowErrorTest, LongLineIsReadInPiecesEachJudgedAsALine) {
    // 260 bytes make one read; the rest of the line looks like a line of its own.
    const std::string firstPiece = "X00000001," + std::string(250, 'a');
    writeCatalogue(firstPiece + "W00000009,piece\r\n" + "X00000002," + std::string(249, 'b') +
                   "\r\n");  // 259 and newline: one read

    EXPECT_THAT(show(9).boxes, ElementsAre(ErrorBox("piece\n\nCode=0x00000009", MB_ICONWARNING)));

    const Shown longest = show(1);
    EXPECT_THAT(longest.boxes, ElementsAre(ErrorBox(std::string(250, 'a') + "\nCode=0x00000001", MB_ICONERROR)));
    EXPECT_THAT(longest.records, ElementsAre(KestErrRecord(std::string(250, 'a') + "Code=0x00000001")));

    const Shown whole = show(2);
    EXPECT_THAT(whole.boxes, ElementsAre(ErrorBox(std::string(249, 'b') + "\n\nCode=0x00000002", MB_ICONERROR)));
    expectCatalogueClosed();
}

// --- Missing messages -----------------------------------------------------------------

TEST_F(ShowErrorTest, CodeMissingFromTheCatalogueGivesTheNotFoundBoxAndARecordOfTwoLines) {
    for (const char* catalogue : {"", "X25000100,other code\r\n"}) {
        SCOPED_TRACE(catalogue);
        writeCatalogue(catalogue);
        const Shown shown = show(0x25000101);
        EXPECT_EQ(shown.result, IDOK);
        EXPECT_THAT(shown.boxes, ElementsAre(ErrorBox(kNotFoundText + "25000101", MB_ICONERROR)));
        EXPECT_THAT(shown.records, ElementsAre(KestErrRecord(kNotFoundText + "25000101")));
        const std::string bytes = logBytes();
        EXPECT_NE(bytes.find("エラーメッセージが見つかりません\r\nCode=0x25000101\r\n"), std::string::npos);
        expectCatalogueClosed();
    }
}

TEST_F(ShowErrorTest, FoundAndMissingMessagesAreLoggedFromDifferentLines) {
    writeCatalogue("X00000001,found\r\n");
    const Shown found = show(1);
    const Shown missing = show(2);
    ASSERT_EQ(found.records.size(), 1u);
    ASSERT_EQ(missing.records.size(), 1u);
    EXPECT_THAT(found.records[0].line, Ne(""));
    EXPECT_THAT(missing.records[0].line, Ne(""));
    EXPECT_NE(found.records[0].line, missing.records[0].line);
}

// --- Installation that cannot be read -------------------------------------------------

TEST_F(ShowErrorTest, MissingInstallationDirectoryShowsTheRegistryBoxAndLogsNothing) {
    writeCatalogue("X25000101,m\r\n");
    removeInstallPath();
    const Shown shown = show(0x25000101);
    EXPECT_EQ(shown.result, IDOK);
    EXPECT_THAT(shown.boxes, ElementsAre(ErrorBox(kNoInstallPathText, MB_ICONERROR)));
    EXPECT_FALSE(fileExists(logPath()));
}

TEST_F(ShowErrorTest, MissingCatalogueShowsTheCannotOpenBoxAndLogsNothing) {
    const Shown shown = show(0x25000101);
    EXPECT_EQ(shown.result, IDOK);
    EXPECT_THAT(shown.boxes, ElementsAre(ErrorBox(kCannotOpenText, MB_ICONERROR)));
    EXPECT_FALSE(fileExists(logPath()));
}

// Directories whose catalogue path is 260 bytes and more. The runtime opens longer paths
// too, so the refusal is ShowError's own.
class LongInstallationDirectoryTest : public ErrorBoxTest {
protected:
    // A directory of exactly `length` bytes with a catalogue for code 1, as the installation.
    void installInDirectoryOfLength(std::size_t length) {
        const std::string path = installDir() + "\\" + std::string(length - installDir().size() - 1, 'd');
        ASSERT_TRUE(CreateDirectoryA(path.c_str(), nullptr)) << GetLastError();
        writeFileBytes(path + "\\KestErr.csv", "X00000001,fits\r\n");
        setInstallPath(path);
    }
};

TEST_F(LongInstallationDirectoryTest, CataloguePathOfExactly260BytesIsRead) {
    installInDirectoryOfLength(260 - std::string("\\KestErr.csv").size());
    EXPECT_THAT(show(1).boxes, ElementsAre(ErrorBox("fits\n\nCode=0x00000001", MB_ICONERROR)));
}

TEST_F(LongInstallationDirectoryTest, LongerCataloguePathShowsTheCannotOpenBoxAndLogsNothing) {
    for (std::size_t length : {249u, 260u}) {
        SCOPED_TRACE(length);
        installInDirectoryOfLength(length);
        EXPECT_THAT(show(1).boxes, ElementsAre(ErrorBox(kCannotOpenText, MB_ICONERROR)));
        EXPECT_FALSE(fileExists(logPath()));
    }
}

// --- Log switched off, result passed on -----------------------------------------------

TEST_F(ShowErrorTest, BoxesAppearWithLoggingOffButNothingIsLogged) {
    writeCatalogue("X00000001,found\r\n");
    setWriteLog("0");
    EXPECT_THAT(show(1).boxes, ElementsAre(ErrorBox("found\n\nCode=0x00000001", MB_ICONERROR)));
    EXPECT_THAT(show(2).boxes, ElementsAre(ErrorBox(kNotFoundText + "00000002", MB_ICONERROR)));
    EXPECT_FALSE(fileExists(logPath()));
}

TEST_F(ShowErrorTest, ReturnsWhatTheBoxReturned) {
    boxResult = 0;  // MessageBoxA could not show the box
    writeCatalogue("X00000001,found\r\n");
    EXPECT_EQ(show(1).result, 0);
    EXPECT_EQ(show(2).result, 0);
    removeInstallPath();
    EXPECT_EQ(show(1).result, 0);
}

}  // namespace
}  // namespace kest::test
