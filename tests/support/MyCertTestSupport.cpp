#include "MyCertTestSupport.h"

#include "KestCommon.h"
#include "KestMyCertText.h"
#include "KestSupportOwners.h"
#include "Pkcs12Password.h"
#include "TestData.h"

#include <ncrypt.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <stdexcept>

namespace kest::test {
namespace {

constexpr char kLibrary[] = "KestMyCert.dll";
constexpr char kCrypt32[] = "CRYPT32.dll";
constexpr char kKestCommon[] = "KestCommon.dll";
constexpr char kKernel32[] = "KERNEL32.dll";
constexpr char kNcrypt[] = "ncrypt.dll";
constexpr char kAdvapi32[] = "ADVAPI32.dll";
constexpr WORD kAllocMemoryOrdinal = 1;
constexpr DWORD kCertEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

void commit(HCERTSTORE store) {
    if (!CertControlStore(store, 0, CERT_STORE_CTRL_COMMIT, nullptr))
        throw std::runtime_error("CertControlStore(COMMIT) failed: " + std::to_string(GetLastError()));
}

CRYPT_DATA_BLOB blobOf(std::vector<BYTE>& bytes) {
    return CRYPT_DATA_BLOB{static_cast<DWORD>(bytes.size()), bytes.data()};
}

// --- ResourceWatch state: the counting functions are plain imports, so the state is global.

// Held resources by identity: one entry per reference the library holds.
template <typename Handle>
class Holdings {
public:
    void take(Handle handle) { held_.insert(handle); }
    // False if the library held no such reference: a foreign release.
    bool give(Handle handle) {
        const auto found = held_.find(handle);
        if (found == held_.end()) return false;
        held_.erase(found);
        return true;
    }
    bool holds(Handle handle) const { return held_.count(handle) != 0; }
    long size() const noexcept { return static_cast<long>(held_.size()); }

private:
    std::multiset<Handle> held_;
};

struct Watch {
    bool active = false;
    Holdings<PCCERT_CONTEXT> contexts;
    Holdings<HCERTSTORE> stores;
    Holdings<void*> blocks;
    Holdings<NCRYPT_KEY_HANDLE> newerKeys;
    Holdings<HCRYPTPROV> olderKeys;
    unsigned foreign = 0;
    unsigned keysAcquired = 0;
    unsigned duplications = 0;
    unsigned allocations = 0;
    unsigned refuseDuplicationAt = 0;  // 0: refuse none
    unsigned refuseAllocationAt = 0;
    decltype(&CertDuplicateCertificateContext) duplicate = nullptr;
    decltype(&CertFreeCertificateContext) freeContext = nullptr;
    decltype(&CertDeleteCertificateFromStore) deleteFromStore = nullptr;
    decltype(&CertEnumCertificatesInStore) enumerate = nullptr;
    decltype(&CertOpenSystemStoreA) openSystemStore = nullptr;
    decltype(&PFXImportCertStore) importPfx = nullptr;
    decltype(&CertCloseStore) closeStore = nullptr;
    decltype(&CryptAcquireCertificatePrivateKey) acquireKey = nullptr;
    decltype(&NCryptFreeObject) freeNewerKey = nullptr;
    decltype(&CryptReleaseContext) releaseOlderKey = nullptr;
    decltype(&allocMemory) alloc = nullptr;
    decltype(&HeapFree) heapFree = nullptr;
};
Watch watch;

template <typename Handle>
void release(Holdings<Handle>& holdings, Handle handle) {
    if (!holdings.give(handle)) ++watch.foreign;
}

PCCERT_CONTEXT WINAPI countingDuplicate(PCCERT_CONTEXT context) {
    if (++watch.duplications == watch.refuseDuplicationAt) {
        SetLastError(kInjectedLastError);
        return nullptr;
    }
    PCCERT_CONTEXT copy = watch.duplicate(context);
    if (copy != nullptr) watch.contexts.take(copy);
    return copy;
}

BOOL WINAPI countingFreeContext(PCCERT_CONTEXT context) {
    const BOOL freed = watch.freeContext(context);
    if (context != nullptr && freed) release(watch.contexts, context);
    return freed;
}

BOOL WINAPI countingDelete(PCCERT_CONTEXT context) {
    // Releases the context passed whether the deletion succeeds or not.
    if (context != nullptr) release(watch.contexts, context);
    return watch.deleteFromStore(context);
}

PCCERT_CONTEXT WINAPI countingEnumerate(HCERTSTORE store, PCCERT_CONTEXT previous) {
    if (previous != nullptr) release(watch.contexts, previous);
    PCCERT_CONTEXT next = watch.enumerate(store, previous);
    if (next != nullptr) watch.contexts.take(next);
    return next;
}

HCERTSTORE WINAPI countingOpenSystemStore(HCRYPTPROV_LEGACY provider, LPCSTR name) {
    HCERTSTORE store = watch.openSystemStore(provider, name);
    if (store != nullptr) watch.stores.take(store);
    return store;
}

HCERTSTORE WINAPI countingImportPfx(CRYPT_DATA_BLOB* pfx, LPCWSTR password, DWORD flags) {
    HCERTSTORE store = watch.importPfx(pfx, password, flags);
    if (store != nullptr) watch.stores.take(store);
    return store;
}

BOOL WINAPI countingCloseStore(HCERTSTORE store, DWORD flags) {
    // Checked before the call: once closed, the same handle value may be handed out again.
    const bool held = store != nullptr && watch.stores.holds(store);
    const BOOL closed = watch.closeStore(store, flags);
    if (store != nullptr && closed) {
        if (held)
            watch.stores.give(store);
        else
            ++watch.foreign;
    }
    return closed;
}

BOOL WINAPI countingAcquireKey(PCCERT_CONTEXT context, DWORD flags, void* reserved,
                               HCRYPTPROV_OR_NCRYPT_KEY_HANDLE* key, DWORD* keySpec, BOOL* callerMustFree) {
    const BOOL acquired = watch.acquireKey(context, flags, reserved, key, keySpec, callerMustFree);
    if (acquired && key != nullptr && callerMustFree != nullptr && *callerMustFree) {
        ++watch.keysAcquired;
        if (keySpec != nullptr && *keySpec == CERT_NCRYPT_KEY_SPEC)
            watch.newerKeys.take(*key);
        else
            watch.olderKeys.take(*key);
    }
    return acquired;
}

SECURITY_STATUS WINAPI countingFreeNewerKey(NCRYPT_HANDLE key) {
    const SECURITY_STATUS status = watch.freeNewerKey(key);
    if (status == ERROR_SUCCESS) release(watch.newerKeys, key);
    return status;
}

BOOL WINAPI countingReleaseOlderKey(HCRYPTPROV key, DWORD flags) {
    const BOOL released = watch.releaseOlderKey(key, flags);
    if (released) release(watch.olderKeys, key);
    return released;
}

LPVOID WINAPI refusingHeapAlloc(HANDLE, DWORD, SIZE_T) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
}

ResultCode countingAlloc(unsigned size, void** out) noexcept {
    ResultCode code;
    if (++watch.allocations == watch.refuseAllocationAt) {
        // KestCommon's own failure path, record included.
        const ImportPatch heapRefuses(kKestCommon, kKernel32, "HeapAlloc",
                                      reinterpret_cast<const void*>(&refusingHeapAlloc));
        code = watch.alloc(size, out);
    } else {
        code = watch.alloc(size, out);
    }
    if (code == KEST_OK) watch.blocks.take(*out);
    return code;
}

// KestCommon's own HeapFree: a block of the library is released when the process heap takes it back.
BOOL WINAPI countingHeapFree(HANDLE heap, DWORD flags, LPVOID block) {
    const bool held = block != nullptr && heap == GetProcessHeap() && watch.blocks.holds(block);
    const BOOL freed = watch.heapFree(heap, flags, block);
    if (held && freed) watch.blocks.give(block);
    return freed;
}

}  // namespace

