// KestCommon: formatted trace records, the shared heap, whole-file helpers and the
// settings file "KestEnv.ini" of the installation directory.
#include "KestCommon.h"

#include "KestIni.h"
#include "KestLog.h"
#include "KestLogRecord.h"
#include "KestOwners.h"
#include "KestResultMessages.h"
#include "KestTrace.h"

#include <windows.h>
#include <shlwapi.h>

#include <sys/stat.h>

#include <cerrno>
#include <charconv>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <system_error>

namespace {

constexpr char kSettingsFileName[] = "KestEnv.ini";

// Every settings read passes this as the default: reading it back means the file, the
// section or the key is missing.
constexpr char kAbsentValue[] = "#####KESTINI_GetPrivateProfileString_ERROR#####";
// The smallest read buffer: room for the absent-value sentinel and then some.
constexpr unsigned kMinimumValueSize = 64;
static_assert(sizeof kAbsentValue <= kMinimumValueSize);

// The runtime's status call reports a signed 32-bit size: files from 2 GiB on have none.
constexpr long long kLargestReportedFileSize = 0x7FFFFFFF;

using kest::UniqueFile;

// Formats a caller's format into a trace text: at most 255 characters, always terminated,
// whatever the formatting reports.
//
// The formats are the host's, written for the Windows runtime's printf (%ws, %S, %I64d, %Iu,
// upper-case %p), so they go to the runtime's own formatter, msvcrt.dll's _vsnprintf.
// std::vsnprintf would be MinGW's C99 formatter, which libstdc++ selects for every C++ unit:
// it prints %ws literally without taking its argument, and every later conversion then takes
// the wrong one, a pointer among them. _vsnprintf writes at most `count` bytes and leaves them
// unterminated when the text is longer, or when a wide text does not convert, so the buffer
// starts zeroed and its last byte is never handed over.
//
// A text cut at its bound may end in the lead byte of a double-byte character, which every
// reader would join with the line end: the cut is moved back to a whole character.
void formatTraceText(char (&text)[kest::kTraceTextSize], const char* format, va_list values) noexcept {
    std::memset(text, 0, sizeof text);
    if (format == nullptr) return;
    const int length = _vsnprintf(text, sizeof text - 1, format, values);
    if (length >= 0 && static_cast<std::size_t>(length) < sizeof text - 1) return;
    for (char* at = text; *at != '\0'; ++at) {
        if (!IsDBCSLeadByte(static_cast<BYTE>(*at))) continue;
        if (at[1] == '\0') {
            *at = '\0';
            break;
        }
        ++at;
    }
}

// The whole text as one number in the C locale's form, whatever locale the host set for the
// runtime: white space, a sign, then a decimal or hexadecimal number, "inf" or "nan". A number
// too small for a double is 0, one too large is none. False for anything else.
bool parseNumber(const char* text, double& number) noexcept {
    const char* at = text;
    while (*at == ' ' || (*at >= '\t' && *at <= '\r')) ++at;
    const bool negative = *at == '-';
    if (*at == '-' || *at == '+') ++at;
    if (*at == '-' || *at == '+') return false;
    const char* const end = at + std::strlen(at);
    const bool hex = at[0] == '0' && (at[1] == 'x' || at[1] == 'X');
    const char* const digits = hex ? at + 2 : at;
    double value = 0;
    const std::from_chars_result read =
        std::from_chars(digits, end, value, hex ? std::chars_format::hex : std::chars_format::general);
    if (read.ptr != end || read.ptr == digits) return false;
    if (read.ec == std::errc::result_out_of_range) {
        // Out of range both ways: only an exponent below zero makes it tiny.
        const char* exponent = std::strpbrk(digits, hex ? "pP" : "eE");
        if (exponent == nullptr || exponent[1] != '-') return false;
        value = 0;
    } else if (read.ec != std::errc{}) {
        return false;
    }
    number = negative ? -value : value;
    return true;
}

UniqueFile openFile(const char* path, const char* mode) noexcept {
    FILE* file = nullptr;
    if (path == nullptr || fopen_s(&file, path, mode) != 0) return UniqueFile{};
    return UniqueFile{file};
}

}  // namespace

