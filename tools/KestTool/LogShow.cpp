// kesttool log show: a log file of Log as UTF-8 text, or only its failure chains, for the
// people who support an installation and get a customer's log. The file is read as a
// stream: a log of any size costs a buffer and the chains still open.
#include "Commands.h"
#include "LogReader.h"
#include "Terminal.h"

#include "KestIni.h"
#include "KestLog.h"
#include "KestOwners.h"
#include "KestResultMessages.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace kest::tool {
namespace {

constexpr std::size_t kReadSize = 1 << 20;
constexpr std::size_t kSniffSize = std::size_t{64} * 1024;
constexpr std::size_t kFlushSize = std::size_t{64} * 1024;

enum class Encoding { ShiftJis, Utf8, Utf16 };

// Length of the UTF-8 sequence at `at`, 0 if none is there. `cutOk`: a sequence that the end
// of the text cuts counts as one (the sniffed part of a file ends anywhere).
std::size_t utf8Sequence(std::string_view text, std::size_t at, bool cutOk) noexcept {
    const auto lead = static_cast<unsigned char>(text[at]);
    const std::size_t length = lead < 0x80                    ? 1
                               : lead >= 0xC2 && lead <= 0xDF ? 2
                               : lead >= 0xE0 && lead <= 0xEF ? 3
                               : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                              : 0;
    if (length == 0) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if (at + i >= text.size()) return cutOk ? text.size() - at : 0;
        if ((static_cast<unsigned char>(text[at + i]) & 0xC0) != 0x80) return 0;
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

Encoding sniff(std::string_view head) noexcept {
    if (head.size() >= 2 && ((head[0] == '\xFF' && head[1] == '\xFE') || (head[0] == '\xFE' && head[1] == '\xFF')))
        return Encoding::Utf16;
    // ASCII as UTF-16: every other byte is NUL.
    std::size_t evenNul = 0;
    std::size_t oddNul = 0;
    for (std::size_t i = 0; i < head.size(); ++i)
        if (head[i] == '\0') ++(i % 2 == 0 ? evenNul : oddNul);
    if (head.size() >= 8 && std::max(evenNul, oddNul) * 5 >= head.size() * 2 &&
        std::min(evenNul, oddNul) * 10 < head.size())
        return Encoding::Utf16;
    if (head.substr(0, 3) == "\xEF\xBB\xBF" || readsAsUtf8(head, true)) return Encoding::Utf8;
    return Encoding::ShiftJis;
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

// Character by character: what does not convert is shown as its bytes.
void appendCharacters(Text& text, std::string_view bytes, Encoding encoding) {
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
        const std::size_t length = encoding == Encoding::Utf8                      ? utf8Sequence(bytes, at, false)
                                   : isShiftJisLead(byte) && at + 1 < bytes.size() ? 2
                                                                                   : 1;
        const std::string_view character = bytes.substr(at, length == 0 ? 1 : length);
        if (length != 0 && convertsStrictly(character, encoding == Encoding::Utf8 ? CP_UTF8 : kMessageCodePage)) {
            text.utf8 += encoding == Encoding::Utf8 ? std::string(character) : toUtf8(character, kMessageCodePage);
            at += character.size();
            continue;
        }
        (encoding == Encoding::Utf8 ? text.notUtf8 : text.notShiftJis) = true;
        appendEscaped(text.utf8, bytes, at);
    }
}

Text textOf(std::string_view bytes, Encoding encoding) {
    Text text;
    if (plainAscii(bytes)) {
        text.utf8.assign(bytes);
        return text;
    }
    if (!hasControl(bytes)) {
        if (encoding == Encoding::Utf8 && readsAsUtf8(bytes, false)) {
            text.utf8.assign(bytes);
            return text;
        }
        if (encoding == Encoding::ShiftJis && convertsStrictly(bytes, kMessageCodePage)) {
            text.utf8 = toUtf8(bytes, kMessageCodePage);
            return text;
        }
        // A line that another program wrote in UTF-8 among ours.
        if (encoding == Encoding::ShiftJis && readsAsUtf8(bytes, false)) {
            text.utf8.assign(bytes);
            text.utf8Line = true;
            return text;
        }
    }
    appendCharacters(text, bytes, encoding);
    return text;
}

// The platform's own text for a last-error value, in the system's language.
std::string platformText(unsigned error) {
    wchar_t buffer[1024];
    DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
                                  MAKELANGID(LANG_NEUTRAL, SUBLANG_SYS_DEFAULT), buffer,
                                  static_cast<DWORD>(std::size(buffer)), nullptr);
    if (length == 0)
        length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, buffer,
                                static_cast<DWORD>(std::size(buffer)), nullptr);
    while (length > 0 && (buffer[length - 1] == L'\r' || buffer[length - 1] == L'\n' || buffer[length - 1] == L' '))
        --length;
    if (length == 0) return "(the platform has no text for it)";
    return toUtf8(std::wstring_view(buffer, length));
}

// Output in pieces of kFlushSize: one write per record would cost more than the reading.
class Output {
public:
    ~Output() { flush(); }
    Output() = default;
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;

    Output& operator<<(std::string_view text) {
        buffer_ += text;
        if (buffer_.size() >= kFlushSize) flush();
        return *this;
    }
    void flush() {
        writeOut(buffer_, CP_UTF8);
        buffer_.clear();
    }

private:
    std::string buffer_;
};

class LogShow {
public:
    LogShow(bool errorsOnly, Output& out) : errorsOnly_(errorsOnly), out_(out) {}

    void begin(Encoding encoding) { encoding_ = encoding; }

