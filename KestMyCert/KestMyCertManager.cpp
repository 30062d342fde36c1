// Certificate lists (the user's certificates whose private key can be reached) and the
// signer candidates and omit-selection flag kept in the settings file.
#include "KestMyCert.h"
#include "KestMyCertStore.h"

#include "KestMyCertOwners.h"
#include "KestMyCertSettings.h"
#include "KestMyCertText.h"
#include "KestTrace.h"

#include <ncrypt.h>

#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <memory>

namespace {

using kest::resultMessage;

using kest::mycert::formatCandidateKey;
using kest::mycert::kCertIdSize;
using kest::mycert::kOmitSelectCertKey;
using kest::mycert::kSettingsKeySize;
using kest::mycert::kSettingsSection;
using kest::mycert::readCandidate;

constexpr char kDateFormat[] = "%04d.%02d.%02d %02d:%02d:%02d";
constexpr std::size_t kDateTextSize = sizeof(MyCert::notBefore);
static_assert(sizeof(MyCert::notAfter) == kDateTextSize);

// --- owners -------------------------------------------------------------------------------

using kest::UniqueCertStore;
using kest::UniqueFileHandle;

using TextBlock = kest::UniqueBlock<char>;

void deleteMyCert(MyCert* record) noexcept;

struct RecordDeleter {
    void operator()(MyCert* record) const noexcept { deleteMyCert(record); }
};
using RecordOwner = std::unique_ptr<MyCert, RecordDeleter>;

void releaseRecords(MyCert* head) noexcept;

// A list under construction: released whole unless handed over.
class ListOwner {
public:
    ListOwner() = default;
    ~ListOwner() { releaseRecords(head_); }
    ListOwner(const ListOwner&) = delete;
    ListOwner& operator=(const ListOwner&) = delete;

