// A host with a bug of its own: before the certificate choice it writes each validity with its
// time zone back into the record's 20-byte notAfter field, which the text outgrows, running over
// candidate and next. Counting the list then follows the overwritten next inside KestMyCert.dll
// and faults there. The host's unhandled-exception filter writes a minidump, as a host's crash
// reporter does.
//
// Usage: crash-host <minidump file, Windows form>
#include <KestMyCert.h>

#include <windows.h>
// After windows.h, which it needs.
#include <dbghelp.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

const char* dumpPath = nullptr;

LONG WINAPI writeMinidump(EXCEPTION_POINTERS* exception) {
    const HANDLE file = CreateFileA(dumpPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    BOOL written = FALSE;
    if (file != INVALID_HANDLE_VALUE) {
        MINIDUMP_EXCEPTION_INFORMATION information{GetCurrentThreadId(), exception, FALSE};
        written = MiniDumpWriteDump(GetCurrentProcess(), GetCurrentProcessId(), file, MiniDumpNormal, &information,
                                    nullptr, nullptr);
        CloseHandle(file);
    }
    std::fprintf(stderr, "crash-host: exception 0x%08lx, minidump %s\n", exception->ExceptionRecord->ExceptionCode,
                 written ? "written" : "not written");
    return EXCEPTION_EXECUTE_HANDLER;
}

// The bug: "2034.01.05 00:00:00 (+09:00 in JST)" is 36 bytes with its terminator.
__declspec(noinline) void showValidityInJapanTime(MyCert* head) {
    for (MyCert* record = head; record != nullptr;) {
        MyCert* const next = record->next;
        const std::string shown = std::string(record->notAfter) + " (+09:00 in JST)";
        std::strcpy(record->notAfter, shown.c_str());
        record = next;
    }
}

__declspec(noinline) int showCertificateChoice(MyCert* head) {
    showValidityInJapanTime(head);
    const unsigned count = countMyCertList(head);
    std::printf("crash-host: %u certificates to choose from\n", count);
    return static_cast<int>(count);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: crash-host <minidump file>\n");
        return 2;
    }
    dumpPath = argv[1];
    SetUnhandledExceptionFilter(writeMinidump);
    MyCert* head = nullptr;
    if (createMyCertList(&head) != 0 || head == nullptr) {
        std::fprintf(stderr, "crash-host: no certificate with a key in the personal store\n");
        return 3;
    }
    const int count = showCertificateChoice(head);
    deleteMyCertList(head);
    return count > 0 ? 0 : 1;
}
