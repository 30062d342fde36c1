#include "KestToolProcess.h"

#include "LogFile.h"
#include "TestData.h"

#include <stdexcept>

namespace kest::test {
namespace {

constexpr char kOutName[] = "tool.out";
constexpr char kErrName[] = "tool.err";
// How long an ended tool may take to let go of its files.
constexpr DWORD kEndMs = 5000;

// A file the tool inherits as a standard handle.
UniqueFileHandle inheritableFile(const std::string& path) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    UniqueFileHandle file{CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr)};
    if (!file) throw std::runtime_error("cannot create " + path);
    return file;
}

}  // namespace

KestToolProcess::KestToolProcess(const std::string& arguments) {
    const UniqueFileHandle out = inheritableFile(files_.file(kOutName));
    const UniqueFileHandle err = inheritableFile(files_.file(kErrName));
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = out.get();
    startup.hStdError = err.get();
    std::string commandLine = "\"" + programDirectory() + "kesttool.exe\" " + arguments;
    PROCESS_INFORMATION started{};
    const auto start = [&] {
        return CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                              &started) != FALSE;
    };
    // Wine now and then fails a start with ERROR_INTERNAL_ERROR before the program runs (seen
    // once in a GCC trap run of some thousand starts); the second start is the tool's.
    if (!start() && (GetLastError() != ERROR_INTERNAL_ERROR || !start()))
        throw std::runtime_error("cannot start " + commandLine + ": error " + std::to_string(GetLastError()));
    CloseHandle(started.hThread);
    process_.reset(started.hProcess);
}

KestToolProcess::~KestToolProcess() {
    if (exitStatus(0)) return;
    TerminateProcess(process_.get(), 99);
    WaitForSingleObject(process_.get(), kEndMs);
}

std::optional<DWORD> KestToolProcess::exitStatus(DWORD timeoutMs) const {
    if (WaitForSingleObject(process_.get(), timeoutMs) != WAIT_OBJECT_0) return std::nullopt;
    DWORD status = 0;
    GetExitCodeProcess(process_.get(), &status);
    return status;
}

std::string KestToolProcess::out() const { return readFileBytes(files_.file(kOutName)); }
std::string KestToolProcess::err() const { return readFileBytes(files_.file(kErrName)); }

ToolRun runKestTool(const std::string& arguments) {
    const KestToolProcess tool(arguments);
    ToolRun run;
    if (const std::optional<DWORD> status = tool.exitStatus()) run.exitCode = *status;
    run.out = tool.out();
    run.err = tool.err();
    return run;
}

}  // namespace kest::test