std::vector<BYTE> readTestData(const std::string& name) {
    const std::string path = testDataPath("mycert\\" + name);
    const UniqueFile file{std::fopen(path.c_str(), "rb")};
    if (!file) throw std::runtime_error("cannot read test data " + path);
    std::vector<BYTE> bytes;
    BYTE chunk[4096];
    for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, file.get())) > 0;)
        bytes.insert(bytes.end(), chunk, chunk + got);
    return bytes;
}

CertContextPtr loadCertificate(const std::string& derName) {
    const std::vector<BYTE> der = readTestData(derName);
    CertContextPtr context{CertCreateCertificateContext(kCertEncoding, der.data(), static_cast<DWORD>(der.size()))};
    if (!context) throw std::runtime_error("not a certificate: " + derName);
    return context;
}

CertStorePtr importPkcs12(const std::string& p12Name, const wchar_t* password) {
    std::vector<BYTE> data = readTestData(p12Name);
    CRYPT_DATA_BLOB blob = blobOf(data);
    CertStorePtr store{PFXImportCertStore(&blob, password, CRYPT_EXPORTABLE)};
    if (!store) throw std::runtime_error("PFXImportCertStore failed on " + p12Name);
    return store;
}

unsigned countCerts(HCERTSTORE store) {
    unsigned count = 0;
    for (UniqueCertContext cert; cert.enumerate(store);) ++count;
    return count;
}

