// What the tool does about its platform, as the host of the libraries: a box nobody can see
// or close, and Wine's PFXVerifyPassword, which refuses every password.
#pragma once

#include "ImportPatch.h"

#include <memory>

namespace kest::tool {

// Whether a message box would reach a person:
// - not when the process's window station is invisible (a service, a non-interactive session);
// - under Wine, not when its graphics driver is "null" (HKCU\Software\Wine\Drivers\Graphics),
//   and not when neither DISPLAY nor WAYLAND_DISPLAY is set, as Wine then falls back to the
//   null driver. Wine's null driver reports a 1024x768 screen and a visible window station,
//   so screen metrics cannot tell.
bool displayAvailable();

// While it lives, KestErr.dll's boxes are printed to standard output (caption, icon name
// and text) and answered with OK at once, instead of being shown.
class PrintedErrorBoxes {
public:
    PrintedErrorBoxes();

private:
    ImportPatch patch_;
};

// While it lives, KestMyCert.dll checks PKCS#12 passwords by a trial import, if the
// platform's own PFXVerifyPassword refuses the right password of a file the tool carries.
// Says so once on standard error.
class WorkingPfxPasswordCheck {
public:
    WorkingPfxPasswordCheck();

private:
    std::unique_ptr<ImportPatch> patch_;
};

}  // namespace kest::tool
