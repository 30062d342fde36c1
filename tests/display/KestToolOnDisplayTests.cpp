// kesttool on a display (cmake/wine-display-run.sh): preview pictures the real boxes of a
// catalogue, and show-error shows a real box that waits for OK. The tool runs as its own
// process, as an editor or a support person starts it.
#include "BoxOnScreen.h"
#include "Display.h"
#include "Installation.h"
#include "KestIniStandIn.h"
#include "KestSupportOwners.h"
#include "KestToolProcess.h"
#include "StandInSettings.h"

#include <gmock/gmock.h>

#include <wincodec.h>
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kest::test {
namespace {

using ::testing::AllOf;
using ::testing::ElementsAre;
using ::testing::Field;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::Optional;

using kest::putInto;
using kest::UniqueCom;

// A PNG file decoded by the imaging component, 32-bit blue, green, red, unused.
struct Picture {
    UINT width = 0;
    UINT height = 0;
    std::vector<std::uint8_t> pixels;
};

std::optional<Picture> decodePng(const std::string& path) {
    UniqueCom<IWICImagingFactory> factory;
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                static_cast<void**>(putInto(factory)))))
        return std::nullopt;
    const std::wstring widePath(path.begin(), path.end());  // ASCII: a temporary directory
    UniqueCom<IWICBitmapDecoder> decoder;
    if (FAILED(factory->CreateDecoderFromFilename(widePath.c_str(), nullptr, GENERIC_READ,
                                                  WICDecodeMetadataCacheOnDemand, putInto(decoder))))
        return std::nullopt;
    GUID container{};
    if (FAILED(decoder->GetContainerFormat(&container)) || container != GUID_ContainerFormatPng) return std::nullopt;
    UniqueCom<IWICBitmapFrameDecode> frame;
    if (FAILED(decoder->GetFrame(0, putInto(frame)))) return std::nullopt;
    UniqueCom<IWICFormatConverter> converter;
    if (FAILED(factory->CreateFormatConverter(putInto(converter)))) return std::nullopt;
    if (FAILED(converter->Initialize(frame.get(), GUID_WICPixelFormat32bppBGR, WICBitmapDitherTypeNone, nullptr, 0,
                                     WICBitmapPaletteTypeCustom)))
        return std::nullopt;
    Picture picture;
    if (FAILED(converter->GetSize(&picture.width, &picture.height))) return std::nullopt;
    picture.pixels.resize(static_cast<std::size_t>(picture.width) * picture.height * 4);
    if (FAILED(converter->CopyPixels(nullptr, picture.width * 4, static_cast<UINT>(picture.pixels.size()),
                                     picture.pixels.data())))
        return std::nullopt;
    return picture;
}

enum class Hue { red, blue, yellow };

// Where a one-line box has its icon and nothing else: left of the text, below the caption
// (whose active colour is blue), above the button.
constexpr UINT kIconAreaWidth = 52;
UINT iconAreaTop(const Picture& picture) { return picture.height / 4; }
UINT iconAreaBottom(const Picture& picture) { return picture.height * 3 / 4; }

// Pixels of a strong colour in the icon area: the system's error icon is red, the
// information icon blue, the warning icon yellow.
std::size_t iconAreaPixels(const Picture& picture, Hue hue) {
    std::size_t count = 0;
    const UINT width = std::min(picture.width, kIconAreaWidth);
    for (UINT y = iconAreaTop(picture); y < iconAreaBottom(picture); ++y)
        for (UINT x = 0; x < width; ++x) {
            const std::uint8_t* pixel = &picture.pixels[(static_cast<std::size_t>(y) * picture.width + x) * 4];
            const int blue = pixel[0], green = pixel[1], red = pixel[2];
            const bool match = hue == Hue::red    ? red > 180 && green < 90 && blue < 90
                               : hue == Hue::blue ? blue > 150 && red < 110
                                                  : red > 180 && green > 150 && blue < 90;
            if (match) ++count;
        }
    return count;
}

