#include "LogReader.h"

#include <algorithm>

namespace kest::tool {
namespace {

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
    if (end == at || text.substr(end, 2) != "()") return false;
    name.assign(text.substr(at, end - at));
    at = end + 2;
    return true;
}

// Eight lower-case hexadecimal digits, as "%08x" writes them.
bool hex8(std::string_view text, std::size_t& at, unsigned& value) noexcept {
    if (text.size() < at + 8) return false;
    value = 0;
    for (std::size_t i = at; i < at + 8; ++i) {
        const char c = text[i];
        const unsigned digit = isDigit(c) ? unsigned(c - '0') : (c >= 'a' && c <= 'f') ? unsigned(c - 'a' + 10) : 16u;
        if (digit == 16u) return false;
        value = value * 16 + digit;
    }
    at += 8;
    return true;
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
        lines.push_back(std::move(pending_));
        pending_ = LogLine{};
        open_ = false;
        chunk.remove_prefix(end + 1);
    }
}

void LineSplitter::finish(std::vector<LogLine>& lines) {
    if (!open_) return;
    pending_.ended = false;
    lines.push_back(std::move(pending_));
    pending_ = LogLine{};
    open_ = false;
}

std::optional<RecordHead> parseRecordHead(std::string_view line) {
    std::size_t at = 0;
    if (!(literal(line, at, "[") && digits(line, at, 1, 2) && literal(line, at, "/") && digits(line, at, 2, 2) &&
          literal(line, at, " ") && digits(line, at, 2, 2) && literal(line, at, ":") && digits(line, at, 2, 2) &&
          literal(line, at, ":") && digits(line, at, 2, 2) && literal(line, at, "]")))
        return std::nullopt;
    const std::size_t unitEnd = line.find(',', at);
    if (unitEnd == std::string_view::npos) return std::nullopt;
    std::size_t number = unitEnd + 1;
    if (number < line.size() && line[number] == '-') ++number;
    if (!digits(line, number, 1, 10) || !literal(line, number, ",")) return std::nullopt;
    RecordHead head;
    head.time.assign(line.substr(1, at - 2));
    head.unit.assign(line.substr(at, unitEnd - at));
    head.line.assign(line.substr(unitEnd + 1, number - unitEnd - 2));
    head.text.assign(line.substr(number));
    return head;
}

std::optional<TraceError> parseTraceError(std::string_view text) {
    TraceError error;
    std::size_t at = 0;
    if (!(functionName(text, at, error.function) && literal(text, at, " = 0x") && hex8(text, at, error.code) &&
          literal(text, at, " : ")))
        return std::nullopt;
    const std::string_view detail = text.substr(at);

    std::size_t innerAt = 0;
    std::string inner;
    if (functionName(detail, innerAt, inner) && detail.substr(innerAt) == " failed") {
        error.inner = std::move(inner);
        return error;
    }
    // "message : platform() failed (0x%08x)"; the message may hold " : " itself.
    constexpr std::string_view kTail = " failed (0x";
    const std::size_t separator = detail.rfind(" : ");
    if (separator != std::string_view::npos) {
        std::size_t platformAt = separator + 3;
        std::string platform;
        unsigned lastError = 0;
        if (functionName(detail, platformAt, platform) && literal(detail, platformAt, kTail) &&
            hex8(detail, platformAt, lastError) && detail.substr(platformAt) == ")") {
            error.message.assign(detail.substr(0, separator));
            error.platformFunction = std::move(platform);
            error.lastError = lastError;
            return error;
        }
    }
    error.message.assign(detail);
    return error;
}

std::string traceStart(std::string_view text) { return traceName(text, " start"); }
std::string traceEnd(std::string_view text) { return traceName(text, " end"); }

void FailureChains::add(const RecordHead& record) {
    if (std::string started = traceStart(record.text); !started.empty()) {
        // A call at the outermost level begins: what came before it is told in full.
        if (open_.empty()) completeOpen();
        open_.push_back(std::move(started));
        return;
    }
    if (const std::string ended = traceEnd(record.text); !ended.empty()) {
        // The innermost open call of that name; calls above it whose end is missing go too.
        const auto found = std::find(open_.rbegin(), open_.rend(), ended);
        if (found != open_.rend()) open_.erase(std::prev(found.base()), open_.end());
        if (open_.empty()) completeOpen();
        return;
    }
    std::optional<TraceError> error = parseTraceError(record.text);
    if (!error) return;
    if (!error->inner.empty()) {
        // The latest chain whose top is the inner function's failure with the same code.
        for (auto chain = building_.rbegin(); chain != building_.rend(); ++chain) {
            const TraceError& top = chain->links.back().error;
            if (top.function == error->inner && top.code == error->code) {
                chain->links.push_back({record, std::move(*error)});
                return;
            }
        }
    }
    FailureChain chain;
    chain.originInLog = error->inner.empty();
    if (!open_.empty()) chain.outermost = open_.front();
    chain.links.push_back({record, std::move(*error)});
    building_.push_back(std::move(chain));
    // A log without start and end records never completes a chain by itself: keep few.
    constexpr std::size_t kMostBuilding = 64;
    if (building_.size() > kMostBuilding) {
        complete_.push_back(std::move(building_.front()));
        building_.erase(building_.begin());
    }
}

void FailureChains::completeOpen() {
    for (FailureChain& chain : building_) complete_.push_back(std::move(chain));
    building_.clear();
}

std::vector<FailureChain> FailureChains::takeComplete() {
    std::vector<FailureChain> taken;
    taken.swap(complete_);
    return taken;
}

std::vector<FailureChain> FailureChains::finish() {
    completeOpen();
    open_.clear();
    return takeComplete();
}

}  // namespace kest::tool
