#include "KestMyCert.h"

#include "KnownDifference.h"
#include "MyCertTestSupport.h"

#include <gmock/gmock.h>

#include <windows.h>
#include <wincrypt.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace kest::test {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

constexpr char kModule[] = "KestMyCert.dll";
constexpr char kCrypt32[] = "crypt32.dll";
constexpr char kManagerUnit[] = "KestMyCertManager.cpp";
constexpr char kStoreUtilUnit[] = "KestMyCertStoreUtil.cpp";
constexpr char kX500Quoting[] =
    "CertNameToStrA, CERT_X500_NAME_STR: a value is quoted for leading or trailing white space or one of "
    ", + = \" \\n < > # ; (Win32 docs of CertNameToStrA; Wine's crypt32/tests/str.c test_quoted_RDN)";

using ListPtr = UniqueMyCertList;

std::vector<MyCert*> recordsOf(MyCert* head) {
    std::vector<MyCert*> records;
    for (MyCert* record = head; record != nullptr; record = record->next) records.push_back(record);
    return records;
}

// Messages of error records ("name() = 0x...") in log order.
std::vector<std::string> errorMessages(const std::vector<LogRecord>& records) {
    std::vector<std::string> errors;
    for (const LogRecord& record : records)
        if (record.message.find("() = 0x") != std::string::npos) errors.push_back(record.message);
    return errors;
}

unsigned countMessage(const std::vector<std::string>& messages, const std::string& wanted) {
    return static_cast<unsigned>(std::count(messages.begin(), messages.end(), wanted));
}

// Stands for the caller's head: a failed create must leave it as it was.
struct CallersHead {
    MyCert untouched_{};
    MyCert* head_ = &untouched_;
};

class ListTest : public PersonalStoreTest, protected CallersHead {};

// --- building from the personal store ----------------------------------------------------

TEST_F(ListTest, EmptyStoreGivesANullHeadAndCountZero) {
    const ResourceWatch watch;
    ASSERT_EQ(createMyCertList(&head_), KEST_OK);
    EXPECT_EQ(head_, nullptr);
    EXPECT_EQ(countMyCertList(head_), 0u);
    deleteMyCertList(head_);
    EXPECT_TRUE(watch.nothingHeld());
}

TEST_F(ListTest, CertificatesWithoutAReachableKeyAreLeftOutTheOthersKeepStoreOrder) {
    addDerToPersonalStore("ca.der");
    addPkcs12ToPersonalStore("twin-a.p12");
    addDerToPersonalStore("quoted.der");
    addPkcs12ToPersonalStore("signer.p12");
    std::vector<PCCERT_CONTEXT> expected;
    const std::vector<CertContextPtr> inStore = personalStoreCerts();
    ASSERT_EQ(inStore.size(), 4u);
    for (const CertContextPtr& cert : inStore)
        if (addedWithKey(cert.get())) expected.push_back(cert.get());
    ASSERT_EQ(expected.size(), 2u);

    const ResourceWatch watch;
    const PlatformCalls calls;
    ASSERT_EQ(createMyCertList(&head_), KEST_OK);
    {
        const ListPtr list{head_};
        const std::vector<MyCert*> records = recordsOf(head_);
        EXPECT_EQ(countMyCertList(head_), 2u);
        ASSERT_EQ(records.size(), expected.size());
        for (std::size_t index = 0; index < records.size(); ++index)
            EXPECT_TRUE(sameEncoding(records[index]->certContext, expected[index])) << "record " << index;
    }
    // Every certificate's key was asked for, in store order, preferring the newer key service.
    ASSERT_EQ(calls.keyProbes().size(), inStore.size());
    for (std::size_t index = 0; index < inStore.size(); ++index) {
        const PlatformCalls::KeyProbe& probe = calls.keyProbes()[index];
        const CERT_CONTEXT& cert = *inStore[index];
        EXPECT_EQ(probe.certificate, std::vector<BYTE>(cert.pbCertEncoded, cert.pbCertEncoded + cert.cbCertEncoded))
            << "probe " << index;
        EXPECT_EQ(probe.flags, DWORD{CRYPT_ACQUIRE_PREFER_NCRYPT_KEY_FLAG}) << "probe " << index;
        EXPECT_EQ(probe.reserved, nullptr);
        EXPECT_TRUE(probe.wantsKeySpec && probe.wantsCallerFree);
    }
    // Subject and issuer of two records, each asked for its size and then its text.
    ASSERT_EQ(calls.nameTexts().size(), 8u);
    for (const PlatformCalls::NameToText& name : calls.nameTexts()) {
        EXPECT_EQ(name.encoding, DWORD{X509_ASN_ENCODING});
        EXPECT_EQ(name.flags, 0x22000003u);
    }
    // Wine hands out key handles the caller must free: each one probed is released again.
    EXPECT_EQ(watch.keysAcquired(), 2u);
    EXPECT_TRUE(watch.nothingHeld());
}