std::vector<CertContextPtr> certsInStore(HCERTSTORE store) {
    std::vector<CertContextPtr> certs;
    for (UniqueCertContext cert; cert.enumerate(store);)
        certs.emplace_back(CertDuplicateCertificateContext(cert.get()));
    return certs;
}

std::string platformNameText(const CERT_NAME_BLOB& name) { return kest::mycert::nameText(name); }

bool sameEncoding(PCCERT_CONTEXT left, PCCERT_CONTEXT right) {
    return left->cbCertEncoded == right->cbCertEncoded &&
           std::equal(left->pbCertEncoded, left->pbCertEncoded + left->cbCertEncoded, right->pbCertEncoded);
}

namespace {

// Whether `key` (a provider with a key of the kind `keySpec`, or a key service's key with
// CERT_NCRYPT_KEY_SPEC) holds the key pair of the certificate's public key.
bool holdsKeyOf(PCCERT_CONTEXT cert, HCRYPTPROV_OR_NCRYPT_KEY_HANDLE key, DWORD keySpec) {
    DWORD size = 0;
    if (!CryptExportPublicKeyInfo(key, keySpec, kCertEncoding, nullptr, &size)) return false;
    std::vector<BYTE> buffer(size);
    auto* publicKey = reinterpret_cast<CERT_PUBLIC_KEY_INFO*>(buffer.data());
    if (!CryptExportPublicKeyInfo(key, keySpec, kCertEncoding, publicKey, &size)) return false;
    return CertComparePublicKeyInfo(kCertEncoding, &cert->pCertInfo->SubjectPublicKeyInfo, publicKey) != FALSE;
}

}  // namespace

