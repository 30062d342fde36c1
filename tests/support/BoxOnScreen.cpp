#include "BoxOnScreen.h"

#include <cstdio>
#include <cstring>
#include <iterator>
#include <stdexcept>
#include <utility>

namespace kest::test {
namespace {

constexpr char kOwnerClass[] = "KestTestOwner";

void handlePendingMessages() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

// Whether the picture's pixels in `area` (picture coordinates) hold more than one colour.
bool severalColours(const Picture& picture, const RECT& area) {
    const auto pixel = [&picture](LONG x, LONG y) {
        return &picture.pixels[(static_cast<std::size_t>(y) * picture.width + x) * 4];
    };
    for (LONG y = area.top; y < area.bottom; ++y)
        for (LONG x = area.left; x < area.right; ++x)
            if (std::memcmp(pixel(x, y), pixel(area.left, area.top), 4) != 0) return true;
    return false;
}

}  // namespace

bool pumpMessagesUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (!done()) {
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline) return done();
        // Wakes for a message at once, and polls `done` at least every 10 ms.
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        handlePendingMessages();
    }
    return true;
}

OwnerWindow::OwnerWindow() {
    static const ATOM registered = [] {
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = DefWindowProcA;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = kOwnerClass;
        return RegisterClassA(&windowClass);
    }();
    if (registered == 0) throw std::runtime_error("cannot register the owner window's class");
    window_ = CreateWindowExA(0, kOwnerClass, "Kest test owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 400, 300,
                              nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    if (window_ == nullptr) throw std::runtime_error("cannot create the owner window");
    handlePendingMessages();
}

OwnerWindow::~OwnerWindow() { DestroyWindow(window_); }

BackgroundCall::BackgroundCall(std::function<int()> call) : call_(std::move(call)) {
    thread_ = CreateThread(nullptr, 0, &BackgroundCall::run, this, 0, nullptr);
    if (thread_ == nullptr) throw std::runtime_error("cannot start the worker thread");
}

BackgroundCall::~BackgroundCall() {
    if (!wait()) {
        std::fflush(stdout);
        std::fprintf(stderr, "BackgroundCall: the call did not return within %lu ms\n",
                     static_cast<unsigned long>(kBoxTimeoutMs));
        std::fflush(stderr);
        TerminateProcess(GetCurrentProcess(), 3);
    }
    CloseHandle(thread_);
}

bool BackgroundCall::finished() const noexcept { return WaitForSingleObject(thread_, 0) == WAIT_OBJECT_0; }

std::optional<int> BackgroundCall::wait(DWORD timeoutMs) {
    if (!pumpMessagesUntil([this] { return finished(); }, timeoutMs)) return std::nullopt;
    return result_;
}

DWORD WINAPI BackgroundCall::run(void* self) noexcept {
    auto& call = *static_cast<BackgroundCall*>(self);
    call.result_ = call.call_();
    return 0;
}

HWND waitForBox(const char* caption, DWORD timeoutMs) {
    HWND box = nullptr;
    pumpMessagesUntil([&] { return (box = findBox(caption)) != nullptr; }, timeoutMs);
    return box;
}

std::wstring boxCharacters(HWND box) {
    wchar_t text[4096];
    const UINT length = GetDlgItemTextW(box, kBoxTextId, text, static_cast<int>(std::size(text)));
    return std::wstring(text, length);
}

bool boxTextIsDrawn(HWND box) {
    RECT area;
    Picture picture;
    if (!GetWindowRect(GetDlgItem(box, kBoxTextId), &area) || !pictureOfScreen(area, picture)) return false;
    return severalColours(picture, {0, 0, picture.width, picture.height});
}

bool boxTextIsPrinted(HWND box) {
    RECT window;
    RECT text;
    Picture printed;
    if (!GetWindowRect(box, &window) || !GetWindowRect(GetDlgItem(box, kBoxTextId), &text)) return false;
    // Wine's PrintWindow draws neither the frame nor the controls of a dialog (a known
    // difference the display tests mark), which is why the tool's preview reads the screen.
    const auto printWindow = [box](HDC, HDC memory) { return PrintWindow(box, memory, 0) != FALSE; };
    if (!drawnPicture(window.right - window.left, window.bottom - window.top, printWindow, printed) ||
        !IntersectRect(&text, &text, &window))
        return false;
    OffsetRect(&text, -window.left, -window.top);
    // The picture has the box's size when it was printed, which it may have changed since.
    const RECT whole{0, 0, printed.width, printed.height};
    return IntersectRect(&text, &text, &whole) && severalColours(printed, text);
}

}  // namespace kest::test
