#include "LogReader.h"

#include "KestErrCatalogue.h"
#include "KestLogRecord.h"
#include "KestResultMessages.h"
#include "Terminal.h"

#include <algorithm>
#include <iterator>
#include <cstdio>

namespace kest::tool {
namespace {

using record::kCall;
using record::kCodeLead;
using record::kDetailSeparator;
using record::kFailed;
using record::kFieldSeparator;

bool isDigit(char c) noexcept { return c >= '0' && c <= '9'; }
bool isNameChar(char c) noexcept { return isDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }

// Digits from `at`, between `least` and `most` of them; moves `at` past them.
bool digits(std::string_view text, std::size_t& at, std::size_t least, std::size_t most) noexcept {
    std::size_t count = 0;
    while (at + count < text.size() && count < most && isDigit(text[at + count])) ++count;
    at += count;
    return count >= least;
}

bool literal(std::string_view text, std::size_t& at, std::string_view expected) noexcept {
    if (text.substr(at, expected.size()) != expected) return false;
    at += expected.size();
    return true;
}

// A function name followed by "()"; moves `at` past both.
bool functionName(std::string_view text, std::size_t& at, std::string& name) {
    std::size_t end = at;
    while (end < text.size() && isNameChar(text[end])) ++end;
    constexpr std::string_view kCallText(kCall);
    if (end == at || text.substr(end, kCallText.size()) != kCallText) return false;
    name.assign(text.substr(at, end - at));
    at = end + kCallText.size();
    return true;
}

// The time in brackets as the head's format writes it: a month of one or two digits, every
// other number of two.
bool recordTime(std::string_view line, std::size_t& at) noexcept {
    constexpr std::string_view kFormat = record::kTimeFormat.view();
    constexpr std::string_view kMonth(record::kMonthFormat);
    constexpr std::string_view kTwoDigits(record::kTwoDigitsFormat);
    for (std::size_t from = 0; from < kFormat.size();) {
        const std::string_view rest = kFormat.substr(from);
        if (rest.substr(0, kTwoDigits.size()) == kTwoDigits) {
            if (!digits(line, at, 2, 2)) return false;
            from += kTwoDigits.size();
        } else if (rest.substr(0, kMonth.size()) == kMonth) {
            if (!digits(line, at, 1, 2)) return false;
            from += kMonth.size();
        } else {
            if (at >= line.size() || line[at] != kFormat[from]) return false;
            ++at;
            ++from;
        }
    }
    return true;
}

// A lower-case hexadecimal digit's value, as "%08x" writes it; 16 for any other byte.
unsigned hexDigit(char c) noexcept {
    return isDigit(c) ? unsigned(c - '0') : (c >= 'a' && c <= 'f') ? unsigned(c - 'a' + 10) : 16u;
}

// Up to `most` hexadecimal digits from `at`; moves `at` past them and gives their count.
std::size_t hexRun(std::string_view text, std::size_t& at, std::size_t most, unsigned& value) noexcept {
    std::size_t count = 0;
    value = 0;
    while (count < most && at < text.size() && hexDigit(text[at]) < 16u) {
        value = value * 16 + hexDigit(text[at]);
        ++at;
        ++count;
    }
    return count;
}

// Eight lower-case hexadecimal digits, as "%08x" writes them.
bool hex8(std::string_view text, std::size_t& at, unsigned& value) noexcept {
    std::size_t end = at;
    if (hexRun(text, end, 8, value) != 8) return false;
    at = end;
    return true;
}

// `text` is the start of `whole`, as much of it as a cut record holds.
bool startOf(std::string_view whole, std::string_view text) noexcept {
    return text.size() <= whole.size() && whole.substr(0, text.size()) == text;
}

// The base name of a source file, as callers of Log pass it: name characters and dots,
// ending in a C or C++ extension. A second record head in a line must have one, so that a
// message quoting a time in brackets is not taken for a record.
bool sourceUnit(std::string_view unit) noexcept {
    const std::size_t dot = unit.rfind('.');
    if (dot == std::string_view::npos || dot == 0) return false;
    if (!std::all_of(unit.begin(), unit.end(), [](char c) { return isNameChar(c) || c == '.' || c == '-'; }))
        return false;
    std::string extension(unit.substr(dot + 1));
    for (char& c : extension)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    constexpr std::string_view kSourceExtensions[] = {"c", "cc", "cpp", "cxx", "h", "hpp"};
    return std::any_of(std::begin(kSourceExtensions), std::end(kSourceExtensions),
                       [&](std::string_view known) { return extension == known; });
}

// A record head at `at` whose unit is a source unit, read no further than the head: a line
// of many "[" is not read to its end from each.
bool sourceUnitHeadAt(std::string_view line, std::size_t at) noexcept {
    if (!recordTime(line, at)) return false;
    std::size_t unitEnd = at;
    while (unitEnd < line.size() && (isNameChar(line[unitEnd]) || line[unitEnd] == '.' || line[unitEnd] == '-'))
        ++unitEnd;
    if (unitEnd >= line.size() || line[unitEnd] != kFieldSeparator || !sourceUnit(line.substr(at, unitEnd - at)))
        return false;
    std::size_t number = unitEnd + 1;
    if (number < line.size() && line[number] == '-') ++number;
    return digits(line, number, 1, 10) && number < line.size() && line[number] == kFieldSeparator;
}

// The detail of an error record after " : ": an inner function's failure passed up, a
// platform call's failure, or the message alone.
void parseDetail(std::string_view detail, TraceError& error) {
    std::size_t innerAt = 0;
    std::string inner;
    if (functionName(detail, innerAt, inner) && detail.substr(innerAt) == kFailed) {
        error.inner = std::move(inner);
        return;
    }
    // "message : platform() failed (0x%08x)"; the message may hold " : " itself.
    constexpr std::string_view kSeparator(kDetailSeparator);
    const std::size_t separator = detail.rfind(kSeparator);
    if (separator != std::string_view::npos) {
        std::size_t platformAt = separator + kSeparator.size();
        std::string platform;
        unsigned lastError = 0;
        if (functionName(detail, platformAt, platform) && literal(detail, platformAt, kFailed) &&
            literal(detail, platformAt, record::kLastErrorOpen) && hex8(detail, platformAt, lastError) &&
            detail.substr(platformAt) == record::kLastErrorClose) {
            error.message.assign(detail.substr(0, separator));
            error.platformFunction = std::move(platform);
            error.lastError = lastError;
            return;
        }
    }
    error.message.assign(detail);
}

std::string traceName(std::string_view text, std::string_view suffix) {
    std::size_t at = 0;
    std::string name;
    if (!functionName(text, at, name) || text.substr(at) != suffix) return {};
    return name;
}

}  // namespace

void LineSplitter::feed(std::string_view chunk, std::vector<LogLine>& lines) {
    while (!chunk.empty()) {
        const std::size_t end = chunk.find('\n');
        const std::string_view part = chunk.substr(0, end);
        const std::size_t room = kMaxLineBytes - pending_.bytes.size();
        pending_.bytes.append(part.substr(0, room));
        if (part.size() > room) pending_.leftOut += part.size() - room;
        if (!part.empty()) lastWasCr_ = part.back() == '\r';
        open_ = true;
        if (end == std::string_view::npos) return;
        // CRLF as the text-mode stream writes it; a lone LF ends a line as well. Once a
        // line is over the limit, its last byte is among those left out.
        if (lastWasCr_) {
            if (pending_.leftOut > 0)
                --pending_.leftOut;
            else
                pending_.bytes.pop_back();
        }
        lastWasCr_ = false;
        pending_.number = ++count_;
        lines.push_back(std::move(pending_));
        pending_ = LogLine{};
        open_ = false;
        chunk.remove_prefix(end + 1);
    }
}

void LineSplitter::finish(std::vector<LogLine>& lines) {
    if (!open_) return;
    pending_.ended = false;
    pending_.number = ++count_;
    lines.push_back(std::move(pending_));
    pending_ = LogLine{};
    open_ = false;
}

std::optional<RecordHead> parseRecordHead(std::string_view line) {
    std::size_t at = 0;
    if (!recordTime(line, at)) return std::nullopt;
    const std::size_t unitEnd = line.find(kFieldSeparator, at);
    if (unitEnd == std::string_view::npos) return std::nullopt;
    std::size_t number = unitEnd + 1;
    if (number < line.size() && line[number] == '-') ++number;
    if (!digits(line, number, 1, 10) || number >= line.size() || line[number] != kFieldSeparator) return std::nullopt;
    ++number;
    RecordHead head;
    head.time.assign(line.substr(1, at - 2));
    head.unit.assign(line.substr(at, unitEnd - at));
    head.line.assign(line.substr(unitEnd + 1, number - unitEnd - 2));
    head.text.assign(line.substr(number));
    return head;
}

void splitRecords(const LogLine& line, std::vector<LogPiece>& pieces) {
    pieces.clear();
    const std::string_view bytes(line.bytes);
    std::size_t start = 0;
    // Byte by byte, not by Shift_JIS characters: the cut may leave a lead byte, which would
    // take the next record's "[" as its second byte.
    constexpr char kOpen = record::kTimeOpen[0];
    for (std::size_t at = bytes.find(kOpen, 1); at != std::string_view::npos; at = bytes.find(kOpen, at + 1)) {
        if (!sourceUnitHeadAt(bytes, at)) continue;
        LogPiece piece;
        piece.bytes = bytes.substr(start, at - start);
        piece.head = parseRecordHead(piece.bytes);
        piece.cutByRecord = true;
        piece.cut = true;
        pieces.push_back(std::move(piece));
        start = at;
    }
    LogPiece last;
    last.bytes = bytes.substr(start);
    last.head = parseRecordHead(last.bytes);
    last.cut = !line.ended || line.leftOut > 0;
    pieces.push_back(std::move(last));
}

std::optional<TraceError> parseTraceError(std::string_view text) {
    TraceError error;
    std::size_t at = 0;
    if (!(functionName(text, at, error.function) && literal(text, at, kCodeLead) && hex8(text, at, error.code) &&
          literal(text, at, kDetailSeparator)))
        return std::nullopt;
    parseDetail(text.substr(at), error);
    return error;
}

std::optional<TraceError> parseCutTraceError(std::string_view text) {
    TraceError error;
    std::size_t at = 0;
    if (!functionName(text, at, error.function)) return std::nullopt;
    constexpr std::string_view kEquals(kCodeLead);
    const std::string_view rest = text.substr(at);
    if (rest.size() < kEquals.size()) {
        // "function() =" at least: a start or end record reads "function() s" or "function() e".
        if (rest.size() < 2 || !startOf(kEquals, rest)) return std::nullopt;
        error.codeDigits = 0;
        return error;
    }
    if (!literal(text, at, kEquals)) return std::nullopt;
    error.codeDigits = hexRun(text, at, 8, error.code);
    if (error.codeDigits < 8) return at == text.size() ? std::optional<TraceError>(error) : std::nullopt;
    constexpr std::string_view kSeparator(kDetailSeparator);
    if (text.size() - at < kSeparator.size()) {
        if (!startOf(kSeparator, text.substr(at))) return std::nullopt;
        return error;
    }
    if (!literal(text, at, kSeparator)) return std::nullopt;
    const std::string_view detail = text.substr(at);
    // "inner() fai": the inner function is named whole.
    std::size_t innerAt = 0;
    std::string inner;
    if (functionName(detail, innerAt, inner) && startOf(kFailed, detail.substr(innerAt))) {
        error.inner = std::move(inner);
        return error;
    }
    parseDetail(detail, error);
    return error;
}

std::string traceStart(std::string_view text) { return traceName(text, record::kStart); }
std::string traceEnd(std::string_view text) { return traceName(text, record::kEnd); }

void OpenCalls::push(std::string function) {
    byName_[function].push_back(first_ + calls_.size());
    calls_.push_back({std::move(function), false});
    ++open_;
}

void OpenCalls::close(const std::string& function) {
    const auto found = byName_.find(function);
    if (found == byName_.end()) return;
    calls_[found->second.back() - first_].ended = true;
    found->second.pop_back();
    if (found->second.empty()) byName_.erase(found);
    --open_;
    while (!calls_.empty() && calls_.back().ended) calls_.pop_back();
    while (!calls_.empty() && calls_.front().ended) {
        calls_.pop_front();
        ++first_;
    }
}

void OpenCalls::clear() {
    calls_.clear();
    byName_.clear();
    first_ = 0;
    open_ = 0;
}

void FailureChains::add(const RecordHead& record, std::size_t fileLine, bool cut) {
    if (cut) {
        // The run that wrote it ends here; the record tells nothing of the calls around it.
        if (std::optional<TraceError> error = parseCutTraceError(record.text))
            addError(record, std::move(*error), fileLine, true);
        cutAt(fileLine);
        return;
    }
    if (std::string started = traceStart(record.text); !started.empty()) {
        open_.push(std::move(started));
    } else if (const std::string ended = traceEnd(record.text); !ended.empty()) {
        if (open_.empty()) {
            missingStart();
        } else {
            checkNesting(ended, false, fileLine);
            open_.close(ended);
            if (open_.empty()) noneOpen();
        }
    } else if (std::optional<TraceError> error = parseTraceError(record.text)) {
        if (open_.empty())
            missingStart();
        else
            checkNesting(error->function, true, fileLine);
        addError(record, std::move(*error), fileLine, false);
    }
    // A log that never shows a call whose start is missing keeps its chains to its end: keep few,
    // and tell them in the order their first records came.
    constexpr std::size_t kMostBuilding = 64;
    while (building_.size() > kMostBuilding) {
        complete_.push_back(std::move(building_.front().chain));
        building_.pop_front();
    }
}

void FailureChains::checkNesting(const std::string& function, bool failure, std::size_t fileLine) {
    if (open_.innermost() == function) return;
    const FailureChain::NestingBreak found{fileLine, function, failure, open_.innermost()};
    if (nestingBreak_.fileLine == 0) nestingBreak_ = found;
    for (Building& building : building_)
        if (building.open && building.chain.nestingBreak.fileLine == 0) building.chain.nestingBreak = found;
}

void FailureChains::noneOpen() {
    for (Building& building : building_) building.open = false;
    nestingBreak_ = {};
}

void FailureChains::missingStart() {
    // Its call was open since the head of the log, around every chain so far.
    for (Building& building : building_) building.chain.outermost.clear();
}

void FailureChains::cutAt(std::size_t fileLine) {
    // Not a chain whose outermost call was seen to end: that call is whole.
    for (Building& building : building_)
        if (building.open || building.chain.outermost.empty()) building.chain.cutAt = fileLine;
    completeAll();
}

void FailureChains::addError(const RecordHead& record, TraceError error, std::size_t fileLine, bool cut) {
    // Passed up by a call outside every call that was open: its start is missing.
    const auto join = [&](Building& building) {
        if (!building.open) building.chain.outermost.clear();
        building.chain.links.push_back({record, std::move(error), fileLine, cut});
    };
    if (!error.inner.empty()) {
        // The latest chain whose top is the inner function's failure with the same code.
        for (auto building = building_.rbegin(); building != building_.rend(); ++building) {
            const TraceError& top = building->chain.links.back().error;
            if (top.function == error.inner && top.code == error.code && top.codeDigits == 8 && error.codeDigits == 8) {
                join(*building);
                return;
            }
        }
    }
    if (cut && error.inner.empty() && error.codeDigits == 8) {
        // Cut inside the inner function's name: the chain whose top that name begins.
        for (auto building = building_.rbegin(); building != building_.rend(); ++building) {
            const TraceError& top = building->chain.links.back().error;
            if (top.code == error.code && !error.message.empty() &&
                startOf(top.function + kCall + kFailed, error.message)) {
                join(*building);
                return;
            }
        }
    }
    Building building;
    FailureChain& chain = building.chain;
    chain.originInLog = error.inner.empty();
    if (!open_.empty()) chain.outermost = open_.outermost();
    chain.nestingBreak = nestingBreak_;
    chain.links.push_back({record, std::move(error), fileLine, cut});
    building.open = !open_.empty();
    building_.push_back(std::move(building));
}

void FailureChains::completeAll() {
    for (Building& building : building_) complete_.push_back(std::move(building.chain));
    building_.clear();
    open_.clear();
    nestingBreak_ = {};
}

std::vector<FailureChain> FailureChains::takeComplete() {
    std::vector<FailureChain> taken;
    taken.swap(complete_);
    return taken;
}

std::vector<FailureChain> FailureChains::finish() {
    for (Building& building : building_)
        if (building.open) building.chain.openAtEnd = true;
    completeAll();
    return takeComplete();
}

std::string codeText(const TraceError& error) {
    if (error.codeDigits >= 8) return hexCode(error.code);
    if (error.codeDigits == 0) return "(cut before its code)";
    char digits[16];
    std::snprintf(digits, sizeof digits, "%0*x", static_cast<int>(error.codeDigits), error.code);
    return "0x" + std::string(digits) + "...";
}

void ErrorSummary::addChain(const FailureChain& chain) {
    const ChainLink& first = chain.links.front();
    Entry& entry = failures_[codeText(first.error)];
    if (entry.lines.empty() && first.error.codeDigits >= 8) {
        entry.message = resultMessage(first.error.code);
        // A code outside our table: what its own record said, if it is in the log whole.
        if (entry.message.empty() && first.error.inner.empty() && !first.cut) {
            entry.message = first.error.message;
            entry.logged = true;
        }
    }
    entry.lines.push_back(first.fileLine);
}

void ErrorSummary::addPiece(const LogPiece& piece, std::size_t fileLine) {
    constexpr std::string_view kNotFound(catalogue::kNotFoundText);
    constexpr std::string_view kBoxText = kNotFound.substr(0, kNotFound.find('\n'));
    constexpr std::string_view kLabel(catalogue::kCodeLabel);
    if (boxLine_ != 0) {
        // The box record's second line: "Code=0x" and the code as "%08x" writes it.
        std::string code = "(cut before its code)";
        if (!piece.head && piece.bytes.substr(0, kLabel.size()) == kLabel) {
            std::size_t at = kLabel.size();
            unsigned value = 0;
            const std::size_t count = hexRun(piece.bytes, at, 8, value);
            if (count > 0) {
                TraceError read;
                read.code = value;
                read.codeDigits = count;
                code = codeText(read);
            }
        }
        boxes_[code].lines.push_back(boxLine_);
        boxLine_ = 0;
    }
    if (piece.head && !piece.cut &&
        (piece.head->text == kBoxText || (!otherBoxText_.empty() && piece.head->text == otherBoxText_)))
        boxLine_ = fileLine;
}

void ErrorSummary::finish() {
    if (boxLine_ != 0) boxes_["(cut before its code)"].lines.push_back(boxLine_);
    boxLine_ = 0;
}

}  // namespace kest::tool