    void append(MyCert* record) noexcept {
        *tail_ = record;
        tail_ = &record->next;
    }
    [[nodiscard]] MyCert* release() noexcept {
        MyCert* head = head_;
        head_ = nullptr;
        tail_ = &head_;
        return head;
    }

private:
    MyCert* head_ = nullptr;
    MyCert** tail_ = &head_;
};

[[nodiscard]] ResultCode allocText(std::size_t size, TextBlock& text) noexcept {
    void* block = nullptr;
    if (const ResultCode code = allocMemory(static_cast<unsigned>(size), &block); code != KEST_OK) return code;
    text.reset(static_cast<char*>(block));
    return KEST_OK;
}

// --- records ------------------------------------------------------------------------------

void deleteMyCert(MyCert* record) noexcept {
    KEST_TRACE("deleteMyCert");
    for (char* text : {record->subject, record->issuer, record->serialHex})
        if (text != nullptr) freeMemory(text);
    if (record->certContext != nullptr) CertFreeCertificateContext(record->certContext);
    freeMemory(record);
    KEST_RETURN_VOID();
}

// Last record first: the chain is reversed in place, so no memory is needed to go backwards.
void releaseRecords(MyCert* head) noexcept {
    MyCert* reversed = nullptr;
    while (head != nullptr) {
        MyCert* next = head->next;
        head->next = reversed;
        reversed = head;
        head = next;
    }
    while (reversed != nullptr) {
        MyCert* next = reversed->next;
        deleteMyCert(reversed);
        reversed = next;
    }
}

[[nodiscard]] ResultCode getCertNameString(const CERT_NAME_BLOB& name, TextBlock& text) noexcept {
    KEST_TRACE("getCertNameString");
    const DWORD size = kest::mycert::nameTextSize(name);
    TextBlock made;
    if (const ResultCode code = allocText(size, made); code != KEST_OK)
        KEST_RETURN(KEST_INNER_FAILED(code, "allocMemory"));
    kest::mycert::writeNameText(name, made.get(), size);
    text = std::move(made);
    KEST_RETURN(KEST_OK);
}

[[nodiscard]] ResultCode bytesToHex(const CRYPT_INTEGER_BLOB& bytes, TextBlock& text) noexcept {
    KEST_TRACE("bytesToHex");
    TextBlock made;
    if (const ResultCode code = allocText(kest::mycert::serialTextSize(bytes), made); code != KEST_OK)
        KEST_RETURN(KEST_INNER_FAILED(code, "allocMemory"));
    kest::mycert::writeSerialText(bytes, made.get());
    text = std::move(made);
    KEST_RETURN(KEST_OK);
}

[[nodiscard]] ResultCode fileTimeToString(const FILETIME& time, char (&text)[kDateTextSize]) noexcept {
    KEST_TRACE("fileTimeToString");
    SYSTEMTIME calendar;
    if (!FileTimeToSystemTime(&time, &calendar))
        KEST_RETURN(KEST_PLATFORM_FAILED(KEST_E_FILE_TIME, "FileTimeToSystemTime", GetLastError()));
    std::snprintf(text, sizeof text, kDateFormat, calendar.wYear, calendar.wMonth, calendar.wDay, calendar.wHour,
                  calendar.wMinute, calendar.wSecond);
    KEST_RETURN(KEST_OK);
}

// Fills subject, issuer, serialHex, notBefore and notAfter together, or none of them.
[[nodiscard]] ResultCode getCertAttributes(PCCERT_CONTEXT context, MyCert& attributes) noexcept {
    KEST_TRACE("getCertAttributes");
    const CERT_INFO& info = *context->pCertInfo;
    TextBlock subject;
    TextBlock issuer;
    TextBlock serialHex;
    char notBefore[kDateTextSize] = {};
    char notAfter[kDateTextSize] = {};
    if (const ResultCode code = getCertNameString(info.Subject, subject); code != KEST_OK)
        KEST_RETURN(KEST_INNER_FAILED(code, "getCertNameString"));
    if (const ResultCode code = getCertNameString(info.Issuer, issuer); code != KEST_OK)
        KEST_RETURN(KEST_INNER_FAILED(code, "getCertNameString"));
    if (const ResultCode code = bytesToHex(info.SerialNumber, serialHex); code != KEST_OK)
        KEST_RETURN(KEST_INNER_FAILED(code, "bytesToHex"));
    if (const ResultCode code = fileTimeToString(info.NotBefore, notBefore); code != KEST_OK)
        KEST_RETURN(KEST_INNER_FAILED(code, "fileTimeToString"));
    if (const ResultCode code = fileTimeToString(info.NotAfter, notAfter); code != KEST_OK)
        KEST_RETURN(KEST_INNER_FAILED(code, "fileTimeToString"));

    attributes.subject = subject.release();
    attributes.issuer = issuer.release();
    attributes.serialHex = serialHex.release();
    std::memcpy(attributes.notBefore, notBefore, kDateTextSize);
    std::memcpy(attributes.notAfter, notAfter, kDateTextSize);
    KEST_RETURN(KEST_OK);
}

[[nodiscard]] ResultCode newMyCertList(PCCERT_CONTEXT context, MyCert*& record) noexcept {
    KEST_TRACE("newMyCertList");
    void* block = nullptr;
    if (const ResultCode code = allocMemory(sizeof(MyCert), &block); code != KEST_OK)
        KEST_RETURN(KEST_INNER_FAILED(code, "allocMemory"));
    RecordOwner made{static_cast<MyCert*>(block)};
    if (const ResultCode code = copyCertContext(context, &made->certContext); code != KEST_OK)
        KEST_RETURN(KEST_INNER_FAILED(code, "copyCertContext"));
    if (const ResultCode code = getCertAttributes(made->certContext, *made); code != KEST_OK)
        KEST_RETURN(KEST_INNER_FAILED(code, "getCertAttributes"));
    made->candidate = 0;
    made->next = nullptr;
    record = made.release();
    KEST_RETURN(KEST_OK);
}

[[nodiscard]] ResultCode buildNewMyCertList(HCERTSTORE store, MyCert*& head) noexcept {
    KEST_TRACE("buildNewMyCertList");
    ListOwner list;
    kest::UniqueCertContext context;
    while (context.enumerate(store)) {
        if (!kest::privateKeyReachable(context.get())) continue;
        MyCert* record = nullptr;
        if (const ResultCode code = newMyCertList(context.get(), record); code != KEST_OK)
            KEST_RETURN(KEST_INNER_FAILED(code, "newMyCertList"));
        list.append(record);
    }
    head = list.release();
    KEST_RETURN(KEST_OK);
}

[[nodiscard]] ResultCode openPkcs12Store(const BYTE* data, DWORD size, const wchar_t* password,
                                         UniqueCertStore& store) noexcept {
    KEST_TRACE("openPkcs12Store");
    // The platform's blob type is not const, but none of these calls writes to the data.
    CRYPT_DATA_BLOB blob{size, const_cast<BYTE*>(data)};
    // These two checks set no error value of their own worth logging.
    constexpr unsigned long kNoLastError = 0;
    if (!PFXIsPFXBlob(&blob)) KEST_RETURN(KEST_PLATFORM_FAILED(KEST_E_PKCS12_INVALID, "PFXIsPFXBlob", kNoLastError));
    if (!PFXVerifyPassword(&blob, password, 0))
        KEST_RETURN(KEST_PLATFORM_FAILED(KEST_E_PKCS12_PASSWORD, "PFXVerifyPassword", kNoLastError));
    HCERTSTORE imported = PFXImportCertStore(&blob, password, CRYPT_EXPORTABLE);
    if (imported == nullptr)
        KEST_RETURN(KEST_PLATFORM_FAILED(KEST_E_PKCS12_IMPORT, "PFXImportCertStore", GetLastError()));
    store.reset(imported);
    KEST_RETURN(KEST_OK);
}

// --- certificate ids ----------------------------------------------------------------------

// "serial;issuer". A record whose id would not fit the id buffer has no id: it is never
// written as a candidate and never matches, rather than matching by a truncated text.
[[nodiscard]] bool getCertId(const MyCert& record, char (&id)[kCertIdSize]) noexcept {
    KEST_TRACE("getCertId");
    if (record.serialHex == nullptr || record.issuer == nullptr) KEST_RETURN(false);
    KEST_RETURN(kest::mycert::formatCertId(record.serialHex, record.issuer, id));
}

// The last record in list order with this id.
MyCert* findMyCertByCertId(MyCert* head, const char* id) noexcept {
    KEST_TRACE("findMyCertByCertId");
    MyCert* found = nullptr;
    for (MyCert* record = head; record != nullptr; record = record->next) {
        char recordId[kCertIdSize];
        if (getCertId(*record, recordId) && std::strcmp(recordId, id) == 0) found = record;
    }
    KEST_RETURN(found);
}

// --- the settings file --------------------------------------------------------------------

// What holdSettingsFile answers for a file (or folder) that is not there: no candidates.
constexpr DWORD kNoSettingsFile = ERROR_FILE_NOT_FOUND;

// Opens the settings file for reading as the platform's profile functions do, so that while
// `held` is open no other program can open it exclusively. ERROR_SUCCESS, kNoSettingsFile when
// there is no such file, or the error that keeps it from being read.
DWORD holdSettingsFile(const char* file, UniqueFileHandle& held) noexcept {
    held.reset(CreateFileA(file, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr));
    if (held) return ERROR_SUCCESS;
    const DWORD error = GetLastError();
    return error == ERROR_PATH_NOT_FOUND ? kNoSettingsFile : error;
}

// An id the settings file can hold as one value: a line break in it (a name's quoted value
// may hold one) would end the value there and write the rest as lines of their own.
bool storableId(const char* id) noexcept { return std::strpbrk(id, "\r\n") == nullptr; }

}  // namespace

