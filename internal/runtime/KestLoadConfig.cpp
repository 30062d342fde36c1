// The load configuration of every binary of ours: the stack protector's cookie, which the loader
// makes random per load; Control Flow Guard's check and dispatch pointers and its tables, which
// lld fills; DependentLoadFlags left 0, the loader's default search (every binary of ours imports
// a DLL of the installation: KestIni.dll or one of ours, which a search of System32 alone would
// not find, docs/hardening.md). MinGW-w64's runtime
// has none, and without _load_config_used lld writes no load configuration at all. (GNU ld
// 2.40, the trap build's, writes none even with it: there the stack protector checks the
// fixed cookie below, and still fails fast.)
//
// The table itself is assembly: GuardFlags, a 32-bit field, takes the value of an absolute
// symbol of the linker, which no C++ initialiser can spell.
#include <windows.h>

#include <cstdint>

// The names are the compiler's and the loader's.
// NOLINTBEGIN(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)

// The guard that clang's and GCC's stack protector check, and the cookie of the load
// configuration: the loader replaces this default, x86-64's, with a random value at every load
// (and treats any other value as already set).
extern "C" {
std::uintptr_t __stack_chk_guard = 0x00002B992DDFA232ULL;
}

// A failed check: the stack is not to be trusted, so nothing runs on it, no handler, no
// unwinding through the host. The fail-fast ends the process with STATUS_STACK_BUFFER_OVERRUN,
// which Windows Error Reporting takes as it is.
extern "C" [[noreturn]] __attribute__((no_stack_protector)) void __stack_chk_fail() {
    __asm__ volatile("int $0x29" : : "c"(FAST_FAIL_STACK_COOKIE_CHECK_FAILURE) : "memory");
    __builtin_unreachable();
}

// clang instruments the indirect calls, and lld writes the tables (GCC and GNU ld do neither).
#if defined(__clang__)
// Until the loader of a process that enforces Control Flow Guard puts its own here, an indirect
// call checks nothing and goes to its target (in rax, where the instrumented call leaves it).
extern "C" void kestGuardCheckNone();
extern "C" void kestGuardDispatchNone();
__asm__(
    ".text\n"
    "kestGuardCheckNone:\n"
    "    ret\n"
    "kestGuardDispatchNone:\n"
    "    jmp *%rax\n");
// Read-only, as the loader expects them; it makes them writable for its own write.
using KestGuardFunction = void (*)();
extern "C" {
extern const KestGuardFunction __guard_check_icall_fptr;
extern const KestGuardFunction __guard_dispatch_icall_fptr;
__attribute__((section(".00cfg"))) const KestGuardFunction __guard_check_icall_fptr = kestGuardCheckNone;
__attribute__((section(".00cfg"))) const KestGuardFunction __guard_dispatch_icall_fptr = kestGuardDispatchNone;
}

// The linker's own symbols: the tables it writes, and as absolute symbols their counts and the
// guard flags.
#define KEST_GUARD(symbol) symbol
#else
#define KEST_GUARD(symbol) "0"
#endif

#define KEST_STRING(x) #x
#define KEST_VALUE(x)  KEST_STRING(x)

// The table in the x86-64 layout of the Windows 10 SDK's IMAGE_LOAD_CONFIG_DIRECTORY64, through
// the XFG pointers (0x130 bytes; MinGW-w64's winnt.h stops before the Control Flow Guard
// fields), read-only.
// clang-format off: one field a line, with its offset
__asm__(".section .rdata,\"dr\"\n"
        ".balign 8\n"
        ".globl _load_config_used\n"
        "_load_config_used:\n"
        "    .long 0x130\n"                      /* 0x00 Size */
        "    .long 0\n"                          /* 0x04 TimeDateStamp */
        "    .short 0, 0\n"                      /* 0x08 MajorVersion, MinorVersion */
        "    .long 0, 0, 0\n"                    /* 0x0C GlobalFlagsClear, GlobalFlagsSet, CriticalSectionDefaultTimeout */
        "    .quad 0, 0, 0, 0, 0, 0\n"           /* 0x18 DeCommit..., LockPrefixTable, MaximumAllocationSize,
                                                    VirtualMemoryThreshold, ProcessAffinityMask */
        "    .long 0\n"                          /* 0x48 ProcessHeapFlags */
        "    .short 0\n"                         /* 0x4C CSDVersion */
        "    .short 0\n"                         /* 0x4E DependentLoadFlags: the default search */
        "    .quad 0\n"                          /* 0x50 EditList */
        "    .quad __stack_chk_guard\n"          /* 0x58 SecurityCookie */
        "    .quad 0, 0\n"                       /* 0x60 SEHandlerTable, SEHandlerCount (x86 only) */
        "    .quad " KEST_GUARD("__guard_check_icall_fptr") "\n"    /* 0x70 GuardCFCheckFunctionPointer */
        "    .quad " KEST_GUARD("__guard_dispatch_icall_fptr") "\n" /* 0x78 GuardCFDispatchFunctionPointer */
        "    .quad " KEST_GUARD("__guard_fids_table") "\n"          /* 0x80 GuardCFFunctionTable */
        "    .quad " KEST_GUARD("__guard_fids_count") "\n"          /* 0x88 GuardCFFunctionCount */
        "    .long " KEST_GUARD("__guard_flags") "\n"               /* 0x90 GuardFlags */
        "    .short 0, 0\n"                      /* 0x94 CodeIntegrity: Flags, Catalog */
        "    .long 0, 0\n"                       /*      CatalogOffset, Reserved */
        "    .quad " KEST_GUARD("__guard_iat_table") "\n"           /* 0xA0 GuardAddressTakenIatEntryTable */
        "    .quad " KEST_GUARD("__guard_iat_count") "\n"           /* 0xA8 GuardAddressTakenIatEntryCount */
        "    .quad " KEST_GUARD("__guard_longjmp_table") "\n"       /* 0xB0 GuardLongJumpTargetTable */
        "    .quad " KEST_GUARD("__guard_longjmp_count") "\n"       /* 0xB8 GuardLongJumpTargetCount */
        "    .quad 0, 0, 0, 0\n"                 /* 0xC0 DynamicValueRelocTable, CHPEMetadataPointer,
                                                    GuardRFFailureRoutine, GuardRFFailureRoutineFunctionPointer */
        "    .long 0\n"                          /* 0xE0 DynamicValueRelocTableOffset */
        "    .short 0, 0\n"                      /* 0xE4 DynamicValueRelocTableSection, Reserved2 */
        "    .quad 0\n"                          /* 0xE8 GuardRFVerifyStackPointerFunctionPointer */
        "    .long 0, 0\n"                       /* 0xF0 HotPatchTableOffset, Reserved3 */
        "    .quad 0, 0\n"                       /* 0xF8 EnclaveConfigurationPointer, VolatileMetadataPointer */
        "    .quad " KEST_GUARD("__guard_eh_cont_table") "\n"       /* 0x108 GuardEHContinuationTable */
        "    .quad " KEST_GUARD("__guard_eh_cont_count") "\n"       /* 0x110 GuardEHContinuationCount */
        "    .quad 0, 0, 0\n"                    /* 0x118 GuardXFGCheck-, XFGDispatch-, XFGTableDispatchFunctionPointer */
        "    .text\n");
// clang-format on
// NOLINTEND(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)