bool keyInLinkedContainer(PCCERT_CONTEXT cert) {
    DWORD size = 0;
    if (!CertGetCertificateContextProperty(cert, CERT_KEY_PROV_INFO_PROP_ID, nullptr, &size)) return false;
    std::vector<BYTE> buffer(size);
    if (!CertGetCertificateContextProperty(cert, CERT_KEY_PROV_INFO_PROP_ID, buffer.data(), &size)) return false;
    const auto& info = *reinterpret_cast<const CRYPT_KEY_PROV_INFO*>(buffer.data());
    if (info.dwProvType == 0) {
        // A key storage provider's key.
        NCRYPT_PROV_HANDLE providerHandle = 0;
        if (NCryptOpenStorageProvider(&providerHandle, info.pwszProvName, 0) != ERROR_SUCCESS) return false;
        const UniqueNCryptHandle provider{providerHandle};
        NCRYPT_KEY_HANDLE key = 0;
        if (NCryptOpenKey(providerHandle, &key, info.pwszContainerName, info.dwKeySpec,
                          (info.dwFlags & NCRYPT_MACHINE_KEY_FLAG) | NCRYPT_SILENT_FLAG) != ERROR_SUCCESS)
            return false;
        const UniqueNCryptHandle keyOwner{key};
        return holdsKeyOf(cert, key, CERT_NCRYPT_KEY_SPEC);
    }
    // A cryptographic service provider's container. Wine's PKCS#12 import names both kinds of
    // key pair in dwKeySpec (AT_KEYEXCHANGE | AT_SIGNATURE), Windows one of them: either named
    // kind that holds the certificate's key will do.
    HCRYPTPROV providerHandle = 0;
    if (!CryptAcquireContextW(&providerHandle, info.pwszContainerName, info.pwszProvName, info.dwProvType,
                              (info.dwFlags & CRYPT_MACHINE_KEYSET) | CRYPT_SILENT))
        return false;
    const UniqueCryptProvider provider{providerHandle};
    for (const DWORD keySpec : {DWORD{AT_KEYEXCHANGE}, DWORD{AT_SIGNATURE}})
        if ((info.dwKeySpec & keySpec) != 0 && holdsKeyOf(cert, providerHandle, keySpec)) return true;
    return false;
}

CertStorePtr openPersonalStore() {
    CertStorePtr store{CertOpenSystemStoreA(0, "MY")};
    if (!store) throw std::runtime_error("cannot open the personal store: " + std::to_string(GetLastError()));
    return store;
}

void emptyPersonalStore() {
    {
        const CertStorePtr store = openPersonalStore();
        for (CertContextPtr& cert : certsInStore(store.get())) CertDeleteCertificateFromStore(cert.release());
        commit(store.get());
    }
    if (countCerts(openPersonalStore().get()) != 0) throw std::runtime_error("the personal store stays non-empty");
}

// --- PersonalStoreTest ------------------------------------------------------------------

PersonalStoreTest::PersonalStoreTest() { emptyPersonalStore(); }

PersonalStoreTest::~PersonalStoreTest() {
    try {
        emptyPersonalStore();
    } catch (const std::exception& error) {
        ADD_FAILURE() << error.what();
    }
}

unsigned PersonalStoreTest::countCertsInStore() const { return countCerts(openPersonalStore().get()); }

std::vector<CertContextPtr> PersonalStoreTest::personalStoreCerts() const {
    return certsInStore(openPersonalStore().get());
}

void PersonalStoreTest::addPkcs12ToPersonalStore(const std::string& p12Name, const wchar_t* password) const {
    const CertStorePtr imported = importPkcs12(p12Name, password);
    const CertStorePtr personal = openPersonalStore();
    const CertContextPtr ca = loadCertificate("ca.der");
    for (const CertContextPtr& cert : certsInStore(imported.get())) {
        if (sameEncoding(cert.get(), ca.get())) continue;
        PCCERT_CONTEXT added = nullptr;
        // The store's copy keeps the key link (the key provider property) of the imported one.
        if (!CertAddCertificateContextToStore(personal.get(), cert.get(), CERT_STORE_ADD_ALWAYS, &added))
            throw std::runtime_error("cannot add a certificate of " + p12Name + " to the personal store");
        const CertContextPtr addedOwner{added};
        EXPECT_TRUE(keyInLinkedContainer(added)) << "key of " << p12Name << " lost in the personal store";
        addedWithKey_.emplace_back(cert->pbCertEncoded, cert->pbCertEncoded + cert->cbCertEncoded);
    }
    commit(personal.get());
}

