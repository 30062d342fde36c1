// Test data, fixtures and doubles of the tests of KestMyCert and of the tests that use it.
//
// The files of tests/mycert/data/, made by its make-test-data.sh, read from their copies in the
// program's testdata\mycert\ (TestData.h):
//   ca.der                     "Kest Test CA", the issuer of all others (self-signed, serial 01)
//   signer.der / signer.p12    "Kest Signer", serial 01 2a, valid 2024-01-05 00:00:00 UTC to
//                              2034-01-05 00:00:00 UTC
//   signer-legacy.p12          the same, encrypted the old way (RC2-40/3DES, SHA-1 MAC)
//   quoted.der / quoted.p12    CN "Suzuki, Ichiro", OU "R&D \"Lab\"": characters the name text quotes
//   twin-a.der / twin-a.p12    serial 20 02
//   twin-b.der / twin-b.p12    the same issuer and serial as twin-a, another key
//   twin-a-renewed.der         the same issuer, serial and key as twin-a, another validity: a
//                              different certificate that compares as the same one
//   utf8-names.der / .p12      serial 40 04, UTF8String names: O "Kest Test" (an inner space) and
//                              CN "Kest UTF8 " (a trailing space), whose quoting Wine 8.0 gets
//                              wrong; all other names are PrintableStrings (quoted's OU a
//                              TeletexString), which Windows and Wine 8.0 write alike
// Each .p12 holds its certificate with the private key plus ca without key, all under
// kPkcs12Password; several certificates with keys means importing several files.
#pragma once

#include "Installation.h"
#include "ImportPatch.h"
#include "KestMyCertOwners.h"

#include <windows.h>
#include <wincrypt.h>

#include <memory>
#include <string>
#include <vector>

namespace kest::test {

inline constexpr wchar_t kPkcs12Password[] = L"KestTest-2024";

// The last error that refused calls leave behind; distinctive so that logs show it passed on.
inline constexpr DWORD kInjectedLastError = 0x0000beef;

// A data file's bytes; throws if it cannot be read.
std::vector<BYTE> readTestData(const std::string& name);

using CertContextPtr = UniqueCertContext;
using CertStorePtr = UniqueCertStore;

// A certificate context of a .der file (in no store).
CertContextPtr loadCertificate(const std::string& derName);
// The store PFXImportCertStore makes of a .p12 file (keys exportable); throws on failure.
CertStorePtr importPkcs12(const std::string& p12Name, const wchar_t* password = kPkcs12Password);

unsigned countCerts(HCERTSTORE store);
// Duplicates of the store's certificates in enumeration order.
std::vector<CertContextPtr> certsInStore(HCERTSTORE store);
// The platform's own text for a name, asked with the flags the library uses for MyCert names.
std::string platformNameText(const CERT_NAME_BLOB& name);
bool sameEncoding(PCCERT_CONTEXT left, PCCERT_CONTEXT right);
// Whether the certificate links to its key: the key container that its key provider property
// names opens and holds the pair of the certificate's public key. Put to the key services
// directly, not the way the library asks, so that it can judge the library's answer.
bool keyInLinkedContainer(PCCERT_CONTEXT cert);

// A fresh handle of the current user's personal store "MY"; throws if it cannot be opened.
// Wine reads the store when it is opened, so open anew to see what the library did.
CertStorePtr openPersonalStore();
// Deletes every certificate of "MY" and commits (Wine drops uncommitted deletions).
void emptyPersonalStore();

// An installation whose personal store is empty before and after each test.
class PersonalStoreTest : public ::testing::Test, protected SampleInstallation {
protected:
    PersonalStoreTest();
    ~PersonalStoreTest() override;

