/* A host built as the platform's compiler builds one (MSVC ABI), linked against the package's
 * Visual Studio import libraries only: KestLog.lib, KestCommonByOrdinal.lib, KestMyCert.lib and
 * KestIni.lib. It includes the package's headers, calls through each library, and prints the
 * layout and the fields of the personal store's certificate list in the lines of MyCertLines.h,
 * which MyCertReader.cpp (the MinGW side) prints too. One line per check; exit status 1 when one fails.
 *
 * C, as a C host includes our headers (KestMyCert.h's C++ part brings the C++ library, which
 * this compiler has none of here); KestIni, whose names only C++ decorates, in HostKestIni.cpp;
 * the other headers and Log as a C++14 host takes them in HostCpp14.cpp.
 * There is no C runtime: the entry point is hostMain, output goes through WriteFile. */
#include "Host.h"
#include "MyCertLines.h"

#include <KestCommon.h>
#include <KestLog.h>
#include <KestMyCert.h>
#include <KestResult.h>

#include <windows.h>

static int failures = 0;

void hostWrite(const char* text) {
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text, (DWORD)lstrlenA(text), &written, NULL);
}

void hostCheck(int ok, const char* what) {
    hostWrite(ok ? "ok " : "FAILED ");
    hostWrite(what);
    hostWrite("\n");
    if (!ok) ++failures;
}

static void writeNumber(unsigned long long value) {
    char digits[24];
    int at = sizeof digits - 1;
    digits[at] = '\0';
    do {
        digits[--at] = (char)('0' + value % 10);
        value /= 10;
    } while (value != 0);
    hostWrite(digits + at);
}

static void field(const char* name, unsigned long long value) {
    hostWrite(name);
    hostWrite(" ");
    writeNumber(value);
    hostWrite("\n");
}

static void recordText(unsigned index, const char* name, const char* text) {
    hostWrite("record ");
    writeNumber(index);
    hostWrite(" ");
    hostWrite(name);
    hostWrite(" ");
    hostWrite(text != NULL ? text : "(null)");
    hostWrite("\n");
}

static void recordNumber(unsigned index, const char* name, unsigned long long value) {
    hostWrite("record ");
    writeNumber(index);
    hostWrite(" ");
    field(name, value);
}

/* KestLog.lib by name; KestLog reads its settings through the same KestIni. */
static void checkLog(void) {
    hostCheck(LogFlag(), "LogFlag: logging is on");
    Log("Host.c", __LINE__, "MSVC-ABI host: a record through KestLog");
}

/* KestCommonByOrdinal.lib: allocMemory (1), freeMemory (2) and logAny (11), bound by ordinal. */
static void checkSharedHeap(void) {
    enum { kSize = 64 };
    void* block = NULL;
    const ResultCode result = allocMemory(kSize, &block);
    hostCheck(result == KEST_OK && block != NULL, "allocMemory by ordinal gives a block");
    if (block == NULL) return;
    const unsigned char* bytes = (const unsigned char*)block;
    int zero = 1;
    for (unsigned i = 0; i < kSize; ++i) zero = zero && bytes[i] == 0;
    hostCheck(zero, "the block is zero-filled");
    const SIZE_T size = HeapSize(GetProcessHeap(), 0, block);
    hostCheck(size != (SIZE_T)-1 && size >= kSize, "the block is one of the process heap");
    freeMemory(block);
    /* logAny (11) by ordinal, with the formats of this compiler's printf: a wide text, a 64-bit
     * value, a pointer, then a narrow text that must take its own value. */
    logAny("Host.c", __LINE__, "MSVC-ABI host: file=[%ws] size=[%I64u] at=[%p] name=[%s]", L"C:\\a.pdf",
           18000000000000000000ULL, (void*)0xabc, "signer");
}

/* KestMyCert.lib: the personal store's list, read through the header's MyCert as this compiler
 * lays it out (its offsets printed for comparison with the MinGW build's). */
static void checkCertificateList(void) {
    const MyCertLineWriter out = {field, recordText, recordNumber};
    writeMyCertLayout(&out);

    MyCert* head = NULL;
    const ResultCode result = createMyCertList(&head);
    hostCheck(result == KEST_OK, "createMyCertList gives the personal store's list");
    if (result != KEST_OK) return;
    const unsigned count = writeMyCertRecords(&out, head);
    hostCheck(countMyCertList(head) == count, "countMyCertList counts the records along next");
    deleteMyCertList(head);
}

void hostMain(void) {
    hostCheckKestIni();
    checkLog();
    hostCheckCpp14();
    checkSharedHeap();
    checkCertificateList();
    field("failures", (unsigned)failures);
    ExitProcess(failures == 0 ? 0 : 1);
}
