// The PKCS#12 password check by a trial import (Pkcs12Password.h).
#include "Pkcs12Password.h"

namespace kest {

BOOL WINAPI pfxVerifyPasswordByTrialImport(CRYPT_DATA_BLOB* pfx, LPCWSTR password, DWORD /*flags*/) {
    // A check must leave nothing behind: with PKCS12_NO_PERSIST_KEY the trial's keys stay in
    // memory and go with the store, so no key container outlives the answer. Whoever imports
    // for real does so on their own, with the flags they need.
    const HCERTSTORE trial = PFXImportCertStore(pfx, password, PKCS12_NO_PERSIST_KEY);
    if (trial == nullptr) return FALSE;
    CertCloseStore(trial, 0);
    return TRUE;
}

}  // namespace kest
