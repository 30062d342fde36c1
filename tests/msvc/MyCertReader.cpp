// The MinGW side of the MSVC-ABI host test: the layout of MyCert as this build lays it out and
// the fields of the personal store's certificate list, printed in the form of host/Host.c.
#include <KestMyCert.h>

#include <cstddef>
#include <cstdio>

namespace {

void field(const char* name, unsigned long long value) { std::printf("%s %llu\n", name, value); }

void recordText(unsigned index, const char* name, const char* text) {
    std::printf("record %u %s %s\n", index, name, text != nullptr ? text : "(null)");
}

}  // namespace

int main() {
    field("offset certContext", offsetof(MyCert, certContext));
    field("offset subject", offsetof(MyCert, subject));
    field("offset issuer", offsetof(MyCert, issuer));
    field("offset serialHex", offsetof(MyCert, serialHex));
    field("offset notBefore", offsetof(MyCert, notBefore));
    field("offset notAfter", offsetof(MyCert, notAfter));
    field("offset candidate", offsetof(MyCert, candidate));
    field("offset next", offsetof(MyCert, next));
    field("sizeof MyCert", sizeof(MyCert));

    MyCert* head = nullptr;
    const ResultCode result = createMyCertList(&head);
    if (result != KEST_OK) {
        std::printf("FAILED createMyCertList: 0x%08x\n", result);
        return 1;
    }
    unsigned count = 0;
    for (const MyCert* record = head; record != nullptr; record = record->next) {
        ++count;
        recordText(count, "subject", record->subject);
        recordText(count, "issuer", record->issuer);
        recordText(count, "serialHex", record->serialHex);
        recordText(count, "notBefore", record->notBefore);
        recordText(count, "notAfter", record->notAfter);
        std::printf("record %u candidate %d\n", count, record->candidate);
        std::printf("record %u certEncoded %lu\n", count,
                    record->certContext != nullptr ? record->certContext->cbCertEncoded : 0UL);
    }
    field("records", count);
    deleteMyCertList(head);
    return 0;
}
