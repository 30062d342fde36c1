// Message boxes on a real display (cmake/wine-display-run.sh): a window to own them, a call
// that shows one on a worker thread, and waiting for the box, which the test then reads and
// closes as a person would (MessageBoxOnScreen.h). Every wait gives up after a timeout, so that
// a box that never shows fails the test instead of hanging it.
#pragma once

#include "MessageBoxOnScreen.h"

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

// The visible message box with this caption, of any thread, handling this thread's messages
// while it waits (a box owned by one of its windows needs them); nullptr after the timeout.
// The box's window exists a little before it is shown.
HWND waitForBox(const char* caption, DWORD timeoutMs = kBoxTimeoutMs);

// The box's text as the characters it shows, which its bytes (boxText) tell only in the code
// page they were read in.
std::wstring boxCharacters(HWND box);

// Whether the screen shows the box's text: the screen's pixels where its text control lies hold
// more than one colour. Without a display (Wine's null driver) the screen has no pixels.
bool boxTextIsDrawn(HWND box);

// Whether PrintWindow draws the box's text into a picture of the box: its pixels where the
// text control lies hold more than one colour.
bool boxTextIsPrinted(HWND box);

}  // namespace kest::test

namespace kest {

// How GoogleTest names an icon in a failure; it looks beside the enum.
inline void PrintTo(BoxIcon icon, std::ostream* out) {
    static const char* const names[] = {"none", "information", "question", "warning", "error", "other"};
    *out << names[static_cast<int>(icon)];
}

}  // namespace kest
