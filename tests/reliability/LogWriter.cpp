// Writes numbered records through Log as fast as it can, for the concurrent logging test.
//
//   KestLogWriter.exe <tag> <count> <start event> <result file>
//
// Waits for the start event so that both writers begin together, then logs records
// "<tag> <number> <filler>" for number 1..count. KestLog.dll's own open of the log file is
// watched through its import of _fsopen: the result file receives the number of records whose
// open failed, the only records that may be missing from the log.
#include "ImportPatch.h"
#include "KestLog.h"
#include "KestSourceFile.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

unsigned failedOpens = 0;
decltype(&_fsopen) realOpen = nullptr;

FILE* __cdecl countingOpen(const char* path, const char* mode, int share) {
    FILE* file = realOpen(path, mode, share);
    if (file == nullptr) ++failedOpens;
    return file;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: KestLogWriter <tag> <count> <start event> <result file>\n");
        return 2;
    }
    const std::string tag = argv[1];
    const unsigned count = static_cast<unsigned>(std::strtoul(argv[2], nullptr, 10));
    HANDLE start = OpenEventA(SYNCHRONIZE, FALSE, argv[3]);
    if (start == nullptr) return 3;

    const kest::ImportPatch watchOpen("KestLog.dll", "msvcrt.dll", "_fsopen",
                                      reinterpret_cast<const void*>(&countingOpen));
    realOpen = watchOpen.original<decltype(&_fsopen)>();
    // A long record, so that an interleaved write could not go unseen.
    const std::string filler(200, tag.empty() ? '-' : tag[0]);

    WaitForSingleObject(start, INFINITE);
    CloseHandle(start);
    for (unsigned number = 1; number <= count; ++number) {
        const std::string message = tag + " " + std::to_string(number) + " " + filler;
        Log(KEST_SOURCE_FILE, number, message.c_str());
    }

    FILE* result = std::fopen(argv[4], "w");
    if (result == nullptr) return 4;
    std::fprintf(result, "%u\n", failedOpens);
    std::fclose(result);
    return 0;
}
