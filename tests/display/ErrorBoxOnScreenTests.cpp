// ShowError's boxes as the user sees them: the real MessageBoxA on a display, found, read and
// closed with OK by the test. What the box was asked to show is the subject of tests/err; here
// it is what the screen holds: the text drawn and held by the box's control, the icon shown,
// the owner window locked while the box is open, and the call that returns when OK is pressed.
#include "BoxOnScreen.h"
#include "Display.h"
#include "Installation.h"
#include "KestErr.h"
#include "KnownDifference.h"

#include <gmock/gmock.h>

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace kest::test {
namespace {

using ::testing::AllOf;
using ::testing::ElementsAre;
using ::testing::Field;
using ::testing::IsEmpty;

std::wstring fromShiftJis(const std::string& bytes) {
    std::wstring characters(bytes.size(), L'\0');
    const int length = MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()),
                                           characters.data(), static_cast<int>(characters.size()));
    characters.resize(static_cast<std::size_t>(length));
    return characters;
}

// What the screen showed during one ShowError call.
struct Seen {
    bool appeared = false;
    bool textDrawn = false;
    bool textPrinted = false;
    std::string text;
    std::wstring characters;
    BoxIcon icon = BoxIcon::other;
    HWND boxOwner = nullptr;
    bool ownerEnabledWhileOpen = true;
    std::optional<int> result;  // Nothing if ShowError did not return after OK.
    bool ownerEnabledAfter = false;
    std::vector<LogRecord> records;
};

class ErrorBoxOnScreenTest : public InstallationTest {
protected:
    void SetUp() override {
        if (const char* why = whyNoDisplay()) GTEST_SKIP() << why;
    }

    void writeCatalogue(const std::string& bytes) const { writeFileBytes(installFile("KestErr.csv"), bytes); }

    // One ShowError call on an empty log: the box is read while open, then closed with OK.
    Seen showAndPressOk(int code) {
        DeleteFileA(logPath().c_str());
        Seen seen;
        BackgroundCall call([this, code] { return ShowError(owner_.handle(), code); });
        HWND box = waitForBox("Tavrin");
        if (box == nullptr) return seen;
        seen.appeared = true;
        seen.textDrawn = pumpMessagesUntil([box] { return boxTextIsDrawn(box); });
        seen.textPrinted = boxTextIsPrinted(box);
        seen.text = boxText(box);
        seen.characters = boxCharacters(box);
        seen.icon = boxIcon(box);
        seen.boxOwner = GetWindow(box, GW_OWNER);
        seen.ownerEnabledWhileOpen = IsWindowEnabled(owner_.handle()) != FALSE;
        if (!pressOk(box)) return seen;
        seen.result = call.wait();
        seen.ownerEnabledAfter = IsWindowEnabled(owner_.handle()) != FALSE;
        seen.records = logRecords();
        return seen;
    }

    // The box of one call as seen on the screen, owned by the owner window while it locked it.
    void expectBox(const Seen& seen, const std::string& text, BoxIcon icon) const {
        ASSERT_TRUE(seen.appeared) << "no visible box \"Tavrin\" within " << kBoxTimeoutMs << " ms";
        EXPECT_TRUE(seen.textDrawn) << "the screen does not show the box's text";
        // Why kesttool's preview reads the screen instead of asking the box to print itself.
        EXPECT_TRUE(knownDifference(seen.textPrinted, true, false,
                                    "PrintWindow copies a visual window into the specified device context (Win32 "
                                    "docs of PrintWindow)"));
        EXPECT_EQ(seen.text, text);
        EXPECT_EQ(seen.characters, fromShiftJis(text)) << "the box shows other characters than the catalogue's";
        EXPECT_EQ(seen.icon, icon);
        EXPECT_EQ(seen.boxOwner, owner_.handle());
        EXPECT_FALSE(seen.ownerEnabledWhileOpen) << "the owner window took input while the box was open";
        EXPECT_EQ(seen.result, std::optional<int>(IDOK)) << "ShowError's result after OK was pressed";
        EXPECT_TRUE(seen.ownerEnabledAfter) << "the owner window stayed locked after the box had closed";
    }

    OwnerWindow owner_;
};

::testing::Matcher<const LogRecord&> KestErrRecord(const std::string& message) {
    return AllOf(Field("sourceFile", &LogRecord::sourceFile, "KestErr.cpp"),
                 Field("message", &LogRecord::message, message));
}

// Each message holds a Shift_JIS character whose second byte is a backslash (表, ソ): the box's
// control shows the catalogue's text only if it was read in code page 932.
TEST_F(ErrorBoxOnScreenTest, EachSeverityLetterShowsItsIconAndTheCataloguesText) {
    struct Case {
        int code;
        const char* line;
        const char* message;
        BoxIcon icon;
    };
    const Case cases[] = {
        {0x25000301, "I25000301,署名を表示します。\r\n", "署名を表示します。", BoxIcon::information},
        {0x25000302, "Q25000302,ソフトウェアを更新しますか。\r\n", "ソフトウェアを更新しますか。", BoxIcon::question},
        {0x25000303, "W25000303,証明書の有効期限が近づいています。\r\n", "証明書の有効期限が近づいています。",
         BoxIcon::warning},
        {0x25000304, "X25000304,表示できない証明書です。\r\n", "表示できない証明書です。", BoxIcon::error},
        {0x25000305, "E25000305,ソースが不明です。\r\n", "ソースが不明です。", BoxIcon::none},
    };
    std::string catalogue;
    for (const Case& c : cases) catalogue += c.line;
    writeCatalogue(catalogue);

    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        char codeText[9];
        wsprintfA(codeText, "%08x", c.code);
        const Seen seen = showAndPressOk(c.code);
        expectBox(seen, std::string(c.message) + "\n\nCode=0x" + codeText, c.icon);
        EXPECT_THAT(seen.records, ElementsAre(KestErrRecord(std::string(c.message) + "Code=0x" + codeText)));
    }
}

TEST_F(ErrorBoxOnScreenTest, TheThreeFixedBoxesShowTheErrorIcon) {
    {
        SCOPED_TRACE("no installation directory");
        writeCatalogue("X25000101,m\r\n");
        removeInstallPath();
        const Seen seen = showAndPressOk(0x25000101);
        expectBox(seen, "レジストリ情報取得に失敗しました。\n Code=0xFF000000", BoxIcon::error);
        EXPECT_THAT(seen.records, IsEmpty());
    }
    {
        SCOPED_TRACE("no catalogue");
        setInstallPath(installDir());
        DeleteFileA(installFile("KestErr.csv").c_str());
        const Seen seen = showAndPressOk(0x25000101);
        expectBox(seen, "エラーファイルを開く事に失敗しました。\nCode=0xFF000001", BoxIcon::error);
        EXPECT_THAT(seen.records, IsEmpty());
    }
    {
        SCOPED_TRACE("code not in the catalogue");
        writeCatalogue("I25000100,他のコード\r\n");
        const Seen seen = showAndPressOk(0x25000101);
        const std::string text = "エラーメッセージが見つかりません\nCode=0x25000101";
        expectBox(seen, text, BoxIcon::error);
        EXPECT_THAT(seen.records, ElementsAre(KestErrRecord(text)));
    }
}

}  // namespace
}  // namespace kest::test