// The local machine's "MY", written by the test; closed and emptied again at the end.
class LocalMachineStore {
public:
    LocalMachineStore()
        : store_{CertOpenStore(CERT_STORE_PROV_SYSTEM_A, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, "MY")} {}
    ~LocalMachineStore() {
        if (!store_) return;
        for (CertContextPtr& cert : certsInStore(store_.get())) CertDeleteCertificateFromStore(cert.release());
        CertControlStore(store_.get(), 0, CERT_STORE_CTRL_COMMIT, nullptr);
    }
    HCERTSTORE get() const noexcept { return store_.get(); }

private:
    CertStorePtr store_;
};

TEST_F(ListTest, TheLocalMachinesPersonalCertificatesAreNotTheUsers) {
    const LocalMachineStore machine;
    if (machine.get() == nullptr) GTEST_SKIP() << "the local machine's MY cannot be opened here: " << GetLastError();
    ASSERT_EQ(countCerts(machine.get()), 0u) << "a test leaves the local machine's MY empty";
    const CertStorePtr imported = importPkcs12("signer.p12");
    const CertContextPtr signer = loadCertificate("signer.der");
    const CertContextPtr withKey{
        CertFindCertificateInStore(imported.get(), X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, signer.get(), nullptr)};
    ASSERT_TRUE(withKey);
    if (!CertAddCertificateContextToStore(machine.get(), withKey.get(), CERT_STORE_ADD_ALWAYS, nullptr))
        GTEST_SKIP() << "the local machine's MY cannot be written here: " << GetLastError();
    ASSERT_TRUE(CertControlStore(machine.get(), 0, CERT_STORE_CTRL_COMMIT, nullptr));

    ASSERT_EQ(createMyCertList(&head_), KEST_OK);
    const ListPtr list{head_};
    EXPECT_TRUE(knownDifference(countMyCertList(head_), 0u, 1u,
                                "the current user's MY is its .Default physical store alone (Win32 docs, System "
                                "Store Locations); Wine's CertOpenSystemStoreA(0, \"MY\") adds the local machine's"));
}

TEST_F(ListTest, RecordHoldsNamesSerialAndUtcValidityOfItsCertificate) {
    // Our users' zone, UTC+9: a validity shifted to local time would read 09:00:00.
    TIME_ZONE_INFORMATION zone;
    ASSERT_NE(GetTimeZoneInformation(&zone), TIME_ZONE_ID_INVALID);
    ASSERT_EQ(zone.Bias, -540) << "the tests run with TZ=Asia/Tokyo (cmake/wine-run.sh)";
    addPkcs12ToPersonalStore("signer.p12");
    ASSERT_EQ(createMyCertList(&head_), KEST_OK);
    const ListPtr list{head_};
    ASSERT_EQ(countMyCertList(head_), 1u);

    const CertContextPtr signer = loadCertificate("signer.der");
    const MyCert& record = *head_;
    EXPECT_TRUE(sameEncoding(record.certContext, signer.get()));
    EXPECT_EQ(record.subject, platformNameText(signer->pCertInfo->Subject));
    EXPECT_EQ(record.issuer, platformNameText(signer->pCertInfo->Issuer));
    // Kept as 2a 01, least significant byte first.
    ASSERT_EQ(signer->pCertInfo->SerialNumber.cbData, 2u);
    EXPECT_EQ(signer->pCertInfo->SerialNumber.pbData[0], 0x2a);
    EXPECT_STREQ(record.serialHex, "012a");
    EXPECT_STREQ(record.notBefore, "2024.01.05 00:00:00");
    EXPECT_STREQ(record.notAfter, "2034.01.05 00:00:00");
    EXPECT_EQ(record.candidate, 0);
    EXPECT_EQ(record.next, nullptr);
}

