// The tool's answers to its platform: whether a box can be seen at all, Wine's PKCS#12
// password check, which the tool stands in for, the libraries' records kept in memory, and
// what doctor and log ask of the file system.
#include "Platform.h"

#include "Display.h"
#include "KestSupportOwners.h"
#include "Pkcs12Password.h"
#include "ProbePkcs12.h"
#include "Terminal.h"

#include <wincrypt.h>

#include <iterator>
#include <new>
#include <stdexcept>
#include <string>

namespace kest::tool {
namespace {

constexpr char kErrorLibrary[] = "KestErr.dll";
constexpr char kCertificateLibrary[] = "KestMyCert.dll";

const char* iconName(UINT flags) {
    switch (flags & MB_ICONMASK) {
        case MB_ICONERROR: return "error";
        case MB_ICONWARNING: return "warning";
        case MB_ICONQUESTION: return "question";
        case MB_ICONINFORMATION: return "information";
        default: return "none";
    }
}

int WINAPI printBox(HWND /*owner*/, LPCSTR text, LPCSTR caption, UINT flags) {
    writeOut("--- error box \"");
    writeOut(caption != nullptr ? caption : "", kMessageCodePage);
    writeOut(std::string("\", icon ") + iconName(flags) + ", closed with OK by kesttool\n");
    std::string body = text != nullptr ? text : "";
    if (body.empty() || body.back() != '\n') body += '\n';
    writeOut(body, kMessageCodePage);
    writeOut("---\n");
    return IDOK;
}

// The records of the one RecordsInMemory that lives.
std::vector<std::string>* gRecords = nullptr;

void keepRecord(const char* sourceFile, unsigned line, const char* message) noexcept {
    if (gRecords == nullptr) return;
    try {
        // Our libraries pass their source unit's base name already.
        gRecords->push_back(std::string(sourceFile != nullptr ? sourceFile : "") + "," +
                            std::to_string(static_cast<int>(line)) + "," + (message != nullptr ? message : ""));
    } catch (const std::bad_alloc&) {
        // Log drops a record it cannot write; so does memory.
    }
}

// Every library of ours that writes records through KestLog.dll.
constexpr const char* kLoggingLibraries[] = {"KestCommon.dll", "KestErr.dll"};

}  // namespace

std::string platformText(unsigned error) {
    wchar_t buffer[1024];
    DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
                                  MAKELANGID(LANG_NEUTRAL, SUBLANG_SYS_DEFAULT), buffer,
                                  static_cast<DWORD>(std::size(buffer)), nullptr);
    if (length == 0)
        length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, buffer,
                                static_cast<DWORD>(std::size(buffer)), nullptr);
    while (length > 0 && (buffer[length - 1] == L'\r' || buffer[length - 1] == L'\n' || buffer[length - 1] == L' '))
        --length;
    if (length == 0) return "(the platform has no text for it)";
    return toUtf8(std::wstring_view(buffer, length));
}

bool displayAvailable() { return whyNoDisplay() == nullptr; }

PrintedErrorBoxes::PrintedErrorBoxes()
    : patch_(kErrorLibrary, "USER32.dll", "MessageBoxA", reinterpret_cast<const void*>(&printBox)) {}

WorkingPfxPasswordCheck::WorkingPfxPasswordCheck() {
    CRYPT_DATA_BLOB probe{static_cast<DWORD>(sizeof kProbePkcs12), const_cast<BYTE*>(kProbePkcs12)};
    if (PFXVerifyPassword(&probe, kProbePkcs12Password, 0)) return;
    // Replace it only where the replacement does know the right password.
    if (!pfxVerifyPasswordByTrialImport(&probe, kProbePkcs12Password, 0)) return;
    patch_ = std::make_unique<ImportPatch>(kCertificateLibrary, "CRYPT32.dll", "PFXVerifyPassword",
                                           reinterpret_cast<const void*>(&pfxVerifyPasswordByTrialImport));
    static bool told = false;
    if (!told)
        writeErr(
            "kesttool: this platform's PFXVerifyPassword refuses right passwords; KestMyCert.dll checks them by "
            "a trial import instead\n");
    told = true;
}

RecordsInMemory::RecordsInMemory() {
    if (gRecords != nullptr) throw std::logic_error("records are already kept in memory");
    for (const char* library : kLoggingLibraries)
        patches_.push_back(
            std::make_unique<ImportPatch>(library, "KestLog.dll", "Log", reinterpret_cast<const void*>(&keepRecord)));
    gRecords = &records_;
}

RecordsInMemory::~RecordsInMemory() {
    patches_.clear();
    gRecords = nullptr;
}

const std::vector<std::string>& RecordsInMemory::records() const noexcept { return records_; }

DWORD writeRefusal(const std::string& path, DWORD access) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return GetLastError();
    if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) return ERROR_FILE_READ_ONLY;
    const UniqueFileHandle file{CreateFileA(path.c_str(), access,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)};
    return file ? ERROR_SUCCESS : GetLastError();
}

bool isDirectory(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The folder part of a path in the active code page, walking double-byte characters whole
// (a Shift_JIS trail byte may be a backslash); empty when the path names no folder.
std::string folderOf(const std::string& path) {
    std::size_t lastSeparator = std::string::npos;
    for (std::size_t i = 0; i < path.size(); ++i) {
        if (IsDBCSLeadByte(static_cast<BYTE>(path[i])) && i + 1 < path.size()) {
            ++i;
            continue;
        }
        if (path[i] == '\\' || path[i] == '/') lastSeparator = i;
    }
    if (lastSeparator == std::string::npos) return {};
    // "Z:\kest.log": the folder is the root "Z:\".
    if (lastSeparator > 0 && path[lastSeparator - 1] == ':') return path.substr(0, lastSeparator + 1);
    return path.substr(0, lastSeparator);
}

namespace {

// As the system hands a name to an ANSI call: best fit, and '?' for what has none.
std::string ansiOf(const std::wstring& wide) {
    std::string ansi(wide.size() * 2, '\0');
    ansi.resize(
        static_cast<std::size_t>(WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), ansi.data(),
                                                     static_cast<int>(ansi.size()), nullptr, nullptr)));
    return ansi;
}

}  // namespace

std::optional<std::string> spelledOtherwise(const std::string& path) {
    // The deepest part of the path that is there, and the part after it that is not.
    std::string missing = path;
    std::string there = folderOf(missing);
    while (!there.empty() && !isDirectory(there)) {
        missing = there;
        there = folderOf(missing);
    }
    if (there.empty() || there == missing) return std::nullopt;
    const std::string part = missing.substr(there.size() + (there.back() == '\\' || there.back() == '/' ? 0 : 1));
    WIN32_FIND_DATAW entry;
    const std::wstring folder = toWide(there, CP_ACP);
    const UniqueFindHandle found{FindFirstFileW((folder + L"\\*").c_str(), &entry)};
    if (!found) return std::nullopt;
    do {
        const std::wstring name = entry.cFileName;
        if (ansiOf(name) == part && toWide(part, CP_ACP) != name)
            return toUtf8(folder + (folder.back() == L'\\' ? L"" : L"\\") + name);
    } while (FindNextFileW(found.get(), &entry));
    return std::nullopt;
}

}  // namespace kest::tool