void PersonalStoreTest::addDerToPersonalStore(const std::string& derName) const {
    const std::vector<BYTE> der = readTestData(derName);
    const CertStorePtr personal = openPersonalStore();
    if (!CertAddEncodedCertificateToStore(personal.get(), kCertEncoding, der.data(), static_cast<DWORD>(der.size()),
                                          CERT_STORE_ADD_ALWAYS, nullptr))
        throw std::runtime_error("cannot add " + derName + " to the personal store");
    commit(personal.get());
}

bool PersonalStoreTest::addedWithKey(PCCERT_CONTEXT cert) const {
    const std::vector<BYTE> encoding(cert->pbCertEncoded, cert->pbCertEncoded + cert->cbCertEncoded);
    return std::find(addedWithKey_.begin(), addedWithKey_.end(), encoding) != addedWithKey_.end();
}

// --- PFXVerifyPassword --------------------------------------------------------------------

bool platformPfxVerifyPasswordWorks() {
    static const bool works = [] {
        std::vector<BYTE> data = readTestData("signer.p12");
        CRYPT_DATA_BLOB blob = blobOf(data);
        return PFXVerifyPassword(&blob, kPkcs12Password, 0) != FALSE;
    }();
    return works;
}

WorkingPfxVerifyPassword::WorkingPfxVerifyPassword() {
    if (!platformPfxVerifyPasswordWorks())
        patch_ = std::make_unique<ImportPatch>(kLibrary, kCrypt32, "PFXVerifyPassword",
                                               reinterpret_cast<const void*>(&pfxVerifyPasswordByTrialImport));
}

// --- ResourceWatch --------------------------------------------------------------------------

namespace {

template <typename Function>
void watchImport(std::vector<std::unique_ptr<ImportPatch>>& patches, const char* module, const char* dll,
                 const char* name, WORD ordinal, Function replacement, Function& original) {
    HMODULE library = GetModuleHandleA(module);
    if (library == nullptr) throw std::runtime_error(std::string(module) + " is not loaded");
    if (findImportSlot(library, dll, name, ordinal) == nullptr) return;
    const void* address = reinterpret_cast<const void*>(replacement);
    patches.push_back(name != nullptr ? std::make_unique<ImportPatch>(module, dll, name, address)
                                      : std::make_unique<ImportPatch>(module, dll, ordinal, address));
    original = patches.back()->original<Function>();
}

template <typename Function>
void watchImport(std::vector<std::unique_ptr<ImportPatch>>& patches, const char* dll, const char* name, WORD ordinal,
                 Function replacement, Function& original) {
    watchImport(patches, kLibrary, dll, name, ordinal, replacement, original);
}

}  // namespace

ResourceWatch::ResourceWatch() {
    if (watch.active) throw std::logic_error("one ResourceWatch at a time");
    watch = Watch{};
    watch.active = true;
    watchImport(patches_, kCrypt32, "CertDuplicateCertificateContext", 0, &countingDuplicate, watch.duplicate);
    watchImport(patches_, kCrypt32, "CertFreeCertificateContext", 0, &countingFreeContext, watch.freeContext);
    watchImport(patches_, kCrypt32, "CertDeleteCertificateFromStore", 0, &countingDelete, watch.deleteFromStore);
    watchImport(patches_, kCrypt32, "CertEnumCertificatesInStore", 0, &countingEnumerate, watch.enumerate);
    watchImport(patches_, kCrypt32, "CertOpenSystemStoreA", 0, &countingOpenSystemStore, watch.openSystemStore);
    watchImport(patches_, kCrypt32, "PFXImportCertStore", 0, &countingImportPfx, watch.importPfx);
    watchImport(patches_, kCrypt32, "CertCloseStore", 0, &countingCloseStore, watch.closeStore);
    watchImport(patches_, kCrypt32, "CryptAcquireCertificatePrivateKey", 0, &countingAcquireKey, watch.acquireKey);
    watchImport(patches_, kNcrypt, "NCryptFreeObject", 0, &countingFreeNewerKey, watch.freeNewerKey);
    watchImport(patches_, kAdvapi32, "CryptReleaseContext", 0, &countingReleaseOlderKey, watch.releaseOlderKey);
    watchImport(patches_, kKestCommon, nullptr, kAllocMemoryOrdinal, &countingAlloc, watch.alloc);
    watchImport(patches_, kKestCommon, kKernel32, "HeapFree", 0, &countingHeapFree, watch.heapFree);
}

