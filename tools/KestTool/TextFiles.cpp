// How the installation's text files were saved, told from their bytes.
#include "TextFiles.h"

#include <windows.h>

#include <algorithm>
#include <fstream>
#include <iterator>

namespace kest::tool {
namespace {

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeMark = "\xFF\xFE";
constexpr std::string_view kUtf16BeMark = "\xFE\xFF";
constexpr UINT kShiftJis = 932;

bool startsWith(std::string_view bytes, std::string_view prefix) { return bytes.substr(0, prefix.size()) == prefix; }

// Whether the platform converts the bytes without a character it cannot map.
bool validIn(std::string_view bytes, UINT codePage) {
    if (bytes.empty()) return true;
    return MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()), nullptr,
                               0) > 0;
}

bool ascii(std::string_view bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Valid UTF-8 beyond ASCII, its last character perhaps cut. Only a lead byte with fewer
// continuation bytes after it than it needs is left out: a Shift_JIS text ending in a
// double-byte character after ASCII is not UTF-8 for its ASCII alone.
bool utf8Head(std::string_view bytes) {
    std::size_t end = bytes.size();
    for (std::size_t back = 1; back <= std::min<std::size_t>(bytes.size(), 3); ++back) {
        const auto byte = static_cast<unsigned char>(bytes[bytes.size() - back]);
        if (byte >= 0x80 && byte < 0xC0) continue;  // a continuation byte
        const std::size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : 2;
        if (byte >= 0xC2 && byte <= 0xF4 && back < length) end = bytes.size() - back;
        break;
    }
    const std::string_view kept = bytes.substr(0, end);
    return !ascii(kept) && validIn(kept, CP_UTF8);
}

// UTF-16 of mostly ASCII text has a NUL in every other byte: at least a third of the bytes at
// one parity are NUL, and almost none at the other.
bool looksLikeUtf16(std::string_view bytes) {
    std::size_t nulAt[2] = {0, 0};
    for (std::size_t i = 0; i < bytes.size(); ++i) nulAt[i % 2] += bytes[i] == '\0';
    const std::size_t half = bytes.size() / 2;
    const std::size_t more = std::max(nulAt[0], nulAt[1]);
    const std::size_t fewer = std::min(nulAt[0], nulAt[1]);
    return half > 0 && more * 3 >= half && fewer * 10 <= more;
}

}  // namespace

std::optional<std::string> readWholeFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return std::nullopt;
    std::string bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    if (file.bad()) return std::nullopt;
    return bytes;
}

Encoding encodingOf(std::string_view bytes, std::size_t& firstNul, Reading reading) {
    firstNul = bytes.find('\0');
    if (startsWith(bytes, kUtf8Mark)) return Encoding::utf8WithBom;
    if (startsWith(bytes, kUtf16LeMark)) return Encoding::utf16Le;
    if (startsWith(bytes, kUtf16BeMark)) return Encoding::utf16Be;
    if (firstNul != std::string_view::npos && looksLikeUtf16(bytes)) return Encoding::utf16NoBom;
    if (reading == Reading::logHead) return utf8Head(bytes) ? Encoding::utf8 : Encoding::shiftJis;
    if (firstNul != std::string_view::npos) return Encoding::nulBytes;
    if (validIn(bytes, kShiftJis) || !validIn(bytes, CP_UTF8)) return Encoding::shiftJis;
    return Encoding::utf8;
}

std::optional<Encoding> encodingOfLogLine(std::string_view line) {
    if (ascii(line)) return std::nullopt;
    if (validIn(line, CP_UTF8)) return Encoding::utf8;
    if (validIn(line, kShiftJis)) return Encoding::shiftJis;
    return std::nullopt;
}

bool isShiftJis(std::string_view bytes) { return validIn(bytes, kShiftJis); }

bool looksLikeUtf16Japanese(std::string_view bytes) {
    if (bytes.size() < 4 || bytes.size() % 2 != 0 || ascii(bytes) || bytes.find('\0') != std::string_view::npos)
        return false;
    std::wstring text;
    for (std::size_t i = 0; i < bytes.size(); i += 2)
        text += static_cast<wchar_t>(static_cast<unsigned char>(bytes[i]) |
                                     static_cast<unsigned>(static_cast<unsigned char>(bytes[i + 1])) << 8);
    const auto japanese = [](wchar_t c) {
        return (c >= 0x3000 && c <= 0x30FF) || (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xFF01 && c <= 0xFFEF);
    };
    if (!std::all_of(text.begin(), text.end(), japanese)) return false;
    BOOL lacking = FALSE;
    return WideCharToMultiByte(kShiftJis, WC_NO_BEST_FIT_CHARS, text.data(), static_cast<int>(text.size()), nullptr, 0,
                               nullptr, &lacking) > 0 &&
           lacking == FALSE;
}

std::string encodingName(Encoding encoding) {
    switch (encoding) {
        case Encoding::shiftJis: return "Shift_JIS";
        case Encoding::utf8: return "UTF-8";
        case Encoding::utf8WithBom: return "UTF-8 with a byte-order mark";
        case Encoding::utf16Le: return "UTF-16 with a little-endian byte-order mark";
        case Encoding::utf16Be: return "UTF-16 with a big-endian byte-order mark";
        case Encoding::utf16NoBom: return "UTF-16 without a byte-order mark";
        case Encoding::nulBytes: return "text with NUL bytes";
    }
    return {};
}

}  // namespace kest::tool