TEST_F(ListTest, NamesWithCommasQuotesAndSpacesAreThePlatformsText) {
    addPkcs12ToPersonalStore("quoted.p12");
    addPkcs12ToPersonalStore("utf8-names.p12");
    ASSERT_EQ(createMyCertList(&head_), KEST_OK);
    const ListPtr list{head_};
    ASSERT_EQ(countMyCertList(head_), 2u);
    const MyCert* quoted = head_;
    const MyCert* utf8 = head_->next;
    if (std::string(quoted->serialHex) != "1001") std::swap(quoted, utf8);
    ASSERT_STREQ(quoted->serialHex, "1001");
    ASSERT_STREQ(utf8->serialHex, "4004");

    // PrintableString and TeletexString values: both platforms quote by the documented rule.
    EXPECT_EQ(std::string(quoted->subject), "CN=\"Suzuki, Ichiro\", OU=\"R&D \"\"Lab\"\"\", O=Kest Test, C=JP");
    EXPECT_EQ(quoted->subject, platformNameText(loadCertificate("quoted.der")->pCertInfo->Subject));
    // UTF8String values: Wine 8.0 looks for the trailing space at a character count used as
    // a byte index into UTF-16, so it quotes "Kest Test" (a space at that byte) and not
    // "Kest UTF8 " (fixed in Wine 8.19).
    EXPECT_TRUE(knownDifference(std::string(utf8->subject), std::string("CN=\"Kest UTF8 \", O=Kest Test, C=JP"),
                                std::string("CN=Kest UTF8 , O=\"Kest Test\", C=JP"), kX500Quoting));
    EXPECT_EQ(utf8->subject, platformNameText(loadCertificate("utf8-names.der")->pCertInfo->Subject));
    EXPECT_EQ(std::string(utf8->issuer), "CN=Kest Test CA, O=Kest Test, C=JP");
}

TEST_F(ListTest, RecordContextOutlivesTheStoreAndTheEmptiedStore) {
    addPkcs12ToPersonalStore("signer.p12");
    ASSERT_EQ(createMyCertList(&head_), KEST_OK);
    const ListPtr list{head_};
    emptyPersonalStore();
    ASSERT_NE(head_, nullptr);
    const CertContextPtr signer = loadCertificate("signer.der");
    EXPECT_TRUE(sameEncoding(head_->certContext, signer.get()));
}

TEST_F(ListTest, EveryStepIsTracedUnderItsOwnName) {
    addPkcs12ToPersonalStore("signer.p12");
    ASSERT_EQ(createMyCertList(&head_), KEST_OK);
    deleteMyCertList(head_);

    std::vector<std::string> ours;
    for (const LogRecord& record : logRecords())
        if (record.sourceFile == kManagerUnit || record.sourceFile == kStoreUtilUnit)
            ours.push_back(record.sourceFile + ":" + record.message);
    const std::string m = std::string(kManagerUnit) + ":";
    EXPECT_THAT(
        ours,
        ElementsAre(m + "createMyCertList() start", m + "buildNewMyCertList() start", m + "newMyCertList() start",
                    std::string(kStoreUtilUnit) + ":copyCertContext() start",
                    std::string(kStoreUtilUnit) + ":copyCertContext() end", m + "getCertAttributes() start",
                    m + "getCertNameString() start", m + "getCertNameString() end", m + "getCertNameString() start",
                    m + "getCertNameString() end", m + "bytesToHex() start", m + "bytesToHex() end",
                    m + "fileTimeToString() start", m + "fileTimeToString() end", m + "fileTimeToString() start",
                    m + "fileTimeToString() end", m + "getCertAttributes() end", m + "newMyCertList() end",
                    m + "buildNewMyCertList() end", m + "createMyCertList() end", m + "deleteMyCertList() start",
                    m + "deleteMyCert() start", m + "deleteMyCert() end", m + "deleteMyCertList() end"));
}

