// The commands of kesttool: each is one row, defined in its own file under commands/ with
// its operands and options, and listed in the table of Main.cpp.
#pragma once

#include "CommandLine.h"

#include <optional>
#include <string>

namespace kest::tool {

extern const Command kListCommand;
extern const Command kListPkcs12Command;
extern const Command kAddPkcs12Command;
extern const Command kRemoveCommand;
extern const Command kMarkCommand;
extern const Command kUnmarkCommand;
extern const Command kOmitCommand;
extern const Command kShowErrorCommand;
extern const Command kCheckCatalogueCommand;
extern const Command kPreviewCommand;
extern const Command kLogCommand;
extern const Command kDoctorCommand;
extern const Command kInstallDirCommand;

// "log show [<file>] [--errors]" (LogShow.cpp), a subcommand of log.
[[nodiscard]] int logShowCommand(const Invocation& invocation);
inline constexpr char kErrorsOption[] = "--errors";
// The installation's log file, LogPath read through KestIni as KestLog reads it; nothing
// when KestIni gives none or an empty one (LogShow.cpp).
[[nodiscard]] std::optional<std::string> installationLogPath();

}  // namespace kest::tool
