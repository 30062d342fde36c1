#include "ToolTestData.h"

#include "MyCertTestSupport.h"
#include "SelfSignedCertificate.h"

#include <cstdio>
#include <functional>
#include <stdexcept>

namespace kest::test {
namespace {

constexpr ULONGLONG kTicksPerSecond = 10000000;

[[noreturn]] void fail(const std::string& what) {
    throw std::runtime_error(what + " failed (last error " + std::to_string(GetLastError()) + ")");
}

std::wstring toWide(const std::string& text, UINT codePage) {
    const int size = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
    return wide;
}

}  // namespace

SYSTEMTIME hoursFromNow(int hours) {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER ticks{{now.dwLowDateTime, now.dwHighDateTime}};
    ticks.QuadPart -= ticks.QuadPart % kTicksPerSecond;
    ticks.QuadPart += static_cast<ULONGLONG>(static_cast<LONGLONG>(hours) * 3600) * kTicksPerSecond;
    const FILETIME then{ticks.LowPart, ticks.HighPart};
    SYSTEMTIME utc;
    if (!FileTimeToSystemTime(&then, &utc)) fail("FileTimeToSystemTime");
    return utc;
}

std::string recordTime(const SYSTEMTIME& utc) {
    char text[20];
    std::snprintf(text, sizeof text, "%04u.%02u.%02u %02u:%02u:%02u", utc.wYear, utc.wMonth, utc.wDay, utc.wHour,
                  utc.wMinute, utc.wSecond);
    return text;
}

std::string ansiToUtf8(const std::string& ansi) {
    const std::wstring wide = toWide(ansi, CP_ACP);
    const auto wideSize = static_cast<int>(wide.size());
    const int size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideSize, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideSize, utf8.data(), size, nullptr, nullptr);
    return utf8;
}

UniqueCertContext addKeyedCertificate(const std::string& subject, const SYSTEMTIME& validFrom,
                                      const SYSTEMTIME& validTo) {
    // One container per subject: a test's certificates keep apart, a later run replaces them.
    const std::wstring container = L"KestToolTest-" + std::to_wstring(std::hash<std::string>{}(subject));
    const UniqueCertContext made = makeSelfSignedCertificate(container, toWide(subject, CP_UTF8), validFrom, validTo);

    const CertStorePtr personal = openPersonalStore();
    PCCERT_CONTEXT added = nullptr;
    if (!CertAddCertificateContextToStore(personal.get(), made.get(), CERT_STORE_ADD_ALWAYS, &added))
        fail("CertAddCertificateContextToStore(MY)");
    UniqueCertContext copy{added};
    if (!CertControlStore(personal.get(), 0, CERT_STORE_CTRL_COMMIT, nullptr)) fail("CertControlStore(COMMIT)");
    if (!privateKeyReachable(copy.get())) throw std::runtime_error("the personal store's copy lost its key");
    return copy;
}

}  // namespace kest::test