// --- release ------------------------------------------------------------------------------

TEST_F(ListTest, DeleteOfANullListOnlyTraces) {
    deleteMyCertList(nullptr);
    EXPECT_THAT(logMessages(), ElementsAre("deleteMyCertList() start", "deleteMyCertList() end"));
}

std::vector<PCCERT_CONTEXT> gReleasedContexts;
using CertFree = BOOL(WINAPI*)(PCCERT_CONTEXT);
CertFree gCertFree = nullptr;
BOOL WINAPI recordingCertFree(PCCERT_CONTEXT context) {
    gReleasedContexts.push_back(context);
    return gCertFree(context);
}

TEST_F(ListTest, DeleteReleasesRecordsFromTheLastToTheFirstAndEverythingTheyHold) {
    addPkcs12ToPersonalStore("signer.p12");
    addPkcs12ToPersonalStore("quoted.p12");
    addPkcs12ToPersonalStore("twin-a.p12");
    const ResourceWatch watch;
    ASSERT_EQ(createMyCertList(&head_), KEST_OK);
    std::vector<PCCERT_CONTEXT> expected;
    for (const MyCert* record : recordsOf(head_)) expected.insert(expected.begin(), record->certContext);
    ASSERT_EQ(expected.size(), 3u);

    gReleasedContexts.clear();
    {
        const ImportPatch recordFrees{kModule, kCrypt32, "CertFreeCertificateContext",
                                      reinterpret_cast<const void*>(&recordingCertFree)};
        gCertFree = recordFrees.original<CertFree>();
        deleteMyCertList(head_);
    }
    EXPECT_THAT(gReleasedContexts, ElementsAreArray(expected));
    EXPECT_TRUE(watch.nothingHeld());
    EXPECT_EQ(countMessage(logMessages(), "deleteMyCert() start"), 3u);
}

// --- PKCS#12 data -------------------------------------------------------------------------

// What KestMyCert.dll passed to PFXVerifyPassword, and the answer it is given.
struct PasswordCheck {
    DWORD size;
    const BYTE* data;
    const wchar_t* password;
    DWORD flags;
};
std::vector<PasswordCheck> gPasswordChecksSeen;
BOOL gPasswordAnswer = TRUE;
BOOL WINAPI answeringPasswordCheck(CRYPT_DATA_BLOB* blob, LPCWSTR password, DWORD flags) {
    gPasswordChecksSeen.push_back(PasswordCheck{blob->cbData, blob->pbData, password, flags});
    return gPasswordAnswer;
}

// The library's password check is answered by the test (TRUE unless a test says FALSE), so
// that both of its paths run on any platform: Wine's PFXVerifyPassword is a stub that always
// answers FALSE. The import that follows is the platform's own.
class AnsweredPasswordCheck {
protected:
    AnsweredPasswordCheck() {
        gPasswordChecksSeen.clear();
        gPasswordAnswer = TRUE;
    }
    // One check, of the data and the password exactly as the caller gave them.
    void expectPasswordCheckOf(const std::vector<BYTE>& data, const wchar_t* password) const {
        ASSERT_EQ(gPasswordChecksSeen.size(), 1u);
        const PasswordCheck& check = gPasswordChecksSeen[0];
        EXPECT_EQ(check.data, data.data());
        EXPECT_EQ(check.size, data.size());
        EXPECT_EQ(check.password, password);
        EXPECT_EQ(check.flags, 0u);
    }

    const ImportPatch passwordCheck_{kModule, kCrypt32, "PFXVerifyPassword",
                                     reinterpret_cast<const void*>(&answeringPasswordCheck)};
};

class Pkcs12ListTest : public PersonalStoreTest, protected CallersHead, protected AnsweredPasswordCheck {};

