// Message boxes on the screen as a person meets them: found by caption, their text and icon
// read, pictured, and answered with OK. For the tool's preview, which pictures the boxes of a
// catalogue, and the display tests, which check what the screen shows.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kest {

// The dialog class of message boxes.
inline constexpr char kBoxClass[] = "#32770";
// MessageBoxA gives its text control this id on Windows and under Wine.
inline constexpr int kBoxTextId = 0xFFFF;

// The visible message box with this caption: of `thread` only, or of any thread for 0 (a box
// of another program is no concern of a thread that knows which one shows it). Null if none
// is visible yet: the box's window exists a little before it is shown.
HWND findBox(const char* caption, DWORD thread = 0) noexcept;

// The box's text as its static control holds it, in the ANSI code page: the bytes that were
// given to MessageBoxA.
std::string boxText(HWND box);

enum class BoxIcon { none, information, question, warning, error, other };

// The icon the box shows: that of its visible icon control, told apart by the system's shared
// icon handles (the same handles only in the process that shows the box). The control is found
// by its SS_ICON style, not by its id: Wine's is 0x440 (its MSGBOX_IDICON), while Windows
// documents none (0x14 is what its boxes are reported to use, not a documented value), so no
// test asserts an id.
BoxIcon boxIcon(HWND box) noexcept;

// 32-bit pixels, blue, green, red and one unused byte, rows from the top.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;

    bool operator==(const Picture& other) const {
        return width == other.width && height == other.height && pixels == other.pixels;
    }
};

// Copies an area of the screen (screen coordinates) as it is shown: a window with its frame
// and child controls, and whatever covers it. Without a display (Wine's null driver) the
// screen has no pixels to copy.
[[nodiscard]] bool pictureOfScreen(const RECT& area, Picture& picture) noexcept;

// The picture that `draw(screen, memory)` makes in a 32-bit bitmap of width x height selected
// into `memory`, a device context compatible with the screen's; false if either fails.
[[nodiscard]] bool drawnPicture(int width, int height, const std::function<bool(HDC screen, HDC memory)>& draw,
                                Picture& picture) noexcept;

// Presses the box's OK button as a click would; false if it has none.
[[nodiscard]] bool pressOk(HWND box) noexcept;

}  // namespace kest
