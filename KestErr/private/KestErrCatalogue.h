// The layout of a line of the error catalogue KestErr.csv: how ShowError reads it, and so how
// the tool's checker judges it; and the box ShowError shows for a code the catalogue lacks,
// which the tool's log reader finds in a log.
#pragma once

#include <cstddef>

namespace kest::catalogue {

// The catalogue's file, in the installation directory.
constexpr char kFileName[] = "KestErr.csv";

// Each read takes at most 260 bytes with the newline kept: a longer line comes in pieces, and
// every further piece is read as a line of its own.
constexpr std::size_t kReadSize = 261;
// The longest line that comes whole: 259 characters, then its newline.
constexpr std::size_t kLongestLine = kReadSize - 2;

// Severity letter, eight hexadecimal digits, one separator (not examined), the message.
constexpr std::size_t kSeverityColumn = 0;
// The severity letters in the order of Severity, each in either case: the box's icon.
enum class Severity { information, question, warning, error, none };
constexpr char kSeverityLetters[] = "IQWX";
constexpr Severity severityOf(char letter) noexcept {
    const char upper = letter >= 'a' && letter <= 'z' ? static_cast<char>(letter - 'a' + 'A') : letter;
    for (std::size_t i = 0; i + 1 < sizeof kSeverityLetters; ++i)
        if (upper == kSeverityLetters[i]) return static_cast<Severity>(i);
    return Severity::none;
}
constexpr std::size_t kCodeColumn = 1;
constexpr std::size_t kCodeDigits = 8;
constexpr std::size_t kMessageColumn = 10;

// The box, and its record, for a code the catalogue lacks: this text, then the code as "%08x".
// A found message's record ends with the label and the code as well.
constexpr char kNotFoundText[] = "エラーメッセージが見つかりません\nCode=0x";
constexpr char kCodeLabel[] = "Code=0x";

}  // namespace kest::catalogue
