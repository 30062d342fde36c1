// The owners of KestMyCert's resources, also held by the tool, the benchmark and the tests:
// blocks of allocMemory, certificate stores and certificate contexts (with the store walk),
// key providers and key handles; and the private-key probe, which holds what it acquires in
// them.
#pragma once

#include "KestCommon.h"
#include "KestOwners.h"

#include <windows.h>
#include <wincrypt.h>
#include <ncrypt.h>

#include <memory>

namespace kest {

using UniqueCertStore = std::unique_ptr<void, ReleaseWith<&CertCloseStore, DWORD{0}>>;
// A block of allocMemory (KestCommon's shared heap).
template <typename Block = void>
using UniqueBlock = std::unique_ptr<Block, ReleaseWith<&freeMemory>>;

// A certificate context, also as the walk over a store. CertEnumCertificatesInStore takes the
// context it is given and releases it, so enumerate() hands the held one over instead of
// releasing it; the context still held when a walk is left early is released as any other.
class UniqueCertContext : public std::unique_ptr<const CERT_CONTEXT, ReleaseWith<&CertFreeCertificateContext>> {
public:
    using unique_ptr::unique_ptr;

    //   UniqueCertContext context;
    //   while (context.enumerate(store)) use(context.get());
    // Holds the certificate after the one held (the first when none is), in the store's
    // order; false, holding none, at the end.
    [[nodiscard]] bool enumerate(HCERTSTORE store) noexcept {
        reset(CertEnumCertificatesInStore(store, release()));
        return get() != nullptr;
    }
};

using UniqueCryptProvider = UniqueValue<HCRYPTPROV, ReleaseWith<&CryptReleaseContext, DWORD{0}>>;
using UniqueNCryptHandle = UniqueValue<NCRYPT_HANDLE, ReleaseWith<&NCryptFreeObject>>;

// Whether a certificate's private key can be reached, preferring the newer key service; a
// handle the caller must free is released at once.
inline bool privateKeyReachable(PCCERT_CONTEXT context) noexcept {
    HCRYPTPROV_OR_NCRYPT_KEY_HANDLE key = 0;
    DWORD keySpec = 0;
    BOOL callerMustFree = FALSE;
    if (!CryptAcquireCertificatePrivateKey(context, CRYPT_ACQUIRE_PREFER_NCRYPT_KEY_FLAG, nullptr, &key, &keySpec,
                                           &callerMustFree))
        return false;
    if (callerMustFree && keySpec == CERT_NCRYPT_KEY_SPEC) {
        const UniqueNCryptHandle released{key};
    } else if (callerMustFree) {
        const UniqueCryptProvider released{key};
    }
    return true;
}

}  // namespace kest
