// The installation's side: the KestIni stand-in's settings (installation directory, log),
// the error box and the error catalogue.
#include "Catalogue.h"
#include "Commands.h"
#include "Platform.h"
#include "Terminal.h"

#include "KestErr.h"
#include "KestIniStandIn.h"
#include "KestLog.h"
#include "KestLogSettings.h"
#include "KestSourceFile.h"
#include "StandInSettings.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>

namespace kest::tool {
namespace {

constexpr char kLogOn[] = "1";
constexpr char kLogOff[] = "0";

}  // namespace

bool parseCodeArgument(const std::string& text, int& code) noexcept {
    if (text.empty()) return false;
    char* end = nullptr;
    const unsigned long value = std::strtoul(text.c_str(), &end, 16);
    if (*end != '\0' || value > 0xFFFFFFFFul) return false;
    code = static_cast<int>(static_cast<unsigned>(value));
    return true;
}

int installDirCommand(Arguments& arguments) {
    const std::vector<std::string>& words = arguments.positional();
    if (!arguments.valid()) return usageError("install-dir", arguments.error());
    if (words.size() != 1) return usageError("install-dir", "one directory is needed");
    if (!setStandInValue("", kest::standin::kInstallPathValue, words[0].c_str()))
        return reportProblem("cannot set the installation directory in the registry");
    return kExitOk;
}

int logCommand(Arguments& arguments) {
    const bool errorsOnly = arguments.takeFlag("--errors");
    const std::vector<std::string>& words = arguments.positional();
    if (!arguments.valid()) return usageError("log", arguments.error());
    const std::string action = words.empty() ? "" : words[0];
    if (action == "show") return logShowCommand({words.begin() + 1, words.end()}, errorsOnly);
    if (errorsOnly) return usageError("log", "--errors belongs to log show");
    if (action == "on" && words.size() <= 2) {
        if (words.size() == 2 && !setStandInValue(kLogSection, kLogPathKey, words[1].c_str()))
            return reportProblem("cannot set the log path in the registry");
        if (!setStandInValue(kLogSection, kWriteLogKey, kLogOn)) return reportProblem("cannot switch the log on");
        return kExitOk;
    }
    if (action == "off" && words.size() == 1) {
        if (!setStandInValue(kLogSection, kWriteLogKey, kLogOff)) return reportProblem("cannot switch the log off");
        return kExitOk;
    }
    if (action == "status" && words.size() == 1) {
        writeOut(LogFlag() ? "log on\n" : "log off\n");
        return kExitOk;
    }
    if (action == "write" && words.size() == 2) {
        Log(KEST_SOURCE_FILE, __LINE__, words[1].c_str());
        return kExitOk;
    }
    return usageError("log", "on [<file>], off, status, write <message> or show [<file>] [--errors] expected");
}

int showErrorCommand(Arguments& arguments) {
    const bool autoClose = arguments.takeFlag("--auto-close");
    const std::vector<std::string>& words = arguments.positional();
    if (!arguments.valid()) return usageError("show-error", arguments.error());
    int code = 0;
    if (words.size() != 1 || !parseCodeArgument(words[0], code))
        return usageError("show-error", "one code in hexadecimal is needed");

    std::optional<PrintedErrorBoxes> printed;
    if (autoClose || !displayAvailable()) printed.emplace();
    // On a display the box stays until someone closes it, as in a host. ShowError returns 0
    // only if the platform could not show it.
    if (ShowError(nullptr, code) == 0) return reportProblem("the box could not be shown");
    return kExitOk;
}

int checkCatalogueCommand(Arguments& arguments) {
    const std::vector<std::string>& words = arguments.positional();
    if (!arguments.valid()) return usageError("check-catalogue", arguments.error());
    if (words.size() != 1) return usageError("check-catalogue", "one catalogue file is needed");

    // Read here rather than with KestCommon's readFile, which cannot tell an empty file
    // (a catalogue with findings) from one that cannot be read.
    std::ifstream file(words[0], std::ios::binary);
    if (!file) return reportProblem("cannot read " + words[0]);
    const std::string bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};

    const std::vector<CatalogueFinding> findings = checkCatalogue(bytes);
    for (const CatalogueFinding& finding : findings) {
        std::string where = words[0] + ":";
        if (finding.line != 0) where += std::to_string(finding.line) + ":";
        writeOut(where + " ");
        writeOut(finding.text + "\n", kMessageCodePage);
    }
    if (findings.empty()) {
        writeOut(words[0] + ": no findings\n");
        return kExitOk;
    }
    writeOut(words[0] + ": " + std::to_string(findings.size()) + (findings.size() == 1 ? " finding\n" : " findings\n"));
    return kExitFailed;
}

}  // namespace kest::tool
