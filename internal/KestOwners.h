// The owners of the resources that the libraries, the tool, the benchmark and the tests hold:
// each a std::unique_ptr whose deleter is the resource's release function, one line each.
#pragma once

#include "KestCommon.h"

#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <memory>

namespace kest {

// Calls Release(resource, extra...) on a resource that is held; by then a failed release has
// no one to tell, so what it returns is dropped.
template <auto Release, auto... Extra>
struct ReleaseWith {
    template <typename Resource>
    void operator()(Resource* resource) const noexcept {
        static_cast<void>(Release(resource, Extra...));
    }
};

using UniqueFile = std::unique_ptr<FILE, ReleaseWith<&std::fclose>>;
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

}  // namespace kest
