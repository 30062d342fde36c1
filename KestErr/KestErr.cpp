// Error boxes from the installation's catalogue KestErr.csv, each also written to the log.
// The wording lives in the catalogue so that it can change without a rebuild; only the boxes
// for an installation whose catalogue cannot be reached are fixed here.
#include "KestErr.h"

#include "KestErrCatalogue.h"
#include "KestIni.h"
#include "KestLog.h"
#include "KestOwners.h"
#include "KestSourceFile.h"

#include <cstdio>
#include <cstring>

namespace {

using kest::UniqueFile;

constexpr char kCaption[] = "Tavrin";
constexpr char kNoInstallPathText[] = "レジストリ情報取得に失敗しました。\n Code=0xFF000000";
constexpr char kCannotOpenCatalogueText[] = "エラーファイルを開く事に失敗しました。\nCode=0xFF000001";

// A path is at most 260 bytes plus terminator.
constexpr std::size_t kPathSize = 261;
constexpr std::size_t kLineSize = kest::catalogue::kReadSize;
// The longest box: a 250-byte message, "\nCode=0x" and eight digits.
constexpr std::size_t kBoxTextSize = 280;
// "%08x" and terminator.
constexpr std::size_t kCodeTextSize = 9;

using kest::catalogue::kCodeColumn;
using kest::catalogue::kCodeDigits;
using kest::catalogue::kCodeLabel;
using kest::catalogue::kFileName;
using kest::catalogue::kMessageColumn;
using kest::catalogue::kNotFoundText;
using kest::catalogue::kSeverityColumn;
using kest::catalogue::Severity;

struct CatalogueEntry {
    const char* message = nullptr;  // Points into the line buffer, newline kept.
    UINT icon = 0;
};

UINT iconOf(char letter) noexcept {
    switch (kest::catalogue::severityOf(letter)) {
        case Severity::information: return MB_ICONINFORMATION;
        case Severity::question: return MB_ICONQUESTION;
        case Severity::warning: return MB_ICONWARNING;
        case Severity::error: return MB_ICONERROR;
        case Severity::none: return 0;
    }
    return 0;
}

// ASCII only, so that the host's locale cannot change which line matches.
char asciiLower(char c) noexcept { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// codeText is lower case already.
bool codeMatches(const char* line, const char* codeText) noexcept {
    for (std::size_t i = 0; i < kCodeDigits; ++i)
        if (asciiLower(line[kCodeColumn + i]) != codeText[i]) return false;
    return true;
}

// The first line of the code with a message. fgets hands a line longer than the buffer over
// in pieces; each piece is judged as a line of its own.
[[nodiscard]] bool findEntry(FILE* catalogue, const char* codeText, char (&line)[kLineSize],
                             CatalogueEntry& entry) noexcept {
    while (std::fgets(line, sizeof line, catalogue) != nullptr) {
        if (std::strlen(line) < kMessageColumn || !codeMatches(line, codeText)) continue;
        const char* message = line + kMessageColumn;
        if (*message == '\0') continue;
        entry.message = message;
        entry.icon = iconOf(line[kSeverityColumn]);
        return true;
    }
    return false;
}

int showBox(HWND owner, const char* text, UINT icon) noexcept { return MessageBoxA(owner, text, kCaption, icon); }

}  // namespace

extern "C" int ShowError(HWND owner, int code) noexcept {
    char codeText[kCodeTextSize];
    std::snprintf(codeText, sizeof codeText, "%08x", static_cast<unsigned>(code));

    char installPath[kPathSize] = {};
    if (!KestInstallPath(installPath, sizeof installPath)) return showBox(owner, kNoInstallPathText, MB_ICONERROR);
    installPath[sizeof installPath - 1] = '\0';

    // A directory too long for the catalogue's name counts as a catalogue that cannot be
    // opened: a shortened path could name some other file.
    char cataloguePath[kPathSize];
    const int pathLength = std::snprintf(cataloguePath, sizeof cataloguePath, "%s\\%s", installPath, kFileName);
    if (pathLength < 0 || static_cast<std::size_t>(pathLength) >= sizeof cataloguePath)
        return showBox(owner, kCannotOpenCatalogueText, MB_ICONERROR);
    // "t": text mode even if the host has made binary mode the default.
    UniqueFile catalogue{std::fopen(cataloguePath, "rt")};
    if (!catalogue) return showBox(owner, kCannotOpenCatalogueText, MB_ICONERROR);

    char line[kLineSize];
    CatalogueEntry entry;
    char boxText[kBoxTextSize];
    if (findEntry(catalogue.get(), codeText, line, entry)) {
        std::snprintf(boxText, sizeof boxText, "%s\n%s%s", entry.message, kCodeLabel, codeText);
        const int result = showBox(owner, boxText, entry.icon);

        std::size_t messageLength = std::strlen(entry.message);
        if (entry.message[messageLength - 1] == '\n') --messageLength;
        char logText[kBoxTextSize];
        std::snprintf(logText, sizeof logText, "%.*s%s%s", static_cast<int>(messageLength), entry.message, kCodeLabel,
                      codeText);
        Log(KEST_SOURCE_FILE, __LINE__, logText);
        return result;
    }

    std::snprintf(boxText, sizeof boxText, "%s%s", kNotFoundText, codeText);
    const int result = showBox(owner, boxText, MB_ICONERROR);
    Log(KEST_SOURCE_FILE, __LINE__, boxText);
    return result;
}

BOOL WINAPI DllMain(HINSTANCE /*instance*/, DWORD /*reason*/, LPVOID /*reserved*/) { return TRUE; }
