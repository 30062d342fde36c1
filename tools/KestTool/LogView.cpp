// What log show makes of a log file: its lines as UTF-8 text with the odd ones marked, or only
// its failure chains and their summary by code. Fed the file's lines in order, it hands its
// text on piece by piece; the platform's text for a last error is asked of the caller.
#include "LogView.h"

#include "Terminal.h"
#include "TextFiles.h"

#include "KestErrCatalogue.h"
#include "KestResultMessages.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <utility>

namespace kest::tool {
namespace {

// The bytes of a UTF-8 sequence by its lead byte, 0 for a byte that leads none.
std::size_t utf8Length(unsigned char lead) noexcept {
    return lead < 0x80                    ? 1
           : lead >= 0xC2 && lead <= 0xDF ? 2
           : lead >= 0xE0 && lead <= 0xEF ? 3
           : lead >= 0xF0 && lead <= 0xF4 ? 4
                                          : 0;
}

// The range of the byte after a lead (RFC 3629): narrower after four leads, which leaves out
// overlong forms, surrogates and values beyond U+10FFFF, no text either.
std::pair<unsigned char, unsigned char> utf8SecondByte(unsigned char lead) noexcept {
    switch (lead) {
        case 0xE0: return {0xA0, 0xBF};
        case 0xED: return {0x80, 0x9F};
        case 0xF0: return {0x90, 0xBF};
        case 0xF4: return {0x80, 0x8F};
        default: return {0x80, 0xBF};
    }
}

// Length of the UTF-8 sequence at `at`, 0 if none is there. `cutOk`: a sequence that the end
// of the text cuts counts as one (the sniffed part of a file ends anywhere).
std::size_t utf8Sequence(std::string_view text, std::size_t at, bool cutOk) noexcept {
    const auto lead = static_cast<unsigned char>(text[at]);
    const std::size_t length = utf8Length(lead);
    for (std::size_t i = 1; i < length; ++i) {
        if (at + i >= text.size()) return cutOk ? text.size() - at : 0;
        const auto [least, most] = i == 1 ? utf8SecondByte(lead) : std::pair<unsigned char, unsigned char>{0x80, 0xBF};
        const auto byte = static_cast<unsigned char>(text[at + i]);
        if (byte < least || byte > most) return 0;
    }
    return length;
}

// Valid UTF-8 with at least one character beyond ASCII: never a Shift_JIS text of ours, whose
// lead bytes 0x81-0x9F cannot start a UTF-8 sequence.
bool readsAsUtf8(std::string_view text, bool cutOk) noexcept {
    bool beyondAscii = false;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = utf8Sequence(text, at, cutOk);
        if (length == 0) return false;
        beyondAscii = beyondAscii || length > 1;
        at += length;
    }
    return beyondAscii;
}

bool isControl(unsigned char byte) noexcept { return (byte < 0x20 && byte != '\t') || byte == 0x7F; }
bool isShiftJisLead(unsigned char byte) noexcept {
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

// One line's bytes as UTF-8 for the terminal, and what was wrong with them.
struct Text {
    std::string utf8;
    bool notShiftJis = false;
    bool notUtf8 = false;
    bool utf8Line = false;
    bool shiftJisLine = false;
    bool controlBytes = false;
};

// \xNN for a byte that is no text; a run of one byte as \xNN{count}, as a NUL-filled tail
// (a file cut by a crash) may be long.
void appendEscaped(std::string& out, std::string_view bytes, std::size_t& at) {
    const auto byte = static_cast<unsigned char>(bytes[at]);
    std::size_t run = 1;
    while (at + run < bytes.size() && static_cast<unsigned char>(bytes[at + run]) == byte) ++run;
    char escaped[32];
    if (run >= 4)
        std::snprintf(escaped, sizeof escaped, "\\x%02X{%zu}", byte, run);
    else
        std::snprintf(escaped, sizeof escaped, "\\x%02X", byte), run = 1;
    out += escaped;
    at += run;
}

bool plainAscii(std::string_view bytes) noexcept {
    return std::all_of(bytes.begin(), bytes.end(), [](char c) {
        return static_cast<unsigned char>(c) < 0x80 && !isControl(static_cast<unsigned char>(c));
    });
}

bool convertsStrictly(std::string_view bytes, UINT codePage) noexcept {
    return MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()), nullptr,
                               0) > 0;
}

bool hasControl(std::string_view bytes) noexcept {
    return std::any_of(bytes.begin(), bytes.end(), [](char c) { return isControl(static_cast<unsigned char>(c)); });
}

// The bytes of the character at `at` in the file's encoding; 0 for none (not UTF-8).
std::size_t characterLength(std::string_view bytes, std::size_t at, LogEncoding encoding) noexcept {
    if (encoding == LogEncoding::utf8) return utf8Sequence(bytes, at, false);
    return isShiftJisLead(static_cast<unsigned char>(bytes[at])) && at + 1 < bytes.size() ? 2 : 1;
}

