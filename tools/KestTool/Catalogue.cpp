// The catalogue checker: reads KestErr.csv line by line as ShowError does and reports what
// would give a wrong box or none.
#include "Catalogue.h"
#include "Terminal.h"

#include "KestErrCatalogue.h"
#include "KestOwners.h"
#include "KestResultMessages.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <utility>

namespace kest::tool {
namespace {

using kest::UniqueFile;

using catalogue::kCodeColumn;
using catalogue::kCodeDigits;
using catalogue::kLongestLine;
using catalogue::kMessageColumn;
using catalogue::kSeverityLetters;

// "I, Q, W or X": the letters a box has an icon for.
std::string severityLetterList() {
    std::string list;
    for (std::size_t i = 0; i + 1 < sizeof kSeverityLetters; ++i)
        list += std::string(i == 0 ? "" : i + 2 == sizeof kSeverityLetters ? " or " : ", ") + kSeverityLetters[i];
    return list;
}

bool parseCode(std::string_view line, unsigned long& code) {
    code = 0;
    for (std::size_t i = kCodeColumn; i < kCodeColumn + kCodeDigits; ++i) {
        const char c = line[i];
        unsigned digit;
        if (c >= '0' && c <= '9')
            digit = static_cast<unsigned>(c - '0');
        else if (c >= 'a' && c <= 'f')
            digit = static_cast<unsigned>(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F')
            digit = static_cast<unsigned>(c - 'A' + 10);
        else
            return false;
        code = code * 16 + digit;
    }
    return true;
}

// The file's lines as text mode reads them: CRLF is one line end; the end of the file ends
// the last line whether or not a newline precedes it.
std::vector<std::string_view> splitLines(std::string_view bytes) {
    std::vector<std::string_view> lines;
    while (!bytes.empty()) {
        const std::size_t end = bytes.find('\n');
        std::string_view line = bytes.substr(0, end);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        if (end == std::string_view::npos) break;
        bytes.remove_prefix(end + 1);
    }
    return lines;
}

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
constexpr char kCtrlZ = '\x1A';

// Valid UTF-8 beyond ASCII, as one line of a tool that writes UTF-8 is: Shift_JIS text seldom
// is (its lead bytes 0x81-0x9F start no UTF-8 sequence), short UTF-8 often is valid Shift_JIS.
bool isUtf8Text(std::string_view text) {
    std::size_t firstNul = 0;
    return encodingOf(text, firstNul, Reading::logHead) == Encoding::utf8;
}

// The whole file, after a byte-order mark if it has one, in UTF-8 beyond ASCII.
bool savedAsUtf8(std::string_view bytes) {
    if (bytes.substr(0, kUtf8Mark.size()) == kUtf8Mark) bytes.remove_prefix(kUtf8Mark.size());
    std::size_t firstNul = 0;
    return encodingOf(bytes, firstNul) == Encoding::utf8;
}

bool leadByte(unsigned char byte) { return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC); }

// What can stand between the code and the message: ASCII punctuation, a space or a tab.
bool separatorLike(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte == '\t' || (byte >= 0x20 && byte < 0x7F && std::isalnum(byte) == 0);
}

// The start of a text as a finding quotes it (Shift_JIS, control bytes as \xNN).
std::string quoted(std::string_view text) {
    constexpr std::size_t kQuoted = 24;
    std::string quote = "\"";
    std::size_t at = 0;
    while (at < text.size() && at < kQuoted) {
        const auto byte = static_cast<unsigned char>(text[at]);
        const std::size_t length = leadByte(byte) && at + 1 < text.size() ? 2 : 1;
        if (byte < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<unsigned>(byte));
            quote += escaped;
        } else {
            quote.append(text.substr(at, length));
        }
        at += length;
    }
    return quote + (at < text.size() ? "...\"" : "\"");
}

// What the separator's column holds, and where the message its writer typed begins.
struct Separator {
    std::optional<std::string> problem;
    std::size_t messageColumn = kMessageColumn;
};

// Lead byte 0x81: the full-width punctuation, typed for the comma with the input method on.
constexpr unsigned char kFullWidthPunctuation = 0x81;

// The bytes of a separator at the start of the text: an ASCII one, a full-width one, or none.
std::size_t typedSeparator(std::string_view text) {
    if (text.empty()) return 0;
    if (separatorLike(text[0])) return 1;
    return static_cast<unsigned char>(text[0]) == kFullWidthPunctuation && text.size() > 1 ? 2 : 0;
}

// ShowError takes column 10's byte for the separator, whatever it is, and shows the rest: a
// byte that is text there was meant as part of the code or the message.
Separator separatorOf(std::string_view line) {
    const auto separator = static_cast<unsigned char>(line[kMessageColumn - 1]);
    if (separatorLike(static_cast<char>(separator))) return {};
    const std::string shows = line.size() == kMessageColumn
                                  ? std::string(": the line counts as one without a message; ")
                                  : ": the box shows " + quoted(line.substr(kMessageColumn)) + "; ";
    if (std::isxdigit(separator) != 0) {
        std::size_t after = kMessageColumn;
        while (after < line.size() && std::isxdigit(static_cast<unsigned char>(line[after])) != 0) ++after;
        const std::size_t typed = typedSeparator(line.substr(after));
        // A ninth digit and the message: the digit serves as the separator and the box is
        // right. A message that begins with a digit, typed without separator, reads alike.
        if (after == kMessageColumn && after < line.size() && typed == 0) return {};
        return {"the code has " + std::to_string(after - kCodeColumn) +
                    " digits: ShowError takes the ninth for the separator" + shows +
                    "write the code with eight hexadecimal digits",
                after + typed};
    }
    const std::string put = "put a comma (,) between the code and the message";
    if (!leadByte(separator) || line.size() == kMessageColumn)
        return {"no separator: ShowError takes the message's first byte for one" + shows + put, kMessageColumn - 1};
    const std::string character(line.substr(kMessageColumn - 1, 2));
    if (separator == kFullWidthPunctuation)
        return {"the separator is the full-width '" + character +
                    "': ShowError takes its first byte for the separator and shows the second as a stray character" +
                    shows + "type a comma (,) in its place",
                kMessageColumn + 1};
    return {"no separator: ShowError takes the first byte of the message's '" + character +
                "' for one and shows the second as a stray character" + shows + put,
            kMessageColumn - 1};
}

// How the message was written, judged from where its writer began it; the box shows it from
// column 11 on, up to a NUL byte.
std::optional<std::string> messageEncodingProblem(std::string_view message, std::string_view shown) {
    const std::string save = std::string("; ") + kSaveAsShiftJis;
    if (const std::size_t nul = shown.find('\0'); nul != std::string_view::npos)
        return "its message holds a NUL byte (UTF-16 has one in each ASCII character), where ShowError's line "
               "ends: " +
               (nul == 0 ? std::string("the line counts as one without a message")
                         : "the box shows " + quoted(shown.substr(0, nul))) +
               save;
    if (isUtf8Text(message)) return "its message is UTF-8, which the box shows as Shift_JIS, garbled" + save;
    if (looksLikeUtf16Japanese(message))
        return "its message is UTF-16, which the box shows as Shift_JIS, garbled" + save;
    if (!isShiftJis(message)) return "its message is not Shift_JIS: the box shows it garbled" + save;
    return std::nullopt;
}

// A Ctrl-Z ends ShowError's stream: the rest of its line, and every entry after it, is never
// read. An old editor's end-of-file mark, after the last line or before bytes of no entry, is
// harmless.
std::optional<CatalogueFinding> ctrlZFinding(std::string_view saved) {
    const std::size_t at = saved.find(kCtrlZ);
    if (at == std::string_view::npos) return std::nullopt;
    const std::size_t lineStart = at == 0 ? 0 : saved.rfind('\n', at - 1) + 1;
    const std::string_view after = saved.substr(at + 1);
    const std::size_t lineEnd = after.find('\n');
    const bool cut = at > lineStart && after.substr(0, lineEnd).find_first_not_of("\r\x1A") != std::string_view::npos;
    const std::vector<CatalogueLine> later =
        readCatalogueLines(at == lineStart                     ? after
                           : lineEnd == std::string_view::npos ? ""
                                                               : after.substr(lineEnd + 1));
    const auto entries =
        std::count_if(later.begin(), later.end(), [](const CatalogueLine& line) { return line.entry; });
    if (!cut && entries == 0) return std::nullopt;
    std::string text = "a Ctrl-Z (0x1A, an old end-of-file mark) at column " + std::to_string(at - lineStart + 1) +
                       " ends the file for ShowError: ";
    if (cut) text += "its line is read only up to it";
    if (cut && entries > 0) text += ", and ";
    if (entries > 0) text += "the " + std::to_string(entries) + " entries after it are never read";
    return CatalogueFinding{static_cast<unsigned>(std::count(saved.begin(), saved.begin() + at, '\n') + 1),
                            text + "; take the Ctrl-Z out"};
}

}  // namespace

