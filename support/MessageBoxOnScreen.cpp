#include "MessageBoxOnScreen.h"

#include "KestSupportOwners.h"

#include <cstring>
#include <new>
#include <utility>

namespace kest {
namespace {

struct BoxSearch {
    const char* caption;
    HWND box = nullptr;
};

BOOL CALLBACK matchBox(HWND window, LPARAM context) {
    auto& search = *reinterpret_cast<BoxSearch*>(context);
    char className[16] = {};
    char caption[256] = {};
    GetClassNameA(window, className, sizeof className);
    GetWindowTextA(window, caption, sizeof caption);
    if (std::strcmp(className, kBoxClass) != 0 || std::strcmp(caption, search.caption) != 0 || !IsWindowVisible(window))
        return TRUE;
    search.box = window;
    return FALSE;
}

struct IconSearch {
    HICON icon = nullptr;
};

BOOL CALLBACK matchIconControl(HWND child, LPARAM context) {
    char className[16] = {};
    GetClassNameA(child, className, sizeof className);
    const LONG_PTR style = GetWindowLongPtrA(child, GWL_STYLE);
    if (lstrcmpiA(className, "Static") != 0 || (style & SS_TYPEMASK) != SS_ICON || !IsWindowVisible(child)) return TRUE;
    reinterpret_cast<IconSearch*>(context)->icon = reinterpret_cast<HICON>(SendMessageA(child, STM_GETICON, 0, 0));
    return FALSE;
}

// A bitmap selected into a device context, deselected before either goes.
class Selection {
public:
    Selection(HDC dc, HGDIOBJ object) noexcept : dc_(dc), previous_(SelectObject(dc, object)) {}
    ~Selection() {
        if (selected()) SelectObject(dc_, previous_);
    }
    Selection(const Selection&) = delete;
    Selection& operator=(const Selection&) = delete;
    [[nodiscard]] bool selected() const noexcept { return previous_ != nullptr && previous_ != HGDI_ERROR; }

private:
    HDC dc_;
    HGDIOBJ previous_;
};

}  // namespace

bool drawnPicture(int width, int height, const std::function<bool(HDC screen, HDC memory)>& draw,
                  Picture& picture) noexcept {
    if (width <= 0 || height <= 0) return false;
    const UniqueScreenDc screen{GetDC(nullptr)};
    if (!screen) return false;
    const UniqueMemoryDc memory{CreateCompatibleDC(screen.get())};
    if (!memory) return false;
    BITMAPINFO format{};
    format.bmiHeader.biSize = sizeof format.bmiHeader;
    format.bmiHeader.biWidth = width;
    format.bmiHeader.biHeight = -height;  // rows from the top
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    format.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    const UniqueBitmap bitmap{CreateDIBSection(screen.get(), &format, DIB_RGB_COLORS, &bits, nullptr, 0)};
    if (!bitmap || bits == nullptr) return false;
    {
        const Selection selection(memory.get(), bitmap.get());
        if (!selection.selected() || !draw(screen.get(), memory.get())) return false;
        GdiFlush();
    }
    const std::size_t size = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4;
    try {
        picture.pixels.assign(static_cast<const std::uint8_t*>(bits), static_cast<const std::uint8_t*>(bits) + size);
    } catch (const std::bad_alloc&) {
        return false;
    }
    picture.width = width;
    picture.height = height;
    return true;
}

HWND findBox(const char* caption, DWORD thread) noexcept {
    BoxSearch search{caption};
    if (thread != 0)
        EnumThreadWindows(thread, &matchBox, reinterpret_cast<LPARAM>(&search));
    else
        EnumWindows(&matchBox, reinterpret_cast<LPARAM>(&search));
    return search.box;
}

std::string boxText(HWND box) {
    char text[4096];
    const UINT length = GetDlgItemTextA(box, kBoxTextId, text, sizeof text);
    return std::string(text, length);
}

BoxIcon boxIcon(HWND box) noexcept {
    IconSearch search;
    EnumChildWindows(box, &matchIconControl, reinterpret_cast<LPARAM>(&search));
    if (search.icon == nullptr) return BoxIcon::none;
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

bool pictureOfScreen(const RECT& area, Picture& picture) noexcept {
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    return drawnPicture(
        width, height,
        [&](HDC screen, HDC memory) {
            return BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY | CAPTUREBLT) != FALSE;
        },
        picture);
}

bool pressOk(HWND box) noexcept {
    const HWND button = GetDlgItem(box, IDOK);
    if (button == nullptr) return false;
    SendMessageA(button, BM_CLICK, 0, 0);
    return true;
}

}  // namespace kest