// Character by character: what does not convert is shown as its bytes.
void appendCharacters(std::string_view bytes, LogEncoding encoding, bool cut, Text& text) {
    for (std::size_t at = 0; at < bytes.size();) {
        const auto byte = static_cast<unsigned char>(bytes[at]);
        if (isControl(byte)) {
            text.controlBytes = true;
            appendEscaped(text.utf8, bytes, at);
            continue;
        }
        if (byte < 0x80) {
            text.utf8 += static_cast<char>(byte);
            ++at;
            continue;
        }
        const std::size_t length = characterLength(bytes, at, encoding);
        const std::string_view character = bytes.substr(at, length == 0 ? 1 : length);
        if (length != 0 && convertsStrictly(character, encoding == LogEncoding::utf8 ? CP_UTF8 : kMessageCodePage)) {
            text.utf8 += encoding == LogEncoding::utf8 ? std::string(character) : toUtf8(character, kMessageCodePage);
            at += character.size();
            continue;
        }
        const bool cutCharacter =
            cut && at + 1 == bytes.size() && encoding == LogEncoding::shiftJis && isShiftJisLead(byte);
        if (!cutCharacter) (encoding == LogEncoding::utf8 ? text.notUtf8 : text.notShiftJis) = true;
        appendEscaped(text.utf8, bytes, at);
    }
}

// `cut`: the text breaks off (a cut record), so a lead byte at its end lost its second byte
// there; it is shown as its byte without calling the text "not Shift_JIS".
Text textOf(std::string_view bytes, LogEncoding encoding, bool cut = false) {
    Text text;
    if (plainAscii(bytes)) {
        text.utf8.assign(bytes);
        return text;
    }
    if (!hasControl(bytes)) {
        if (encoding == LogEncoding::utf8 && readsAsUtf8(bytes, false)) {
            text.utf8.assign(bytes);
            return text;
        }
        if (encoding == LogEncoding::shiftJis && convertsStrictly(bytes, kMessageCodePage)) {
            text.utf8 = toUtf8(bytes, kMessageCodePage);
            return text;
        }
        // A line that another program wrote in UTF-8 among ours.
        if (encoding == LogEncoding::shiftJis && readsAsUtf8(bytes, false)) {
            text.utf8.assign(bytes);
            text.utf8Line = true;
            return text;
        }
        // A line of ours among those of a log converted to UTF-8.
        if (encoding == LogEncoding::utf8 && convertsStrictly(bytes, kMessageCodePage)) {
            text.utf8 = toUtf8(bytes, kMessageCodePage);
            text.shiftJisLine = true;
            return text;
        }
    }
    appendCharacters(bytes, encoding, cut, text);
    return text;
}

// The sink as a stream.
struct Out {
    LogView::Sink sink;
    Out& operator<<(std::string_view text) {
        sink(text);
        return *this;
    }
};

}  // namespace

class LogView::Impl {
public:
    Impl(bool errorsOnly, LogEncoding encoding, Sink out, PlatformText platformText)
        : errorsOnly_(errorsOnly),
          encoding_(encoding == LogEncoding::byItsText ? LogEncoding::shiftJis : encoding),
          judged_(encoding != LogEncoding::byItsText),
          out_{std::move(out)},
          platformText_(std::move(platformText)),
          summary_(boxTextInUtf8()) {}

    void line(const LogLine& line) {
        splitRecords(line, pieces_);
        for (std::size_t i = 0; i < pieces_.size(); ++i) {
            judge(pieces_[i].bytes);
            piece(line, pieces_[i], i + 1 == pieces_.size());
        }
    }

    [[nodiscard]] std::optional<LogEncoding> encoding() const {
        return judged_ ? std::optional<LogEncoding>(encoding_) : std::nullopt;
    }

    void end() {
        if (!errorsOnly_) return;
        for (const FailureChain& chain : chains_.finish()) printChain(chain);
        summary_.finish();
        printSummary();
        std::string summary = std::to_string(chains_printed_) + (chains_printed_ == 1 ? " failure" : " failures") +
                              " in " + std::to_string(records_) + (records_ == 1 ? " record" : " records");
        if (notWhole_ > 0)
            summary += "; " + std::to_string(notWhole_) +
                       (notWhole_ == 1 ? " line that is no whole record" : " lines that are no whole records") +
                       " left out (log show marks them)";
        out_ << summary << "\n";
    }

private:
    // KestErr's box record as UTF-8: in a log converted to it, and in the summary's heading.
    static std::string boxTextInUtf8() {
        const std::string_view notFound(catalogue::kNotFoundText);
        return toUtf8(notFound.substr(0, notFound.find('\n')), kMessageCodePage);
    }

