// kesttool log: the log's switch and path through the KestIni stand-in, a record written as a
// host writes one, and the log file shown (LogShow.cpp).
#include "Commands.h"
#include "Platform.h"
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

// Records to `path` are dropped: it names a folder that does not exist.
bool folderMissing(const std::string& path) {
    const std::string folder = folderOf(path);
    return !folder.empty() && !isDirectory(folder);
}

// What becomes of the records with the log on, to `path`.
std::string whereRecordsGo(const std::string& path) {
    if (folderOf(path).empty()) return "to " + path + ", in the host's working folder";
    if (folderMissing(path))
        return "to " + path + ", but the folder " + folderOf(path) + " does not exist: every record is dropped";
    return "to " + path;
}

int on(const Invocation& invocation) {
    const std::vector<std::string>& words = invocation.operands();
    if (words.size() == 1 && !setStandInValue(kLogSection, kLogPathKey, words[0].c_str()))
        return reportProblem("cannot set the log path in the registry");
    if (!setStandInValue(kLogSection, kWriteLogKey, kLogOn)) return reportProblem("cannot switch the log on");
    const std::optional<std::string> path = installationLogPath();
    if (path && folderMissing(*path)) writeErr("kesttool: warning: the log is on " + whereRecordsGo(*path) + "\n");
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
    const std::optional<std::string> path = installationLogPath();
    writeOut(path ? "log on, " + whereRecordsGo(*path) + "\n" : "log on, but no LogPath: every record is dropped\n");
    return kExitOk;
}

int write(const Invocation& invocation) {
    Log(KEST_SOURCE_FILE, __LINE__, invocation.operands()[0].c_str());
    return kExitOk;
}

}  // namespace

const Command kLogCommand{
    "log",
    "",
    0,
    0,
    "    The log of the installation, through the KestIni stand-in.\n",
    {},
    nullptr,
    {{"on", "[<log file>]", 0, 1, "    Switches the log on, and places it if a file is given.\n", {}, &on, {}},
     {"off", "", 0, 0, "    Switches the log off.\n", {}, &off, {}},
     {"status", "", 0, 0, "    Tells whether the log is on.\n", {}, &status, {}},
     {"write", "<message>", 1, 1, "    Writes one record, as a host does.\n", {}, &write, {}},
     {"show",
      "[<log file>]",
      0,
      1,
      "    The log file (default: the installation's LogPath) as UTF-8, one record per\n"
      "    line with time, source unit, line and text; lines that are no whole record are\n"
      "    marked !!.\n",
      {{kErrorsOption, nullptr, "only the failure chains, from the failing call up to the outermost function"}},
      &logShowCommand,
      {}}}};

}  // namespace kest::tool