bool sameIconArea(const Picture& one, const Picture& other) {
    if (one.height != other.height) return false;
    const UINT width = std::min({one.width, other.width, kIconAreaWidth});
    for (UINT y = iconAreaTop(one); y < iconAreaBottom(one); ++y)
        for (UINT x = 0; x < width; ++x)
            for (int channel = 0; channel < 3; ++channel)
                if (one.pixels[(static_cast<std::size_t>(y) * one.width + x) * 4 + channel] !=
                    other.pixels[(static_cast<std::size_t>(y) * other.width + x) * 4 + channel])
                    return false;
    return true;
}

std::optional<std::string> installPathSetting() {
    std::string value;
    if (readStandInValue("", standin::kInstallPathValue, value) != StandInRead::found) return std::nullopt;
    return value;
}

// The installation of the fixture is not where the catalogue is: the preview must point the
// installation directory at the catalogue's folder, and back.
class KestToolOnDisplayTest : public InstallationTest {
protected:
    KestToolOnDisplayTest() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
    ~KestToolOnDisplayTest() override { CoUninitialize(); }
    void SetUp() override {
        if (const char* why = whyNoDisplay()) GTEST_SKIP() << why;
    }

    std::string writeCatalogue(const std::string& bytes) const {
        const std::string path = editorFolder_.file("KestErr.csv");
        writeFileBytes(path, bytes);
        return path;
    }
    std::string outDirectory() const { return work_.file("preview"); }

    TemporaryDirectory editorFolder_{"-editor"};
    TemporaryDirectory work_{"-work"};
};

// Three codes with three letters; line 2 is no entry; 25000000 comes again on line 5, with
// another letter and text that ShowError never shows.
const std::string kCatalogue =
    "X25000000,メモリーの確保に失敗しました。\r\n"
    "# not an entry\r\n"
    "I25000101,設定 <a&b> を確認してください。\r\n"
    "W25000209,パスワードが違います。\r\n"
    "I25000000,二度目の行\r\n";

TEST_F(KestToolOnDisplayTest, PreviewPicturesEachCodeOnceListsItAndPutsTheInstallationBack) {
    const std::string catalogue = writeCatalogue(kCatalogue);
    const KestToolProcess tool("preview \"" + catalogue + "\" --out \"" + outDirectory() + "\" --missing 2500ffff");
    ASSERT_THAT(tool.exitStatus(), Optional(0u)) << tool.err();
    EXPECT_THAT(tool.err(), HasSubstr("kesttool: preview: 4 of 4 boxes (2500ffff)\n"));

    EXPECT_THAT(filesIn(outDirectory()),
                ElementsAre("25000000.png", "25000101.png", "25000209.png", "2500ffff.png", "index.html"));
    std::vector<Picture> pictures;
    for (const char* code : {"25000000", "25000101", "25000209", "2500ffff"}) {
        const std::optional<Picture> picture = decodePng(outDirectory() + "\\" + code + ".png");
        ASSERT_TRUE(picture) << code << ".png does not decode as PNG";
        // A caption, a line of text and a button; smaller than the screen.
        EXPECT_GE(picture->width, 150u) << code;
        EXPECT_GE(picture->height, 90u) << code;
        EXPECT_LT(picture->width, static_cast<UINT>(GetSystemMetrics(SM_CXSCREEN))) << code;
        EXPECT_LT(picture->height, static_cast<UINT>(GetSystemMetrics(SM_CYSCREEN))) << code;
        pictures.push_back(*picture);
    }
    const Picture& error = pictures[0];
    const Picture& information = pictures[1];
    EXPECT_FALSE(sameIconArea(error, information));
    EXPECT_GT(iconAreaPixels(error, Hue::red), 100u);
    EXPECT_EQ(iconAreaPixels(error, Hue::blue), 0u) << "the second line's information icon";
    EXPECT_GT(iconAreaPixels(information, Hue::blue), 100u);
    EXPECT_GT(iconAreaPixels(pictures[2], Hue::yellow), 100u);
    EXPECT_GT(iconAreaPixels(pictures[3], Hue::red), 100u);

    const std::string index = readFileBytes(outDirectory() + "\\index.html");
    EXPECT_THAT(index, HasSubstr(u8"<tr id=\"code-25000000\"><td>25000000</td><td>X</td><td>error</td>"
                                 u8"<td class=\"text\">メモリーの確保に失敗しました。\n\nCode=0x25000000</td><td>1</td>"
                                 u8"<td><img src=\"25000000.png\""));
    EXPECT_THAT(index,
                HasSubstr(u8"<tr id=\"code-25000101\"><td>25000101</td><td>I</td><td>information</td>"
                          u8"<td class=\"text\">設定 &lt;a&amp;b&gt; を確認してください。\n\nCode=0x25000101</td>"
                          u8"<td>3</td>"));
    EXPECT_THAT(index, HasSubstr("<tr id=\"code-25000209\"><td>25000209</td><td>W</td><td>warning</td>"));
    EXPECT_THAT(index, HasSubstr("<td>4</td><td><img src=\"25000209.png\""));
    EXPECT_THAT(index, HasSubstr(u8"<tr id=\"code-2500ffff\"><td>2500ffff</td><td>-</td><td>error</td>"
                                 u8"<td class=\"text\">エラーメッセージが見つかりません\nCode=0x2500ffff</td>"
                                 u8"<td>not in the catalogue</td>"));
    EXPECT_THAT(index, HasSubstr("<tr><td>2</td><td class=\"text\"># not an entry</td></tr>"));
    EXPECT_THAT(index, Not(HasSubstr(u8"二度目の行")));

    EXPECT_THAT(
        logMessages(),
        ElementsAre("メモリーの確保に失敗しました。Code=0x25000000", "設定 <a&b> を確認してください。Code=0x25000101",
                    "パスワードが違います。Code=0x25000209", "エラーメッセージが見つかりません\nCode=0x2500ffff"));
    EXPECT_THAT(installPathSetting(), Optional(installDir()));
}

