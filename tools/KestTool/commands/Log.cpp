// kesttool log: the log's switch and path through the KestIni stand-in, a record written as a
// host writes one, and the log file shown (LogShow.cpp).
#include "CommandLine.h"
#include "Diagnosis.h"
#include "LogDestination.h"
#include "Terminal.h"

#include "KestLog.h"
#include "KestLogSettings.h"
#include "KestSourceFile.h"
#include "StandInSettings.h"

#include <optional>
#include <string>

namespace kest::tool {
namespace {

constexpr char kLogOn[] = "1";
constexpr char kLogOff[] = "0";

int on(const Invocation& invocation) {
    const std::vector<std::string>& words = invocation.operands();
    if (words.size() == 1 && !setStandInValue(kLogSection, kLogPathKey, words[0].c_str()))
        return reportProblem("cannot set the log path in the registry");
    if (!setStandInValue(kLogSection, kWriteLogKey, kLogOn)) return reportProblem("cannot switch the log on");
    if (const LogDestination destination = logDestination(gatherLogFile());
        destination.verdict != LogDestination::Verdict::written)
        writeErr("kesttool: warning: the log is on, " + destination.where + "; " + destination.remedy + "\n");
    return kExitOk;
}

int off(const Invocation& /*invocation*/) {
    if (!setStandInValue(kLogSection, kWriteLogKey, kLogOff)) return reportProblem("cannot switch the log off");
    return kExitOk;
}

int status(const Invocation& /*invocation*/) {
    if (!LogFlag()) {
        writeOut("log off\n");
        return kExitOk;
    }
    const LogDestination destination = logDestination(gatherLogFile());
    writeOut("log on, " + destination.where + (destination.remedy.empty() ? std::string() : "; " + destination.remedy) +
             "\n");
    // As doctor's log check: a problem when no record can be kept.
    return destination.verdict == LogDestination::Verdict::dropped ? kExitFailed : kExitOk;
}

int write(const Invocation& invocation) {
    Log(KEST_SOURCE_FILE, __LINE__, invocation.operands()[0].c_str());
    return kExitOk;
}

}  // namespace

const Command& logShowCommand();  // LogShow.cpp

extern const Command kLogCommand{
    "log",
    "",
    0,
    0,
    "    The log of the installation, through the KestIni stand-in.\n",
    {},
    nullptr,
    {{"on", "[<log file>]", 0, 1, "    Switches the log on, and places it if a file is given.\n", {}, &on, {}},
     {"off", "", 0, 0, "    Switches the log off.\n", {}, &off, {}},
     {"status",
      "",
      0,
      0,
      "    Tells whether the log is on, and where its records go;\n"
      "    exit status 1 when they are dropped.\n",
      {},
      &status,
      {}},
     {"write", "<message>", 1, 1, "    Writes one record, as a host does.\n", {}, &write, {}},
     logShowCommand()}};

}  // namespace kest::tool