    unsigned countCertsInStore() const;
    std::vector<CertContextPtr> personalStoreCerts() const;
    // Adds the certificates of a .p12 file that have a private key (all but ca, as the data
    // script makes them) to "MY", with the link to their key; expects the store's copy to keep
    // that link.
    void addPkcs12ToPersonalStore(const std::string& p12Name, const wchar_t* password = kPkcs12Password) const;
    // Adds a .der certificate to "MY" without any key.
    void addDerToPersonalStore(const std::string& derName) const;
    // Whether this fixture added the certificate (compared by encoding) with its key.
    bool addedWithKey(PCCERT_CONTEXT cert) const;

private:
    mutable std::vector<std::vector<BYTE>> addedWithKey_;
};

// Wine's PFXVerifyPassword is a stub that always answers FALSE, while its PFXImportCertStore
// does check the password. Where the platform's own answer for the known good password is
// not TRUE (checked once per process), this replaces KestMyCert.dll's import of
// PFXVerifyPassword with a stand-in that tries an import into a temporary store.
class WorkingPfxVerifyPassword {
public:
    WorkingPfxVerifyPassword();
    bool standInUsed() const noexcept { return patch_ != nullptr; }

private:
    std::unique_ptr<ImportPatch> patch_;
};
bool platformPfxVerifyPasswordWorks();

// Counts, through KestMyCert.dll's own imports, what the library takes and gives back, and
// can make one of its allocations or duplications fail. One instance at a time. A release
// counts only for a resource the library holds, and only if the platform took it back:
//   contexts: CertDuplicateCertificateContext results and CertEnumCertificatesInStore results
//             against CertFreeCertificateContext, CertDeleteCertificateFromStore (which
//             releases what it is passed) and the previous context given back to enumeration;
//   stores:   CertOpenSystemStoreA and PFXImportCertStore results against CertCloseStore;
//   blocks:   allocMemory (KestCommon ordinal 1) successes against KestCommon's own HeapFree
//             of that block on the process heap (so a freeMemory that frees nothing leaks);
//   keys:     CryptAcquireCertificatePrivateKey handles the caller must free against
//             NCryptFreeObject (for CERT_NCRYPT_KEY_SPEC keys) or CryptReleaseContext (others);
//   foreign:  releases of something the library does not hold (twice, or never taken).
// Imports the library does not have are not watched. Patches a test makes on the same
// imports after this object is constructed see the counting functions as their originals.
class ResourceWatch {
public:
    ResourceWatch();
    ~ResourceWatch();
    ResourceWatch(const ResourceWatch&) = delete;
    ResourceWatch& operator=(const ResourceWatch&) = delete;

    long contextsHeld() const noexcept;
    long storesOpen() const noexcept;
    long blocksHeld() const noexcept;
    long keysHeld() const noexcept;
    unsigned foreignReleases() const noexcept;
    unsigned keysAcquired() const noexcept;  // handles the caller had to free
    unsigned duplications() const noexcept;  // calls, refused ones included
    unsigned allocations() const noexcept;   // calls, refused ones included
    // Every balance zero and no foreign release, with the counts in the failure message.
    ::testing::AssertionResult nothingHeld() const;

    // The nth allocMemory call from now (1 = the next) fails inside KestCommon as if the heap
    // had refused, so that KestCommon logs its own failure record.
    void refuseAllocation(unsigned nth);
    // The nth CertDuplicateCertificateContext call from now returns null with kInjectedLastError.
    void refuseDuplication(unsigned nth) noexcept;

private:
    std::vector<std::unique_ptr<ImportPatch>> patches_;
};

// What KestMyCert.dll passes to the platform, recorded by pass-through patches of its imports
// (constructed after a ResourceWatch, it records and then counts). Certificates are kept as
// their encodings. One instance at a time.
class PlatformCalls {
public:
    struct Pkcs12Import {
        DWORD flags;
    };
    struct KeyProbe {
        std::vector<BYTE> certificate;
        DWORD flags;
        const void* reserved;
        bool wantsKeySpec;
        bool wantsCallerFree;
    };
    struct StoreAdd {
        std::vector<BYTE> certificate;
        DWORD disposition;
        bool wantsStoreContext;
    };
    struct NameToText {
        DWORD encoding;
        DWORD flags;
    };

    PlatformCalls();
    ~PlatformCalls();
    PlatformCalls(const PlatformCalls&) = delete;
    PlatformCalls& operator=(const PlatformCalls&) = delete;

    // Runs on the store PFXImportCertStore made, before the library sees it.
    void onImport(void (*change)(HCERTSTORE store)) noexcept;

    const std::vector<Pkcs12Import>& pkcs12Imports() const noexcept;
    const std::vector<KeyProbe>& keyProbes() const noexcept;
    const std::vector<StoreAdd>& storeAdds() const noexcept;
    const std::vector<DWORD>& certificateComparisons() const noexcept;  // encoding type of each
    const std::vector<DWORD>& publicKeyComparisons() const noexcept;    // encoding type of each
    const std::vector<NameToText>& nameTexts() const noexcept;

private:
    std::vector<std::unique_ptr<ImportPatch>> patches_;
};

}  // namespace kest::test