ResourceWatch::~ResourceWatch() {
    while (!patches_.empty()) patches_.pop_back();  // undo in reverse order
    watch.active = false;
}

long ResourceWatch::contextsHeld() const noexcept { return watch.contexts.size(); }
long ResourceWatch::storesOpen() const noexcept { return watch.stores.size(); }
long ResourceWatch::blocksHeld() const noexcept { return watch.blocks.size(); }
long ResourceWatch::keysHeld() const noexcept { return watch.newerKeys.size() + watch.olderKeys.size(); }
unsigned ResourceWatch::foreignReleases() const noexcept { return watch.foreign; }
unsigned ResourceWatch::keysAcquired() const noexcept { return watch.keysAcquired; }
unsigned ResourceWatch::duplications() const noexcept { return watch.duplications; }
unsigned ResourceWatch::allocations() const noexcept { return watch.allocations; }

::testing::AssertionResult ResourceWatch::nothingHeld() const {
    if (contextsHeld() == 0 && storesOpen() == 0 && blocksHeld() == 0 && keysHeld() == 0 && foreignReleases() == 0)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "KestMyCert.dll holds " << contextsHeld() << " certificate contexts, "
                                         << storesOpen() << " stores, " << blocksHeld() << " blocks, " << keysHeld()
                                         << " key handles, and released " << foreignReleases()
                                         << " things it did not hold";
}

void ResourceWatch::refuseAllocation(unsigned nth) {
    // Checked here: the refusal itself runs inside the library, where nothing may throw.
    HMODULE common = GetModuleHandleA(kKestCommon);
    if (common == nullptr || findImportSlot(common, kKernel32, "HeapAlloc", 0) == nullptr)
        throw std::runtime_error("KestCommon.dll does not import HeapAlloc from KERNEL32.dll");
    watch.refuseAllocationAt = watch.allocations + nth;
}
void ResourceWatch::refuseDuplication(unsigned nth) noexcept { watch.refuseDuplicationAt = watch.duplications + nth; }

// --- PlatformCalls ------------------------------------------------------------------------------

