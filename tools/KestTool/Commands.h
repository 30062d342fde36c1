// The subcommands of kesttool and what they share.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace kest::tool {

// A command's arguments after its name: options are taken out by name, the rest stay
// positional in order.
class Arguments {
public:
    explicit Arguments(std::vector<std::string> words) : words_(std::move(words)) {}

    bool takeFlag(const char* name);
    // "--name value"; an option without its value leaves an error.
    std::optional<std::string> takeOption(const char* name);
    // The remaining words; an unknown "--option" among them is an error.
    const std::vector<std::string>& positional();
    [[nodiscard]] bool valid() const noexcept { return error_.empty(); }
    [[nodiscard]] const std::string& error() const noexcept { return error_; }

private:
    std::vector<std::string> words_;
    std::string error_;
};

// Each returns the tool's exit status (Terminal.h).
[[nodiscard]] int listStoreCommand(Arguments& arguments);
[[nodiscard]] int listPkcs12Command(Arguments& arguments);
[[nodiscard]] int addPkcs12Command(Arguments& arguments);
[[nodiscard]] int removeCommand(Arguments& arguments);
[[nodiscard]] int markCommand(Arguments& arguments);
[[nodiscard]] int unmarkCommand(Arguments& arguments);
[[nodiscard]] int omitCommand(Arguments& arguments);
[[nodiscard]] int showErrorCommand(Arguments& arguments);
[[nodiscard]] int checkCatalogueCommand(Arguments& arguments);
[[nodiscard]] int previewCommand(Arguments& arguments);
[[nodiscard]] int logCommand(Arguments& arguments);
// "log show [<file>] [--errors]" (LogShow.cpp): files holds the file if one is given.
[[nodiscard]] int logShowCommand(const std::vector<std::string>& files, bool errorsOnly);
// The installation's log file, LogPath read through KestIni as KestLog reads it; nothing
// when KestIni gives none or an empty one (LogShow.cpp).
[[nodiscard]] std::optional<std::string> installationLogPath();
[[nodiscard]] int installDirCommand(Arguments& arguments);
[[nodiscard]] int doctorCommand(Arguments& arguments);

// A code as the commands take it: hexadecimal, at most eight digits, no prefix needed.
[[nodiscard]] bool parseCodeArgument(const std::string& text, int& code) noexcept;

// "kesttool: <command>: <problem>" and the command's usage on standard error.
[[nodiscard]] int usageError(const std::string& command, const std::string& problem);

}  // namespace kest::tool