// --- Trace records ------------------------------------------------------------------------

extern "C" void logAny(const char* sourceFile, unsigned line, const char* format, ...) noexcept {
    char text[kest::kTraceTextSize];
    va_list values;
    va_start(values, format);
    formatTraceText(text, format, values);
    va_end(values);
    Log(sourceFile, line, text);
}

extern "C" void logError(const char* sourceFile, unsigned line, const char* functionName, unsigned code,
                         const char* format, ...) noexcept {
    char detail[kest::kTraceTextSize];
    va_list values;
    va_start(values, format);
    formatTraceText(detail, format, values);
    va_end(values);
    logAny(sourceFile, line, kest::record::kErrorFormat.c_str(), functionName != nullptr ? functionName : "", code,
           detail);
}

// --- Shared heap -----------------------------------------------------------------------

extern "C" ResultCode allocMemory(unsigned size, void** out) noexcept {
    KEST_TRACE("allocMemory");
    // The process heap, not a runtime's own: any library may free the block.
    void* block = HeapAlloc(GetProcessHeap(), 0, size);
    if (block == nullptr) {
        // The value logged is the heap call's null result; HeapAlloc sets no last error.
        KEST_RETURN(KEST_PLATFORM_FAILED(KEST_E_NO_MEMORY, "HeapAlloc", 0));
    }
    std::memset(block, 0, size);
    *out = block;
    KEST_RETURN(KEST_OK);
}

extern "C" void freeMemory(void* block) noexcept {
    KEST_TRACE("freeMemory");
    if (block != nullptr) HeapFree(GetProcessHeap(), 0, block);
    KEST_RETURN_VOID();
}

// --- Whole files -----------------------------------------------------------------------

extern "C" unsigned getFileSize(const char* path) noexcept {
    KEST_TRACE("getFileSize");
    // The 64-bit status call: the 32-bit one wraps for large files on some runtimes instead
    // of failing, which would report a wrong size.
    struct _stati64 status;
    if (path == nullptr || _stati64(path, &status) != 0) KEST_RETURN(0u);
    if (status.st_size < 0 || status.st_size > kLargestReportedFileSize) KEST_RETURN(0u);
    KEST_RETURN(static_cast<unsigned>(status.st_size));
}

extern "C" unsigned readFile(const char* path, void* buffer, unsigned size) noexcept {
    KEST_TRACE("readFile");
    UniqueFile file = openFile(path, "rb");
    if (!file) {
        kestTrace.note(__LINE__, "fopen_s() failed : %s", path != nullptr ? path : "");
        KEST_RETURN(0u);
    }
    // A stream just opened for reading is at its start already: the seek cannot fail to get there.
    (void)std::fseek(file.get(), 0, SEEK_SET);
    KEST_RETURN(static_cast<unsigned>(std::fread(buffer, 1, size, file.get())));
}

extern "C" unsigned writeFile(const char* path, const void* data, unsigned size) noexcept {
    KEST_TRACE("writeFile");
    UniqueFile file = openFile(path, "wb");
    if (!file) {
        kestTrace.note(__LINE__, "fopen_s() failed : %s", path != nullptr ? path : "");
        KEST_RETURN(0u);
    }
    // Without the stream's buffer the count is what the file took: a buffered stream takes
    // bytes that a full disk then refuses at the close.
    if (std::setvbuf(file.get(), nullptr, _IONBF, 0) != 0) {
        kestTrace.note(__LINE__, "setvbuf() failed : %s : %s", path, std::strerror(errno));
        KEST_RETURN(0u);
    }
    const auto written = static_cast<unsigned>(std::fwrite(data, 1, size, file.get()));
    if (written < size) {
        kestTrace.note(__LINE__, "fwrite() failed : %s : %s", path, std::strerror(errno));
        // Some runtimes (Wine's) fail the close of a stream in error again: the close is to
        // report only a failure of its own.
        std::clearerr(file.get());
    }
    // Nothing is buffered by now: a failed close is traced, the bytes written stay counted.
    if (std::fclose(file.release()) != 0)
        kestTrace.note(__LINE__, "fclose() failed : %s : %s", path, std::strerror(errno));
    KEST_RETURN(written);
}

