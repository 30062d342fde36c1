// Reading a log file written by Log: physical lines out of a byte stream, the record head of
// each line, the trace records' error texts, and the failure chains they form. No platform
// call: the bytes stay as the file holds them (Shift_JIS), the command converts them.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kest::tool {

// One physical line, without its line end (CRLF or LF).
struct LogLine {
    std::string bytes;
    bool ended = true;        // false: the file stops inside the line (a cut last line)
    std::size_t leftOut = 0;  // bytes of an overlong line beyond kMaxLineBytes, not kept
};

// Cuts a stream into lines, keeping at most kMaxLineBytes of each, so that a file without
// line ends (binary data) costs no more memory than that.
class LineSplitter {
public:
    static constexpr std::size_t kMaxLineBytes = 1 << 20;

    // Adds the next bytes of the file; the lines completed so far are appended to `lines`.
    void feed(std::string_view chunk, std::vector<LogLine>& lines);
    // The file has ended: a line without line end, if any, is appended.
    void finish(std::vector<LogLine>& lines);

private:
    LogLine pending_;
    bool open_ = false;
    bool lastWasCr_ = false;
};

// "[M/DD hh:mm:ss]unit,line,text": the head Log writes before each message.
struct RecordHead {
    std::string time;  // as written, without the brackets
    std::string unit;
    std::string line;
    std::string text;  // the rest of the physical line
};
[[nodiscard]] std::optional<RecordHead> parseRecordHead(std::string_view line);

// An error record of the trace pattern: "function() = 0x%08x : detail", where the detail is
// either "inner() failed" (passed up), "message : platform() failed (0x%08x)" (a platform
// call failed) or the message alone (a check of its own).
struct TraceError {
    std::string function;
    unsigned code = 0;
    std::string inner;             // passed up: the inner function that failed
    std::string message;           // otherwise: the code's message (or the whole detail)
    std::string platformFunction;  // a platform call failed: its name
    unsigned lastError = 0;
};
[[nodiscard]] std::optional<TraceError> parseTraceError(std::string_view text);

// The function of a "name() start" or "name() end" text, or empty.
[[nodiscard]] std::string traceStart(std::string_view text);
[[nodiscard]] std::string traceEnd(std::string_view text);

// One error record with where and when it was written.
struct ChainLink {
    RecordHead record;
    TraceError error;
};

// A failure as the log tells it: the record of the function that failed first, then one
// record per level that passed the code up.
struct FailureChain {
    std::vector<ChainLink> links;
    // The outermost function that was open when the first record was written (the one its
    // caller called), empty when its start record is not in the log.
    std::string outermost;
    // False when the first link passes up a failure whose own record is not in the log.
    bool originInLog = true;
};

// Follows the records in file order: start and end records give the calls that are open,
// error records start a chain or extend the chain their inner function's failure began.
// A chain is complete once the outermost call of its time has ended (or the log ends).
class FailureChains {
public:
    void add(const RecordHead& record);
    // The chains complete so far, in the order their first record was written.
    [[nodiscard]] std::vector<FailureChain> takeComplete();
    // The log has ended: every chain is complete.
    [[nodiscard]] std::vector<FailureChain> finish();

private:
    void completeOpen();

    std::vector<std::string> open_;  // functions started and not ended, outermost first
    std::vector<FailureChain> building_;
    std::vector<FailureChain> complete_;
};

}  // namespace kest::tool
