// Reading a log file written by Log: physical lines out of a byte stream, the record head of
// each line, the trace records' error texts, and the failure chains they form. No platform
// call: the bytes stay as the file holds them (Shift_JIS), the command converts them.
#pragma once

#include <cstddef>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace kest::tool {

// One physical line, without its line end (CRLF or LF).
struct LogLine {
    std::string bytes;
    bool ended = true;        // false: the file stops inside the line (a cut last line)
    std::size_t leftOut = 0;  // bytes of an overlong line beyond kMaxLineBytes, not kept
    std::size_t number = 0;   // its line in the file, from 1
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
    std::size_t count_ = 0;
};

// "[M/DD hh:mm:ss]unit,line,text": the head Log writes before each message (KestLogRecord.h).
struct RecordHead {
    std::string time;  // as written, without the brackets
    std::string unit;
    std::string line;
    std::string text;  // the rest of the physical line
};
[[nodiscard]] std::optional<RecordHead> parseRecordHead(std::string_view line);

// One record's part of a physical line. A process that dies while Log writes leaves its last
// record cut, and the next run's first record follows on the same line: the line is split in
// front of every further record head ("[M/DD hh:mm:ss]" and "name.cpp,line,").
struct LogPiece {
    std::string_view bytes;  // into the line
    std::optional<RecordHead> head;
    bool cutByRecord = false;  // a later record begins right after it
    bool cut = false;          // cutByRecord, or the line itself is cut (no line end, bytes left out)
};
// The pieces of `line`, in order, into `pieces` (emptied first).
void splitRecords(const LogLine& line, std::vector<LogPiece>& pieces);

// An error record of the trace pattern (KestLogRecord.h): "function() = 0x%08x : detail",
// where the detail is either "inner() failed" (passed up), "message : platform() failed
// (0x%08x)" (a platform call failed) or the message alone (a check of its own).
struct TraceError {
    std::string function;
    unsigned code = 0;
    std::string inner;             // passed up: the inner function that failed
    std::string message;           // otherwise: the code's message (or the whole detail)
    std::string platformFunction;  // a platform call failed: its name
    unsigned lastError = 0;
    std::size_t codeDigits = 8;  // fewer when the record is cut inside the code
};
[[nodiscard]] std::optional<TraceError> parseTraceError(std::string_view text);
// The same for a record whose text is cut: what was read of it, if it is an error record as
// far as it goes (at least "function() =").
[[nodiscard]] std::optional<TraceError> parseCutTraceError(std::string_view text);

// The function of a "name() start" or "name() end" text, or empty.
[[nodiscard]] std::string traceStart(std::string_view text);
[[nodiscard]] std::string traceEnd(std::string_view text);

// One error record with where and when it was written.
struct ChainLink {
    RecordHead record;
    TraceError error;
    std::size_t fileLine = 0;
    bool cut = false;  // the record is cut: its text is what was read of it
};

// A failure as the log tells it: the record of the function that failed first, then one
// record per level that passed the code up.
struct FailureChain {
    std::vector<ChainLink> links;
    // The outermost function that was open when the first record was written (the one its
    // caller called), empty when its start record is not in the log: also when a later record
    // of a call whose start is missing (a log cut at its head) shows that it was open then.
    std::string outermost;
    // False when the first link passes up a failure whose own record is not in the log.
    bool originInLog = true;
    // The file line where the log breaks off (a cut record) while the chain was open, or 0:
    // the process that wrote it ended there, so nothing later belongs to it.
    std::size_t cutAt = 0;
    // The outermost call had not ended where the log ends (a log cut at its tail).
    bool openAtEnd = false;
    // The first record, while the chain's outermost call was open, that does not nest in the
    // calls open then: no one call stack writes it, two processes wrote the log, and which
    // calls and records are the chain's own cannot be told. fileLine 0: none.
    struct NestingBreak {
        std::size_t fileLine = 0;
        std::string function;  // the record's function
        bool failure = false;  // its error record; otherwise its end record
        std::string open;      // the innermost call open then
    } nestingBreak;
};

