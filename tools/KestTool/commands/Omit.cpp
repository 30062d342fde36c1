// kesttool omit: the omit-selection flag of the settings file.
#include "Certificates.h"
#include "CommandLine.h"
#include "Terminal.h"

namespace kest::tool {
namespace {

constexpr char kSkipped[] = "OmitSelectCert=1: the certificate choice is skipped\n";
constexpr char kShown[] = "OmitSelectCert=0: the certificate choice is shown\n";

int show(const Invocation& /*invocation*/) {
    std::string settings;
    if (const ResultCode code = settingsFile(settings); code != KEST_OK) return reportFailure("getIniFilePath", code);
    int omit = 0;
    if (const ResultCode code = readIniOmitSelectCert(settings.c_str(), &omit); code != KEST_OK)
        return reportFailure("readIniOmitSelectCert", code);
    writeOut(omit ? kSkipped : kShown);
    return kExitOk;
}

// Writes the flag, then says what the settings file gives a host: read back through the
// library, not taken from what was asked.
[[nodiscard]] int writeFlag(int omit) {
    std::string settings;
    if (const ResultCode code = settingsFile(settings); code != KEST_OK) return reportFailure("getIniFilePath", code);
    const ResultCode written = writeIniOmitSelectCert(settings.c_str(), omit);
    int stored = -1;
    if (const ResultCode code = readIniOmitSelectCert(settings.c_str(), &stored); code != KEST_OK)
        return reportFailure(written != KEST_OK ? "writeIniOmitSelectCert" : "readIniOmitSelectCert",
                             written != KEST_OK ? written : code);
    writeOut(stored ? kSkipped : kShown);
    if (written != KEST_OK) return reportFailure("writeIniOmitSelectCert", written);
    return stored == omit ? kExitOk : reportProblem("the settings file does not hold what was saved");
}

int set(const Invocation& /*invocation*/) { return writeFlag(1); }
int clear(const Invocation& /*invocation*/) { return writeFlag(0); }

}  // namespace

extern const Command kOmitCommand{
    "omit",
    "",
    0,
    0,
    "    The omit-selection flag of the settings file (skip the certificate choice).\n",
    {},
    nullptr,
    {{"set", "", 0, 0, "    Sets it: the host skips the certificate choice.\n", {}, &set, {}},
     {"clear", "", 0, 0, "    Clears it: the host shows the certificate choice.\n", {}, &clear, {}},
     {"show", "", 0, 0, "    Tells whether it is set.\n", {}, &show, {}}}};

}  // namespace kest::tool
