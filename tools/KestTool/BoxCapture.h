// The error box as a user sees it: shown by KestErr.dll's ShowError, pictured, read and
// closed with OK by the tool itself.
#pragma once

#include "MessageBoxOnScreen.h"

#include <string>

namespace kest::tool {

struct CapturedBox {
    Picture picture;
    std::string text;  // the box's text as it shows it, Shift_JIS
    std::string icon;  // "error", "warning", "question", "information", "none" or "unknown"
};

// Calls ShowError for `code` on this thread, without an owner window; meanwhile a second
// thread waits for the box to be visible, takes its picture once two in a row agree, reads
// it and presses its OK button. The box is closed whatever else fails; `problem` says what.
[[nodiscard]] bool showAndCaptureErrorBox(int code, CapturedBox& box, std::string& problem) noexcept;

}  // namespace kest::tool