// --- exports ------------------------------------------------------------------------------

ResultCode createMyCertList(MyCert** head) noexcept {
    KEST_TRACE("createMyCertList");
    UniqueCertStore store;
    if (const ResultCode code = kest::openPersonalStore(kestTrace, __LINE__, store); code != KEST_OK) KEST_RETURN(code);
    MyCert* built = nullptr;
    if (const ResultCode code = buildNewMyCertList(store.get(), built); code != KEST_OK)
        KEST_RETURN(KEST_INNER_FAILED(code, "buildNewMyCertList"));
    *head = built;
    KEST_RETURN(KEST_OK);
}

ResultCode createMyCertListInPkcs12Store(const BYTE* data, DWORD size, const wchar_t* password,
                                         MyCert** head) noexcept {
    KEST_TRACE("createMyCertListInPkcs12Store");
    UniqueCertStore store;
    if (const ResultCode code = openPkcs12Store(data, size, password, store); code != KEST_OK)
        KEST_RETURN(KEST_INNER_FAILED(code, "openPkcs12Store"));
    MyCert* built = nullptr;
    if (const ResultCode code = buildNewMyCertList(store.get(), built); code != KEST_OK)
        KEST_RETURN(KEST_INNER_FAILED(code, "buildNewMyCertList"));
    *head = built;
    KEST_RETURN(KEST_OK);
}

unsigned countMyCertList(const MyCert* head) noexcept {
    KEST_TRACE("countMyCertList");
    unsigned count = 0;
    for (const MyCert* record = head; record != nullptr; record = record->next) ++count;
    KEST_RETURN(count);
}

void deleteMyCertList(MyCert* head) noexcept {
    KEST_TRACE("deleteMyCertList");
    releaseRecords(head);
    KEST_RETURN_VOID();
}

