// kesttool show-error: the error box of the installation's catalogue for a code.
#include "CommandLine.h"
#include "Platform.h"
#include "Terminal.h"

#include "KestErr.h"

#include <optional>

namespace kest::tool {
namespace {

constexpr char kAutoCloseOption[] = "--auto-close";

int run(const Invocation& invocation) {
    const int code = invocation.codeOperand(0);
    std::optional<PrintedErrorBoxes> printed;
    if (invocation.flag(kAutoCloseOption) || !displayAvailable()) printed.emplace();
    // On a display the box stays until someone closes it, as in a host. ShowError returns 0
    // only if the platform could not show it.
    if (ShowError(nullptr, code) == 0) return reportProblem("the box could not be shown");
    return kExitOk;
}

}  // namespace

extern const Command kShowErrorCommand{
    "show-error",
    "<code in hexadecimal>",
    1,
    1,
    "    Shows the error box of the installation's catalogue for a code and waits\n"
    "    until it is closed. With --auto-close, or when no display can show it, the\n"
    "    box is printed and closed with OK at once.\n",
    {{kAutoCloseOption, nullptr, "print the box and close it with OK at once"}},
    &run,
    {}};

}  // namespace kest::tool
