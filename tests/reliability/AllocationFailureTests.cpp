// Every block a list needs is refused in turn, and every certificate duplication: each failed
// run must come back with its code, leave the caller's head alone, give back everything it
// took and close every trace it opened.
#include "KestMyCert.h"

#include "MyCertTestSupport.h"
#include "Reliability.h"

#include <gmock/gmock.h>

#include <functional>
#include <string>
#include <vector>

namespace kest::test {
namespace {

using ::testing::Contains;

// The record KestCommon writes when the heap refuses (the value is the heap call's null).
const std::string kHeapRefusedRecord =
    "allocMemory() = 0x25000000 : メモリーの確保に失敗しました。 : HeapAlloc() failed (0x00000000)";
const std::string kDuplicationRefusedRecord =
    "copyCertContext() = 0x25000207 : 証明書コンテキストの複製に失敗しました。 : "
    "CertDuplicateCertificateContext() failed (0x0000beef)";

// Five certificates with keys plus the CA without one, which the list leaves out.
const std::vector<std::string> kKeyedFiles = {"signer.p12", "quoted.p12", "twin-a.p12", "twin-b.p12", "long-name.p12"};
constexpr unsigned kKeyedCertificates = 5;

using Create = std::function<ResultCode(MyCert**)>;

class AllocationFailureTest : public PersonalStoreTest {
protected:
    void fillPersonalStore() {
        addDerToPersonalStore("ca.der");
        for (const std::string& file : kKeyedFiles) addPkcs12ToPersonalStore(file);
    }

    // The blocks and duplications of one successful run, and the list's length.
    struct Needs {
        unsigned allocations;
        unsigned duplications;
        unsigned records;
    };
    Needs measure(const Create& create) {
        const ResourceWatch watch;
        MyCert* head = nullptr;
        EXPECT_EQ(create(&head), KEST_OK);
        const Needs needs{watch.allocations(), watch.duplications(), countMyCertList(head)};
        deleteMyCertList(head);
        EXPECT_TRUE(watch.nothingHeld());
        return needs;
    }

    enum class Refuse { Allocation, Duplication };

    // Runs create with the nth allocation (or duplication) refused, n = 1, 2, ... until a run
    // succeeds; that must be the first n past what a successful run needs.
    void sweep(const Create& create, Refuse refuse, ResultCode expectedCode, const std::string& expectedRecord) {
        const Needs needs = measure(create);
        const unsigned needed = refuse == Refuse::Allocation ? needs.allocations : needs.duplications;
        ASSERT_GT(needed, 0u);
        for (unsigned nth = 1; nth <= needed + 1; ++nth) {
            SCOPED_TRACE("refused call " + std::to_string(nth) + " of " + std::to_string(needed));
            DeleteFileA(logPath().c_str());
            MyCert untouched{};
            MyCert* head = &untouched;
            ResultCode code;
            {
                ResourceWatch watch;
                if (refuse == Refuse::Allocation)
                    watch.refuseAllocation(nth);
                else
                    watch.refuseDuplication(nth);
                code = create(&head);
                if (code == KEST_OK) {
                    EXPECT_EQ(countMyCertList(head), needs.records);
                    deleteMyCertList(head);
                }
                EXPECT_TRUE(watch.nothingHeld());
            }
            const std::vector<std::string> messages = logMessages();
            EXPECT_TRUE(tracesBalanced(messages));
            if (nth > needed) {
                EXPECT_EQ(code, KEST_OK);
                return;
            }
            ASSERT_EQ(code, expectedCode);
            EXPECT_EQ(head, &untouched);
            EXPECT_THAT(messages, Contains(expectedRecord).Times(1));
        }
    }

    WorkingPfxVerifyPassword password_;
};

ResultCode fromPersonalStore(MyCert** head) { return createMyCertList(head); }

Create fromPkcs12(const std::string& file) {
    return [data = readTestData(file)](MyCert** head) {
        return createMyCertListInPkcs12Store(data.data(), static_cast<DWORD>(data.size()), kPkcs12Password, head);
    };
}

TEST_F(AllocationFailureTest, StoreOfFiveListsAllOfThemWhenNothingIsRefused) {
    fillPersonalStore();
    const Needs needs = measure(fromPersonalStore);
    EXPECT_EQ(needs.records, kKeyedCertificates);
    // A record, subject, issuer and serial number per certificate.
    EXPECT_EQ(needs.allocations, 4 * kKeyedCertificates);
    EXPECT_EQ(needs.duplications, kKeyedCertificates);
}

TEST_F(AllocationFailureTest, EveryRefusedBlockOfAStoreListFailsCleanly) {
    fillPersonalStore();
    sweep(fromPersonalStore, Refuse::Allocation, KEST_E_NO_MEMORY, kHeapRefusedRecord);
}

TEST_F(AllocationFailureTest, EveryRefusedDuplicationOfAStoreListFailsCleanly) {
    fillPersonalStore();
    sweep(fromPersonalStore, Refuse::Duplication, KEST_E_CERT_DUPLICATE, kDuplicationRefusedRecord);
}

// signer.p12 holds two certificates, the signer with its key and the CA without; Wine's
// import keeps only the one with the key, so the list has one record either way.
TEST_F(AllocationFailureTest, Pkcs12OfTwoListsTheOneWithItsKey) {
    EXPECT_EQ(measure(fromPkcs12("signer.p12")).records, 1u);
}

TEST_F(AllocationFailureTest, EveryRefusedBlockOfAPkcs12ListFailsCleanly) {
    sweep(fromPkcs12("signer.p12"), Refuse::Allocation, KEST_E_NO_MEMORY, kHeapRefusedRecord);
}

TEST_F(AllocationFailureTest, EveryRefusedDuplicationOfAPkcs12ListFailsCleanly) {
    sweep(fromPkcs12("signer.p12"), Refuse::Duplication, KEST_E_CERT_DUPLICATE, kDuplicationRefusedRecord);
}

}  // namespace
}  // namespace kest::test
