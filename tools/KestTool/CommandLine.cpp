// The one parser of kesttool's arguments and the usage and help texts, all read from the
// commands' rows.
#include "CommandLine.h"

#include "Terminal.h"

#include <algorithm>
#include <cstdlib>

namespace kest::tool {
namespace {

constexpr char kOverview[] =
    "usage: kesttool <command> [arguments]    (kesttool help <command> or kesttool <command> --help for one)\n"
    "\n"
    "A certificate is named by its list index (1 = first) or its certificate id, serial;issuer\n"
    "as the list shows them. Passwords are never taken from the command line: they are asked\n"
    "for without echo, or read from the environment variable that --password-env names.\n"
    "Exit status: 0 done, 1 a call failed (its result code and message are printed) or the\n"
    "catalogue has findings, 2 wrong usage.\n"
    "\n"
    "commands:\n";
constexpr char kHelpOption[] = "--help";

bool isOption(const std::string& word) { return word.size() > 2 && word.compare(0, 2, "--") == 0; }

// "<file.p12> [--password-env <VARIABLE>] [--json]"
std::string synopsis(const Command& command) {
    std::string text = command.operands;
    for (const Option& option : command.options) {
        if (!text.empty()) text += ' ';
        text += std::string("[") + option.name + (option.value != nullptr ? std::string(" ") + option.value : "") + "]";
    }
    return text;
}

// One line per way of calling the command: "log on [<log file>]", "log off", ...
std::vector<std::string> callings(const Command& command, const std::string& path) {
    std::vector<std::string> lines;
    if (command.subcommands.empty()) {
        const std::string arguments = synopsis(command);
        lines.push_back(arguments.empty() ? path : path + " " + arguments);
        return lines;
    }
    for (const Command& subcommand : command.subcommands)
        for (const std::string& line : callings(subcommand, path + " " + subcommand.name)) lines.push_back(line);
    return lines;
}

std::string optionsText(const Command& command, const char* indent) {
    std::string text;
    for (const Option& option : command.options)
        text += std::string(indent) + option.name + (option.value != nullptr ? std::string(" ") + option.value : "") +
                ": " + option.help + "\n";
    return text;
}

std::string usageOf(const Command& command, const std::string& path) {
    std::string text;
    for (const std::string& line : callings(command, path))
        text += (text.empty() ? "usage: kesttool " : "       kesttool ") + line + "\n";
    text += command.help;
    text += optionsText(command, "    ");
    for (const Command& subcommand : command.subcommands) {
        const std::string arguments = synopsis(subcommand);
        text +=
            std::string("  ") + subcommand.name + (arguments.empty() ? "" : " " + arguments) + "\n" + subcommand.help;
        text += optionsText(subcommand, "    ");
    }
    return text;
}

std::string overview(const std::vector<const Command*>& commands) {
    std::string text = kOverview;
    for (const Command* command : commands) {
        for (const std::string& line : callings(*command, command->name)) text += "  " + line + "\n";
        text += command->help;
    }
    return text;
}

template <typename Named>
std::vector<std::string> namesOf(const Named& rows) {
    std::vector<std::string> names;
    names.reserve(rows.size());
    for (const auto& row : rows) names.emplace_back(row.name);
    return names;
}

std::string didYouMean(const std::string& typed, const std::vector<std::string>& known) {
    const std::optional<std::string> nearest = nearestName(typed, known);
    return nearest ? "; did you mean " + *nearest + "?" : "";
}

// "kesttool: <command>: <problem>" and the command's usage on standard error.
int usageError(const Command& command, const std::string& path, const std::string& problem) {
    writeErr("kesttool: " + path + ": " + problem + "\n");
    writeErr(usageOf(command, path));
    return kExitUsage;
}

const Command* findIn(const std::vector<const Command*>& commands, const std::string& name) {
    for (const Command* command : commands)
        if (name == command->name) return command;
    return nullptr;
}

std::string operandsProblem(const Command& command) {
    if (command.mostOperands == 0) return "no arguments expected";
    return std::string(command.operands) + " expected";
}

}  // namespace

std::optional<std::string> Invocation::value(const char* name) const {
    const auto found = values_.find(name);
    if (found == values_.end()) return std::nullopt;
    return found->second;
}

std::optional<int> Invocation::codeValue(const char* name) const {
    const std::optional<std::string> text = value(name);
    if (!text) return std::nullopt;
    int code = 0;
    if (!parseCodeArgument(*text, code)) throw UsageProblem(std::string(name) + " needs a code in hexadecimal");
    return code;
}

int Invocation::codeOperand(std::size_t index) const {
    int code = 0;
    if (index >= operands_.size() || !parseCodeArgument(operands_[index], code))
        throw UsageProblem("a code in hexadecimal is needed");
    return code;
}

bool parseCodeArgument(const std::string& text, int& code) noexcept {
    if (text.empty()) return false;
    char* end = nullptr;
    // strtoull: Windows' unsigned long is 32 bits, and strtoul would give a longer code as
    // 0xffffffff.
    const unsigned long long value = std::strtoull(text.c_str(), &end, 16);
    if (*end != '\0' || value > 0xFFFFFFFFull) return false;
    code = static_cast<int>(static_cast<unsigned>(value));
    return true;
}

std::size_t editDistance(std::string_view a, std::string_view b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

std::optional<std::string> nearestName(const std::string& typed, const std::vector<std::string>& known) {
    // Near enough is at most a third of the name, and at least one.
    std::optional<std::string> nearest;
    std::size_t best = std::max<std::size_t>(1, typed.size() / 3) + 1;
    for (const std::string& name : known) {
        const std::size_t apart = editDistance(typed, name);
        if (apart < best) {
            best = apart;
            nearest = name;
        }
    }
    return nearest;
}

namespace {

// A command's options and operands as its row declares them; UsageProblem for any other.
Invocation invocationOf(const Command& command, const std::vector<std::string>& words) {
    std::map<std::string, std::string> values;
    std::vector<std::string> operands;
    for (std::size_t at = 0; at < words.size(); ++at) {
        const std::string& word = words[at];
        if (!isOption(word)) {
            operands.push_back(word);
            continue;
        }
        const auto option = std::find_if(command.options.begin(), command.options.end(),
                                         [&](const Option& known) { return word == known.name; });
        if (option == command.options.end())
            throw UsageProblem("unknown option " + word + didYouMean(word, namesOf(command.options)));
        if (option->value == nullptr) {
            values[option->name];
            continue;
        }
        if (at + 1 == words.size()) throw UsageProblem(std::string(option->name) + " needs a value");
        values[option->name] = words[++at];
    }
    if (operands.size() < command.fewestOperands || operands.size() > command.mostOperands)
        throw UsageProblem(operandsProblem(command));
    return Invocation(std::move(values), std::move(operands));
}

int runCommand(const Command& command, const std::string& path, std::vector<std::string> words) {
    if (std::find(words.begin(), words.end(), kHelpOption) != words.end()) {
        writeOut(usageOf(command, path));
        return kExitOk;
    }
    try {
        if (!command.subcommands.empty()) {
            const auto named =
                std::find_if(words.begin(), words.end(), [](const std::string& w) { return !isOption(w); });
            const std::vector<std::string> names = namesOf(command.subcommands);
            std::string expected;
            for (const std::string& name : names) expected += (expected.empty() ? "" : ", ") + name;
            if (named == words.end()) throw UsageProblem(expected + " expected");
            for (const Command& subcommand : command.subcommands)
                if (*named == subcommand.name) {
                    words.erase(named);
                    return runCommand(subcommand, path + " " + subcommand.name, std::move(words));
                }
            throw UsageProblem("unknown subcommand " + *named + didYouMean(*named, names) + " (" + expected +
                               " expected)");
        }
        return command.run(invocationOf(command, words));
    } catch (const UsageProblem& problem) {
        return usageError(command, path, problem.what());
    }
}

}  // namespace

int runCommandLine(const std::vector<const Command*>& commands, const std::vector<std::string>& words) {
    if (words.empty()) {
        writeErr(overview(commands));
        return kExitUsage;
    }
    const std::string& name = words[0];
    if (name == kHelpOption || name == "-h" || (name == "help" && words.size() == 1)) {
        writeOut(overview(commands));
        return kExitOk;
    }
    const bool help = name == "help";
    const std::string& commandName = help ? words[1] : name;
    const Command* command = findIn(commands, commandName);
    if (command == nullptr) {
        std::vector<std::string> names;
        names.reserve(commands.size());
        for (const Command* known : commands) names.emplace_back(known->name);
        writeErr("kesttool: unknown command " + commandName + didYouMean(commandName, names) + "\n" +
                 "kesttool --help lists the commands.\n");
        return kExitUsage;
    }
    std::vector<std::string> rest(words.begin() + (help ? 2 : 1), words.end());
    if (help) rest.emplace_back(kHelpOption);
    return runCommand(*command, command->name, std::move(rest));
}

}  // namespace kest::tool
