#include "SelfSignedCertificate.h"

#include <stdexcept>
#include <vector>

namespace kest {
namespace {

constexpr DWORD kKeyBits = 1024;
constexpr DWORD kKeyBitsShift = 16;  // CryptGenKey takes the key length in the upper 16 bits

[[noreturn]] void fail(const std::string& what) {
    throw std::runtime_error(what + " failed (last error " + std::to_string(GetLastError()) + ")");
}

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
    if (!CertStrToNameW(X509_ASN_ENCODING, x500.c_str(), CERT_X500_NAME_STR, nullptr, nullptr, &size, nullptr))
        fail("CertStrToNameW");
    std::vector<BYTE> name(size);
    if (!CertStrToNameW(X509_ASN_ENCODING, x500.c_str(), CERT_X500_NAME_STR, nullptr, name.data(), &size, nullptr))
        fail("CertStrToNameW");
    name.resize(size);
    return name;
}

}  // namespace

UniqueCertContext makeSelfSignedCertificate(const std::wstring& container, const std::wstring& subject,
                                            const SYSTEMTIME& validFrom, const SYSTEMTIME& validTo) {
    const UniqueCryptProvider provider = newKeyContainer(container);
    std::vector<BYTE> name = encodedName(subject);
    CERT_NAME_BLOB nameBlob{static_cast<DWORD>(name.size()), name.data()};
    CRYPT_KEY_PROV_INFO keyLink{};
    keyLink.pwszContainerName = const_cast<wchar_t*>(container.c_str());
    keyLink.dwProvType = PROV_RSA_FULL;
    keyLink.dwKeySpec = AT_SIGNATURE;
    SYSTEMTIME from = validFrom;
    SYSTEMTIME to = validTo;
    UniqueCertContext certificate{
        CertCreateSelfSignCertificate(provider.get(), &nameBlob, 0, &keyLink, nullptr, &from, &to, nullptr)};
    if (!certificate) fail("CertCreateSelfSignCertificate");
    return certificate;
}

}  // namespace kest