class Pkcs12EncryptionTest : public PersonalStoreTest,
                             protected CallersHead,
                             protected AnsweredPasswordCheck,
                             public ::testing::WithParamInterface<const char*> {};

constexpr char kPfxImportKeepsAll[] =
    "PFXImportCertStore returns a store that contains the imported certificates, including available private keys "
    "(Win32 docs of PFXImportCertStore)";

// Wine's PFXImportCertStore drops the file's keyless CA, so on its own the CA would never reach
// the key check; where it is missing, the import is made to hold a keyless copy of the CA, as
// Windows' holds.
unsigned gImportedCertificates = 0;
void addKeylessCa(HCERTSTORE imported) {
    gImportedCertificates = countCerts(imported);
    const CertContextPtr ca = loadCertificate("ca.der");
    const CertContextPtr present{
        CertFindCertificateInStore(imported, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, ca.get(), nullptr)};
    if (!present) CertAddCertificateContextToStore(imported, ca.get(), CERT_STORE_ADD_ALWAYS, nullptr);
}

TEST_P(Pkcs12EncryptionTest, ListsTheCertificateWithItsKeyAndLeavesTheKeylessCaOut) {
    const std::vector<BYTE> data = readTestData(GetParam());
    const ResourceWatch watch;
    PlatformCalls calls;
    calls.onImport(&addKeylessCa);
    ASSERT_EQ(createMyCertListInPkcs12Store(data.data(), static_cast<DWORD>(data.size()), kPkcs12Password, &head_),
              KEST_OK);
    expectPasswordCheckOf(data, kPkcs12Password);
    // The file holds the signer with its key and the CA without.
    EXPECT_TRUE(knownDifference(gImportedCertificates, 2u, 1u, kPfxImportKeepsAll));
    ASSERT_EQ(calls.pkcs12Imports().size(), 1u);
    EXPECT_EQ(calls.pkcs12Imports()[0].flags, DWORD{CRYPT_EXPORTABLE});
    const std::vector<BYTE> ca = readTestData("ca.der");
    ASSERT_EQ(calls.keyProbes().size(), 2u) << "the signer and the keyless CA";
    EXPECT_EQ(std::count_if(calls.keyProbes().begin(), calls.keyProbes().end(),
                            [&ca](const PlatformCalls::KeyProbe& probe) { return probe.certificate == ca; }),
              1);
    EXPECT_EQ(watch.keysAcquired(), 1u);
    {
        const ListPtr list{head_};
        ASSERT_EQ(countMyCertList(head_), 1u);
        const CertContextPtr signer = loadCertificate("signer.der");
        EXPECT_TRUE(sameEncoding(head_->certContext, signer.get()));
        EXPECT_STREQ(head_->serialHex, "012a");
        EXPECT_STREQ(head_->notBefore, "2024.01.05 00:00:00");
        EXPECT_TRUE(keyInLinkedContainer(head_->certContext));
    }
    EXPECT_TRUE(watch.nothingHeld());
    EXPECT_EQ(countCertsInStore(), 0u) << "the personal store is not touched";
}

INSTANTIATE_TEST_SUITE_P(Encryptions, Pkcs12EncryptionTest, ::testing::Values("signer.p12", "signer-legacy.p12"));

unsigned gImports = 0;
HCERTSTORE WINAPI countingImport(CRYPT_DATA_BLOB*, LPCWSTR, DWORD) {
    ++gImports;
    SetLastError(kInjectedLastError);
    return nullptr;
}

TEST_F(Pkcs12ListTest, DataThatIsNotPkcs12FailsBeforeThePasswordIsTried) {
    const std::vector<BYTE> data = readTestData("signer.der");
    gImports = 0;
    const ResourceWatch watch;
    const ImportPatch imports{kModule, kCrypt32, "PFXImportCertStore", reinterpret_cast<const void*>(&countingImport)};

    EXPECT_EQ(createMyCertListInPkcs12Store(data.data(), static_cast<DWORD>(data.size()), kPkcs12Password, &head_),
              KEST_E_PKCS12_INVALID);
    EXPECT_EQ(head_, &untouched_);
    EXPECT_TRUE(gPasswordChecksSeen.empty());
    EXPECT_EQ(gImports, 0u);
    EXPECT_TRUE(watch.nothingHeld());
    EXPECT_THAT(
        logMessages(),
        ElementsAre("createMyCertListInPkcs12Store() start", "openPkcs12Store() start",
                    "openPkcs12Store() = 0x25000208 : PKCS#12形式データが不正です。 : PFXIsPFXBlob() failed "
                    "(0x00000000)",
                    "openPkcs12Store() end", "createMyCertListInPkcs12Store() = 0x25000208 : openPkcs12Store() failed",
                    "createMyCertListInPkcs12Store() end"));
}

