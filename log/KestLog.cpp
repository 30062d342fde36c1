// Log writer: one record per call, appended to the file the installation settings name.
// Nothing is cached between calls, so switching the log on or moving it takes effect at once.
#include "KestLog.h"

#include "KestIni.h"
#include "KestLogRecord.h"
#include "KestLogSettings.h"
#include "KestOwners.h"

#include <windows.h>

#include <share.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

namespace {

constexpr std::size_t kIniValueSize = kKestIniValueSize;
using kest::kLogPathKey;
using kest::kLogSection;
using kest::kWriteLogKey;
using kest::UniqueFile;

using kest::record::kFieldSeparator;
using kest::record::kTimeFormat;
using kest::record::kTimeSize;
// Any int in decimal with sign and terminator: a line number beyond 9999 is written whole.
constexpr std::size_t kLineNumberSize = 12;

bool readLogSetting(const char* key, char (&value)[kIniValueSize]) noexcept {
    // KestIniRead takes writable strings.
    char section[sizeof kLogSection];
    char keyCopy[32];
    std::memcpy(section, kLogSection, sizeof kLogSection);
    std::strncpy(keyCopy, key, sizeof keyCopy - 1);
    keyCopy[sizeof keyCopy - 1] = '\0';
    std::memset(value, 0, kIniValueSize);
    return KestIniRead(section, keyCopy, value) == 0;
}

// The text after the last backslash, walking double-byte characters of the ANSI code page
// whole: the trail byte of a Shift_JIS character may be 0x5C.
const char* baseName(const char* path) noexcept {
    const char* base = path;
    for (const char* p = path; *p != '\0'; ++p) {
        if (IsDBCSLeadByte(static_cast<BYTE>(*p))) {
            if (p[1] == '\0') break;
            ++p;
            continue;
        }
        if (*p == '\\') base = p + 1;
    }
    return base;
}

}  // namespace

extern "C" bool LogFlag(void) noexcept {
    char value[kIniValueSize];
    return readLogSetting(kWriteLogKey, value) && value[0] == '1' && value[1] == '\0';
}

extern "C" void Log(const char* sourceFile, unsigned line, const char* message) noexcept {
    // The timestamp is taken before either setting is read.
    SYSTEMTIME now;
    GetLocalTime(&now);
    char timestamp[kTimeSize];
    std::snprintf(timestamp, sizeof timestamp, kTimeFormat.c_str(), now.wMonth, now.wDay, now.wHour, now.wMinute,
                  now.wSecond);
    char lineText[kLineNumberSize];
    std::snprintf(lineText, sizeof lineText, "%d", static_cast<int>(line));

    if (!LogFlag()) return;
    char logPath[kIniValueSize];
    if (!readLogSetting(kLogPathKey, logPath)) return;

    // Exclusive while open: a concurrent writer fails to open and drops its record rather
    // than interleaving with ours. Text mode said outright ('t'), so that the line end does
    // not hang on the runtime's default mode, which the host may have set to binary.
    UniqueFile file{_fsopen(logPath, "a+t", _SH_DENYRW)};
    if (!file) return;

    const char* base = baseName(sourceFile != nullptr ? sourceFile : "");
    const char* text = message != nullptr ? message : "";
    const std::size_t timestampLength = std::strlen(timestamp);
    const std::size_t baseLength = std::strlen(base);
    const std::size_t lineLength = std::strlen(lineText);
    const std::size_t textLength = std::strlen(text);
    const std::size_t recordSize = timestampLength + baseLength + 1 + lineLength + 1 + textLength + 1;

    std::unique_ptr<char[]> record{new (std::nothrow) char[recordSize]};
    if (!record) return;  // Silent like every other failure: the record is skipped.
    char* out = record.get();
    auto append = [&out](const char* part, std::size_t length) {
        std::memcpy(out, part, length);
        out += length;
    };
    append(timestamp, timestampLength);
    append(base, baseLength);
    append(&kFieldSeparator, 1);
    append(lineText, lineLength);
    append(&kFieldSeparator, 1);
    append(text, textLength);
    *out = '\0';

    // Text mode: "\n" reaches the file as the platform's line end. A failed write is as silent as
    // every other failure: there is nowhere to report it.
    (void)std::fwrite(record.get(), 1, recordSize - 1, file.get());
    (void)std::fputs("\n", file.get());
    (void)std::fflush(file.get());
}

BOOL WINAPI DllMain(HINSTANCE /*instance*/, DWORD /*reason*/, LPVOID /*reserved*/) { return TRUE; }