const char kNotAnEntry[] =
    "not an entry: a severity letter, eight hexadecimal digits, a separator and the message expected";

std::vector<CatalogueLine> readCatalogueLines(std::string_view bytes) {
    std::vector<CatalogueLine> lines;
    for (const std::string_view text : splitLines(bytes)) {
        CatalogueLine line{static_cast<unsigned>(lines.size() + 1), text, false, 0};
        line.entry = text.size() >= kMessageColumn && parseCode(text, line.code);
        lines.push_back(line);
    }
    return lines;
}

std::vector<CatalogueFinding> checkCatalogue(std::string_view bytes) {
    std::vector<CatalogueFinding> findings;
    std::map<unsigned long, unsigned> firstLineOfCode;
    std::set<unsigned long> codesWithMessage;
    // A file in UTF-8 throughout is checkCatalogueEncoding's; here, the lines of another one.
    const bool utf8Throughout = savedAsUtf8(bytes);

    for (const CatalogueLine& catalogueLine : readCatalogueLines(bytes)) {
        const unsigned number = catalogueLine.number;
        const std::string_view line = catalogueLine.text;
        const unsigned long code = catalogueLine.code;
        if (line.size() > kLongestLine)
            findings.push_back({number, "line of " + std::to_string(line.size()) + " characters, longer than " +
                                            std::to_string(kLongestLine) + ": ShowError reads it in pieces"});
        // ShowError takes the mark's three bytes for the severity letter and the code's first digits.
        if (number == 1 && line.substr(0, kUtf8Mark.size()) == kUtf8Mark) {
            findings.push_back({number, std::string("begins with UTF-8's byte-order mark, which ShowError reads as the "
                                                    "severity letter and the code's first digits: the line matches no "
                                                    "code; ") +
                                            kSaveAsShiftJis});
            continue;
        }
        if (!catalogueLine.entry) {
            findings.push_back({number, kNotAnEntry});
            continue;
        }
        const Separator separator = separatorOf(line);
        if (separator.problem) findings.push_back({number, "code " + hexDigits(code) + ": " + *separator.problem});
        if (!utf8Throughout)
            if (const std::optional<std::string> problem =
                    messageEncodingProblem(line.substr(separator.messageColumn), catalogueLine.message()))
                findings.push_back({number, "code " + hexDigits(code) + ": " + *problem});
        if (catalogue::severityOf(line[0]) == catalogue::Severity::none)
            findings.push_back({number, std::string("unknown severity letter '") + line[0] +
                                            "': the box shows no icon (" + severityLetterList() + " expected)"});
        const auto [first, isFirst] = firstLineOfCode.emplace(code, number);
        if (!isFirst)
            findings.push_back({number, "code " + hexDigits(code) + " written twice (first on line " +
                                            std::to_string(first->second) + ")"});
        // A message begun before column 11 is the separator's finding.
        if (line.size() != kMessageColumn)
            codesWithMessage.insert(code);
        else if (!separator.problem)
            findings.push_back({number, "code " + hexDigits(code) + " has an empty message"});
    }

    for (const ResultMessage& entry : kResultMessages)
        if (codesWithMessage.count(entry.code) == 0)
            findings.push_back(
                {0, "no line with a message for code " + hexDigits(entry.code) + " (" + entry.text + ")", true});
    return findings;
}

