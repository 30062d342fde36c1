// Where a test program finds its data and helper programs: beside itself, as the build tree's
// bin/ and the unpacked test package lay them out (testdata\ holds the copies that
// kest_add_test_data makes), so that no program depends on where the sources were.
#pragma once

#include <windows.h>

#include <stdexcept>
#include <string>

namespace kest::test {

// The folder of the running program, with a trailing backslash.
inline std::string programDirectory() {
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    if (length == 0 || length >= sizeof path) throw std::runtime_error("GetModuleFileNameA failed");
    const std::string full(path, length);
    return full.substr(0, full.find_last_of('\\') + 1);
}

// A file of testdata\ beside the program, e.g. testDataPath("mycert\\signer.p12").
inline std::string testDataPath(const std::string& relative) { return programDirectory() + "testdata\\" + relative; }

}  // namespace kest::test
