// What the settings file's sections, keys and bytes mean to the library; nothing is read here.
#include "SettingsFile.h"

#include "CommandLine.h"
#include "TextFiles.h"

#include "KestMyCertSettings.h"
#include "KestMyCertText.h"

#include <windows.h>

#include <algorithm>

namespace kest::tool {
namespace {

// A section this close to the library's, ASCII case aside, is a typo of it, not the host's own.
constexpr std::size_t kTypoDistance = 2;

bool equalNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, a.data(), static_cast<int>(a.size()), b.data(),
                          static_cast<int>(b.size())) == CSTR_EQUAL;
}

std::string asciiLower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

}  // namespace

std::string candidateKey(std::size_t n) {
    char key[mycert::kSettingsKeySize];
    mycert::formatCandidateKey(static_cast<unsigned>(n), key);
    return key;
}

std::optional<unsigned> candidateIndex(const std::string& key) {
    constexpr std::string_view kPrefix = "CertId_";
    constexpr std::size_t kMostDigits = 9;
    if (key.size() <= kPrefix.size() || !equalNoCase(std::string_view(key).substr(0, kPrefix.size()), kPrefix))
        return std::nullopt;
    const std::string digits = key.substr(kPrefix.size());
    if (digits.size() > kMostDigits ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    const auto n = static_cast<unsigned>(std::stoul(digits));
    if (!equalNoCase(candidateKey(n), key)) return std::nullopt;
    return n;
}

std::vector<std::string> unreadSettings(const std::vector<std::string>& sections,
                                        const std::vector<std::string>& keys) {
    std::vector<std::string> unread;
    for (const std::string& section : sections)
        if (!equalNoCase(section, mycert::kSettingsSection) &&
            editDistance(asciiLower(section), asciiLower(mycert::kSettingsSection)) <= kTypoDistance)
            unread.push_back("[" + section + "]");
    for (const std::string& key : keys)
        if (!equalNoCase(key, mycert::kOmitSelectCertKey) && !candidateIndex(key))
            unread.push_back("[" + std::string(mycert::kSettingsSection) + "] " + key);
    return unread;
}

// Windows' reading: retrocomputing.stackexchange.com/questions/23503 (the first section and the
// first key of a name win); Wine's PROFILE_Find stops at the first section of the name too.
std::vector<std::string> repeatedSections(const std::vector<std::string>& sections) {
    std::vector<std::string> repeated;
    bool first = true;
    for (const std::string& section : sections) {
        if (!equalNoCase(section, mycert::kSettingsSection)) continue;
        if (!first) repeated.push_back(section);
        first = false;
    }
    return repeated;
}

// Windows' reading of a UTF-8 mark and of big-endian UTF-16: github.com/WelliSolutions/
// IniFileFormatReverseEngineering, documentation/GetPrivateProfileString.md (lpFileName).
std::optional<SettingsEncoding> settingsEncoding(Encoding encoding, std::size_t firstNul) {
    SettingsEncoding found{true, "saved as " + encodingName(encoding) + ": "};
    switch (encoding) {
        case Encoding::shiftJis: return std::nullopt;
        case Encoding::utf8WithBom:
            found.effect +=
                "Windows reads the mark as part of the first line, so a section named there is not found, "
                "and Japanese names in ids match no certificate";
            break;
        case Encoding::utf8:
            found.effect += "Japanese names in ids are read as Shift_JIS and match no certificate";
            break;
        case Encoding::utf16Le:
            found.problem = false;
            found.effect +=
                "Windows reads and writes it as Unicode, so the settings work, but it is no longer the "
                "file the installation ships";
            break;
        case Encoding::utf16Be:
            found.effect += "Windows reads no setting from it: no candidate, no OmitSelectCert";
            break;
        case Encoding::utf16NoBom: found.effect += "no setting is read from it: no candidate, no OmitSelectCert"; break;
        case Encoding::nulBytes:
            found.effect +=
                "a NUL byte (the first at byte " + std::to_string(firstNul) + ") hides the rest of its line";
            break;
    }
    return found;
}

}  // namespace kest::tool
