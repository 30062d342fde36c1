#include "ToolTestData.h"

#include "MyCertTestSupport.h"

#include <cstdio>
#include <functional>
#include <stdexcept>

namespace kest::test {
namespace {

// Short keys keep the set-up quick under Wine; nothing here signs.
constexpr DWORD kKeyBits = 1024;
constexpr DWORD kKeyBitsShift = 16;  // CryptGenKey takes the key length in the upper 16 bits
constexpr ULONGLONG kTicksPerSecond = 10000000;
constexpr DWORD kNameFlags = CERT_X500_NAME_STR;

[[noreturn]] void fail(const std::string& what) {
    throw std::runtime_error(what + " failed (last error " + std::to_string(GetLastError()) + ")");
}

std::wstring toWide(const std::string& text, UINT codePage) {
    const int size = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
    return wide;
}

// A fresh container of the older key services with a new signature key; one of the same name
// left by an earlier run is replaced.
UniqueCryptProvider newKeyContainer(const std::wstring& container) {
    HCRYPTPROV provider = 0;
    if (!CryptAcquireContextW(&provider, container.c_str(), nullptr, PROV_RSA_FULL, CRYPT_NEWKEYSET)) {
        if (GetLastError() != static_cast<DWORD>(NTE_EXISTS)) fail("CryptAcquireContextW(NEWKEYSET)");
        CryptAcquireContextW(&provider, container.c_str(), nullptr, PROV_RSA_FULL, CRYPT_DELETEKEYSET);
        if (!CryptAcquireContextW(&provider, container.c_str(), nullptr, PROV_RSA_FULL, CRYPT_NEWKEYSET))
            fail("CryptAcquireContextW(NEWKEYSET) after deleting the old container");
    }
    UniqueCryptProvider owner{provider};
    HCRYPTKEY key = 0;
    if (!CryptGenKey(provider, AT_SIGNATURE, kKeyBits << kKeyBitsShift, &key)) fail("CryptGenKey");
    CryptDestroyKey(key);
    return owner;
}

std::vector<BYTE> encodedName(const std::wstring& x500) {
    DWORD size = 0;
    if (!CertStrToNameW(X509_ASN_ENCODING, x500.c_str(), kNameFlags, nullptr, nullptr, &size, nullptr))
        fail("CertStrToNameW");
    std::vector<BYTE> name(size);
    if (!CertStrToNameW(X509_ASN_ENCODING, x500.c_str(), kNameFlags, nullptr, name.data(), &size, nullptr))
        fail("CertStrToNameW");
    name.resize(size);
    return name;
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
    const UniqueCryptProvider provider = newKeyContainer(container);
    std::vector<BYTE> name = encodedName(toWide(subject, CP_UTF8));
    CERT_NAME_BLOB nameBlob{static_cast<DWORD>(name.size()), name.data()};
    CRYPT_KEY_PROV_INFO keyLink{};
    keyLink.pwszContainerName = const_cast<wchar_t*>(container.c_str());
    keyLink.dwProvType = PROV_RSA_FULL;
    keyLink.dwKeySpec = AT_SIGNATURE;
    SYSTEMTIME from = validFrom;
    SYSTEMTIME to = validTo;
    const UniqueCertContext made{
        CertCreateSelfSignCertificate(provider.get(), &nameBlob, 0, &keyLink, nullptr, &from, &to, nullptr)};
    if (!made) fail("CertCreateSelfSignCertificate");

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
