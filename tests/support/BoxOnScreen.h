// Message boxes on a real display (cmake/wine-display-run.sh): a window to own them, a call
// that shows one on a worker thread, and finding, reading and closing the box as a person
// would. Every wait gives up after a timeout, so that a box that never shows fails the test
// instead of hanging it.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <ostream>
#include <string>

namespace kest::test {

inline constexpr DWORD kBoxTimeoutMs = 10000;

// Handles this thread's messages until `done` holds or the timeout has passed; returns done().
bool pumpMessagesUntil(const std::function<bool()>& done, DWORD timeoutMs = kBoxTimeoutMs);

// A visible top-level window of the calling thread, to own boxes.
class OwnerWindow {
public:
    OwnerWindow();
    ~OwnerWindow();
    OwnerWindow(const OwnerWindow&) = delete;
    OwnerWindow& operator=(const OwnerWindow&) = delete;

    HWND handle() const noexcept { return window_; }

private:
    HWND window_;
};

// Runs `call` on a worker thread: a modal box blocks the thread that shows it, and the thread
// that owns the owner window must go on handling messages (wait() does), or the box never
// appears.
class BackgroundCall {
public:
    explicit BackgroundCall(std::function<int()> call);
    // Waits for the call's end. A call still running after the timeout ends the process with
    // a message: its thread uses this object and cannot be left behind.
    ~BackgroundCall();
    BackgroundCall(const BackgroundCall&) = delete;
    BackgroundCall& operator=(const BackgroundCall&) = delete;

    bool finished() const noexcept;
    // What the call returned, handling messages until then; nothing after the timeout.
    std::optional<int> wait(DWORD timeoutMs = kBoxTimeoutMs);

private:
    static DWORD WINAPI run(void* self) noexcept;

    std::function<int()> call_;
    int result_ = 0;
    HANDLE thread_;
};

enum class BoxIcon { none, information, question, warning, error, other };

inline void PrintTo(BoxIcon icon, std::ostream* out) {
    static const char* const names[] = {"none", "information", "question", "warning", "error", "other"};
    *out << names[static_cast<int>(icon)];
}

// The visible message box with this caption, of any thread, handling this thread's messages
// while it waits (a box owned by one of its windows needs them); nullptr after the timeout.
// The box's window exists a little before it is shown.
HWND waitForBox(const char* caption, DWORD timeoutMs = kBoxTimeoutMs);

// The box's text as its static control holds it, in the ANSI code page: the bytes that were
// given to MessageBoxA.
std::string boxText(HWND box);
// The same as the characters the box shows, which the bytes tell only in the code page they
// were read in.
std::wstring boxCharacters(HWND box);

// The icon the box shows: that of its visible icon control, told apart by the system's shared
// icon handles (the same handles only in the process that shows the box). The control is found
// by its SS_ICON style, not by its id: Wine's is 0x440 (its MSGBOX_IDICON), while Windows
// documents none (0x14 is what its boxes are reported to use, not a documented value), so no
// test asserts an id.
BoxIcon boxIcon(HWND box);

// Whether the screen shows the box's text: the screen's pixels where its text control lies hold
// more than one colour. Without a display (Wine's null driver) the screen has no pixels.
bool boxTextIsDrawn(HWND box);

// Whether PrintWindow draws the box's text into a picture of the box: its pixels where the
// text control lies hold more than one colour.
bool boxTextIsPrinted(HWND box);

// Presses the box's OK button as a click would; false if it has none.
bool pressOk(HWND box);

}  // namespace kest::test
