// kesttool: calls the libraries' exports from the command line, as a host would, so that
// integrators and support can see what each does without writing a host.
#include "Commands.h"
#include "Terminal.h"

#include <cstring>
#include <exception>

namespace kest::tool {
namespace {

struct Command {
    const char* name;
    const char* usage;  // arguments, then one line per detail
    int (*run)(Arguments&);
};

constexpr Command kCommands[] = {
    {"list",
     "[--json]\n"
     "    The personal store's certificates whose private key is reachable, with the\n"
     "    signer candidates of the settings file marked.\n",
     &listStoreCommand},
    {"list-p12",
     "<file.p12> [--password-env <VARIABLE>] [--json]\n"
     "    The certificates with keys of a PKCS#12 file, with the settings file's marks.\n",
     &listPkcs12Command},
    {"add-p12",
     "<file.p12> [--password-env <VARIABLE>]\n"
     "    Adds the certificates with keys of a PKCS#12 file to the personal store.\n",
     &addPkcs12Command},
    {"remove",
     "<certificate id | list index>\n"
     "    Removes a certificate of the list from the personal store.\n",
     &removeCommand},
    {"mark",
     "<certificate id | list index>...\n"
     "    Makes certificates of the list signer candidates in the settings file.\n",
     &markCommand},
    {"unmark",
     "<certificate id | list index>...\n"
     "    Makes them no longer signer candidates.\n",
     &unmarkCommand},
    {"omit",
     "set | clear | show\n"
     "    The omit-selection flag of the settings file (skip the certificate choice).\n",
     &omitCommand},
    {"show-error",
     "<code in hexadecimal> [--auto-close]\n"
     "    Shows the error box of the installation's catalogue for a code and waits\n"
     "    until it is closed. With --auto-close, or when no display can show it, the\n"
     "    box is printed and closed with OK at once.\n",
     &showErrorCommand},
    {"check-catalogue",
     "<KestErr.csv>\n"
     "    Reports codes written twice, empty messages, lines over 259 characters,\n"
     "    unknown severity letters and result codes without a line.\n",
     &checkCatalogueCommand},
    {"preview",
     "<KestErr.csv> [--out <directory>] [--missing <code>]\n"
     "    Shows every box of a catalogue through ShowError on the display, pictures each\n"
     "    as <code>.png and closes it with OK; writes index.html beside them (default\n"
     "    directory KestErr-preview). --missing adds the box of a code it lacks. Needs a\n"
     "    display (exit status 2 without one); the boxes are logged like any others.\n",
     &previewCommand},
    {"log",
     "on [<log file>] | off | status | write <message> | show [<log file>] [--errors]\n"
     "    Switches the log on (and places it) or off through the KestIni stand-in,\n"
     "    tells whether it is on, or writes one record.\n"
     "    show: the log file (default: the installation's LogPath) as UTF-8, one record\n"
     "    per line with time, source unit, line and text; lines that are no whole record\n"
     "    are marked !!. --errors: only the failure chains, each from the failing call\n"
     "    up to the outermost function, with the platform's text for its last error.\n",
     &logCommand},
    {"doctor",
     "[--json]\n"
     "    Checks the installation step by step (installation directory, settings file,\n"
     "    catalogue, log, certificates, signer candidates): one line each, ok, warning or\n"
     "    problem. Changes nothing. Exit status 1 with at least one problem.\n",
     &doctorCommand},
    {"install-dir",
     "<directory>\n"
     "    Sets the installation directory of the KestIni stand-in.\n",
     &installDirCommand},
};

constexpr char kOverview[] =
    "usage: kesttool <command> [arguments]    (kesttool <command> --help for one command)\n"
    "\n"
    "A certificate is named by its list index (1 = first) or its certificate id, serial;issuer\n"
    "as the list shows them. Passwords are never taken from the command line: they are asked\n"
    "for without echo, or read from the environment variable that --password-env names.\n"
    "Exit status: 0 done, 1 a call failed (its result code and message are printed) or the\n"
    "catalogue has findings, 2 wrong usage.\n"
    "\n"
    "commands:\n";

std::string usageOf(const Command& command) {
    return std::string("usage: kesttool ") + command.name + " " + command.usage;
}

const Command* findCommand(const std::string& name) {
    for (const Command& command : kCommands)
        if (name == command.name) return &command;
    return nullptr;
}

int overview(bool asked) {
    std::string text = kOverview;
    for (const Command& command : kCommands) text += std::string("  ") + command.name + " " + command.usage;
    asked ? writeOut(text) : writeErr(text);
    return asked ? kExitOk : kExitUsage;
}

}  // namespace

bool Arguments::takeFlag(const char* name) {
    for (auto word = words_.begin(); word != words_.end(); ++word)
        if (*word == name) {
            words_.erase(word);
            return true;
        }
    return false;
}

std::optional<std::string> Arguments::takeOption(const char* name) {
    for (auto word = words_.begin(); word != words_.end(); ++word) {
        if (*word != name) continue;
        if (word + 1 == words_.end()) {
            error_ = std::string(name) + " needs a value";
            words_.erase(word);
            return std::nullopt;
        }
        std::string value = *(word + 1);
        words_.erase(word, word + 2);
        return value;
    }
    return std::nullopt;
}

const std::vector<std::string>& Arguments::positional() {
    for (const std::string& word : words_)
        if (error_.empty() && word.size() > 2 && word.compare(0, 2, "--") == 0) error_ = "unknown option " + word;
    return words_;
}

int usageError(const std::string& command, const std::string& problem) {
    writeErr("kesttool: " + command + ": " + problem + "\n");
    if (const Command* known = findCommand(command)) writeErr(usageOf(*known));
    return kExitUsage;
}

}  // namespace kest::tool

int main(int argc, char** argv) {
    using namespace kest::tool;
    try {
        if (argc < 2) return overview(false);
        const std::string name = argv[1];
        if (name == "--help" || name == "-h" || name == "help") return overview(true);
        const Command* command = findCommand(name);
        if (command == nullptr) {
            writeErr("kesttool: unknown command " + name + "\n");
            return overview(false);
        }
        Arguments arguments({argv + 2, argv + argc});
        if (arguments.takeFlag("--help")) {
            writeOut(usageOf(*command));
            return kExitOk;
        }
        return command->run(arguments);
    } catch (const std::exception& error) {
        return reportProblem(error.what());
    }
}
