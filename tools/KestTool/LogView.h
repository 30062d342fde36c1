// What log show makes of a log file: its lines as UTF-8 text, one record per line with the
// lines that are no whole record marked "!!", or (errors only) its failure chains, from the
// failing call up to the outermost function, summed up by code at the end.
#pragma once

#include "LogReader.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace kest::tool {

// How the log's bytes are read: as Log writes them, as UTF-8 (another program's file), or as its
// first text beyond ASCII reads, wherever in the file that is (TextFiles' encodingOfLogLine).
// The lines before that text read the same either way: nothing shown waits for the judgement,
// and a log of any size is judged as it streams. A later line that reads only in the other
// encoding is shown in it, marked.
enum class LogEncoding { shiftJis, utf8, byItsText };

class LogView {
public:
    // Takes each piece of the text as it is made.
    using Sink = std::function<void(std::string_view)>;
    // The platform's own text for a last-error value, as UTF-8.
    using PlatformText = std::function<std::string(unsigned)>;

    LogView(bool errorsOnly, LogEncoding encoding, Sink out, PlatformText platformText);
    ~LogView();
    LogView(const LogView&) = delete;
    LogView& operator=(const LogView&) = delete;

    // The log's next line (LineSplitter), in file order.
    void line(const LogLine& line);
    // The log has ended: with errors only, the chains still open, the summary and the count.
    void end();
    // How the log is read: nothing while byItsText has met no text beyond ASCII yet.
    [[nodiscard]] std::optional<LogEncoding> encoding() const;

private:
    class Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace kest::tool
