// copyCertContext, storeMyCertToStore and deleteMyCertFromStore against the real personal
// store of the test prefix; failures are provoked through KestMyCert.dll's import table.
#include "KestMyCert.h"
#include "KestResultMessages.h"
#include "KnownDifference.h"
#include "MyCertTestSupport.h"

#include <gmock/gmock.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

namespace kest::test {
namespace {

using ::testing::Each;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::Field;

constexpr char kLibrary[] = "KestMyCert.dll";
constexpr char kCrypt32[] = "CRYPT32.dll";
constexpr char kSourceUnit[] = "KestMyCertStoreUtil.cpp";
constexpr DWORD kCertEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

std::vector<BYTE> encodingOf(PCCERT_CONTEXT context) {
    return {context->pbCertEncoded, context->pbCertEncoded + context->cbCertEncoded};
}

std::vector<std::vector<BYTE>> encodingsOf(const std::vector<CertContextPtr>& certs) {
    std::vector<std::vector<BYTE>> encodings;
    for (const CertContextPtr& cert : certs) encodings.push_back(encodingOf(cert.get()));
    return encodings;
}

// --- Replacements of the library's imports --------------------------------------------------

HCERTSTORE WINAPI refuseOpenSystemStore(HCRYPTPROV_LEGACY, LPCSTR) {
    SetLastError(kInjectedLastError);
    return nullptr;
}

BOOL WINAPI refuseAdd(HCERTSTORE, PCCERT_CONTEXT, DWORD, PCCERT_CONTEXT*) {
    SetLastError(kInjectedLastError);
    return FALSE;
}

// Keeps the platform's contract: the context passed is released, also on failure.
BOOL WINAPI refuseDelete(PCCERT_CONTEXT context) {
    CertFreeCertificateContext(context);
    SetLastError(kInjectedLastError);
    return FALSE;
}

BOOL WINAPI refuseControl(HCERTSTORE, DWORD, DWORD, const void*) {
    SetLastError(kInjectedLastError);
    return FALSE;
}

// What the library asked to delete, passed through to the real deletion.
std::vector<std::vector<BYTE>> deletedEncodings;
decltype(&CertDeleteCertificateFromStore) realDelete = nullptr;
BOOL WINAPI recordDelete(PCCERT_CONTEXT context) {
    deletedEncodings.push_back(encodingOf(context));
    return realDelete(context);
}

// The fixture of the store functions' suites, which differ only in their names.
class StoreTest : public PersonalStoreTest {
protected:
    StoreTest() { deletedEncodings.clear(); }