    void judge(std::string_view bytes) {
        if (judged_) return;
        if (const std::optional<Encoding> found = encodingOfLogLine(bytes)) {
            encoding_ = *found == Encoding::utf8 ? LogEncoding::utf8 : LogEncoding::shiftJis;
            judged_ = true;
        }
    }

    void piece(const LogLine& line, const LogPiece& piece, bool last) {
        const bool continued = !piece.head && seenRecord_;
        if (piece.head) {
            ++records_;
            seenRecord_ = true;
        }
        if (!errorsOnly_) {
            printPiece(line, piece, continued, last);
            if ((!piece.head && !continued) || piece.cut) ++notWhole_;
            return;
        }
        summary_.addPiece(piece, line.number);
        if (piece.head)
            chains_.add(*piece.head, line.number, piece.cut);
        else if (piece.cut)
            chains_.cutAt(line.number);
        // A cut error record is shown in its chain: only the others are left out.
        const bool shownCut = piece.cut && piece.head && parseCutTraceError(piece.head->text);
        if (((!piece.head && !continued) || piece.cut) && !shownCut) ++notWhole_;
        for (const FailureChain& chain : chains_.takeComplete()) printChain(chain);
    }

    void printPiece(const LogLine& line, const LogPiece& piece, bool continued, bool last) {
        const std::optional<RecordHead>& head = piece.head;
        const Text text = textOf(head ? std::string_view(head->text) : piece.bytes, encoding_, piece.cut);
        std::string marks;
        const auto mark = [&marks](const std::string& what) { marks += (marks.empty() ? "" : ", ") + what; };
        if (!head && !continued) mark("not a record");
        if (piece.cutByRecord) mark("cut: a later record begins inside the line");
        if (last && !line.ended) mark("cut: no line end");
        if (last && line.leftOut > 0) mark(std::to_string(line.leftOut) + " more bytes left out");
        if (text.notShiftJis) mark("not Shift_JIS");
        if (text.notUtf8) mark("not UTF-8");
        if (text.utf8Line) mark("UTF-8, not Shift_JIS");
        if (text.shiftJisLine) mark("Shift_JIS, not UTF-8");
        if (text.controlBytes) mark("control bytes");
        if (!marks.empty()) out_ << "!! " << marks << ": ";
        if (head)
            out_ << head->time << "  " << textOf(head->unit, encoding_).utf8 << ":" << head->line << "  ";
        else if (continued)
            out_ << "    | ";
        out_ << text.utf8 << "\n";
    }

    void printChain(const FailureChain& chain) {
        ++chains_printed_;
        summary_.addChain(chain);
        const ChainLink& first = chain.links.front();
        const std::string code = codeText(first.error);
        const bool codeWhole = first.error.codeDigits >= 8;
        // An origin's own message, which may say more than the code's (which setting); for a
        // cut one, and for a code passed up, the code's message from our table, in Shift_JIS
        // whatever the log's encoding.
        std::string message;
        if (first.error.inner.empty() && !first.cut) message = textOf(first.error.message, encoding_).utf8;
        if (message.empty() && codeWhole) message = toUtf8(resultMessage(first.error.code), kMessageCodePage);
        if (message.empty() && first.cut) message = "(the record breaks off before its message)";
        if (message.empty()) message = "(a code without a message of ours)";
        if (chains_printed_ > 1) out_ << "\n";
        out_ << "failure " << code << " at line " << std::to_string(first.fileLine) << ": " << message << "\n";
        if (!chain.originInLog) out_ << "  (the record of " << first.error.inner << "() failing is not in the log)\n";
        for (const ChainLink& link : chain.links) {
            out_ << "  " << link.record.time << "  " << textOf(link.record.unit, encoding_).utf8 << ":"
                 << link.record.line << "  " << link.error.function << "()";
            if (!link.error.inner.empty())
                out_ << ": " << link.error.inner << "() failed";
            else
                out_ << " failed";
            // A cut record: what was read of its text after the code, unless it named the inner
            // function whole.
            if (link.cut && link.error.inner.empty() && !link.error.message.empty())
                out_ << " [cut, read: " << textOf(link.error.message, encoding_, true).utf8 << "]";
            else if (link.cut)
                out_ << " [cut]";
            out_ << "\n";
            if (!link.error.platformFunction.empty())
                out_ << "      " << link.error.platformFunction << "() failed, last error "
                     << hexCode(link.error.lastError) << ": " << platformText_(link.error.lastError) << "\n";
        }
        printOutermost(chain, code);
    }

