// kesttool.exe started by a test as a support person starts it: the tool beside the test
// program, in a process of its own, with its standard output and error in files.
#pragma once

#include "Installation.h"
#include "TestOwners.h"

#include <windows.h>

#include <optional>
#include <string>

namespace kest::test {

inline constexpr DWORD kToolTimeoutMs = 60000;

// The tool running with `arguments` (a command line, quoted where needed) while the test goes
// on, e.g. to look at the box it shows.
class KestToolProcess {
public:
    // Throws std::runtime_error if the tool cannot be started.
    explicit KestToolProcess(const std::string& arguments);
    // Ends the tool if it still runs, so that no test leaves one behind.
    ~KestToolProcess();
    KestToolProcess(const KestToolProcess&) = delete;
    KestToolProcess& operator=(const KestToolProcess&) = delete;

    // Its exit status; nothing while it still runs after the timeout.
    std::optional<DWORD> exitStatus(DWORD timeoutMs = kToolTimeoutMs) const;
    // What it has written so far: UTF-8, as the tool writes to files.
    std::string out() const;
    std::string err() const;

private:
    TemporaryDirectory files_{"-kesttool"};
    UniqueHandle process_;
};

struct ToolRun {
    DWORD exitCode = ~DWORD{0};  // ~0 if the tool still ran after the timeout (it was ended)
    std::string out;
    std::string err;
};

// Runs the tool to its end.
ToolRun runKestTool(const std::string& arguments);

}  // namespace kest::test
