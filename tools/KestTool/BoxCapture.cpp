// The box ShowError shows, caught on the screen: a watching thread finds it, reads its text
// and icon, pictures it and presses OK, while the calling thread waits in ShowError.
#include "BoxCapture.h"

#include "KestErr.h"
#include "KestSupportOwners.h"
#include "MessageBoxOnScreen.h"

#include <new>
#include <utility>

namespace kest::tool {
namespace {

constexpr char kBoxCaption[] = "Tavrin";
constexpr DWORD kBoxAppearsWithinMs = 10000;
constexpr DWORD kPollMs = 10;
// The box is pictured when two pictures this far apart agree: its painting has reached
// the screen.
constexpr DWORD kSettleMs = 40;
constexpr int kMostPictures = 50;

using kest::UniqueHandle;

// What the watching thread is given and hands back.
struct Watch {
    DWORD boxThread;      // the thread that calls ShowError
    HANDLE showReturned;  // set once ShowError has returned
    CapturedBox box;
    std::string problem;
    bool captured = false;
};

// The names the index page gives the icons.
const char* iconName(BoxIcon icon) noexcept {
    switch (icon) {
        case BoxIcon::none: return "none";
        case BoxIcon::information: return "information";
        case BoxIcon::question: return "question";
        case BoxIcon::warning: return "warning";
        case BoxIcon::error: return "error";
        case BoxIcon::other: break;
    }
    return "unknown";
}

bool pictureOf(HWND box, Picture& picture) noexcept {
    Picture previous;
    for (int taken = 0; taken < kMostPictures; ++taken) {
        RECT area{};
        if (!GetWindowRect(box, &area) || !pictureOfScreen(area, picture)) return false;
        if (taken > 0 && picture == previous) return true;
        std::swap(previous, picture);
        Sleep(kSettleMs);
    }
    return false;
}

void capture(Watch& watch, HWND box) {
    // As a user meets it: in front, its caption drawn active. Without a window manager Wine
    // draws a process's first window with an inactive caption although it is in front.
    SetForegroundWindow(box);
    if (GetForegroundWindow() == box) SendMessageA(box, WM_NCACTIVATE, TRUE, 0);
    if (!pictureOf(box, watch.box.picture)) {
        watch.problem = "the box could not be pictured from the screen";
        return;
    }
    watch.box.text = boxText(box);
    watch.box.icon = iconName(boxIcon(box));
    watch.captured = true;
}

// A failed step leaves its problem; the box is pressed OK all the same, if it was found.
void watch(Watch& watch) {
    HWND box = nullptr;
    const DWORD start = GetTickCount();
    while (box == nullptr) {
        if (WaitForSingleObject(watch.showReturned, kPollMs) == WAIT_OBJECT_0) {
            watch.problem = "ShowError returned without a box (is a display there?)";
            return;
        }
        // Only the boxes of the thread that shows them: another program's box is no concern.
        box = findBox(kBoxCaption, watch.boxThread);
        if (GetTickCount() - start > kBoxAppearsWithinMs) {
            watch.problem = "the box did not appear within 10 s";
            break;
        }
    }
    if (box == nullptr) {
        // Nothing to press: end the box's message loop instead.
        PostThreadMessageA(watch.boxThread, WM_QUIT, 0, 0);
        return;
    }
    if (watch.problem.empty()) capture(watch, box);
    static_cast<void>(pressOk(box));
}

DWORD WINAPI watchThread(void* context) {
    Watch& state = *static_cast<Watch*>(context);
    try {
        watch(state);
    } catch (const std::bad_alloc&) {
        state.captured = false;
        state.problem.clear();
    }
    return 0;
}

[[nodiscard]] bool failed(const char* why, std::string& problem) noexcept {
    try {
        problem = why;
    } catch (const std::bad_alloc&) {
    }
    return false;
}

}  // namespace

bool showAndCaptureErrorBox(int code, CapturedBox& box, std::string& problem) noexcept {
    const UniqueHandle showReturned{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    if (!showReturned) return failed("cannot create an event", problem);
    Watch state{GetCurrentThreadId(), showReturned.get(), {}, {}, false};
    int shown = 0;
    {
        const UniqueHandle watcher{CreateThread(nullptr, 0, &watchThread, &state, 0, nullptr)};
        if (!watcher) return failed("cannot start the thread that watches the box", problem);
        shown = ShowError(nullptr, code);
        SetEvent(showReturned.get());
        WaitForSingleObject(watcher.get(), INFINITE);
    }
    try {
        if (shown == 0 && state.problem.empty()) state.problem = "ShowError could not show the box";
        if (shown == 0 || !state.captured) {
            problem = state.problem.empty() ? "out of memory" : state.problem;
            return false;
        }
        box = std::move(state.box);
    } catch (const std::bad_alloc&) {
        return failed("out of memory", problem);
    }
    return true;
}

}  // namespace kest::tool
