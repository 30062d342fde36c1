// Keyed certificates for the benchmark, made once and kept in the benchmark prefix's own
// store "KestBench", so that later runs only copy them into the personal store "MY".
#pragma once

#include <windows.h>
#include <wincrypt.h>

#include "KestMyCertOwners.h"

namespace kest::bench {

struct CacheFill {
    unsigned made;   // certificates (and keys) made by this call
    double seconds;  // time spent making them
};

// Makes the cache hold at least `count` self-signed certificates with reachable keys.
// Throws std::runtime_error on any platform failure.
CacheFill ensureCachedCertificates(unsigned count);

// Makes "MY" hold exactly the first `count` certificates of the cache; returns seconds spent.
double fillPersonalStore(unsigned count);

}  // namespace kest::bench
