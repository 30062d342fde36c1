// A host built as the platform's compiler builds one (MSVC ABI), linked against the package's
// Visual Studio import libraries only: KestLog.lib, KestCommonByOrdinal.lib, KestMyCert.lib and
// KestIni.lib. It includes the package's headers, calls through each library, and prints the
// layout and the fields of the personal store's certificate list in the form MyCertReader.cpp
// (the MinGW side) prints them. One line per check; exit status 1 when one fails.
//
// There is no C runtime: the entry point is hostMain, output goes through WriteFile.
#include <KestCommon.h>
#include <KestIni.h>
#include <KestLog.h>
#include <KestMyCert.h>
#include <KestResult.h>

#include <windows.h>

namespace {

int failures = 0;

void write(const char* text) {
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text, static_cast<DWORD>(lstrlenA(text)), &written, nullptr);
}

void writeNumber(unsigned long long value) {
    char digits[24];
    int at = sizeof digits - 1;
    digits[at] = '\0';
    do {
        digits[--at] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    write(digits + at);
}

void check(bool ok, const char* what) {
    write(ok ? "ok " : "FAILED ");
    write(what);
    write("\n");
    if (!ok) ++failures;
}

void field(const char* name, unsigned long long value) {
    write(name);
    write(" ");
    writeNumber(value);
    write("\n");
}

void recordText(unsigned index, const char* name, const char* text) {
    write("record ");
    writeNumber(index);
    write(" ");
    write(name);
    write(" ");
    write(text != nullptr ? text : "(null)");
    write("\n");
}

void recordNumber(unsigned index, const char* name, unsigned long long value) {
    write("record ");
    writeNumber(index);
    write(" ");
    field(name, value);
}

// KestIni.lib: the installation's KestIni under its decorated names.
void checkKestIni() {
    char installDir[261];
    installDir[0] = '\0';
    const bool found = KestInstallPath(installDir, sizeof installDir);
    check(found, "KestInstallPath (?KestInstallPath@@YA_NPEADK@Z) answers");
    if (found) {
        write("installDir ");
        write(installDir);
        write("\n");
    }
    char section[] = "LOG";
    char key[] = "WriteLog";
    char value[261];
    value[0] = '\0';
    check(KestIniRead(section, key, value) == 0 && lstrcmpA(value, "1") == 0,
          "KestIniRead (?KestIniRead@@YAKPEAD00@Z) gives LOG/WriteLog 1");
}

// KestLog.lib by name; KestLog reads its settings through the same KestIni.
void checkLog() {
    check(LogFlag(), "LogFlag: logging is on");
    Log(KEST_SOURCE_FILE, __LINE__, "MSVC-ABI host: a record through KestLog");
}

// KestCommonByOrdinal.lib: allocMemory (1) and freeMemory (2), bound by ordinal.
void checkSharedHeap() {
    constexpr unsigned kSize = 64;
    void* block = nullptr;
    const ResultCode result = allocMemory(kSize, &block);
    check(result == KEST_OK && block != nullptr, "allocMemory by ordinal gives a block");
    if (block == nullptr) return;
    const auto* bytes = static_cast<const unsigned char*>(block);
    bool zero = true;
    for (unsigned i = 0; i < kSize; ++i) zero = zero && bytes[i] == 0;
    check(zero, "the block is zero-filled");
    const SIZE_T size = HeapSize(GetProcessHeap(), 0, block);
    check(size != static_cast<SIZE_T>(-1) && size >= kSize, "the block is one of the process heap");
    freeMemory(block);
}

// KestMyCert.lib: the personal store's list, read through the header's MyCert as this compiler
// lays it out (its offsets printed for comparison with the MinGW build's).
void checkCertificateList() {
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
    check(result == KEST_OK, "createMyCertList gives the personal store's list");
    if (result != KEST_OK) return;
    unsigned count = 0;
    for (const MyCert* record = head; record != nullptr; record = record->next) {
        ++count;
        recordText(count, "subject", record->subject);
        recordText(count, "issuer", record->issuer);
        recordText(count, "serialHex", record->serialHex);
        recordText(count, "notBefore", record->notBefore);
        recordText(count, "notAfter", record->notAfter);
        recordNumber(count, "candidate", static_cast<unsigned long long>(record->candidate));
        recordNumber(count, "certEncoded", record->certContext != nullptr ? record->certContext->cbCertEncoded : 0);
    }
    field("records", count);
    check(countMyCertList(head) == count, "countMyCertList counts the records along next");
    deleteMyCertList(head);
}

}  // namespace

extern "C" void hostMain() {
    checkKestIni();
    checkLog();
    checkSharedHeap();
    checkCertificateList();
    field("failures", static_cast<unsigned>(failures));
    ExitProcess(failures == 0 ? 0 : 1);
}
