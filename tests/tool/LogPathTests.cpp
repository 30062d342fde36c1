// Where `log status` (and doctor's log check, which judges alike) says the records go, held
// against where Log itself puts one, over LogPath shapes made by a seeded generator: Windows'
// path kinds, folders there, missing, a file in a folder's place, Japanese folders whose
// Shift_JIS holds 0x5C trail bytes, names with trailing separators, dots or blanks, forbidden
// characters, the longest lengths. Every remedy the tool names is then followed as a person
// would, and the records must reach a file.
#include "Installation.h"
#include "KestLog.h"
#include "KestToolProcess.h"
#include "ToolTestData.h"

#include <gmock/gmock.h>

#include <windows.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace kest::test {
namespace {

// A LogPath to try, and the file Windows opens for it from the test's working folder; empty
// when no file can be named.
struct Shape {
    std::string path;
    std::string label;
};

// Forward slashes for the ASCII separators, walking Shift_JIS characters whole.
std::string withSlashes(const std::string& path) {
    std::string slashed = path;
    for (std::size_t i = 0; i < slashed.size(); ++i) {
        if (IsDBCSLeadByte(static_cast<BYTE>(slashed[i])))
            ++i;
        else if (slashed[i] == '\\')
            slashed[i] = '/';
    }
    return slashed;
}

class ShapeMaker {
public:
    ShapeMaker(unsigned seed, std::string installDir) : random_(seed), dir_(std::move(installDir)) {}

    Shape next() {
        const std::string folders[] = {dir_, dir_ + "\\署名表", dir_ + "\\absent", dir_ + "\\KestEnv.ini",
                                       dir_ + "\\sub"};
        const std::string leaves[] = {"kest.log", "kest.log", "kest.log.", "kest.log  ", "",
                                      "k<t.log",  "k|t.log",  "sub",       "表.log"};
        const std::string folder = folders[pick(std::size(folders))];
        const std::string leaf = leaves[pick(std::size(leaves))];
        const std::string full = folder + "\\" + leaf;
        // Every kind in turn, its parts drawn at random.
        switch (kind_++ % 9) {
            case 0: return {full, "drive-absolute"};
            case 1: return {withSlashes(full), "drive-absolute, forward slashes"};
            case 2: return {"\\\\?\\" + full, "drive-absolute in the \\\\?\\ namespace"};
            case 3: return {full.substr(0, 2) + leaf, "drive-relative"};
            case 4: return {full.substr(2), "rooted"};
            case 5: return {pick(2) == 0 ? leaf : "sub\\" + leaf, "relative"};
            case 6: return {pick(2) == 0 ? "\\\\nosuchserver\\share\\" + leaf : "//nosuchserver/share/" + leaf, "unc"};
            case 7: return {pick(2) == 0 ? "NUL" : "\\\\.\\NUL", "device"};
            case 8: {
                // The longest names KestIni hands Log: 259 and 260 bytes.
                const std::size_t length = 259 + pick(2);
                std::string path = dir_ + "\\";
                return {path + std::string(length - path.size(), 'a'), "long"};
            }
            default: return {full, "drive-absolute"};
        }
    }

private:
    std::size_t pick(std::size_t count) { return std::uniform_int_distribution<std::size_t>(0, count - 1)(random_); }

    std::mt19937 random_;
    std::string dir_;
    unsigned kind_ = 0;
};

// The file Windows opens for the name from this process's working folder, or empty.
std::string resolved(const std::string& path) {
    char full[1024];
    const DWORD length = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
    return length == 0 || length >= sizeof full ? std::string() : std::string(full, length);
}

bool holds(const std::string& file, const std::string& marker) {
    return !file.empty() && readFileBytes(file).find(marker) != std::string::npos;
}

// The remedy's command as a person runs it: a `kesttool log on` it names, with a file of the
// installation where it says <file>.
std::string commandOf(const std::string& remedy, const std::string& installDir) {
    const std::string lead = "kesttool log on ";
    const std::size_t at = remedy.find(lead);
    if (at == std::string::npos) return {};
    std::string file = remedy.substr(at + lead.size());
    while (!file.empty() && (file.back() == '\n' || file.back() == '\r')) file.pop_back();
    if (file.rfind("<file>", 0) == 0) file = installDir + "\\kest.log";
    // As typed: the tool writes UTF-8, a command line comes in the ANSI code page.
    const std::string utf8 = file.substr(0, file.find(" ("));
    std::wstring wide(utf8.size(), L'\0');
    wide.resize(static_cast<std::size_t>(MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                                                             wide.data(), static_cast<int>(wide.size()))));
    std::string ansi(wide.size() * 2, '\0');
    ansi.resize(
        static_cast<std::size_t>(WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), ansi.data(),
                                                     static_cast<int>(ansi.size()), nullptr, nullptr)));
    return "log on \"" + ansi + "\"";
}

