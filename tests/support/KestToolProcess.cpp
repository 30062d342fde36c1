#include "KestToolProcess.h"

#include "LogFile.h"
#include "TestData.h"

#include <stdexcept>
#include <vector>

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
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    const UniqueFileHandle in{
        CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr)};
    if (!in) throw std::runtime_error("cannot open NUL");
    // The tool inherits these three and nothing else: not this program's own output, which a
    // test runner reads as soon as this program ends, while an ended tool may still hold it.
    HANDLE inherited[] = {in.get(), out.get(), err.get()};
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    std::vector<char> attributeBytes(size);
    auto* attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attributeBytes.data());
    if (!InitializeProcThreadAttributeList(attributes, 1, 0, &size) ||
        !UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited, sizeof inherited,
                                   nullptr, nullptr))
        throw std::runtime_error("cannot list the tool's handles: error " + std::to_string(GetLastError()));
    STARTUPINFOEXA startup{};
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdInput = in.get();
    startup.StartupInfo.hStdOutput = out.get();
    startup.StartupInfo.hStdError = err.get();
    startup.lpAttributeList = attributes;
    std::string commandLine = "\"" + programDirectory() + "kesttool.exe\" " + arguments;
    PROCESS_INFORMATION started{};
    const auto start = [&] {
        return CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, EXTENDED_STARTUPINFO_PRESENT,
                              nullptr, nullptr, &startup.StartupInfo, &started) != FALSE;
    };
    // Wine now and then fails a start with ERROR_INTERNAL_ERROR before the program runs (seen
    // once in a GCC trap run of some thousand starts); the second start is the tool's.
    const bool startedOk = start() || (GetLastError() == ERROR_INTERNAL_ERROR && start());
    const DWORD error = GetLastError();
    DeleteProcThreadAttributeList(attributes);
    if (!startedOk) throw std::runtime_error("cannot start " + commandLine + ": error " + std::to_string(error));
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