MyCert* findMyCert(MyCert* head, const MyCert* wanted) noexcept {
    KEST_TRACE("findMyCert");
    char id[kCertIdSize];
    if (wanted == nullptr || !getCertId(*wanted, id)) KEST_RETURN(nullptr);
    KEST_RETURN(findMyCertByCertId(head, id));
}

ResultCode readIniSignerCertCandidate(const char* file, MyCert* head, int* count) noexcept {
    KEST_TRACE("readIniSignerCertCandidate");
    // An empty read means a missing key only while the file can be read: held open for the
    // whole walk, so that no other program can take it from under a read half way.
    UniqueFileHandle held;
    const DWORD error = holdSettingsFile(file, held);
    if (error == kNoSettingsFile) {
        *count = 0;
        KEST_RETURN(KEST_OK);
    }
    if (error != ERROR_SUCCESS) KEST_RETURN(KEST_PLATFORM_FAILED(KEST_E_SETTINGS_READ, "CreateFileA", error));
    int matched = 0;
    char id[kCertIdSize];
    for (unsigned index = 0; readCandidate(file, index, id) != 0; ++index) {
        if (MyCert* record = findMyCertByCertId(head, id); record != nullptr) {
            record->candidate = 1;
            ++matched;
        }
    }
    *count = matched;
    KEST_RETURN(KEST_OK);
}

ResultCode writeIniSignerCertCandidate(const char* file, const MyCert* head) noexcept {
    KEST_TRACE("writeIniSignerCertCandidate");
    char key[kSettingsKeySize];
    unsigned written = 0;
    // A candidate whose id cannot be stored is left out and the others written; the save then
    // fails with the code of a value that could not be written.
    ResultCode unstored = KEST_OK;
    for (const MyCert* record = head; record != nullptr; record = record->next) {
        if (record->candidate == 0) continue;
        char id[kCertIdSize];
        if (!getCertId(*record, id) || !storableId(id)) {
            unstored = KEST_CHECK_FAILED(KEST_E_SETTINGS_WRITE, resultMessage(KEST_E_SETTINGS_WRITE));
            continue;
        }
        formatCandidateKey(written, key);
        if (const ResultCode code = writeIniString(file, kSettingsSection, key, id); code != KEST_OK)
            KEST_RETURN(KEST_INNER_FAILED(code, "writeIniString"));
        ++written;
    }
    // Empty the ids an older, longer list left behind; the keys stay. They are counted with the
    // file held, so that a file another program holds is a failure and not the end of the ids;
    // then emptied with it let go, as the platform's write needs the file to itself.
    unsigned stale = written;
    {
        UniqueFileHandle held;
        if (const DWORD error = holdSettingsFile(file, held); error != ERROR_SUCCESS && error != kNoSettingsFile)
            KEST_RETURN(KEST_PLATFORM_FAILED(KEST_E_SETTINGS_READ, "CreateFileA", error));
        char stored[kCertIdSize];
        while (held && readCandidate(file, stale, stored) != 0) ++stale;
    }
    for (unsigned index = written; index < stale; ++index) {
        formatCandidateKey(index, key);
        if (const ResultCode code = writeIniString(file, kSettingsSection, key, ""); code != KEST_OK)
            KEST_RETURN(KEST_INNER_FAILED(code, "writeIniString"));
    }
    KEST_RETURN(unstored);
}

ResultCode readIniOmitSelectCert(const char* file, int* omit) noexcept {
    KEST_TRACE("readIniOmitSelectCert");
    int value = 0;
    if (const ResultCode code = readIniInt(file, kSettingsSection, kOmitSelectCertKey, &value); code != KEST_OK)
        KEST_RETURN(KEST_INNER_FAILED(code, "readIniInt"));
    constexpr unsigned kFlagValues = 2;  // 0 show the choice, 1 omit it
    if (static_cast<unsigned>(value) >= kFlagValues)
        KEST_RETURN(KEST_CHECK_FAILED(KEST_E_OMIT_SELECT_INVALID, resultMessage(KEST_E_OMIT_SELECT_INVALID)));
    *omit = value;
    KEST_RETURN(KEST_OK);
}

ResultCode writeIniOmitSelectCert(const char* file, int omit) noexcept {
    KEST_TRACE("writeIniOmitSelectCert");
    if (const ResultCode code = writeIniString(file, kSettingsSection, kOmitSelectCertKey, omit != 0 ? "1" : "0");
        code != KEST_OK)
        KEST_RETURN(KEST_INNER_FAILED(code, "writeIniString"));
    KEST_RETURN(KEST_OK);
}