namespace {

struct Calls {
    bool active = false;
    void (*onImport)(HCERTSTORE) = nullptr;
    std::vector<PlatformCalls::Pkcs12Import> imports;
    std::vector<PlatformCalls::KeyProbe> probes;
    std::vector<PlatformCalls::StoreAdd> adds;
    std::vector<DWORD> certificateComparisons;
    std::vector<DWORD> publicKeyComparisons;
    std::vector<PlatformCalls::NameToText> names;
    decltype(&PFXImportCertStore) importPfx = nullptr;
    decltype(&CryptAcquireCertificatePrivateKey) acquireKey = nullptr;
    decltype(&CertAddCertificateContextToStore) add = nullptr;
    decltype(&CertCompareCertificate) compareCertificate = nullptr;
    decltype(&CertComparePublicKeyInfo) comparePublicKey = nullptr;
    decltype(&CertNameToStrA) nameToText = nullptr;
};
Calls calls;

std::vector<BYTE> encodingOf(PCCERT_CONTEXT context) {
    if (context == nullptr) return {};
    return {context->pbCertEncoded, context->pbCertEncoded + context->cbCertEncoded};
}

HCERTSTORE WINAPI recordingImportPfx(CRYPT_DATA_BLOB* pfx, LPCWSTR password, DWORD flags) {
    calls.imports.push_back(PlatformCalls::Pkcs12Import{flags});
    HCERTSTORE store = calls.importPfx(pfx, password, flags);
    if (store != nullptr && calls.onImport != nullptr) calls.onImport(store);
    return store;
}

BOOL WINAPI recordingAcquireKey(PCCERT_CONTEXT context, DWORD flags, void* reserved,
                                HCRYPTPROV_OR_NCRYPT_KEY_HANDLE* key, DWORD* keySpec, BOOL* callerMustFree) {
    calls.probes.push_back(
        PlatformCalls::KeyProbe{encodingOf(context), flags, reserved, keySpec != nullptr, callerMustFree != nullptr});
    return calls.acquireKey(context, flags, reserved, key, keySpec, callerMustFree);
}

BOOL WINAPI recordingAdd(HCERTSTORE store, PCCERT_CONTEXT context, DWORD disposition, PCCERT_CONTEXT* added) {
    calls.adds.push_back(PlatformCalls::StoreAdd{encodingOf(context), disposition, added != nullptr});
    return calls.add(store, context, disposition, added);
}

BOOL WINAPI recordingCompareCertificate(DWORD encoding, PCERT_INFO left, PCERT_INFO right) {
    calls.certificateComparisons.push_back(encoding);
    return calls.compareCertificate(encoding, left, right);
}

BOOL WINAPI recordingComparePublicKey(DWORD encoding, PCERT_PUBLIC_KEY_INFO left, PCERT_PUBLIC_KEY_INFO right) {
    calls.publicKeyComparisons.push_back(encoding);
    return calls.comparePublicKey(encoding, left, right);
}

DWORD WINAPI recordingNameToText(DWORD encoding, PCERT_NAME_BLOB name, DWORD flags, LPSTR text, DWORD size) {
    calls.names.push_back(PlatformCalls::NameToText{encoding, flags});
    return calls.nameToText(encoding, name, flags, text, size);
}

}  // namespace

PlatformCalls::PlatformCalls() {
    if (calls.active) throw std::logic_error("one PlatformCalls at a time");
    calls = Calls{};
    calls.active = true;
    watchImport(patches_, kCrypt32, "PFXImportCertStore", 0, &recordingImportPfx, calls.importPfx);
    watchImport(patches_, kCrypt32, "CryptAcquireCertificatePrivateKey", 0, &recordingAcquireKey, calls.acquireKey);
    watchImport(patches_, kCrypt32, "CertAddCertificateContextToStore", 0, &recordingAdd, calls.add);
    watchImport(patches_, kCrypt32, "CertCompareCertificate", 0, &recordingCompareCertificate,
                calls.compareCertificate);
    watchImport(patches_, kCrypt32, "CertComparePublicKeyInfo", 0, &recordingComparePublicKey, calls.comparePublicKey);
    watchImport(patches_, kCrypt32, "CertNameToStrA", 0, &recordingNameToText, calls.nameToText);
}

PlatformCalls::~PlatformCalls() {
    while (!patches_.empty()) patches_.pop_back();
    calls.active = false;
}

void PlatformCalls::onImport(void (*change)(HCERTSTORE store)) noexcept { calls.onImport = change; }
const std::vector<PlatformCalls::Pkcs12Import>& PlatformCalls::pkcs12Imports() const noexcept { return calls.imports; }
const std::vector<PlatformCalls::KeyProbe>& PlatformCalls::keyProbes() const noexcept { return calls.probes; }
const std::vector<PlatformCalls::StoreAdd>& PlatformCalls::storeAdds() const noexcept { return calls.adds; }
const std::vector<DWORD>& PlatformCalls::certificateComparisons() const noexcept {
    return calls.certificateComparisons;
}
const std::vector<DWORD>& PlatformCalls::publicKeyComparisons() const noexcept { return calls.publicKeyComparisons; }
const std::vector<PlatformCalls::NameToText>& PlatformCalls::nameTexts() const noexcept { return calls.names; }

}  // namespace kest::test
