#include "BenchCertificates.h"

#include "BenchHarness.h"
#include "KestSupportOwners.h"

#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

namespace kest::bench {
namespace {

constexpr char kCacheStoreName[] = "KestBench";
constexpr char kPersonalStoreName[] = "MY";
// Key generation dominates the set-up under Wine; 1024 bits keeps 400 keys within a minute or
// two and costs the same key probe per certificate as a longer key would in the lists timed.
constexpr DWORD kKeyBits = 1024;
constexpr DWORD kKeyBitsShift = 16;  // CryptGenKey takes the key length in the upper 16 bits
// Fixed validity, so that every run formats the same dates: 2024-01-05 to 2034-01-05 UTC.
constexpr SYSTEMTIME kValidFrom{2024, 1, 5, 5, 0, 0, 0, 0};
constexpr SYSTEMTIME kValidTo{2034, 1, 5, 4, 0, 0, 0, 0};

[[noreturn]] void fail(const std::string& what) {
    throw std::runtime_error(what + " failed (last error " + std::to_string(GetLastError()) + ")");
}

UniqueCertStore openStore(const char* name) {
    // CertOpenSystemStoreA creates a missing current-user store, as "KestBench" is at first.
    UniqueCertStore store{CertOpenSystemStoreA(0, name)};
    if (!store) fail(std::string("CertOpenSystemStoreA(") + name + ")");
    return store;
}

void commit(HCERTSTORE store) {
    if (!CertControlStore(store, 0, CERT_STORE_CTRL_COMMIT, nullptr)) fail("CertControlStore(COMMIT)");
}

std::vector<UniqueCertContext> certificatesOf(HCERTSTORE store) {
    std::vector<UniqueCertContext> certificates;
    UniqueCertContext context;
    while (context.enumerate(store)) certificates.emplace_back(CertDuplicateCertificateContext(context.get()));
    return certificates;
}

std::wstring containerName(unsigned index) { return L"KestBench-" + std::to_wstring(index); }

// A fresh key container with a new signature key; an old container of the same name (from
// a run whose cache was lost) is replaced.
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

std::vector<BYTE> encodedName(const std::string& x500) {
    DWORD size = 0;
    if (!CertStrToNameA(X509_ASN_ENCODING, x500.c_str(), CERT_X500_NAME_STR, nullptr, nullptr, &size, nullptr))
        fail("CertStrToNameA");
    std::vector<BYTE> name(size);
    if (!CertStrToNameA(X509_ASN_ENCODING, x500.c_str(), CERT_X500_NAME_STR, nullptr, name.data(), &size, nullptr))
        fail("CertStrToNameA");
    name.resize(size);
    return name;
}

UniqueCertContext makeKeyedCertificate(unsigned index) {
    const std::wstring container = containerName(index);
    const UniqueCryptProvider provider = newKeyContainer(container);

    char subject[64];
    std::snprintf(subject, sizeof subject, "CN=Kest Bench %04u, O=Kest Bench", index);
    std::vector<BYTE> name = encodedName(subject);
    CERT_NAME_BLOB nameBlob{static_cast<DWORD>(name.size()), name.data()};

    CRYPT_KEY_PROV_INFO keyLink{};
    keyLink.pwszContainerName = const_cast<wchar_t*>(container.c_str());
    keyLink.dwProvType = PROV_RSA_FULL;
    keyLink.dwKeySpec = AT_SIGNATURE;
    SYSTEMTIME validFrom = kValidFrom;
    SYSTEMTIME validTo = kValidTo;
    UniqueCertContext certificate{
        CertCreateSelfSignCertificate(provider.get(), &nameBlob, 0, &keyLink, nullptr, &validFrom, &validTo, nullptr)};
    if (!certificate) fail("CertCreateSelfSignCertificate");
    if (!privateKeyReachable(certificate.get())) fail("reaching the key of a new certificate");
    return certificate;
}

}  // namespace

CacheFill ensureCachedCertificates(unsigned count) {
    const UniqueCertStore cache = openStore(kCacheStoreName);
    const auto held = static_cast<unsigned>(certificatesOf(cache.get()).size());
    if (held >= count) return CacheFill{0, 0.0};

    const Clock::time_point start = Clock::now();
    for (unsigned index = held; index < count; ++index) {
        const UniqueCertContext certificate = makeKeyedCertificate(index);
        if (!CertAddCertificateContextToStore(cache.get(), certificate.get(), CERT_STORE_ADD_ALWAYS, nullptr))
            fail("CertAddCertificateContextToStore(KestBench)");
    }
    commit(cache.get());
    const std::chrono::duration<double> spent = Clock::now() - start;
    return CacheFill{count - held, spent.count()};
}

double fillPersonalStore(unsigned count) {
    const Clock::time_point start = Clock::now();
    {
        const UniqueCertStore personal = openStore(kPersonalStoreName);
        for (UniqueCertContext& certificate : certificatesOf(personal.get()))
            CertDeleteCertificateFromStore(certificate.release());  // releases what it is given
        const UniqueCertStore cache = openStore(kCacheStoreName);
        const std::vector<UniqueCertContext> cached = certificatesOf(cache.get());
        if (cached.size() < count) throw std::runtime_error("the certificate cache is too small");
        for (unsigned index = 0; index < count; ++index)
            if (!CertAddCertificateContextToStore(personal.get(), cached[index].get(), CERT_STORE_ADD_ALWAYS, nullptr))
                fail("CertAddCertificateContextToStore(MY)");
        commit(personal.get());
    }
    // The store is read when opened: a fresh handle shows what was committed.
    const UniqueCertStore check = openStore(kPersonalStoreName);
    const std::vector<UniqueCertContext> listed = certificatesOf(check.get());
    if (listed.size() != count) throw std::runtime_error("the personal store does not hold the certificates put in");
    if (count > 0 && !privateKeyReachable(listed.front().get()))
        throw std::runtime_error("the personal store lost the key link of its certificates");
    const std::chrono::duration<double> spent = Clock::now() - start;
    return spent.count();
}

}  // namespace kest::bench
