// Whether a certificate's private key can be reached, asked the way KestMyCert asks (preferring
// the newer key service); a handle handed out is released at once. Shared by the tool's doctor
// and the benchmark. The tests do not decide what they expect with it: a copy of the library's
// question cannot find a fault in it.
#pragma once

#include <windows.h>
#include <wincrypt.h>
#include <ncrypt.h>

namespace kest {

inline bool privateKeyReachable(PCCERT_CONTEXT context) noexcept {
    HCRYPTPROV_OR_NCRYPT_KEY_HANDLE key = 0;
    DWORD keySpec = 0;
    BOOL callerMustFree = FALSE;
    if (!CryptAcquireCertificatePrivateKey(context, CRYPT_ACQUIRE_PREFER_NCRYPT_KEY_FLAG, nullptr, &key, &keySpec,
                                           &callerMustFree))
        return false;
    if (callerMustFree) {
        if (keySpec == CERT_NCRYPT_KEY_SPEC)
            NCryptFreeObject(key);
        else
            CryptReleaseContext(key, 0);
    }
    return true;
}

}  // namespace kest
