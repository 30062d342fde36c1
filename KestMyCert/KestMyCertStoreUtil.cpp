// Personal store maintenance: the host's own copy of a certificate context, and adding a
// certificate to or removing it from the current user's personal store "MY".
#include "KestMyCert.h"
#include "KestMyCertStore.h"
#include "KestMyCertOwners.h"
#include "KestTrace.h"

namespace {

constexpr DWORD kCertEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

// The same certificate: issuer and serial number equal, and the same public key. Both
// comparisons are always made.
[[nodiscard]] bool compareCertificate(PCCERT_CONTEXT stored, PCCERT_CONTEXT wanted) noexcept {
    KEST_TRACE("compareCertificate");
    const bool sameIssuerAndSerial =
        CertCompareCertificate(kCertEncoding, stored->pCertInfo, wanted->pCertInfo) != FALSE;
    const bool samePublicKey = CertComparePublicKeyInfo(kCertEncoding, &stored->pCertInfo->SubjectPublicKeyInfo,
                                                        &wanted->pCertInfo->SubjectPublicKeyInfo) != FALSE;
    KEST_RETURN(sameIssuerAndSerial && samePublicKey);
}

}  // namespace

ResultCode copyCertContext(PCCERT_CONTEXT context, PCCERT_CONTEXT* copy) noexcept {
    KEST_TRACE("copyCertContext");
    PCCERT_CONTEXT duplicate = CertDuplicateCertificateContext(context);
    if (duplicate == nullptr)
        KEST_RETURN(KEST_PLATFORM_FAILED(KEST_E_CERT_DUPLICATE, "CertDuplicateCertificateContext", GetLastError()));
    *copy = duplicate;
    KEST_RETURN(KEST_OK);
}

ResultCode storeMyCertToStore(PCCERT_CONTEXT context) noexcept {
    KEST_TRACE("storeMyCertToStore");
    kest::UniqueCertStore store;
    if (const ResultCode code = kest::openPersonalStore(kestTrace, __LINE__, store); code != KEST_OK) KEST_RETURN(code);
    if (!CertAddCertificateContextToStore(store.get(), context, CERT_STORE_ADD_ALWAYS, nullptr))
        KEST_RETURN(KEST_PLATFORM_FAILED(KEST_E_CERT_ADD, "CertAddCertificateContextToStore", GetLastError()));
    KEST_RETURN(KEST_OK);
}

ResultCode deleteMyCertFromStore(PCCERT_CONTEXT context) noexcept {
    KEST_TRACE("deleteMyCertFromStore");
    kest::UniqueCertStore store;
    if (const ResultCode code = kest::openPersonalStore(kestTrace, __LINE__, store); code != KEST_OK) KEST_RETURN(code);

    kest::UniqueCertContext stored;
    while (stored.enumerate(store.get()))
        if (compareCertificate(stored.get(), context)) break;
    if (!stored) KEST_RETURN(KEST_OK);

    // The delete releases the context it is given, whether it succeeds or not.
    if (!CertDeleteCertificateFromStore(stored.release()))
        KEST_RETURN(KEST_PLATFORM_FAILED(KEST_E_CERT_DELETE, "CertDeleteCertificateFromStore", GetLastError()));
    // Some stores (Wine's registry-backed "MY") forget a deletion at closing unless committed.
    if (!CertControlStore(store.get(), 0, CERT_STORE_CTRL_COMMIT, nullptr))
        KEST_RETURN(KEST_PLATFORM_FAILED(KEST_E_CERT_DELETE, "CertControlStore", GetLastError()));
    KEST_RETURN(KEST_OK);
}
