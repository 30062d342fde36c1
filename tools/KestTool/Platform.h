// What the tool does about its platform, as the host of the libraries: a box nobody can see
// or close, and Wine's PFXVerifyPassword, which refuses every password.
#pragma once

#include "ImportPatch.h"

#include <memory>

namespace kest::tool {

// Whether a message box would reach a person (kest::whyNoDisplay, Display.h).
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
