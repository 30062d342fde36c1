// kesttool: calls the libraries' exports from the command line, as a host would, so that
// integrators and support can see what each does without writing a host.
#include "CommandLine.h"
#include "Terminal.h"

#include <exception>

namespace kest::tool {

// Each row is defined in its own file under commands/. The list below is the one place that
// names them all, in the order the help lists them: a command is declared and listed here.
extern const Command kListCommand, kListPkcs12Command, kAddPkcs12Command, kRemoveCommand, kMarkCommand, kUnmarkCommand,
    kOmitCommand, kShowErrorCommand, kCheckCatalogueCommand, kPreviewCommand, kLogCommand, kDoctorCommand,
    kInstallDirCommand;

namespace {

const std::vector<const Command*> kCommands = {
    &kListCommand,   &kListPkcs12Command, &kAddPkcs12Command,  &kRemoveCommand,         &kMarkCommand,
    &kUnmarkCommand, &kOmitCommand,       &kShowErrorCommand,  &kCheckCatalogueCommand, &kPreviewCommand,
    &kLogCommand,    &kDoctorCommand,     &kInstallDirCommand,
};

}  // namespace
}  // namespace kest::tool

int main(int argc, char** argv) {
    using namespace kest::tool;
    try {
        return runCommandLine(kCommands, {argv + 1, argv + argc});
    } catch (const std::exception& error) {
        return reportProblem(error.what());
    }
}