std::optional<std::string> readCatalogue(const std::string& path) {
    const UniqueFile file{std::fopen(path.c_str(), "rt")};
    if (!file) return std::nullopt;
    std::string bytes;
    char buffer[4096];
    for (std::size_t read; (read = std::fread(buffer, 1, sizeof buffer, file.get())) > 0;) bytes.append(buffer, read);
    return bytes;
}

std::optional<CatalogueCheck> checkCatalogueFile(const std::string& path) {
    // How the file was saved from its own bytes (a NUL's offset is the file's); the lines as
    // ShowError's stream gets them.
    const std::optional<std::string> saved = readWholeFile(path);
    const std::optional<std::string> streamed = readCatalogue(path);
    if (!saved || !streamed) return std::nullopt;
    CatalogueCheck checked{checkCatalogueEncoding(*saved), checkCatalogue(*streamed)};
    // Its line is the stream's last: after the findings of lines, before those of the codes.
    if (std::optional<CatalogueFinding> ctrlZ = ctrlZFinding(*saved)) {
        std::vector<CatalogueFinding>& findings = checked.findings;
        findings.insert(std::find_if(findings.begin(), findings.end(),
                                     [](const CatalogueFinding& finding) { return finding.line == 0; }),
                        std::move(*ctrlZ));
    }
    return checked;
}

std::optional<CatalogueFinding> checkCatalogueEncoding(std::string_view bytes) {
    // ShowError's text-mode stream ends at a Ctrl-Z: what an old editor left after it is never read.
    bytes = bytes.substr(0, bytes.find(kCtrlZ));
    std::size_t firstNul = 0;
    const Encoding encoding = encodingOf(bytes, firstNul);
    const std::string_view notFound(catalogue::kNotFoundText);
    std::string seen;
    switch (encoding) {
        case Encoding::shiftJis: return std::nullopt;
        // A mark before Shift_JIS spoils the first line alone, which checkCatalogue names.
        case Encoding::utf8WithBom:
            if (!savedAsUtf8(bytes)) return std::nullopt;
            seen = "every box shows garbled text";
            break;
        case Encoding::utf8: seen = "every box shows garbled text"; break;
        case Encoding::utf16Le:
        case Encoding::utf16Be:
        case Encoding::utf16NoBom:
            seen = "no box finds its text, each says " + std::string(notFound.substr(0, notFound.find('\n')));
            break;
        case Encoding::nulBytes:
            seen = "a line is read only up to its first NUL byte (the first at byte " + std::to_string(firstNul) + ")";
            break;
    }
    return CatalogueFinding{0, "saved as " + encodingName(encoding) + ": " + seen + "; " + kSaveAsShiftJis};
}

}  // namespace kest::tool