    // Which call the host made, by the start and end records, and whether it passed the code on.
    void printOutermost(const FailureChain& chain, const std::string& code) {
        const ChainLink& top = chain.links.back();
        const std::string lastReported = "last reported by " + top.error.function + "()";
        if (const FailureChain::NestingBreak& tangle = chain.nestingBreak; tangle.fileLine != 0) {
            // Two processes' calls: naming one of those open would be a guess.
            out_ << "  outermost: uncertain";
            if (chain.cutAt != 0) out_ << ", the log breaks off at line " << std::to_string(chain.cutAt);
            out_ << " (" << lastReported << ")\n"
                 << "  uncertain because at line " << std::to_string(tangle.fileLine) << " " << tangle.function << "() "
                 << (tangle.failure ? "reports a failure" : "ends") << " while " << tangle.open
                 << "() is open, which the calls of one process never do: two processes wrote into this log (two "
                    "hosts, or a host and kesttool), and it does not say which records are whose\n";
        } else if (chain.cutAt != 0) {
            // The process ended inside a record: whatever the log holds later is another run's.
            out_ << "  outermost: "
                 << (chain.outermost.empty() ? std::string("not in the log (the call's start record is missing)")
                                             : chain.outermost + "(), still open")
                 << " where the log breaks off at line " << std::to_string(chain.cutAt) << " (" << lastReported
                 << ")\n";
        } else if (chain.openAtEnd) {
            // A log cut at its tail: whether the call passed the failure on is not in it.
            out_ << "  outermost: " << chain.outermost << "(), still open where the log ends (" << lastReported
                 << ")\n";
        } else if (chain.outermost.empty()) {
            out_ << "  outermost: not in the log (the call's start record is missing); " << lastReported << "\n";
        } else if (chain.outermost == top.error.function) {
            out_ << "  outermost: " << chain.outermost << "(), which returned " << code << " to its caller\n";
        } else {
            out_ << "  outermost: " << chain.outermost << "(), which did not pass the failure on (" << lastReported
                 << ")\n";
        }
    }

    // A code's message in the summary: the log's text, or our table's in Shift_JIS.
    [[nodiscard]] std::string messageText(const ErrorSummary::Entry& entry) const {
        return entry.logged ? textOf(entry.message, encoding_).utf8 : toUtf8(entry.message, kMessageCodePage);
    }

    // Each code once, with how often, its message and the file line of each of its chains; then
    // the boxes that had no message to show, by code. Every line is listed: a support engineer
    // goes to them.
    void printSummary() {
        const auto lines = [](const std::vector<std::size_t>& numbers) {
            std::string text = numbers.size() == 1 ? "line " : "lines ";
            for (std::size_t i = 0; i < numbers.size(); ++i) text += (i == 0 ? "" : ", ") + std::to_string(numbers[i]);
            return text;
        };
        const auto count = [](std::size_t n, const char* one, const char* many) {
            return std::to_string(n) + " " + (n == 1 ? one : many);
        };
        if (!summary_.failures().empty()) {
            out_ << "\nfailures by code:\n";
            for (const auto& [code, entry] : summary_.failures()) {
                out_ << "  " << code << "  " << count(entry.lines.size(), "failure", "failures");
                if (!entry.message.empty()) out_ << ": " << messageText(entry);
                out_ << "\n    " << lines(entry.lines) << "\n";
            }
        }
        if (!summary_.missingBoxes().empty()) {
            out_ << (chains_printed_ > 0 ? "\n" : "") << "boxes for codes the catalogue lacks (" << boxTextInUtf8()
                 << "):\n";
            for (const auto& [code, entry] : summary_.missingBoxes())
                out_ << "  " << code << "  " << count(entry.lines.size(), "box", "boxes") << "\n    "
                     << lines(entry.lines) << "\n";
        }
        if (!summary_.failures().empty() || !summary_.missingBoxes().empty()) out_ << "\n";
    }

    bool errorsOnly_;
    LogEncoding encoding_;  // as judged so far: Shift_JIS until byItsText meets text beyond ASCII
    bool judged_;
    Out out_;
    PlatformText platformText_;
    FailureChains chains_;
    ErrorSummary summary_;
    std::vector<LogPiece> pieces_;
    bool seenRecord_ = false;
    unsigned long long records_ = 0;
    unsigned long long notWhole_ = 0;
    unsigned long long chains_printed_ = 0;
};

LogView::LogView(bool errorsOnly, LogEncoding encoding, Sink out, PlatformText platformText)
    : impl_(std::make_unique<Impl>(errorsOnly, encoding, std::move(out), std::move(platformText))) {}
LogView::~LogView() = default;
void LogView::line(const LogLine& line) { impl_->line(line); }
void LogView::end() { impl_->end(); }
std::optional<LogEncoding> LogView::encoding() const { return impl_->encoding(); }

}  // namespace kest::tool
