// The installation's own text files, KestErr.csv and KestEnv.ini, as the libraries read them:
// byte for byte, as Shift_JIS (code page 932). What the bytes tell of how a file was saved,
// for doctor and check-catalogue, which name an editor's wrong choice before its effects, and
// for log show, which reads a log of another encoding as such or refuses it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kest::tool {

// A file's bytes, whole; nothing if it cannot be read (an empty file reads as empty).
std::optional<std::string> readWholeFile(const std::string& path);

enum class Encoding {
    shiftJis,     // valid Shift_JIS, plain ASCII among it: as shipped
    utf8,         // valid UTF-8, not valid Shift_JIS
    utf8WithBom,  // begins with UTF-8's byte-order mark
    utf16Le,      // begins with UTF-16's little-endian byte-order mark
    utf16Be,      // begins with UTF-16's big-endian byte-order mark
    utf16NoBom,   // UTF-16 without a mark: a NUL in every other byte
    nulBytes,     // NUL bytes among 8-bit text
};

// What the bytes are: a settings file or catalogue whole, as the libraries read it, or the
// first part of a log, which ends anywhere.
enum class Reading { wholeFile, logHead };

// Tells by the marks, the NUL bytes and the platform's strict conversions. A whole file that is
// valid Shift_JIS, or not valid UTF-8 either, counts as Shift_JIS, NUL bytes aside. A log's head
// may end inside a character; valid UTF-8 beyond ASCII counts as UTF-8 there, NUL bytes or not
// (a Shift_JIS log of ours seldom is: its lead bytes 0x81-0x9F cannot start a UTF-8 sequence,
// while short UTF-8 Japanese is often valid Shift_JIS). The first NUL's offset (or npos) into
// `firstNul`.
Encoding encodingOf(std::string_view bytes, std::size_t& firstNul, Reading reading = Reading::wholeFile);

// What one line of a log tells of how the log was saved: utf8 for valid UTF-8 beyond ASCII (as
// for a log's head), shiftJis for other valid Shift_JIS, nothing for ASCII alone, which reads the
// same in both, or for bytes that are text in neither. Judged line by line as a log streams, it
// needs no more than the line, wherever in the file it is.
std::optional<Encoding> encodingOfLogLine(std::string_view line);

// One catalogue message as the box takes it: Shift_JIS by the platform's strict conversion
// (ASCII is).
bool isShiftJis(std::string_view bytes);

// UTF-16 little-endian Japanese without a NUL byte: two characters or more, each kana, kanji,
// Japanese punctuation or a full-width form that Shift_JIS can write, and bytes beyond ASCII.
// A few such characters are often valid Shift_JIS too, while Shift_JIS read as UTF-16 seldom
// gives them. Hiragana alone in UTF-16 is ASCII bytes, and left to ASCII.
bool looksLikeUtf16Japanese(std::string_view bytes);

// "UTF-8", "UTF-16 with a little-endian byte-order mark", ...: how the file was saved.
std::string encodingName(Encoding encoding);

// What to do about any file that is not Shift_JIS.
inline constexpr char kSaveAsShiftJis[] = "save it as Shift_JIS (ANSI)";

}  // namespace kest::tool
