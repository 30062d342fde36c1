// kesttool install-dir: the KestIni stand-in's installation directory.
#include "CommandLine.h"
#include "Platform.h"
#include "Terminal.h"

#include "KestIniStandIn.h"
#include "StandInSettings.h"

namespace kest::tool {
namespace {

int run(const Invocation& invocation) {
    if (!setStandInValue("", kest::standin::kInstallPathValue, invocation.operands()[0].c_str()))
        return reportProblem("cannot set the installation directory in the registry");
    if (!isDirectory(invocation.operands()[0]))
        writeErr("kesttool: warning: the folder " + invocation.operands()[0] +
                 " does not exist: the libraries find no KestEnv.ini or KestErr.csv there\n");
    return kExitOk;
}

}  // namespace

extern const Command kInstallDirCommand{
    "install-dir", "<directory>", 1, 1, "    Sets the installation directory of the KestIni stand-in.\n", {}, &run, {}};

}  // namespace kest::tool
