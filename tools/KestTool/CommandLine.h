// kesttool's command line: each command is one row of the table (Main.cpp) that declares
// its operands and options once; one parser reads every command's arguments from it and
// writes the usage and help texts from it.
#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kest::tool {

struct Option {
    const char* name;   // "--json"
    const char* value;  // what the value is, "<VARIABLE>"; nullptr for a flag
    const char* help;   // one line
};

class Invocation;

struct Command {
    const char* name;
    const char* operands;  // as the usage shows them: "<file.p12>", "[<log file>]"; "" for none
    std::size_t fewestOperands;
    std::size_t mostOperands;
    const char* help;  // one or more lines, each ending in a newline
    std::vector<Option> options;
    int (*run)(const Invocation&);
    // A command with subcommands (log, omit) takes its subcommand's name as its first word;
    // each subcommand is read as a command of its own.
    std::vector<Command> subcommands;
};

inline constexpr std::size_t kAnyNumber = static_cast<std::size_t>(-1);

// The option of every command that can answer in JSON instead of text.
inline constexpr char kJsonOption[] = "--json";

// Wrong usage that only the command can see (a file of the wrong name, a code already in the
// catalogue): thrown by it, reported with its usage like the parser's own findings.
class UsageProblem : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A command's arguments as the parser read them against its row.
class Invocation {
public:
    Invocation(std::map<std::string, std::string> values, std::vector<std::string> operands)
        : values_(std::move(values)), operands_(std::move(operands)) {}

    bool flag(const char* name) const { return values_.count(name) != 0; }
    std::optional<std::string> value(const char* name) const;
    [[nodiscard]] const std::vector<std::string>& operands() const noexcept { return operands_; }
    // A code as the commands take it: hexadecimal, at most eight digits, no prefix needed.
    // Throws UsageProblem if the option's value or the operand is none.
    std::optional<int> codeValue(const char* name) const;
    [[nodiscard]] int codeOperand(std::size_t index) const;

private:
    std::map<std::string, std::string> values_;
    std::vector<std::string> operands_;
};

// Runs the command the words name (the program's arguments after its own name), or writes
// the help asked for; returns the exit status (Terminal.h).
[[nodiscard]] int runCommandLine(const std::vector<const Command*>& commands, const std::vector<std::string>& words);

// Edit distance: the characters to insert, delete or replace to turn one text into the other.
[[nodiscard]] std::size_t editDistance(std::string_view a, std::string_view b);

// The known name nearest to a mistyped one, if one is near enough to be meant.
[[nodiscard]] std::optional<std::string> nearestName(const std::string& typed, const std::vector<std::string>& known);

// A code in hexadecimal, at most eight digits, no prefix needed.
[[nodiscard]] bool parseCodeArgument(const std::string& text, int& code) noexcept;

}  // namespace kest::tool
