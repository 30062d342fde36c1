#include "BoxOnScreen.h"

#include "KestSupportOwners.h"

#include <cstdint>
#include <iterator>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <type_traits>
#include <utility>
#include <vector>

namespace kest::test {
namespace {

constexpr char kOwnerClass[] = "KestTestOwner";
// The dialog class of message boxes.
constexpr char kBoxClass[] = "#32770";
// The id of a message box's text control, on Windows and under Wine.
constexpr int kTextControlId = 0xFFFF;

void handlePendingMessages() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

using kest::UniqueBitmap;
using kest::UniqueMemoryDc;
using kest::UniqueScreenDc;

// The pixels `draw` makes in a memory picture of width x height, as 32-bit colours; nothing if
// it cannot draw.
template <typename Draw>
std::vector<std::uint32_t> drawnPixels(int width, int height, Draw draw) {
    if (width <= 0 || height <= 0) return {};
    UniqueScreenDc screen{GetDC(nullptr)};
    UniqueMemoryDc memory{CreateCompatibleDC(screen.get())};
    if (!screen || !memory) return {};
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    UniqueBitmap bitmap{CreateDIBSection(memory.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0)};
    if (!bitmap) return {};
    const HGDIOBJ previous = SelectObject(memory.get(), bitmap.get());
    const BOOL drawn = draw(screen.get(), memory.get());
    GdiFlush();
    SelectObject(memory.get(), previous);
    if (!drawn) return {};
    const auto* first = static_cast<const std::uint32_t*>(bits);
    return std::vector<std::uint32_t>(first, first + static_cast<std::size_t>(width) * height);
}

// The screen's pixels in `area` (screen coordinates); nothing if the screen cannot be read.
std::vector<std::uint32_t> screenPixels(const RECT& area) {
    return drawnPixels(area.right - area.left, area.bottom - area.top, [&area](HDC screen, HDC memory) {
        return BitBlt(memory, 0, 0, area.right - area.left, area.bottom - area.top, screen, area.left, area.top,
                      SRCCOPY);
    });
}

bool severalColours(const std::vector<std::uint32_t>& pixels) {
    for (std::uint32_t pixel : pixels)
        if (pixel != pixels.front()) return true;
    return false;
}

struct IconSearch {
    HICON icon = nullptr;
    bool found = false;
};

BOOL CALLBACK findIconControl(HWND child, LPARAM parameter) {
    auto& search = *reinterpret_cast<IconSearch*>(parameter);
    char className[16] = {};
    GetClassNameA(child, className, sizeof className);
    const LONG_PTR style = GetWindowLongPtrA(child, GWL_STYLE);
    if (lstrcmpiA(className, "Static") != 0 || (style & SS_TYPEMASK) != SS_ICON || !IsWindowVisible(child)) return TRUE;
    search.icon = reinterpret_cast<HICON>(SendMessageA(child, STM_GETICON, 0, 0));
    search.found = true;
    return FALSE;
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
    pumpMessagesUntil(
        [&] {
            box = FindWindowA(kBoxClass, caption);
            return box != nullptr && IsWindowVisible(box);
        },
        timeoutMs);
    return box != nullptr && IsWindowVisible(box) ? box : nullptr;
}

std::string boxText(HWND box) {
    char text[4096];
    const UINT length = GetDlgItemTextA(box, kTextControlId, text, sizeof text);
    return std::string(text, length);
}

std::wstring boxCharacters(HWND box) {
    wchar_t text[4096];
    const UINT length = GetDlgItemTextW(box, kTextControlId, text, static_cast<int>(std::size(text)));
    return std::wstring(text, length);
}

BoxIcon boxIcon(HWND box) {
    IconSearch search;
    EnumChildWindows(box, &findIconControl, reinterpret_cast<LPARAM>(&search));
    if (!search.found || search.icon == nullptr) return BoxIcon::none;
    const std::pair<LPCSTR, BoxIcon> systemIcons[] = {
        {IDI_INFORMATION, BoxIcon::information},
        {IDI_QUESTION, BoxIcon::question},
        {IDI_WARNING, BoxIcon::warning},
        {IDI_ERROR, BoxIcon::error},
    };
    for (const auto& [name, icon] : systemIcons)
        if (search.icon == LoadIconA(nullptr, name)) return icon;
    return BoxIcon::other;
}

bool boxTextIsDrawn(HWND box) {
    RECT area;
    if (!GetWindowRect(GetDlgItem(box, kTextControlId), &area)) return false;
    return severalColours(screenPixels(area));
}

bool boxTextIsPrinted(HWND box) {
    RECT window;
    RECT text;
    if (!GetWindowRect(box, &window) || !GetWindowRect(GetDlgItem(box, kTextControlId), &text)) return false;
    const int width = window.right - window.left;
    const std::vector<std::uint32_t> printed =
        drawnPixels(width, window.bottom - window.top, [box](HDC, HDC memory) { return PrintWindow(box, memory, 0); });
    if (printed.empty()) return false;
    std::vector<std::uint32_t> textArea;
    if (!IntersectRect(&text, &text, &window)) return false;
    for (LONG y = text.top; y < text.bottom; ++y)
        for (LONG x = text.left; x < text.right; ++x)
            textArea.push_back(printed[static_cast<std::size_t>(y - window.top) * width + (x - window.left)]);
    return severalColours(textArea);
}

bool pressOk(HWND box) {
    HWND button = GetDlgItem(box, IDOK);
    if (button == nullptr) return false;
    SendMessageA(button, BM_CLICK, 0, 0);
    return true;
}

}  // namespace kest::test
