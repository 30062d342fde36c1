// Pictures of what is on the screen, written as PNG files through the Windows Imaging
// Component (a system DLL on Windows and under Wine, so the tool carries no image library).
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace kest::tool {

// 32-bit pixels, blue, green, red and one unused byte, rows from the top.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;

    bool operator==(const Picture& other) const {
        return width == other.width && height == other.height && pixels == other.pixels;
    }
};

// Copies an area of the screen as it is shown: a window with its frame and child controls.
// Wine's PrintWindow draws neither the frame nor the controls of a dialog, so the screen is
// read instead, which also shows what covers the window.
[[nodiscard]] bool captureScreenArea(const RECT& area, Picture& picture) noexcept;

// The thread's COM apartment, for the imaging component.
class ComApartment {
public:
    ComApartment() noexcept;
    ~ComApartment();
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

    bool entered() const noexcept { return SUCCEEDED(result_); }

private:
    HRESULT result_;
};

// Writes the picture to a PNG file; on failure `problem` says which step failed.
[[nodiscard]] bool writePng(const std::wstring& path, const Picture& picture, std::string& problem) noexcept;

}  // namespace kest::tool