TEST_F(Pkcs12ListTest, AWrongPasswordFailsBeforeAnythingIsImported) {
    const std::vector<BYTE> data = readTestData("signer.p12");
    const wchar_t wrong[] = L"wrong";
    gPasswordAnswer = FALSE;
    for (const wchar_t* password : {static_cast<const wchar_t*>(wrong), static_cast<const wchar_t*>(nullptr)}) {
        SCOPED_TRACE(password != nullptr ? "a wrong password" : "no password");
        gPasswordChecksSeen.clear();
        gImports = 0;
        const std::size_t before = logRecords().size();
        const ResourceWatch watch;
        const ImportPatch imports{kModule, kCrypt32, "PFXImportCertStore",
                                  reinterpret_cast<const void*>(&countingImport)};

        EXPECT_EQ(createMyCertListInPkcs12Store(data.data(), static_cast<DWORD>(data.size()), password, &head_),
                  KEST_E_PKCS12_PASSWORD);
        expectPasswordCheckOf(data, password);
        EXPECT_EQ(head_, &untouched_);
        EXPECT_EQ(gImports, 0u);
        EXPECT_TRUE(watch.nothingHeld());
        std::vector<LogRecord> records = logRecords();
        records.erase(records.begin(), records.begin() + static_cast<std::ptrdiff_t>(before));
        EXPECT_THAT(errorMessages(records),
                    ElementsAre("openPkcs12Store() = 0x25000209 : PKCS#12形式データのパスワードに誤りがあります。 : "
                                "PFXVerifyPassword() failed (0x00000000)",
                                "createMyCertListInPkcs12Store() = 0x25000209 : openPkcs12Store() failed"));
    }
}

TEST_F(Pkcs12ListTest, AFailedImportGivesItsCodeAndTheLastError) {
    const std::vector<BYTE> data = readTestData("signer.p12");
    const ResourceWatch watch;
    const ImportPatch imports{kModule, kCrypt32, "PFXImportCertStore", reinterpret_cast<const void*>(&countingImport)};

    EXPECT_EQ(createMyCertListInPkcs12Store(data.data(), static_cast<DWORD>(data.size()), kPkcs12Password, &head_),
              KEST_E_PKCS12_IMPORT);
    EXPECT_EQ(head_, &untouched_);
    EXPECT_TRUE(watch.nothingHeld());
    EXPECT_THAT(errorMessages(logRecords()),
                ElementsAre("openPkcs12Store() = 0x2500020a : PKCS#12形式データのインポートに失敗しました。 : "
                            "PFXImportCertStore() failed (0x0000beef)",
                            "createMyCertListInPkcs12Store() = 0x2500020a : openPkcs12Store() failed"));
}

TEST_F(Pkcs12ListTest, AFailedBuildClosesTheImportedStore) {
    const std::vector<BYTE> data = readTestData("signer.p12");
    ResourceWatch watch;
    watch.refuseDuplication(1);
    EXPECT_EQ(createMyCertListInPkcs12Store(data.data(), static_cast<DWORD>(data.size()), kPkcs12Password, &head_),
              KEST_E_CERT_DUPLICATE);
    EXPECT_EQ(head_, &untouched_);
    EXPECT_TRUE(watch.nothingHeld());
    EXPECT_THAT(errorMessages(logRecords()),
                ElementsAre("copyCertContext() = 0x25000207 : 証明書コンテキストの複製に失敗しました。 : "
                            "CertDuplicateCertificateContext() failed (0x0000beef)",
                            "newMyCertList() = 0x25000207 : copyCertContext() failed",
                            "buildNewMyCertList() = 0x25000207 : newMyCertList() failed",
                            "createMyCertListInPkcs12Store() = 0x25000207 : buildNewMyCertList() failed"));
}

