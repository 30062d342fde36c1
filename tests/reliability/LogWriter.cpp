// Writes numbered records through Log as fast as it can, from several threads, for the
// concurrent logging test.
//
//   KestLogWriter.exe <tag> <threads> <count> <start event>
//
// Waits for the start event so that every writer begins together, then each thread t logs
// records "<tag>.<t> <number> <filler>" for number 1..count, the number also as the line.
#include "KestLog.h"
#include "KestSourceFile.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Writer {
    std::string tag;
    unsigned count = 0;
};

DWORD WINAPI writeRecords(void* parameter) {
    const Writer& writer = *static_cast<const Writer*>(parameter);
    // A long record, so that an interleaved write could not go unseen.
    const std::string filler(200, writer.tag[0]);
    for (unsigned number = 1; number <= writer.count; ++number) {
        const std::string message = writer.tag + " " + std::to_string(number) + " " + filler;
        Log(KEST_SOURCE_FILE, number, message.c_str());
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: KestLogWriter <tag> <threads> <count> <start event>\n");
        return 2;
    }
    const unsigned threads = static_cast<unsigned>(std::strtoul(argv[2], nullptr, 10));
    const unsigned count = static_cast<unsigned>(std::strtoul(argv[3], nullptr, 10));
    HANDLE start = OpenEventA(SYNCHRONIZE, FALSE, argv[4]);
    if (start == nullptr || threads == 0) return 3;

    std::vector<Writer> writers(threads);
    for (unsigned t = 0; t < threads; ++t) writers[t] = {std::string(argv[1]) + "." + std::to_string(t), count};
    WaitForSingleObject(start, INFINITE);
    CloseHandle(start);
    std::vector<HANDLE> running;
    for (Writer& writer : writers) {
        HANDLE thread = CreateThread(nullptr, 0, writeRecords, &writer, 0, nullptr);
        if (thread == nullptr) return 4;
        running.push_back(thread);
    }
    WaitForMultipleObjects(static_cast<DWORD>(running.size()), running.data(), TRUE, INFINITE);
    for (HANDLE thread : running) CloseHandle(thread);
    return 0;
}
