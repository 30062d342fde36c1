// The mitigations of our DLLs as a host sees them: the security cookie the loader made for each
// DLL, a stack overrun in a DLL built as ours are, and what loading them adds to the process.
// HardeningProbe.exe is the host, in a process of its own for each case.
#include "TestData.h"

#include "KestSupportOwners.h"

#include <gmock/gmock.h>

#include <windows.h>

#include <set>
#include <string>

namespace kest::test {
namespace {

constexpr DWORD kProbeTimeoutMs = 60000;
// The cookie that x86-64 binaries carry in the file (the default of MinGW-w64's gs_support.c and of
// Visual C++'s runtime), which the loader replaces at every load (Wine's dlls/ntdll/loader.c,
// DEFAULT_SECURITY_COOKIE_64).
constexpr char kDefaultCookie[] = "00002b992ddfa232";
constexpr const char* kDlls[] = {"KestLog.dll", "KestErr.dll", "KestCommon.dll", "KestMyCert.dll"};

struct ProbeRun {
    DWORD exitCode = ~DWORD{0};
    std::string out;
};

// HardeningProbe.exe with `arguments`, to its end (ended after the timeout: exit code ~0).
ProbeRun runProbe(const std::string& arguments) {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) throw std::runtime_error("CreatePipe failed");
    const UniqueHandle reader{readEnd};
    UniqueHandle writer{writeEnd};
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION process = {};
    std::string command = "\"" + programDirectory() + "HardeningProbe.exe\" " + arguments;
    // No error box of the system's for the probe's crash: the exit code is the answer.
    const UINT errorMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    const BOOL started =
        CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process);
    SetErrorMode(errorMode);
    if (!started) throw std::runtime_error("HardeningProbe.exe did not start");
    CloseHandle(process.hThread);
    const UniqueHandle child{process.hProcess};
    writer.reset();
    ProbeRun run;
    char buffer[256];
    DWORD read = 0;
    while (ReadFile(readEnd, buffer, sizeof buffer, &read, nullptr) && read > 0) run.out.append(buffer, read);
    if (WaitForSingleObject(child.get(), kProbeTimeoutMs) != WAIT_OBJECT_0) {
        TerminateProcess(child.get(), ~UINT{0});
        return run;
    }
    GetExitCodeProcess(child.get(), &run.exitCode);
    return run;
}

std::string cookieOf(const char* dll) {
    const ProbeRun run = runProbe(std::string("cookie ") + dll);
    EXPECT_EQ(run.exitCode, 0u) << run.out;
    return run.out.substr(0, run.out.find_first_of("\r\n"));
}

// Each DLL's cookie is the loader's: not the file's default, and not the same in every process.
// Four processes, not two: Wine 8 seeds its loader's random cookie from the tick count and the
// process id, which two processes started in a row now and then share (seen once in some dozen
// runs); a cookie the loader never replaces is the same in all of them.
TEST(Hardening, each_load_of_a_dll_gets_a_cookie_of_its_own) {
#if defined(KEST_NO_LOAD_CONFIG)
    GTEST_SKIP() << "GNU ld writes no load configuration: the cookie is the file's";
#endif
    constexpr int kProcesses = 4;
    for (const char* dll : kDlls) {
        SCOPED_TRACE(dll);
        std::set<std::string> cookies;
        for (int process = 0; process < kProcesses; ++process) {
            const std::string cookie = cookieOf(dll);
            EXPECT_EQ(cookie.size(), 16u) << cookie;
            EXPECT_EQ(cookie.find_first_not_of("0123456789abcdef"), std::string::npos) << cookie;
            EXPECT_NE(cookie, kDefaultCookie);
            cookies.insert(cookie);
        }
        EXPECT_GT(cookies.size(), 1u) << "every process got " << *cookies.begin();
    }
}

// A stack overrun in a DLL built as ours are ends the host at once with the fail-fast status
// that Windows Error Reporting files ("__fastfail", Microsoft's C++ documentation: the process
// ends with STATUS_STACK_BUFFER_OVERRUN, no exception handler runs); the call never returns.
TEST(Hardening, stack_overrun_ends_the_host_by_fail_fast) {
    const ProbeRun run = runProbe("overrun");
    EXPECT_EQ(run.exitCode, static_cast<DWORD>(STATUS_STACK_BUFFER_OVERRUN)) << run.out;
    EXPECT_THAT(run.out, ::testing::Not(::testing::HasSubstr("returned")));
}

// Loading our DLLs puts no vectored exception handler ahead of the host's own: the exception
// by which a program names a thread reaches the host's last-in-line handler.
TEST(Hardening, loading_the_dlls_adds_no_exception_handler_to_the_host) {
    const ProbeRun alone = runProbe("handlers");
    ASSERT_EQ(alone.exitCode, 0u) << "the probe itself " << alone.out;
    std::string all = "handlers";
    for (const char* dll : kDlls) all += std::string(" ") + dll;
    const ProbeRun run = runProbe(all);
    EXPECT_EQ(run.exitCode, 0u) << run.out;
}

}  // namespace
}  // namespace kest::test