// --- Settings file ---------------------------------------------------------------------

extern "C" ResultCode getIniFilePath(char* dest) noexcept {
    KEST_TRACE("getIniFilePath");
    char installDir[MAX_PATH] = {};
    if (!KestInstallPath(installDir, sizeof installDir))
        KEST_RETURN(KEST_CHECK_FAILED(KEST_E_NO_INSTALL_PATH, kest::resultMessage(KEST_E_NO_INSTALL_PATH)));
    installDir[sizeof installDir - 1] = '\0';

    // A joined path that does not fit leaves dest empty: no such file.
    char joined[MAX_PATH] = {};
    if (PathCombineA(joined, installDir, kSettingsFileName) == nullptr) joined[0] = '\0';
    std::memcpy(dest, joined, sizeof joined);

    if (joined[0] == '\0' || !PathFileExistsA(joined))
        KEST_RETURN(KEST_CHECK_FAILED(KEST_E_NO_SETTINGS_FILE, kest::resultMessage(KEST_E_NO_SETTINGS_FILE)));
    KEST_RETURN(KEST_OK);
}

namespace {

[[nodiscard]] ResultCode readSetting(const char* file, const char* section, const char* key, char* value,
                                     unsigned size) noexcept {
    KEST_TRACE("readIniString");
    if (size < kMinimumValueSize) KEST_RETURN(KEST_CHECK_FAILED(KEST_E_SETTINGS_READ, kest::kMessageBufferTooSmall));
    GetPrivateProfileStringA(section, key, kAbsentValue, value, size, file);
    if (std::strcmp(value, kAbsentValue) == 0) {
        // The unmatched ")" after the key belongs to the record's layout: stored logs carry it,
        // and the tools that read them take the record as written.
        KEST_RETURN(KEST_FAILED(KEST_E_SETTINGS_READ, "%s : [%s] - %s)", kest::resultMessage(KEST_E_SETTINGS_READ),
                                section, key));
    }
    KEST_RETURN(KEST_OK);
}

}  // namespace

extern "C" ResultCode readIniString(const char* file, const char* section, const char* key, char* value,
                                    unsigned size) noexcept {
    return readSetting(file, section, key, value, size);
}

extern "C" ResultCode readIniInt(const char* file, const char* section, const char* key, int* value) noexcept {
    KEST_TRACE("readIniInt");
    char text[kMinimumValueSize] = {};
    if (const ResultCode code = readSetting(file, section, key, text, sizeof text); code != KEST_OK)
        KEST_RETURN(KEST_INNER_FAILED(code, "readIniString"));

    // The whole text must be one number (white space only before it) within int's range;
    // a text read as not-a-number fails the range check too. A text that fills the buffer
    // may have been cut, and a cut number is some other number: invalid as well.
    double number = 0;
    const bool cut = std::strlen(text) == sizeof text - 1;
    const bool whole = !cut && parseNumber(text, number);
    if (!whole || !(number >= -2147483648.0 && number <= 2147483647.0))
        KEST_RETURN(KEST_CHECK_FAILED(KEST_E_SETTINGS_INVALID, kest::resultMessage(KEST_E_SETTINGS_INVALID)));

    *value = static_cast<int>(number);  // Truncated toward zero.
    KEST_RETURN(KEST_OK);
}

extern "C" ResultCode writeIniString(const char* file, const char* section, const char* key,
                                     const char* value) noexcept {
    KEST_TRACE("writeIniString");
    if (!WritePrivateProfileStringA(section, key, value, file))
        KEST_RETURN(KEST_PLATFORM_FAILED(KEST_E_SETTINGS_WRITE, "WritePrivateProfileStringA", GetLastError()));
    KEST_RETURN(KEST_OK);
}

BOOL WINAPI DllMain(HINSTANCE /*instance*/, DWORD /*reason*/, LPVOID /*reserved*/) { return TRUE; }