class LogPathTest : public InstallationTest {
protected:
    LogPathTest() {
        CreateDirectoryA(installFile("署名表").c_str(), nullptr);
        CreateDirectoryA(installFile("sub").c_str(), nullptr);
        writeFileBytes(installFile("KestEnv.ini"), "");
        GetCurrentDirectoryA(sizeof working_, working_);
        // Relative names resolve in the installation, for the tool and for Log alike.
        SetCurrentDirectoryA(installDir().c_str());
        setWriteLog("1");
    }
    ~LogPathTest() override { SetCurrentDirectoryA(working_); }

private:
    char working_[MAX_PATH] = {};
};

TEST_F(LogPathTest, TheToldDestinationIsWhereLogPutsTheRecordAndEveryRemedyGetsOneWritten) {
    const char* fixed = std::getenv("KEST_SEED");
    const unsigned seed = fixed != nullptr ? static_cast<unsigned>(std::strtoul(fixed, nullptr, 10))
                                           : static_cast<unsigned>(GetTickCount());
    SCOPED_TRACE("KEST_SEED=" + std::to_string(seed));
    ShapeMaker shapes(seed, installDir());
    for (unsigned n = 0; n < 20; ++n) {
        const Shape shape = shapes.next();
        SCOPED_TRACE(shape.label + ": " + shape.path);
        setLogPath(shape.path);
        // Wine 8.0's GetFullPathNameA gives nothing for the longest names; they are full already.
        std::string target = resolved(shape.path);
        if (target.empty() && shape.label == "long") target = shape.path;
        const ToolRun status = runKestTool("log status");
        const std::string marker = "record " + std::to_string(n);
        Log("LogPathTests.cpp", n, marker.c_str());
        const bool landed = holds(target, marker);
        const bool remedy = status.out.find("; ") != std::string::npos;
        if (status.exitCode == 1) {
            EXPECT_FALSE(landed) << "said dropped, written to " << target << ": " << status.out;
        } else {
            ASSERT_EQ(status.exitCode, 0u) << status.err;
            // Said written: written there, and to the file named as written. Said elsewhere: the
            // record reached the file this working folder gives, not one the path names alone.
            // Windows makes a file whose name ends in a dot or blank in the \\?\ form, which takes
            // names as written ("Naming Files, Paths, and Namespaces", Win32 documentation);
            // Wine 8.0 refuses to.
            const bool wineRefuses =
                shape.path.rfind("\\\\?\\", 0) == 0 && (shape.path.back() == '.' || shape.path.back() == ' ');
            if (status.out.find("cannot tell") == std::string::npos && !wineRefuses) {
                EXPECT_TRUE(landed) << "said kept, found nowhere: " << status.out << " (" << target << ": "
                                    << GetFileAttributesA(target.c_str()) << ")";
            }
            if (!remedy) {
                EXPECT_NE(status.out.find("to " + ansiToUtf8(shape.path)), std::string::npos) << status.out;
                // One file wherever the host works: the name resolves alike from another folder.
                SetCurrentDirectoryA(installFile("sub").c_str());
                const std::string fromElsewhere = resolved(shape.path);
                SetCurrentDirectoryA(installDir().c_str());
                if (!fromElsewhere.empty()) {
                    EXPECT_EQ(fromElsewhere, target) << "said one file: " << status.out;
                }
            }
        }
        if (!remedy) continue;
        const std::string command = commandOf(status.out, installDir());
        ASSERT_FALSE(command.empty()) << "a remedy that names no command: " << status.out;
        ASSERT_EQ(runKestTool(command).exitCode, 0u) << command;
        const ToolRun again = runKestTool("log status");
        EXPECT_EQ(again.exitCode, 0u) << command << " left: " << again.out;
        EXPECT_EQ(again.out.find("; "), std::string::npos) << command << " left: " << again.out;
    }
}

}  // namespace
}  // namespace kest::test
