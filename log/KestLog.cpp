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
using kest::MutexOwnership;
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

// How long one record waits for the file while another writer has it: long enough for any
// writer of this system to finish its record, short enough that a holder that never lets go
// (a program that opened the log for writing) costs the host little. Then the record is dropped.
constexpr ULONGLONG kWaitForFileMs = 50;
// How long one record waits behind the system's other writers, which each hold their turn only
// while they write one record: a queue of a dozen busy writers on a loaded machine passes in
// that time. A writer stopped while holding its turn (a host halted in a debugger) costs the
// others this much a record.
constexpr DWORD kWaitForTurnMs = 100;
// Every writer of this system, in every process of the session, takes its turn on this mutex, so
// that writers queue for the file instead of racing for it. The file's own sharing is what keeps
// records whole: the mutex only orders the waiting.
constexpr wchar_t kWriterTurnName[] = L"Local\\KestLog.RecordWriter";

// The turn mutex, made at the first record and kept while the DLL is loaded: making and
// closing it for every record would cost two more trips to the kernel (to Wine's server).
HANDLE turnMutex = nullptr;

HANDLE writerTurnMutex() noexcept {
    if (HANDLE kept = InterlockedCompareExchangePointer(&turnMutex, nullptr, nullptr)) return kept;
    HANDLE made = CreateMutexW(nullptr, FALSE, kWriterTurnName);
    if (made == nullptr) return nullptr;
    // Another thread may have made it meanwhile: one handle is kept.
    if (HANDLE kept = InterlockedCompareExchangePointer(&turnMutex, made, nullptr)) {
        CloseHandle(made);
        return kept;
    }
    return made;
}

// This thread's turn at the log file, waited for at most kWaitForTurnMs. A turn not taken in
// time (or a mutex that cannot be made) still lets the record try the file until the deadline.
class WriterTurn {
public:
    WriterTurn() noexcept {
        if (HANDLE mutex = writerTurnMutex()) {
            // An abandoned mutex is ours as well: its owner ended while writing, the file is closed.
            const DWORD waited = WaitForSingleObject(mutex, kWaitForTurnMs);
            if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) owned_.reset(mutex);
        }
        deadline_ = GetTickCount64() + kWaitForFileMs;
    }
    [[nodiscard]] ULONGLONG deadline() const noexcept { return deadline_; }

private:
    ULONGLONG deadline_ = 0;
    MutexOwnership owned_;
};

// The log file for one record, opened for appending in text mode ('t' said outright, so that the
// line end does not hang on the runtime's default mode, which the host may have set to binary).
// Shared for reading, so a viewer following the log does not stop it, but with no other writer,
// so that no two records interleave. While another writer has it, the open is tried again until
// the deadline.
UniqueFile openForRecord(const char* path, ULONGLONG deadline) noexcept {
    for (;;) {
        if (UniqueFile file{_fsopen(path, "a+t", _SH_DENYWR)}) return file;
        const unsigned long error = _doserrno;
        if ((error != ERROR_SHARING_VIOLATION && error != ERROR_LOCK_VIOLATION) || GetTickCount64() >= deadline)
            return UniqueFile{};
        Sleep(1);
    }
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

    const WriterTurn turn;
    const UniqueFile file = openForRecord(logPath, turn.deadline());
    if (!file) return;
    // Text mode: "\n" reaches the file as the platform's line end. A failed write is as silent as
    // every other failure: there is nowhere to report it.
    (void)std::fwrite(record.get(), 1, recordSize - 1, file.get());
    (void)std::fputs("\n", file.get());
    (void)std::fflush(file.get());
}

BOOL WINAPI DllMain(HINSTANCE /*instance*/, DWORD reason, LPVOID reserved) {
    // Unloaded by FreeLibrary: the kept mutex goes with the DLL. At process end the system
    // closes it.
    if (reason == DLL_PROCESS_DETACH && reserved == nullptr && turnMutex != nullptr) CloseHandle(turnMutex);
    return TRUE;
}
