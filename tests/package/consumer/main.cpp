// A host of the installed package: calls a few exports of each library it links and reads
// back the version resource of every installed binary. Prints one line per check and
// exits non-zero when one fails.
//
// Usage: consumer <installed bin directory, Windows form>
#include <KestCommon.h>
#include <KestIni.h>
#include <KestLog.h>
#include <KestMyCert.h>
#include <KestResult.h>

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

int failures = 0;

void check(bool ok, const std::string& what) {
    std::printf("%s %s\n", ok ? "ok" : "FAILED", what.c_str());
    if (!ok) ++failures;
}

struct BlockDeleter {
    void operator()(void* block) const noexcept { freeMemory(block); }
};

void checkSharedHeap() {
    constexpr unsigned blockSize = 64;
    void* raw = nullptr;
    const ResultCode result = allocMemory(blockSize, &raw);
    const std::unique_ptr<void, BlockDeleter> block(raw);
    check(result == KEST_OK && block != nullptr, "allocMemory gives a block");
    if (!block) return;
    const auto* bytes = static_cast<const unsigned char*>(block.get());
    bool zeroFilled = true;
    for (unsigned i = 0; i < blockSize; ++i) zeroFilled = zeroFilled && bytes[i] == 0;
    check(zeroFilled, "the block is zero-filled");
}

void checkLogFlagFollowsKestIni() {
    // Both read the same installation setting, LOG/WriteLog, through the installation's KestIni.
    char section[] = "LOG";
    char key[] = "WriteLog";
    char value[261] = {};
    const bool writeLogIsOne = KestIniRead(section, key, value) == 0 && std::strcmp(value, "1") == 0;
    check(LogFlag() == writeLogIsOne, "LogFlag agrees with KestIniRead(LOG, WriteLog)");
}

std::string queryString(const std::vector<char>& info, const char* name) {
    const std::string path = std::string("\\StringFileInfo\\040904B0\\") + name;
    char* text = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(info.data(), path.c_str(), reinterpret_cast<void**>(&text), &length) || length == 0) return "";
    return text;
}

void checkVersionResource(const std::string& binDir, const char* fileName) {
    const std::string path = binDir + "\\" + fileName;
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    std::vector<char> info(size);
    if (size == 0 || !GetFileVersionInfoA(path.c_str(), 0, size, info.data())) {
        check(false, std::string(fileName) + " has a version resource");
        return;
    }
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT fixedLength = 0;
    const bool fixedOk = VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &fixedLength) &&
                         fixedLength >= sizeof(VS_FIXEDFILEINFO) &&
                         fixed->dwFileVersionMS == MAKELONG(KEST_PACKAGE_VERSION_MINOR, KEST_PACKAGE_VERSION_MAJOR) &&
                         HIWORD(fixed->dwFileVersionLS) == KEST_PACKAGE_VERSION_PATCH;
    const std::string description = queryString(info, "FileDescription");
    const std::string product = queryString(info, "ProductName");
    const std::string fileVersion = queryString(info, "FileVersion");
    const std::string productVersion = queryString(info, "ProductVersion");
    const std::string originalName = queryString(info, "OriginalFilename");
    check(fixedOk && fileVersion == KEST_PACKAGE_VERSION && productVersion == KEST_PACKAGE_VERSION &&
              originalName == fileName && !description.empty() && !product.empty(),
          std::string(fileName) + ": " + description + " | " + product + " " + productVersion + " | FileVersion " +
              fileVersion + " | " + originalName);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: consumer <installed bin directory>\n");
        return 2;
    }
    checkSharedHeap();
    check(countMyCertList(nullptr) == 0, "countMyCertList(nullptr) is 0");
    checkLogFlagFollowsKestIni();
    for (const char* fileName :
         {"KestLog.dll", "KestErr.dll", "KestCommon.dll", "KestMyCert.dll", "KestIni.dll", "kesttool.exe"})
        checkVersionResource(argv[1], fileName);
    return failures == 0 ? 0 : 1;
}
