// Internal to KestMyCert: the opening of the current user's personal store "MY" that the
// lists and the store maintenance share.
#pragma once

#include "KestMyCertOwners.h"
#include "KestResult.h"
#include "KestTrace.h"

#include <windows.h>
#include <wincrypt.h>

namespace kest {

// Opens "MY"; a failure is logged under the calling function at the caller's line.
[[nodiscard]] inline ResultCode openPersonalStore(const TraceScope& trace, unsigned line,
                                                  UniqueCertStore& store) noexcept {
    constexpr char kPersonalStoreName[] = "MY";
    HCERTSTORE opened = CertOpenSystemStoreA(0, kPersonalStoreName);
    if (opened == nullptr) return trace.platformFailed(line, KEST_E_STORE_OPEN, "CertOpenSystemStore", GetLastError());
    store.reset(opened);
    return KEST_OK;
}

}  // namespace kest