// --- injected platform failures -----------------------------------------------------------

HCERTSTORE WINAPI refusedStoreOpen(HCRYPTPROV_LEGACY, LPCSTR) {
    SetLastError(kInjectedLastError);
    return nullptr;
}

TEST_F(ListTest, AStoreThatCannotBeOpenedGivesItsCode) {
    const ResourceWatch watch;
    const ImportPatch open{kModule, kCrypt32, "CertOpenSystemStoreA", reinterpret_cast<const void*>(&refusedStoreOpen)};
    EXPECT_EQ(createMyCertList(&head_), KEST_E_STORE_OPEN);
    EXPECT_EQ(head_, &untouched_);
    EXPECT_TRUE(watch.nothingHeld());
    EXPECT_THAT(logMessages(), ElementsAre("createMyCertList() start",
                                           "createMyCertList() = 0x25000200 : 証明書ストアのオープンに失敗しました。 : "
                                           "CertOpenSystemStore() failed (0x0000beef)",
                                           "createMyCertList() end"));
}

// Three certificates with keys, in this store order.
constexpr const char* kThreeCertificates[] = {"signer.p12", "quoted.p12", "twin-a.p12"};

class ThreeCertificateListTest : public PersonalStoreTest, protected CallersHead {
protected:
    ThreeCertificateListTest() {
        for (const char* file : kThreeCertificates) addPkcs12ToPersonalStore(file);
    }
};

TEST_F(ThreeCertificateListTest, ARefusedDuplicationReleasesTheRecordsMadeSoFar) {
    ResourceWatch watch;
    watch.refuseDuplication(2);
    EXPECT_EQ(createMyCertList(&head_), KEST_E_CERT_DUPLICATE);
    EXPECT_EQ(head_, &untouched_);
    EXPECT_EQ(watch.duplications(), 2u);
    EXPECT_TRUE(watch.nothingHeld());

    const std::vector<LogRecord> records = logRecords();
    EXPECT_THAT(errorMessages(records),
                ElementsAre("copyCertContext() = 0x25000207 : 証明書コンテキストの複製に失敗しました。 : "
                            "CertDuplicateCertificateContext() failed (0x0000beef)",
                            "newMyCertList() = 0x25000207 : copyCertContext() failed",
                            "buildNewMyCertList() = 0x25000207 : newMyCertList() failed",
                            "createMyCertList() = 0x25000207 : buildNewMyCertList() failed"));
    std::vector<std::string> messages;
    for (const LogRecord& record : records) messages.push_back(record.message);
    // The refused record and the complete first one.
    EXPECT_EQ(countMessage(messages, "deleteMyCert() start"), 2u);
}

unsigned gFileTimeCallsLeft = 0;
BOOL WINAPI fileTimeFailingOnce(const FILETIME* time, SYSTEMTIME* calendar) {
    if (gFileTimeCallsLeft != 0 && --gFileTimeCallsLeft == 0) {
        SetLastError(kInjectedLastError);
        return FALSE;
    }
    return FileTimeToSystemTime(time, calendar);
}

TEST_F(ThreeCertificateListTest, AFailedFileTimeConversionReleasesTheTextsAlreadyMade) {
    const ResourceWatch watch;
    gFileTimeCallsLeft = 4;  // the end of validity of the second certificate
    const ImportPatch conversion{kModule, "kernel32.dll", "FileTimeToSystemTime",
                                 reinterpret_cast<const void*>(&fileTimeFailingOnce)};
    EXPECT_EQ(createMyCertList(&head_), KEST_E_FILE_TIME);
    EXPECT_EQ(head_, &untouched_);
    EXPECT_TRUE(watch.nothingHeld());
    EXPECT_THAT(errorMessages(logRecords()),
                ElementsAre("fileTimeToString() = 0x2500020f : "
                            "ファイル日時形式からシステム日時形式への変更に失敗しました。 : "
                            "FileTimeToSystemTime() failed (0x0000beef)",
                            "getCertAttributes() = 0x2500020f : fileTimeToString() failed",
                            "newMyCertList() = 0x2500020f : getCertAttributes() failed",
                            "buildNewMyCertList() = 0x2500020f : newMyCertList() failed",
                            "createMyCertList() = 0x2500020f : buildNewMyCertList() failed"));
}

