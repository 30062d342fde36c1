// Pictures of the screen (MessageBoxOnScreen.h) written as PNG files through the Windows Imaging
// Component (a system DLL on Windows and under Wine, so the tool carries no image library).
#pragma once

#include "MessageBoxOnScreen.h"

#include <windows.h>

#include <string>

namespace kest::tool {

// The thread's COM apartment, for the imaging component.
class ComApartment {
public:
    ComApartment() noexcept;
    ~ComApartment();
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

    [[nodiscard]] bool entered() const noexcept { return SUCCEEDED(result_); }

private:
    HRESULT result_;
};

// Writes the picture to a PNG file; on failure `problem` says which step failed.
[[nodiscard]] bool writePng(const std::wstring& path, const Picture& picture, std::string& problem) noexcept;

}  // namespace kest::tool
