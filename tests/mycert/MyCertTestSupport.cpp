#include "MyCertTestSupport.h"

#include "KestCommon.h"

#include <ncrypt.h>

#include <algorithm>
#include <cstdio>
#include <stdexcept>

namespace kest::test {
namespace {

constexpr char kLibrary[] = "KestMyCert.dll";
constexpr char kCrypt32[] = "CRYPT32.dll";
constexpr char kKestCommon[] = "KestCommon.dll";
constexpr char kKernel32[] = "KERNEL32.dll";
constexpr WORD kAllocMemoryOrdinal = 1;
constexpr WORD kFreeMemoryOrdinal = 2;
constexpr DWORD kCertEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

void commit(HCERTSTORE store) {
    if (!CertControlStore(store, 0, CERT_STORE_CTRL_COMMIT, nullptr))
        throw std::runtime_error("CertControlStore(COMMIT) failed: " + std::to_string(GetLastError()));
}

CRYPT_DATA_BLOB blobOf(std::vector<BYTE>& bytes) {
    return CRYPT_DATA_BLOB{static_cast<DWORD>(bytes.size()), bytes.data()};
}

// --- ResourceWatch state: the counting functions are plain imports, so the state is global.

struct Watch {
    bool active = false;
    long contexts = 0;
    long stores = 0;
    long blocks = 0;
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
    decltype(&allocMemory) alloc = nullptr;
    decltype(&freeMemory) freeBlock = nullptr;
};
Watch watch;

PCCERT_CONTEXT WINAPI countingDuplicate(PCCERT_CONTEXT context) {
    if (++watch.duplications == watch.refuseDuplicationAt) {
        SetLastError(kInjectedLastError);
        return nullptr;
    }
    PCCERT_CONTEXT copy = watch.duplicate(context);
    if (copy != nullptr) ++watch.contexts;
    return copy;
}

BOOL WINAPI countingFreeContext(PCCERT_CONTEXT context) {
    if (context != nullptr) --watch.contexts;
    return watch.freeContext(context);
}

BOOL WINAPI countingDelete(PCCERT_CONTEXT context) {
    if (context != nullptr) --watch.contexts;
    return watch.deleteFromStore(context);
}

PCCERT_CONTEXT WINAPI countingEnumerate(HCERTSTORE store, PCCERT_CONTEXT previous) {
    if (previous != nullptr) --watch.contexts;
    PCCERT_CONTEXT next = watch.enumerate(store, previous);
    if (next != nullptr) ++watch.contexts;
    return next;
}

HCERTSTORE WINAPI countingOpenSystemStore(HCRYPTPROV_LEGACY provider, LPCSTR name) {
    HCERTSTORE store = watch.openSystemStore(provider, name);
    if (store != nullptr) ++watch.stores;
    return store;
}

HCERTSTORE WINAPI countingImportPfx(CRYPT_DATA_BLOB* pfx, LPCWSTR password, DWORD flags) {
    HCERTSTORE store = watch.importPfx(pfx, password, flags);
    if (store != nullptr) ++watch.stores;
    return store;
}

BOOL WINAPI countingCloseStore(HCERTSTORE store, DWORD flags) {
    if (store != nullptr) --watch.stores;
    return watch.closeStore(store, flags);
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
    if (code == KEST_OK) ++watch.blocks;
    return code;
}

void countingFreeMemory(void* block) noexcept {
    if (block != nullptr) --watch.blocks;
    watch.freeBlock(block);
}

BOOL WINAPI pfxVerifyPasswordByTrialImport(CRYPT_DATA_BLOB* pfx, LPCWSTR password, DWORD) {
    // The test's own import of PFXImportCertStore, not the library's.
    HCERTSTORE trial = PFXImportCertStore(pfx, password, 0);
    if (trial == nullptr) return FALSE;
    CertCloseStore(trial, 0);
    return TRUE;
}

}  // namespace

std::vector<BYTE> readTestData(const std::string& name) {
    const std::string path = std::string(KEST_TEST_DATA_DIR) + "/" + name;
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

std::string platformNameText(const CERT_NAME_BLOB& name) {
    constexpr DWORD kFlags = CERT_X500_NAME_STR | CERT_NAME_STR_REVERSE_FLAG | CERT_NAME_STR_NO_PLUS_FLAG;
    auto* blob = const_cast<CERT_NAME_BLOB*>(&name);
    const DWORD size = CertNameToStrA(X509_ASN_ENCODING, blob, kFlags, nullptr, 0);
    std::string text(size, '\0');
    CertNameToStrA(X509_ASN_ENCODING, blob, kFlags, text.data(), size);
    text.resize(size - 1);
    return text;
}

bool sameEncoding(PCCERT_CONTEXT left, PCCERT_CONTEXT right) {
    return left->cbCertEncoded == right->cbCertEncoded &&
           std::equal(left->pbCertEncoded, left->pbCertEncoded + left->cbCertEncoded, right->pbCertEncoded);
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
    for (const CertContextPtr& cert : certsInStore(imported.get())) {
        if (!privateKeyReachable(cert.get())) continue;
        PCCERT_CONTEXT added = nullptr;
        // The store's copy keeps the key link (the key provider property) of the imported one.
        if (!CertAddCertificateContextToStore(personal.get(), cert.get(), CERT_STORE_ADD_ALWAYS, &added))
            throw std::runtime_error("cannot add a certificate of " + p12Name + " to the personal store");
        const CertContextPtr addedOwner{added};
        EXPECT_TRUE(privateKeyReachable(added)) << "key of " << p12Name << " lost in the personal store";
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
void watchImport(std::vector<std::unique_ptr<ImportPatch>>& patches, const char* dll, const char* name, WORD ordinal,
                 Function replacement, Function& original) {
    HMODULE library = GetModuleHandleA(kLibrary);
    if (library == nullptr) throw std::runtime_error("KestMyCert.dll is not loaded");
    if (findImportSlot(library, dll, name, ordinal) == nullptr) return;
    const void* address = reinterpret_cast<const void*>(replacement);
    patches.push_back(name != nullptr ? std::make_unique<ImportPatch>(kLibrary, dll, name, address)
                                      : std::make_unique<ImportPatch>(kLibrary, dll, ordinal, address));
    original = patches.back()->original<Function>();
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
    watchImport(patches_, kKestCommon, nullptr, kAllocMemoryOrdinal, &countingAlloc, watch.alloc);
    watchImport(patches_, kKestCommon, nullptr, kFreeMemoryOrdinal, &countingFreeMemory, watch.freeBlock);
}

ResourceWatch::~ResourceWatch() {
    while (!patches_.empty()) patches_.pop_back();  // undo in reverse order
    watch.active = false;
}

long ResourceWatch::contextsHeld() const noexcept { return watch.contexts; }
long ResourceWatch::storesOpen() const noexcept { return watch.stores; }
long ResourceWatch::blocksHeld() const noexcept { return watch.blocks; }
unsigned ResourceWatch::duplications() const noexcept { return watch.duplications; }
unsigned ResourceWatch::allocations() const noexcept { return watch.allocations; }

::testing::AssertionResult ResourceWatch::nothingHeld() const {
    if (watch.contexts == 0 && watch.stores == 0 && watch.blocks == 0) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "KestMyCert.dll holds " << watch.contexts << " certificate contexts, "
                                         << watch.stores << " stores, " << watch.blocks << " blocks";
}

void ResourceWatch::refuseAllocation(unsigned nth) {
    // Checked here: the refusal itself runs inside the library, where nothing may throw.
    HMODULE common = GetModuleHandleA(kKestCommon);
    if (common == nullptr || findImportSlot(common, kKernel32, "HeapAlloc", 0) == nullptr)
        throw std::runtime_error("KestCommon.dll does not import HeapAlloc from KERNEL32.dll");
    watch.refuseAllocationAt = watch.allocations + nth;
}
void ResourceWatch::refuseDuplication(unsigned nth) noexcept { watch.refuseDuplicationAt = watch.duplications + nth; }

}  // namespace kest::test
