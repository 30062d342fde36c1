// A self-signed certificate with a fresh signature key of the older key services, for the
// benchmark's store and the tests' certificates made at test time.
#pragma once

#include "KestMyCertOwners.h"

#include <windows.h>
#include <wincrypt.h>

#include <string>

namespace kest {

// The certificate of `subject` (an X.500 name text, as CertStrToNameW reads it), valid from
// `validFrom` to `validTo` (UTC), its key in the container `container` (one of that name left
// by an earlier run is replaced) and linked to it. 1024-bit keys keep the set-up quick under
// Wine; nothing signs with them. Throws std::runtime_error naming the call that failed.
UniqueCertContext makeSelfSignedCertificate(const std::wstring& container, const std::wstring& subject,
                                            const SYSTEMTIME& validFrom, const SYSTEMTIME& validTo);

}  // namespace kest
