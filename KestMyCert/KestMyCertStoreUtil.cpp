// Personal store maintenance: the host's own copy of a certificate context, and adding a
// certificate to or removing it from the current user's personal store "MY".
#include "KestMyCert.h"
#include "KestTrace.h"

#include <memory>

namespace {

constexpr char kPersonalStoreName[] = "MY";
constexpr DWORD kCertEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

struct CertStoreClose {
    void operator()(HCERTSTORE store) const noexcept { CertCloseStore(store, 0); }
};
using CertStore = std::unique_ptr<void, CertStoreClose>;

// Opens "MY" for the calling function, which logs the failure under its own name.
[[nodiscard]] ResultCode openPersonalStore(const kest::TraceScope& trace, CertStore& store) noexcept {
    HCERTSTORE opened = CertOpenSystemStoreA(0, kPersonalStoreName);
    if (opened == nullptr)
        return trace.platformFailed(__LINE__, KEST_E_STORE_OPEN, "CertOpenSystemStore", GetLastError());
    store.reset(opened);
    return KEST_OK;
}

// The same certificate: issuer and serial number equal, and the same public key. Both
// comparisons are always made.
[[nodiscard]] bool compareCertificate(PCCERT_CONTEXT stored, PCCERT_CONTEXT wanted) noexcept {
    KEST_TRACE("compareCertificate");
    const bool sameIssuerAndSerial = CertCompareCertificate(kCertEncoding, stored->pCertInfo, wanted->pCertInfo) != FALSE;
    const bool samePublicKey = CertComparePublicKeyInfo(kCertEncoding, &stored->pCertInfo->SubjectPublicKeyInfo,
                                                         &wanted->pCertInfo->SubjectPublicKeyInfo) != FALSE;
    return sameIssuerAndSerial && samePublicKey;
}

}  // namespace

ResultCode copyCertContext(PCCERT_CONTEXT context, PCCERT_CONTEXT* copy) noexcept {
    KEST_TRACE("copyCertContext");
    PCCERT_CONTEXT duplicate = CertDuplicateCertificateContext(context);
    if (duplicate == nullptr)
        return KEST_PLATFORM_FAILED(KEST_E_CERT_DUPLICATE, "CertDuplicateCertificateContext", GetLastError());
    *copy = duplicate;
    return KEST_OK;
}

ResultCode storeMyCertToStore(PCCERT_CONTEXT context) noexcept {
    KEST_TRACE("storeMyCertToStore");
    CertStore store;
    if (const ResultCode code = openPersonalStore(kestTrace, store); code != KEST_OK) return code;
    if (!CertAddCertificateContextToStore(store.get(), context, CERT_STORE_ADD_ALWAYS, nullptr))
        return KEST_PLATFORM_FAILED(KEST_E_CERT_ADD, "CertAddCertificateContextToStore", GetLastError());
    return KEST_OK;
}

ResultCode deleteMyCertFromStore(PCCERT_CONTEXT context) noexcept {
    KEST_TRACE("deleteMyCertFromStore");
    CertStore store;
    if (const ResultCode code = openPersonalStore(kestTrace, store); code != KEST_OK) return code;

    PCCERT_CONTEXT stored = nullptr;
    while ((stored = CertEnumCertificatesInStore(store.get(), stored)) != nullptr)
        if (compareCertificate(stored, context)) break;
    if (stored == nullptr) return KEST_OK;

    // The walk stopped, so its reference to the match is ours; the delete releases it,
    // whether it succeeds or not.
    if (!CertDeleteCertificateFromStore(stored))
        return KEST_PLATFORM_FAILED(KEST_E_CERT_DELETE, "CertDeleteCertificateFromStore", GetLastError());
    // Some stores (Wine's registry-backed "MY") forget a deletion at closing unless committed.
    if (!CertControlStore(store.get(), 0, CERT_STORE_CTRL_COMMIT, nullptr))
        return KEST_PLATFORM_FAILED(KEST_E_CERT_DELETE, "CertControlStore", GetLastError());
    return KEST_OK;
}
