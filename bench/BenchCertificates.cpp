#include "BenchCertificates.h"

#include "BenchHarness.h"
#include "KestSupportOwners.h"
#include "SelfSignedCertificate.h"

#include <cstdio>
#include <cwchar>
#include <stdexcept>
#include <string>
#include <vector>

namespace kest::bench {
namespace {

constexpr char kCacheStoreName[] = "KestBench";
constexpr char kPersonalStoreName[] = "MY";
// Key generation dominates the set-up under Wine; makeSelfSignedCertificate's 1024-bit keys keep
// 400 within a minute or two and cost the same key probe per certificate as longer ones would.
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

UniqueCertContext makeKeyedCertificate(unsigned index) {
    wchar_t subject[64];
    std::swprintf(subject, sizeof subject / sizeof *subject, L"CN=Kest Bench %04u, O=Kest Bench", index);
    UniqueCertContext certificate = makeSelfSignedCertificate(containerName(index), subject, kValidFrom, kValidTo);
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
