// Wine's PFXVerifyPassword is a stub that refuses every password, while its PFXImportCertStore
// does check the password. The tool and the tests put this stand-in in place of KestMyCert.dll's
// import of PFXVerifyPassword there; the library itself keeps calling the platform's.
#pragma once

#include <windows.h>
#include <wincrypt.h>

namespace kest {

// Whether `password` opens the PKCS#12 data `pfx`, by a trial import into a temporary store.
// Same signature as PFXVerifyPassword; its flags are ignored, as the platform's are.
BOOL WINAPI pfxVerifyPasswordByTrialImport(CRYPT_DATA_BLOB* pfx, LPCWSTR password, DWORD flags);

}  // namespace kest
