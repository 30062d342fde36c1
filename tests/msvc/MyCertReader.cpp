// The MinGW side of the MSVC-ABI host test: the layout of MyCert as this build lays it out and
// the fields of the personal store's certificate list, in the lines of MyCertLines.h, which
// host/Host.c prints too.
#include "MyCertLines.h"

#include <cstdio>

namespace {

void field(const char* name, unsigned long long value) { std::printf("%s %llu\n", name, value); }

void recordText(unsigned index, const char* name, const char* text) {
    std::printf("record %u %s %s\n", index, name, text != nullptr ? text : "(null)");
}

void recordNumber(unsigned index, const char* name, unsigned long long value) {
    std::printf("record %u %s %llu\n", index, name, value);
}

}  // namespace

int main() {
    const MyCertLineWriter out{&field, &recordText, &recordNumber};
    writeMyCertLayout(&out);

    MyCert* head = nullptr;
    const ResultCode result = createMyCertList(&head);
    if (result != KEST_OK) {
        std::printf("FAILED createMyCertList: 0x%08x\n", result);
        return 1;
    }
    writeMyCertRecords(&out, head);
    deleteMyCertList(head);
    return 0;
}
