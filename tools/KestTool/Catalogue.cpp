// The catalogue checker: reads KestErr.csv line by line as ShowError does and reports what
// would give a wrong box or none.
#include "Catalogue.h"
#include "Terminal.h"

#include "KestErrCatalogue.h"
#include "KestOwners.h"
#include "KestResultMessages.h"

#include <cstdio>
#include <cstring>
#include <map>
#include <set>

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
        if (!utf8Throughout && isUtf8Text(catalogueLine.message()))
            findings.push_back({number, "code " + hexDigits(code) +
                                            ": its message is UTF-8, which the box shows as Shift_JIS, garbled; " +
                                            kSaveAsShiftJis});
        if (catalogue::severityOf(line[0]) == catalogue::Severity::none)
            findings.push_back({number, std::string("unknown severity letter '") + line[0] +
                                            "': the box shows no icon (" + severityLetterList() + " expected)"});
        const auto [first, isFirst] = firstLineOfCode.emplace(code, number);
        if (!isFirst)
            findings.push_back({number, "code " + hexDigits(code) + " written twice (first on line " +
                                            std::to_string(first->second) + ")"});
        if (line.size() == kMessageColumn)
            findings.push_back({number, "code " + hexDigits(code) + " has an empty message"});
        else
            codesWithMessage.insert(code);
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
    return CatalogueCheck{checkCatalogueEncoding(*saved), checkCatalogue(*streamed)};
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