struct RefusedBlock {
    const char* name;
    unsigned nth;  // of the list's allocations: record, subject, issuer, serial per certificate
    std::vector<std::string> errors;
    unsigned recordsReleased;
};

void PrintTo(const RefusedBlock& block, std::ostream* out) { *out << block.name; }

const std::string kHeapRefused =
    "allocMemory() = 0x25000000 : メモリーの確保に失敗しました。 : HeapAlloc() failed (0x00000000)";
const std::string kBuildFailed = "buildNewMyCertList() = 0x25000000 : newMyCertList() failed";
const std::string kCreateFailed = "createMyCertList() = 0x25000000 : buildNewMyCertList() failed";

class RefusedAllocationTest : public PersonalStoreTest,
                              protected CallersHead,
                              public ::testing::WithParamInterface<RefusedBlock> {
protected:
    RefusedAllocationTest() {
        for (const char* file : kThreeCertificates) addPkcs12ToPersonalStore(file);
    }
};

TEST_P(RefusedAllocationTest, PassesTheCodeUpAndReleasesEverything) {
    {
        const ResourceWatch dryRun;
        ASSERT_EQ(createMyCertList(&head_), KEST_OK);
        deleteMyCertList(head_);
        head_ = &untouched_;
        ASSERT_EQ(dryRun.allocations(), 12u) << "four blocks for each of three certificates";
    }
    const std::size_t before = logRecords().size();

    ResourceWatch watch;
    watch.refuseAllocation(GetParam().nth);
    EXPECT_EQ(createMyCertList(&head_), KEST_E_NO_MEMORY);
    EXPECT_EQ(head_, &untouched_);
    EXPECT_TRUE(watch.nothingHeld());

    std::vector<LogRecord> records = logRecords();
    records.erase(records.begin(), records.begin() + static_cast<std::ptrdiff_t>(before));
    EXPECT_THAT(errorMessages(records), ElementsAreArray(GetParam().errors));
    std::vector<std::string> messages;
    for (const LogRecord& record : records) messages.push_back(record.message);
    EXPECT_EQ(countMessage(messages, "deleteMyCert() start"), GetParam().recordsReleased);
    // Released by the owners of newMyCertList and buildNewMyCertList on the way out: before the build's end.
    const std::vector<std::string> beforeBuildEnd(
        messages.begin(), std::find(messages.begin(), messages.end(), "buildNewMyCertList() end"));
    EXPECT_EQ(countMessage(beforeBuildEnd, "deleteMyCert() start"), GetParam().recordsReleased);
}

INSTANTIATE_TEST_SUITE_P(
    Blocks, RefusedAllocationTest,
    ::testing::Values(
        RefusedBlock{"FirstRecord",
                     1,
                     {kHeapRefused, "newMyCertList() = 0x25000000 : allocMemory() failed", kBuildFailed, kCreateFailed},
                     0},
        RefusedBlock{"SubjectOfTheSecond",
                     6,
                     {kHeapRefused, "getCertNameString() = 0x25000000 : allocMemory() failed",
                      "getCertAttributes() = 0x25000000 : getCertNameString() failed",
                      "newMyCertList() = 0x25000000 : getCertAttributes() failed", kBuildFailed, kCreateFailed},
                     2},
        RefusedBlock{"SerialOfTheLast",
                     12,
                     {kHeapRefused, "bytesToHex() = 0x25000000 : allocMemory() failed",
                      "getCertAttributes() = 0x25000000 : bytesToHex() failed",
                      "newMyCertList() = 0x25000000 : getCertAttributes() failed", kBuildFailed, kCreateFailed},
                     3}),
    [](const ::testing::TestParamInfo<RefusedBlock>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kest::test