    void line(const LogLine& line) {
        const std::optional<RecordHead> head = parseRecordHead(line.bytes);
        const bool whole = line.ended && line.leftOut == 0;
        const bool continued = !head && seenRecord_;
        if (head) {
            ++records_;
            seenRecord_ = true;
        }
        if ((!head && !continued) || !whole) ++notWhole_;
        if (!errorsOnly_) {
            printLine(line, head, continued);
            return;
        }
        // An error record is one whole line: a cut one is left to the plain listing.
        if (head && whole) {
            chains_.add(*head);
            for (const FailureChain& chain : chains_.takeComplete()) printChain(chain);
        }
    }

    void end() {
        if (!errorsOnly_) return;
        for (const FailureChain& chain : chains_.finish()) printChain(chain);
        std::string summary = std::to_string(chains_printed_) + (chains_printed_ == 1 ? " failure" : " failures") +
                              " in " + std::to_string(records_) + (records_ == 1 ? " record" : " records");
        if (notWhole_ > 0)
            summary += "; " + std::to_string(notWhole_) +
                       (notWhole_ == 1 ? " line that is no whole record" : " lines that are no whole records") +
                       " left out (log show marks them)";
        out_ << summary << "\n";
    }

private:
    void printLine(const LogLine& line, const std::optional<RecordHead>& head, bool continued) {
        const Text text = textOf(head ? std::string_view(head->text) : std::string_view(line.bytes), encoding_);
        std::string marks;
        const auto mark = [&marks](const std::string& what) { marks += (marks.empty() ? "" : ", ") + what; };
        if (!head && !continued) mark("not a record");
        if (!line.ended) mark("cut: no line end");
        if (line.leftOut > 0) mark(std::to_string(line.leftOut) + " more bytes left out");
        if (text.notShiftJis) mark("not Shift_JIS");
        if (text.notUtf8) mark("not UTF-8");
        if (text.utf8Line) mark("UTF-8, not Shift_JIS");
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
        const ChainLink& first = chain.links.front();
        const ChainLink& top = chain.links.back();
        const unsigned code = first.error.code;
        std::string message = first.error.inner.empty() ? first.error.message : std::string(resultMessage(code));
        if (message.empty()) message = "(a code without a message of ours)";
        if (chains_printed_ > 1) out_ << "\n";
        out_ << "failure " << hexCode(code) << ": " << textOf(message, encoding_).utf8 << "\n";
        if (!chain.originInLog) out_ << "  (the record of " << first.error.inner << "() failing is not in the log)\n";
        for (const ChainLink& link : chain.links) {
            out_ << "  " << link.record.time << "  " << textOf(link.record.unit, encoding_).utf8 << ":"
                 << link.record.line << "  " << link.error.function << "()";
            if (!link.error.inner.empty())
                out_ << ": " << link.error.inner << "() failed\n";
            else
                out_ << " failed\n";
            if (!link.error.platformFunction.empty())
                out_ << "      " << link.error.platformFunction << "() failed, last error "
                     << hexCode(link.error.lastError) << ": " << platformText(link.error.lastError) << "\n";
        }
        if (chain.outermost.empty())
            out_ << "  outermost: not in the log (the call's start record is missing); last reported by "
                 << top.error.function << "()\n";
        else if (chain.outermost == top.error.function)
            out_ << "  outermost: " << chain.outermost << "(), which returned " << hexCode(code) << " to its caller\n";
        else
            out_ << "  outermost: " << chain.outermost << "(), which did not pass the failure on (last reported by "
                 << top.error.function << "())\n";
    }

    bool errorsOnly_;
    Output& out_;
    Encoding encoding_ = Encoding::ShiftJis;
    FailureChains chains_;
    bool seenRecord_ = false;
    unsigned long long records_ = 0;
    unsigned long long notWhole_ = 0;
    unsigned long long chains_printed_ = 0;
};

}  // namespace

std::optional<std::string> installationLogPath() {
    char value[kKestIniValueSize] = {};
    char section[sizeof kLogSection];
    char key[sizeof kLogPathKey];
    std::memcpy(section, kLogSection, sizeof section);
    std::memcpy(key, kLogPathKey, sizeof key);
    if (KestIniRead(section, key, value) != 0 || value[0] == '\0') return std::nullopt;
    value[sizeof value - 1] = '\0';
    return std::string(value);
}

int logShowCommand(const std::vector<std::string>& files, bool errorsOnly) {
    if (files.size() > 1) return usageError("log", "show takes at most one log file");
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

    Output out;
    LogShow show(errorsOnly, out);
    LineSplitter splitter;
    std::vector<char> buffer(kReadSize);
    std::vector<LogLine> lines;
    bool first = true;
    for (;;) {
        const std::size_t got = std::fread(buffer.data(), 1, buffer.size(), file.get());
        if (got == 0) break;
        const std::string_view chunk(buffer.data(), got);
        if (first) {
            first = false;
            const Encoding encoding = sniff(chunk.substr(0, kSniffSize));
            if (encoding == Encoding::Utf16)
                return reportProblem(path + " is not a Shift_JIS log as Log writes it: it is UTF-16 text");
            if (encoding == Encoding::Utf8)
                writeErr("kesttool: " + path +
                         " is not a Shift_JIS log as Log writes it: it is UTF-8 text, read as such\n");
            show.begin(encoding);
        }
        splitter.feed(chunk, lines);
        for (const LogLine& line : lines) show.line(line);
        lines.clear();
    }
    if (std::ferror(file.get())) return reportProblem("cannot read " + path + ": " + std::strerror(errno));
    splitter.finish(lines);
    for (const LogLine& line : lines) show.line(line);
    show.end();
    return kExitOk;
}

}  // namespace kest::tool