    void expectAllRecordsFromStoreUtil() const {
        EXPECT_THAT(logRecords(), Each(Field(&LogRecord::sourceFile, kSourceUnit)));
    }
};

// --- copyCertContext ------------------------------------------------------------------------

using CopyCertContextTest = StoreTest;

TEST_F(CopyCertContextTest, CopyIsACountedDuplicateThatOutlivesTheOriginal) {
    CertContextPtr original = loadCertificate("signer.der");
    const std::vector<BYTE> encoding = encodingOf(original.get());
    ResourceWatch watch;

    PCCERT_CONTEXT copy = nullptr;
    ASSERT_EQ(copyCertContext(original.get(), &copy), KEST_OK);
    const CertContextPtr copyOwner{copy};
    original.reset();

    EXPECT_EQ(encodingOf(copy), encoding);
    EXPECT_EQ(watch.duplications(), 1u);
    EXPECT_EQ(watch.contextsHeld(), 1) << "the copy is the caller's to release";
    EXPECT_THAT(logMessages(), ElementsAre("copyCertContext() start", "copyCertContext() end"));
    expectAllRecordsFromStoreUtil();
}

TEST_F(CopyCertContextTest, FailedDuplicationReturns207AndLeavesTheOutParameter) {
    const CertContextPtr original = loadCertificate("signer.der");
    ResourceWatch watch;
    watch.refuseDuplication(1);

    const auto untouched = reinterpret_cast<PCCERT_CONTEXT>(0x1234);
    PCCERT_CONTEXT copy = untouched;
    EXPECT_EQ(copyCertContext(original.get(), &copy), KEST_E_CERT_DUPLICATE);

    EXPECT_EQ(copy, untouched);
    EXPECT_TRUE(watch.nothingHeld());
    EXPECT_THAT(logMessages(),
                ElementsAre("copyCertContext() start",
                            "copyCertContext() = 0x25000207 : 証明書コンテキストの複製に失敗しました。 : "
                            "CertDuplicateCertificateContext() failed (0x0000beef)",
                            "copyCertContext() end"));
}

// --- storeMyCertToStore ---------------------------------------------------------------------

using StoreMyCertTest = StoreTest;

TEST_F(StoreMyCertTest, StoringOneCertificateTwiceSucceedsTwice) {
    const CertContextPtr cert = loadCertificate("twin-a.der");
    ResourceWatch watch;
    const PlatformCalls calls;

    EXPECT_EQ(storeMyCertToStore(cert.get()), KEST_OK);
    EXPECT_EQ(storeMyCertToStore(cert.get()), KEST_OK);

    // Always added, never replaced or merged with what is there; the store's copy is not wanted.
    ASSERT_EQ(calls.storeAdds().size(), 2u);
    for (const PlatformCalls::StoreAdd& add : calls.storeAdds()) {
        EXPECT_EQ(add.disposition, DWORD{CERT_STORE_ADD_ALWAYS});
        EXPECT_EQ(add.certificate, encodingOf(cert.get()));
        EXPECT_FALSE(add.wantsStoreContext);
    }
    // How many copies the personal store holds once reopened is the platform's matter, and
    // Windows documents none: Wine's holds one entry per thumbprint, and its conformance tests
    // of registry stores suggest that Windows keeps one per thumbprint too. So only what is
    // the same on both is checked: one or two entries, each this certificate.
    const std::vector<CertContextPtr> stored = personalStoreCerts();
    ASSERT_GE(stored.size(), 1u);
    EXPECT_LE(stored.size(), 2u);
    for (const CertContextPtr& entry : stored) EXPECT_TRUE(sameEncoding(entry.get(), cert.get()));
    EXPECT_TRUE(watch.nothingHeld());
    EXPECT_THAT(logMessages(), ElementsAre("storeMyCertToStore() start", "storeMyCertToStore() end",
                                           "storeMyCertToStore() start", "storeMyCertToStore() end"));
    expectAllRecordsFromStoreUtil();
}

TEST_F(StoreMyCertTest, StoredCertificateKeepsItsPrivateKey) {
    const CertStorePtr imported = importPkcs12("signer.p12");
    const CertContextPtr signer = loadCertificate("signer.der");
    PCCERT_CONTEXT withKey =
        CertFindCertificateInStore(imported.get(), kCertEncoding, 0, CERT_FIND_EXISTING, signer.get(), nullptr);
    ASSERT_NE(withKey, nullptr);
    const CertContextPtr withKeyOwner{withKey};

    EXPECT_EQ(storeMyCertToStore(withKey), KEST_OK);

    const std::vector<CertContextPtr> stored = personalStoreCerts();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_TRUE(sameEncoding(stored[0].get(), signer.get()));
    EXPECT_TRUE(keyInLinkedContainer(stored[0].get()));
}

TEST_F(StoreMyCertTest, StoreThatCannotBeOpenedGives200) {
    const CertContextPtr cert = loadCertificate("twin-a.der");
    const ImportPatch openFails(kLibrary, kCrypt32, "CertOpenSystemStoreA",
                                reinterpret_cast<const void*>(&refuseOpenSystemStore));
    ResourceWatch watch;

    EXPECT_EQ(storeMyCertToStore(cert.get()), KEST_E_STORE_OPEN);

    EXPECT_EQ(countCertsInStore(), 0u);
    EXPECT_TRUE(watch.nothingHeld());
    EXPECT_THAT(logMessages(),
                ElementsAre("storeMyCertToStore() start",
                            "storeMyCertToStore() = 0x25000200 : 証明書ストアのオープンに失敗しました。 : "
                            "CertOpenSystemStore() failed (0x0000beef)",
                            "storeMyCertToStore() end"));
    expectAllRecordsFromStoreUtil();
}

TEST_F(StoreMyCertTest, RefusedAdditionGives204AndClosesTheStore) {
    const CertContextPtr cert = loadCertificate("twin-a.der");
    const ImportPatch addFails(kLibrary, kCrypt32, "CertAddCertificateContextToStore",
                               reinterpret_cast<const void*>(&refuseAdd));
    ResourceWatch watch;

    EXPECT_EQ(storeMyCertToStore(cert.get()), KEST_E_CERT_ADD);

    EXPECT_EQ(countCertsInStore(), 0u);
    EXPECT_TRUE(watch.nothingHeld());
    EXPECT_THAT(logMessages(), ElementsAre("storeMyCertToStore() start",
                                           "storeMyCertToStore() = 0x25000204 : 証明書の追加に失敗しました。 : "
                                           "CertAddCertificateContextToStore() failed (0x0000beef)",
                                           "storeMyCertToStore() end"));
    expectAllRecordsFromStoreUtil();
}

// --- deleteMyCertFromStore ------------------------------------------------------------------

using DeleteMyCertTest = StoreTest;

std::vector<std::string> compareRecords(unsigned certificates) {
    std::vector<std::string> records;
    for (unsigned i = 0; i < certificates; ++i) {
        records.push_back("compareCertificate() start");
        records.push_back("compareCertificate() end");
    }
    return records;
}

std::vector<std::string> deleteRecords(unsigned comparisons, const std::string& failure = "") {
    std::vector<std::string> records{"deleteMyCertFromStore() start"};
    for (const std::string& record : compareRecords(comparisons)) records.push_back(record);
    if (!failure.empty()) records.push_back(failure);
    records.push_back("deleteMyCertFromStore() end");
    return records;
}

TEST_F(DeleteMyCertTest, OneCallRemovesOnlyTheFirstMatchInStoreOrderAndTheRemovalLasts) {
    // twin-a and its renewal share issuer, serial and key: both match twin-a.
    addDerToPersonalStore("signer.der");
    addDerToPersonalStore("twin-a-renewed.der");
    addDerToPersonalStore("twin-a.der");
    const CertContextPtr wanted = loadCertificate("twin-a.der");
    const std::vector<BYTE> renewed = encodingOf(loadCertificate("twin-a-renewed.der").get());
    std::vector<std::vector<BYTE>> before = encodingsOf(personalStoreCerts());
    ASSERT_EQ(before.size(), 3u);
    std::size_t firstMatch = 0;
    while (firstMatch < before.size() && before[firstMatch] != encodingOf(wanted.get()) &&
           before[firstMatch] != renewed)
        ++firstMatch;
    ASSERT_LT(firstMatch, before.size());
    const ImportPatch recording(kLibrary, kCrypt32, "CertDeleteCertificateFromStore",
                                reinterpret_cast<const void*>(&recordDelete));
    realDelete = recording.original<decltype(&CertDeleteCertificateFromStore)>();
    ResourceWatch watch;

    EXPECT_EQ(deleteMyCertFromStore(wanted.get()), KEST_OK);

    ASSERT_THAT(deletedEncodings, ElementsAre(before[firstMatch]));
    before.erase(before.begin() + static_cast<std::ptrdiff_t>(firstMatch));
    EXPECT_THAT(encodingsOf(personalStoreCerts()), ElementsAreArray(before)) << "after reopening the store";
    EXPECT_TRUE(watch.nothingHeld());
    EXPECT_THAT(logMessages(), ElementsAreArray(deleteRecords(static_cast<unsigned>(firstMatch) + 1)));
    expectAllRecordsFromStoreUtil();
}

TEST_F(DeleteMyCertTest, RepeatedCallsRemoveEveryMatchAndThenNothing) {
    addDerToPersonalStore("twin-a.der");
    addDerToPersonalStore("twin-a-renewed.der");
    const CertContextPtr wanted = loadCertificate("twin-a.der");

    EXPECT_EQ(deleteMyCertFromStore(wanted.get()), KEST_OK);
    EXPECT_EQ(countCertsInStore(), 1u);
    EXPECT_EQ(deleteMyCertFromStore(wanted.get()), KEST_OK);
    EXPECT_EQ(countCertsInStore(), 0u);
    EXPECT_EQ(deleteMyCertFromStore(wanted.get()), KEST_OK);
}

TEST_F(DeleteMyCertTest, AbsentCertificateGivesZeroAfterBothComparisonsWithEveryCertificate) {
    addDerToPersonalStore("signer.der");
    addDerToPersonalStore("quoted.der");
    addDerToPersonalStore("ca.der");
    const CertContextPtr absent = loadCertificate("twin-a.der");
    const ImportPatch recording(kLibrary, kCrypt32, "CertDeleteCertificateFromStore",
                                reinterpret_cast<const void*>(&recordDelete));
    realDelete = recording.original<decltype(&CertDeleteCertificateFromStore)>();
    ResourceWatch watch;
    const PlatformCalls calls;

    EXPECT_EQ(deleteMyCertFromStore(absent.get()), KEST_OK);

    EXPECT_TRUE(deletedEncodings.empty());
    EXPECT_EQ(countCertsInStore(), 3u);
    // The public keys are compared even where issuer and serial already differ; both
    // comparisons read X.509 and PKCS#7 encodings (0x10001).
    EXPECT_THAT(calls.certificateComparisons(), ElementsAre(kCertEncoding, kCertEncoding, kCertEncoding));
    EXPECT_THAT(calls.publicKeyComparisons(), ElementsAre(kCertEncoding, kCertEncoding, kCertEncoding));
    static_assert(kCertEncoding == 0x10001);
    EXPECT_TRUE(watch.nothingHeld());
    EXPECT_THAT(logMessages(), ElementsAreArray(deleteRecords(3)));
}

TEST_F(DeleteMyCertTest, SameIssuerAndSerialWithAnotherKeyIsNotDeleted) {
    addDerToPersonalStore("twin-b.der");
    const CertContextPtr twinA = loadCertificate("twin-a.der");
    const CertContextPtr twinB = loadCertificate("twin-b.der");
    ASSERT_TRUE(CertCompareCertificate(kCertEncoding, twinA->pCertInfo, twinB->pCertInfo))
        << "the data must share issuer and serial";
    ResourceWatch watch;

    EXPECT_EQ(deleteMyCertFromStore(twinA.get()), KEST_OK);

    const std::vector<CertContextPtr> stored = personalStoreCerts();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_TRUE(sameEncoding(stored[0].get(), twinB.get()));
    EXPECT_TRUE(watch.nothingHeld());
    EXPECT_THAT(logMessages(), ElementsAreArray(deleteRecords(1)));
}

TEST_F(DeleteMyCertTest, StoreThatCannotBeOpenedGives200) {
    addDerToPersonalStore("twin-a.der");
    const CertContextPtr cert = loadCertificate("twin-a.der");
    const ImportPatch openFails(kLibrary, kCrypt32, "CertOpenSystemStoreA",
                                reinterpret_cast<const void*>(&refuseOpenSystemStore));
    ResourceWatch watch;

    EXPECT_EQ(deleteMyCertFromStore(cert.get()), KEST_E_STORE_OPEN);

    EXPECT_EQ(countCertsInStore(), 1u);
    EXPECT_TRUE(watch.nothingHeld());
    EXPECT_THAT(logMessages(),
                ElementsAre("deleteMyCertFromStore() start",
                            "deleteMyCertFromStore() = 0x25000200 : 証明書ストアのオープンに失敗しました。 : "
                            "CertOpenSystemStore() failed (0x0000beef)",
                            "deleteMyCertFromStore() end"));
    expectAllRecordsFromStoreUtil();
}

TEST_F(DeleteMyCertTest, RefusedDeletionGives205AndLeavesTheCertificate) {
    addDerToPersonalStore("signer.der");
    addDerToPersonalStore("twin-a.der");
    const CertContextPtr cert = loadCertificate("twin-a.der");
    const std::vector<std::vector<BYTE>> before = encodingsOf(personalStoreCerts());
    const auto matchPosition =
        static_cast<unsigned>(std::find(before.begin(), before.end(), encodingOf(cert.get())) - before.begin());
    ASSERT_LT(matchPosition, before.size());
    // Under the watch, so that the watch sees the context handed to the failing deletion.
    const ImportPatch deleteFails(kLibrary, kCrypt32, "CertDeleteCertificateFromStore",
                                  reinterpret_cast<const void*>(&refuseDelete));
    ResourceWatch watch;

    EXPECT_EQ(deleteMyCertFromStore(cert.get()), KEST_E_CERT_DELETE);

    EXPECT_THAT(encodingsOf(personalStoreCerts()), ElementsAreArray(before));
    EXPECT_TRUE(watch.nothingHeld());
    EXPECT_THAT(logMessages(),
                ElementsAreArray(deleteRecords(matchPosition + 1,
                                               "deleteMyCertFromStore() = 0x25000205 : 証明書の削除に失敗しました。 : "
                                               "CertDeleteCertificateFromStore() failed (0x0000beef)")));
    expectAllRecordsFromStoreUtil();
}

TEST_F(DeleteMyCertTest, RefusedCommitOfTheDeletionGives205) {
    addDerToPersonalStore("twin-a.der");
    const CertContextPtr cert = loadCertificate("twin-a.der");
    const ImportPatch commitFails(kLibrary, kCrypt32, "CertControlStore",
                                  reinterpret_cast<const void*>(&refuseControl));
    ResourceWatch watch;

    EXPECT_EQ(deleteMyCertFromStore(cert.get()), KEST_E_CERT_DELETE);

    EXPECT_TRUE(watch.nothingHeld());
    EXPECT_THAT(logMessages(),
                ElementsAreArray(deleteRecords(1,
                                               "deleteMyCertFromStore() = 0x25000205 : 証明書の削除に失敗しました。 : "
                                               "CertControlStore() failed (0x0000beef)")));
}

// --- The test support the KestMyCert suites rely on -------------------------------------------

// Calls whatever KestMyCert.dll's import of a function currently points to.
template <typename Function>
Function libraryImport(const char* dll, const char* function, WORD ordinal = 0) {
    ULONG_PTR* slot = findImportSlot(GetModuleHandleA(kLibrary), dll, function, ordinal);
    if (slot == nullptr) throw std::runtime_error(std::string("no import ") + (function ? function : "by ordinal"));
    return reinterpret_cast<Function>(*slot);
}

using MyCertTestSupportTest = PersonalStoreTest;

TEST_F(MyCertTestSupportTest, LibrarySeesAPfxVerifyPasswordThatChecksThePassword) {
    // The platform's own answer for the right password.
    EXPECT_TRUE(knownDifference(platformPfxVerifyPasswordWorks(), true, false,
                                "PFXVerifyPassword returns TRUE if the password appears correct (Win32 docs of "
                                "PFXVerifyPassword); Wine's is a stub that answers FALSE"));
    const WorkingPfxVerifyPassword working;
    EXPECT_EQ(working.standInUsed(), !platformPfxVerifyPasswordWorks());
    const auto verify = libraryImport<decltype(&PFXVerifyPassword)>(kCrypt32, "PFXVerifyPassword");
    for (const char* file : {"signer.p12", "signer-legacy.p12"}) {
        std::vector<BYTE> data = readTestData(file);
        CRYPT_DATA_BLOB blob{static_cast<DWORD>(data.size()), data.data()};
        EXPECT_TRUE(verify(&blob, kPkcs12Password, 0)) << file;
        EXPECT_FALSE(verify(&blob, L"KestTest-2025", 0)) << file;
    }
}

TEST_F(MyCertTestSupportTest, RefusedAllocationFailsInsideKestCommonAndIsNotCounted) {
    ResourceWatch watch;
    watch.refuseAllocation(2);
    const auto allocate = libraryImport<ResultCode (*)(unsigned, void**)>("KestCommon.dll", nullptr, 1);
    const auto release = libraryImport<void (*)(void*)>("KestCommon.dll", nullptr, 2);

    void* first = nullptr;
    void* second = nullptr;
    ASSERT_EQ(allocate(16, &first), KEST_OK);
    EXPECT_EQ(allocate(16, &second), KEST_E_NO_MEMORY);
    EXPECT_EQ(second, nullptr);
    EXPECT_EQ(watch.blocksHeld(), 1);
    release(first);
    EXPECT_TRUE(watch.nothingHeld());
    EXPECT_EQ(watch.allocations(), 2u);
    EXPECT_THAT(logMessages(), ::testing::Contains("allocMemory() = 0x25000000 : メモリーの確保に失敗しました。 : "
                                                   "HeapAlloc() failed (0x00000000)"));
}

}  // namespace
}  // namespace kest::test
