// kesttool log show: a log file of Log as UTF-8 text, or only its failure chains, for the
// people who support an installation and get a customer's log. The file is read as a
// stream: a log of any size costs a buffer and the chains still open. What is shown of it is
// LogView's matter; this file reads the file and writes the text.
#include "CommandLine.h"
#include "LogDestination.h"
#include "LogView.h"
#include "Platform.h"
#include "Terminal.h"
#include "TextFiles.h"

#include "KestOwners.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace kest::tool {
namespace {

constexpr std::size_t kReadSize = 1 << 20;
constexpr std::size_t kSniffSize = std::size_t{64} * 1024;
constexpr char kErrorsOption[] = "--errors";

// How to read the log: UTF-16, which log show does not read, and a UTF-8 mark are told by its
// first part; otherwise its text tells as it streams (LogView).
std::optional<LogEncoding> encodingToRead(std::string_view head) {
    std::size_t firstNul = 0;
    switch (encodingOf(head, firstNul, Reading::logHead)) {
        case Encoding::utf16Le:
        case Encoding::utf16Be:
        case Encoding::utf16NoBom: return std::nullopt;
        case Encoding::utf8WithBom: return LogEncoding::utf8;
        case Encoding::utf8:
        case Encoding::shiftJis:
        case Encoding::nulBytes: break;
    }
    return LogEncoding::byItsText;
}

int run(const Invocation& invocation) {
    const std::vector<std::string>& files = invocation.operands();
    const bool errorsOnly = invocation.flag(kErrorsOption);
    std::string path;
    if (files.empty()) {
        const std::optional<std::string> configured = installationLogPath();
        if (!configured) return reportProblem("no log file given, and the installation names none (LOG LogPath)");
        path = *configured;
    } else {
        path = files[0];
    }

    const UniqueFile file{std::fopen(path.c_str(), "rb")};
    if (!file) return reportProblem("cannot read " + path + ": " + std::strerror(errno));

    BufferedOut out(CP_UTF8);
    std::optional<LogView> view;
    const auto show = [&](LogEncoding encoding) {
        view.emplace(
            errorsOnly, encoding, [&out](std::string_view text) { out.add(text); }, &platformText);
    };
    // Said once, when the text shows it, however far into the file.
    bool toldUtf8 = false;
    const auto tellEncoding = [&] {
        if (toldUtf8 || view->encoding() != LogEncoding::utf8) return;
        toldUtf8 = true;
        writeErr("kesttool: " + path + " is not a Shift_JIS log as Log writes it: it is UTF-8 text, read as such\n");
    };
    LineSplitter splitter;
    std::vector<char> buffer(kReadSize);
    std::vector<LogLine> lines;
    for (;;) {
        const std::size_t got = std::fread(buffer.data(), 1, buffer.size(), file.get());
        if (got == 0) break;
        const std::string_view chunk(buffer.data(), got);
        if (!view) {
            const std::optional<LogEncoding> encoding = encodingToRead(chunk.substr(0, kSniffSize));
            if (!encoding) return reportProblem(path + " is not a Shift_JIS log as Log writes it: it is UTF-16 text");
            show(*encoding);
        }
        splitter.feed(chunk, lines);
        for (const LogLine& line : lines) view->line(line);
        lines.clear();
        tellEncoding();
    }
    if (std::ferror(file.get())) return reportProblem("cannot read " + path + ": " + std::strerror(errno));
    if (!view) show(LogEncoding::byItsText);
    splitter.finish(lines);
    for (const LogLine& line : lines) view->line(line);
    tellEncoding();
    view->end();
    return kExitOk;
}

}  // namespace

// A subcommand of log (Log.cpp), whose row takes it from here when the program starts: hence a
// function, so that it is made before the log's row copies it.
const Command& logShowCommand() {
    static const Command row{
        "show",
        "[<log file>]",
        0,
        1,
        "    The log file (default: the installation's LogPath) as UTF-8, one record per\n"
        "    line with time, source unit, line and text; lines that are no whole record are\n"
        "    marked !!.\n",
        {{kErrorsOption, nullptr, "only the failure chains, from the failing call up to the outermost function"}},
        &run,
        {}};
    return row;
}

}  // namespace kest::tool
