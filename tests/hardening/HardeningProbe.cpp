// The host process of the hardening tests, which loads DLLs and reports what a host sees:
//   HardeningProbe cookie <dll>      prints the security cookie of <dll> as loaded, in hexadecimal
//   HardeningProbe overrun           calls KestOverrun.dll with a text longer than its buffer
//   HardeningProbe handlers <dll>... loads each <dll>, then raises the exception by which a
//                                    program names a thread to its debugger; exit status 0 if it
//                                    reached the process's last-in-line vectored handler, 3 if a
//                                    handler ahead of it took it
// Exit status 2 when a DLL does not load.
#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

// The name-a-thread exception of Visual Studio's debuggers: without a debugger, a program that
// raises it relies on a handler of its own, and a handler that continues every such exception
// hides it from everyone behind.
constexpr DWORD kSetThreadNameException = 0x406D1388;

bool reachedLast = false;

LONG CALLBACK lastHandler(EXCEPTION_POINTERS* exception) {
    if (exception->ExceptionRecord->ExceptionCode != kSetThreadNameException) return EXCEPTION_CONTINUE_SEARCH;
    reachedLast = true;
    return EXCEPTION_CONTINUE_EXECUTION;
}

HMODULE load(const char* name) {
    HMODULE module = LoadLibraryA(name);
    if (!module) std::fprintf(stderr, "%s did not load (error %lu)\n", name, GetLastError());
    return module;
}

int printCookie(const char* name) {
    const HMODULE module = load(name);
    if (!module) return 2;
    const auto* base = reinterpret_cast<const BYTE*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_LOAD_CONFIG];
    if (directory.VirtualAddress == 0) {
        std::printf("none\n");
        return 0;
    }
    const auto* config = reinterpret_cast<const IMAGE_LOAD_CONFIG_DIRECTORY64*>(base + directory.VirtualAddress);
    if (config->SecurityCookie == 0) {
        std::printf("none\n");
        return 0;
    }
    std::printf("%016llx\n", *reinterpret_cast<const unsigned long long*>(config->SecurityCookie));
    return 0;
}

int overrun() {
    const HMODULE module = load("KestOverrun.dll");
    if (!module) return 2;
    using Copy = std::size_t (*)(const char*);
    const auto copy =
        reinterpret_cast<Copy>(reinterpret_cast<void*>(GetProcAddress(module, "kestCopyIntoSmallBuffer")));
    if (!copy) return 2;
    char text[256];
    std::memset(text, 'A', sizeof text - 1);
    text[sizeof text - 1] = '\0';
    std::printf("returned %zu\n", copy(text));
    return 0;
}

int raiseAfterLoading(int count, char** names) {
    AddVectoredExceptionHandler(0, lastHandler);
    for (int i = 0; i < count; ++i)
        if (!load(names[i])) return 2;
    struct {
        DWORD type;
        const char* name;
        DWORD threadId;
        DWORD flags;
    } info = {0x1000, "probe", ~DWORD{0}, 0};
    RaiseException(kSetThreadNameException, 0, sizeof info / sizeof(ULONG_PTR),
                   reinterpret_cast<const ULONG_PTR*>(&info));
    if (reachedLast) return 0;
    std::printf("a vectored handler ahead of the host's took the exception\n");
    return 3;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "cookie") == 0) return printCookie(argv[2]);
    if (argc == 2 && std::strcmp(argv[1], "overrun") == 0) return overrun();
    if (argc >= 2 && std::strcmp(argv[1], "handlers") == 0) return raiseAfterLoading(argc - 2, argv + 2);
    std::fprintf(stderr, "usage: HardeningProbe cookie <dll> | overrun | handlers <dll>...\n");
    return 1;
}
