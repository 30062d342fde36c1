// The box ShowError shows, caught on the screen: a watching thread finds it, reads its text
// and icon, pictures it and presses OK, while the calling thread waits in ShowError.
#include "BoxCapture.h"

#include "KestErr.h"
#include "KestSupportOwners.h"

#include <cstring>
#include <new>
#include <utility>

namespace kest::tool {
namespace {

constexpr char kBoxClass[] = "#32770";
constexpr char kBoxCaption[] = "Tavrin";
// MessageBoxA gives its text control this id on Windows and under Wine.
constexpr int kBoxTextId = 0xFFFF;
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

struct Search {
    HWND box = nullptr;
};

BOOL CALLBACK matchBox(HWND window, LPARAM context) {
    char className[16] = {};
    char caption[16] = {};
    GetClassNameA(window, className, sizeof className);
    GetWindowTextA(window, caption, sizeof caption);
    if (std::strcmp(className, kBoxClass) != 0 || std::strcmp(caption, kBoxCaption) != 0) return TRUE;
    reinterpret_cast<Search*>(context)->box = window;
    return FALSE;
}

// Only the boxes of the thread that shows them: another program's box is no concern.
HWND findBox(DWORD thread) noexcept {
    Search search;
    EnumThreadWindows(thread, &matchBox, reinterpret_cast<LPARAM>(&search));
    return search.box;
}

struct IconSearch {
    HICON icon = nullptr;
};

// The icon is a static control of style SS_ICON; its id differs between Windows and Wine.
BOOL CALLBACK matchIcon(HWND child, LPARAM context) {
    char className[16] = {};
    GetClassNameA(child, className, sizeof className);
    const LONG_PTR style = GetWindowLongPtrA(child, GWL_STYLE);
    if (_stricmp(className, "Static") != 0 || (style & SS_TYPEMASK) != SS_ICON || !IsWindowVisible(child)) return TRUE;
    reinterpret_cast<IconSearch*>(context)->icon = reinterpret_cast<HICON>(SendMessageA(child, STM_GETICON, 0, 0));
    return FALSE;
}

// The box shows the system's shared icons: the same handles LoadIcon gives.
const char* iconOf(HWND box) noexcept {
    IconSearch search;
    EnumChildWindows(box, &matchIcon, reinterpret_cast<LPARAM>(&search));
    if (search.icon == nullptr) return "none";
    if (search.icon == LoadIcon(nullptr, IDI_ERROR)) return "error";
    if (search.icon == LoadIcon(nullptr, IDI_WARNING)) return "warning";
    if (search.icon == LoadIcon(nullptr, IDI_QUESTION)) return "question";
    if (search.icon == LoadIcon(nullptr, IDI_INFORMATION)) return "information";
    return "unknown";
}

bool pictureOf(HWND box, Picture& picture) noexcept {
    Picture previous;
    for (int taken = 0; taken < kMostPictures; ++taken) {
        RECT area{};
        if (!GetWindowRect(box, &area) || !captureScreenArea(area, picture)) return false;
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
    char text[1024] = {};
    GetDlgItemTextA(box, kBoxTextId, text, sizeof text);
    watch.box.text = text;
    watch.box.icon = iconOf(box);
    watch.captured = true;
}

// A failed step leaves its problem; the box is pressed OK all the same, if it was found.
void watch(Watch& watch) {
    HWND box = nullptr;
    const DWORD start = GetTickCount();
    while (box == nullptr || !IsWindowVisible(box)) {
        if (WaitForSingleObject(watch.showReturned, kPollMs) == WAIT_OBJECT_0) {
            watch.problem = "ShowError returned without a box (is a display there?)";
            return;
        }
        box = findBox(watch.boxThread);
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
    SendMessageA(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
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
