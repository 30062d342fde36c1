// Whole-file helpers: counts instead of codes, the open failure traced.
#include "KestCommon.h"

#include "ImportPatch.h"
#include "Installation.h"
#include "KnownDifference.h"

#include <gmock/gmock.h>

#include <windows.h>
#include <winioctl.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <ostream>
#include <string>

namespace kest::test {
namespace {

using ::testing::ElementsAre;

class FileTest : public InstallationTest {
protected:
    // A sparse file of the given size: the disk holds almost nothing of it.
    void makeSparseFile(const std::string& path, LONGLONG size) {
        HANDLE file =
            CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        DWORD returned = 0;
        DeviceIoControl(file, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
        LARGE_INTEGER end;
        end.QuadPart = size;
        const bool sized = SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file);
        CloseHandle(file);
        ASSERT_TRUE(sized);
    }
};

TEST_F(FileTest, ReadFileOfAShortFileLeavesTheRestOfTheBufferAsItWas) {
    const std::string path = installFile("ten.bin");
    writeFileBytes(path, "0123456789");
    char buffer[100];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(readFile(path.c_str(), buffer, sizeof buffer), 10u);
    EXPECT_EQ(std::string(buffer, 10), "0123456789");
    EXPECT_EQ(std::string(buffer + 10, 90), std::string(90, 'x'));
    EXPECT_THAT(logMessages(), ElementsAre("readFile() start", "readFile() end"));
}

TEST_F(FileTest, ReadFileReadsAtMostTheBufferSizeInBinaryMode) {
    const std::string path = installFile("crlf.bin");
    writeFileBytes(path, std::string("a\r\nb\x1a\x00z", 7));
    char buffer[5] = {};
    EXPECT_EQ(readFile(path.c_str(), buffer, sizeof buffer), 5u);
    EXPECT_EQ(std::string(buffer, 5), std::string("a\r\nb\x1a", 5));
}

TEST_F(FileTest, ReadFileOfAMissingFileReturnsZeroAndTracesTheFailedOpen) {
    const std::string path = installFile("missing.bin");
    char buffer[4] = {'k', 'e', 'e', 'p'};
    EXPECT_EQ(readFile(path.c_str(), buffer, sizeof buffer), 0u);
    EXPECT_EQ(std::string(buffer, 4), "keep");
    EXPECT_THAT(logMessages(), ElementsAre("readFile() start", "fopen_s() failed : " + path, "readFile() end"));
}

TEST_F(FileTest, WriteFileCreatesOrReplacesTheWholeFile) {
    const std::string path = installFile("out.bin");
    EXPECT_EQ(writeFile(path.c_str(), "first version, long", 19), 19u);
    EXPECT_EQ(writeFile(path.c_str(), "a\nb", 3), 3u);
    EXPECT_EQ(readFileBytes(path), "a\nb");
    EXPECT_EQ(getFileSize(path.c_str()), 3u);
}

TEST_F(FileTest, WriteFileWithSizeZeroEmptiesTheFile) {
    const std::string path = installFile("emptied.bin");
    writeFileBytes(path, "content");
    EXPECT_EQ(writeFile(path.c_str(), "ignored", 0), 0u);
    EXPECT_TRUE(fileExists(path));
    EXPECT_EQ(getFileSize(path.c_str()), 0u);
    EXPECT_EQ(readFileBytes(path), "");
}

TEST_F(FileTest, WriteFileIntoAMissingDirectoryReturnsZeroAndTracesTheFailedOpen) {
    const std::string path = installFile("missing\\out.bin");
    EXPECT_EQ(writeFile(path.c_str(), "abc", 3), 0u);
    EXPECT_THAT(logMessages(), ElementsAre("writeFile() start", "fopen_s() failed : " + path, "writeFile() end"));
}

TEST_F(FileTest, WriteFileToAFullDiskReturnsWhatReachedTheFileAndTracesWhy) {
    // Under Wine Z:\dev\full is a disk that is always full: a buffered stream takes the bytes,
    // and only the write to the disk is refused. Windows has no such device.
    if (currentPlatform() != Platform::wine) GTEST_SKIP() << "no always-full disk: Z:\\dev\\full is Wine's";
    const std::string data(100, 'd');
    EXPECT_LT(writeFile("Z:\\dev\\full", data.data(), 100), 100u);
    const std::string normal = installFile("after-full.bin");
    EXPECT_EQ(writeFile(normal.c_str(), data.data(), 100), 100u);
    EXPECT_EQ(readFileBytes(normal), data);
    EXPECT_THAT(logMessages(), ElementsAre("writeFile() start",
                                           std::string("fwrite() failed : Z:\\dev\\full : ") + std::strerror(ENOSPC),
                                           "writeFile() end", "writeFile() start", "writeFile() end"));
}

// A step of writeFile refused by the runtime, through KestCommon.dll's import of it.
struct RefusedStep {
    const char* function;
    const void* replacement;  // refuses with `reason` in errno
    int reason;
    unsigned written;  // what writeFile returns: the bytes the file took
};
void PrintTo(const RefusedStep& step, std::ostream* out) { *out << step.function; }

decltype(&std::fclose) gRealClose = nullptr;
int __cdecl closeThenRefuse(FILE* file) {
    gRealClose(file);
    errno = EIO;
    return EOF;
}
int __cdecl refuseBuffering(FILE*, char*, int, std::size_t) {
    errno = EINVAL;
    return -1;
}

class RefusedWriteStepTest : public InstallationTest, public ::testing::WithParamInterface<RefusedStep> {};

TEST_P(RefusedWriteStepTest, IsTracedWithTheRuntimesReason) {
    const std::string path = installFile("refused.bin");
    {
        const ImportPatch refused("KestCommon.dll", "msvcrt.dll", GetParam().function, GetParam().replacement);
        gRealClose = refused.original<decltype(&std::fclose)>();
        EXPECT_EQ(writeFile(path.c_str(), "0123456789", 10), GetParam().written);
    }
    EXPECT_EQ(readFileBytes(path), std::string("0123456789").substr(0, GetParam().written));
    EXPECT_THAT(logMessages(), ElementsAre("writeFile() start",
                                           std::string(GetParam().function) + "() failed : " + path + " : " +
                                               std::strerror(GetParam().reason),
                                           "writeFile() end"));
}

// A refused close after unbuffered writes: the bytes are in the file. Refused unbuffering:
// nothing is written, as a buffered count could include bytes the disk refuses.
INSTANTIATE_TEST_SUITE_P(
    Steps, RefusedWriteStepTest,
    ::testing::Values(RefusedStep{"fclose", reinterpret_cast<const void*>(&closeThenRefuse), EIO, 10},
                      RefusedStep{"setvbuf", reinterpret_cast<const void*>(&refuseBuffering), EINVAL, 0}));

TEST_F(FileTest, GetFileSizeOfAMissingFileIsZeroAndLogsNoFailure) {
    EXPECT_EQ(getFileSize(installFile("missing.bin").c_str()), 0u);
    EXPECT_THAT(logMessages(), ElementsAre("getFileSize() start", "getFileSize() end"));
}

TEST_F(FileTest, GetFileSizeReportsUpTo2GiBMinusOneAndZeroFrom2GiBOn) {
    const std::string path = installFile("sparse.bin");
    makeSparseFile(path, 0x7FFFFFFFLL);
    EXPECT_EQ(getFileSize(path.c_str()), 0x7FFFFFFFu);
    makeSparseFile(path, 0x80000000LL);
    EXPECT_EQ(getFileSize(path.c_str()), 0u);
    makeSparseFile(path, 0x100000010LL);  // Would wrap to 16 in a 32-bit size.
    EXPECT_EQ(getFileSize(path.c_str()), 0u);
}

}  // namespace
}  // namespace kest::test