// The calls open, outermost first, as their start and end records tell. A call ends as the
// innermost open one of its name, found by name rather than by a walk of the stack: a log of
// many calls left open (two processes, records dropped) costs no more per record.
class OpenCalls {
public:
    void push(std::string function);
    // The innermost open call of that name ends, if one is open.
    void close(const std::string& function);
    [[nodiscard]] bool empty() const noexcept { return open_ == 0; }
    [[nodiscard]] const std::string& innermost() const { return calls_.back().function; }
    [[nodiscard]] const std::string& outermost() const { return calls_.front().function; }
    void clear();

private:
    struct Call {
        std::string function;
        bool ended = false;
    };
    std::deque<Call> calls_;  // in the order of their starts; ended ones are dropped from both ends
    std::size_t first_ = 0;   // how many were dropped from the front: calls_[i] is call first_ + i
    std::unordered_map<std::string, std::vector<std::size_t>> byName_;  // the open calls, innermost last
    std::size_t open_ = 0;
};

// Follows the records in file order: start and end records give the calls that are open,
// error records start a chain or extend the chain their inner function's failure began.
// One process writes its records as one call stack: a function ends, and reports a failure, as
// the innermost open call. A record that does not (the log has no process id: two processes'
// records interleave) breaks the nesting until no call is open; the call it ends alone is
// closed, as the other process's calls are still open.
// A log may begin inside calls (a customer's tail of it): an end or error record while no call
// is open is one of a call whose start is missing, open since the log's head and so around
// every chain before it, whose outermost call is then not in the log. A chain is therefore
// complete only where the log breaks off in a cut record or ends, or when too many wait.
class FailureChains {
public:
    // `cut`: the record breaks off (LogPiece::cut); an error record is taken as far as it was
    // read, and every open call and chain is closed there.
    void add(const RecordHead& record, std::size_t fileLine, bool cut);
    // The log breaks off at `fileLine` in a piece that is no record (a cut continuation line).
    void cutAt(std::size_t fileLine);
    // The chains complete so far, in the order their first record was written.
    [[nodiscard]] std::vector<FailureChain> takeComplete();
    // The log has ended: every chain is complete.
    [[nodiscard]] std::vector<FailureChain> finish();

private:
    struct Building {
        FailureChain chain;
        bool open = true;  // its outermost call, whose start is in the log, has not ended
    };

    void addError(const RecordHead& record, TraceError error, std::size_t fileLine, bool cut);
    void checkNesting(const std::string& function, bool failure, std::size_t fileLine);
    void noneOpen();
    void missingStart();
    void completeAll();

    OpenCalls open_;
    FailureChain::NestingBreak nestingBreak_;  // since the calls open were last none
    std::deque<Building> building_;            // in the order of their first records
    std::vector<FailureChain> complete_;
};

// What --errors sums up at its end: the failures by code with the file lines of their chains,
// and the boxes KestErr showed for codes its catalogue lacks, by code.
class ErrorSummary {
public:
    struct Entry {
        std::string message;  // the code's message from our table (Shift_JIS), or empty
        bool logged = false;  // the message is the first record's own text, in the log's encoding
        std::vector<std::size_t> lines;
    };
    // Keys: "0x%08x", or the digits read of a cut code followed by "...".
    using ByCode = std::map<std::string, Entry>;

    // `otherBoxText`: KestErr's box record as a log converted to another encoding holds it.
    explicit ErrorSummary(std::string otherBoxText = {}) : otherBoxText_(std::move(otherBoxText)) {}

    void addChain(const FailureChain& chain);
    // Every piece of the log in order: a box record and its "Code=0x" line.
    void addPiece(const LogPiece& piece, std::size_t fileLine);
    void finish();

    [[nodiscard]] const ByCode& failures() const noexcept { return failures_; }
    [[nodiscard]] const ByCode& missingBoxes() const noexcept { return boxes_; }

private:
    std::string otherBoxText_;
    ByCode failures_;
    ByCode boxes_;
    std::size_t boxLine_ = 0;  // a box record whose code line is still to come
};

// A code as the log gave it: "0x%08x", or for a cut one the digits read and "...".
[[nodiscard]] std::string codeText(const TraceError& error);

}  // namespace kest::tool