// The second picture cannot be written (a directory has its name): the tool stops with the
// reason, and the installation directory, unset before, is unset again.
TEST_F(KestToolOnDisplayTest, PreviewThatFailsHalfWayPutsTheInstallationBack) {
    const std::string catalogue = writeCatalogue(kCatalogue);
    ASSERT_TRUE(CreateDirectoryA(outDirectory().c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA((outDirectory() + "\\25000101.png").c_str(), nullptr));
    removeInstallPath();

    const KestToolProcess tool("preview \"" + catalogue + "\" --out \"" + outDirectory() + "\"");
    EXPECT_THAT(tool.exitStatus(), Optional(1u)) << tool.err();
    EXPECT_THAT(tool.err(), HasSubstr("kesttool: cannot write " + outDirectory() + "\\25000101.png: "));
    EXPECT_TRUE(decodePng(outDirectory() + "\\25000000.png"));
    EXPECT_EQ(installPathSetting(), std::nullopt);
    EXPECT_EQ(logMessages().size(), 2u);
}

TEST_F(KestToolOnDisplayTest, PreviewOfACatalogueThatCannotBeReadSaysWhy) {
    const std::string catalogue = editorFolder_.file("KestErr.csv");
    const KestToolProcess tool("preview \"" + catalogue + "\" --out \"" + outDirectory() + "\"");
    EXPECT_THAT(tool.exitStatus(), Optional(1u)) << tool.err();
    EXPECT_EQ(tool.err(), "kesttool: cannot read " + catalogue + "\n");
    EXPECT_FALSE(fileExists(outDirectory()));
}

// As a host shows it: the box stays until someone presses OK, and only then the tool ends.
TEST_F(KestToolOnDisplayTest, ShowErrorWaitsForOkAndThenExits) {
    writeFileBytes(installFile("KestErr.csv"), kCatalogue);
    const KestToolProcess tool("show-error 25000209");
    const HWND box = waitForBox("Tavrin");
    ASSERT_NE(box, nullptr) << tool.err();
    EXPECT_EQ(boxText(box), "パスワードが違います。\n\nCode=0x25000209");
    EXPECT_EQ(tool.exitStatus(500), std::nullopt) << "the tool did not wait for the box";
    EXPECT_THAT(logMessages(), ::testing::IsEmpty()) << "logged before the box was closed";
    ASSERT_TRUE(pressOk(box));
    EXPECT_THAT(tool.exitStatus(), Optional(0u)) << tool.err();
    EXPECT_THAT(logMessages(), ElementsAre("パスワードが違います。Code=0x25000209"));
}

}  // namespace
}  // namespace kest::test
