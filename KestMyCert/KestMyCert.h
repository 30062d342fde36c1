/* KestMyCert: the user's signing certificates (those whose private key can be reached),
 * from the personal store "MY" or from PKCS#12 data; signer candidates and the
 * omit-selection flag in the settings file; adding to and removing from the personal store.
 * Exported by name with fixed ordinals (KestMyCert.def). */
#pragma once

#include <stddef.h> /* offsetof, for the layout checks below */
#include <windows.h>
#include <wincrypt.h>

#include "KestResult.h"

#ifdef __cplusplus
extern "C" {
#endif

/* One certificate of a list. The host reads this layout directly: field order and natural
 * alignment are fixed. Every pointer member is a block of allocMemory owned by the list. */
typedef struct MyCert {
    PCCERT_CONTEXT certContext; /* counted duplicate owned by the record */
    char* subject;              /* CertNameToStrA text, reversed, X.500 form */
    char* issuer;
    char* serialHex;    /* lower-case hex, most significant byte first */
    char notBefore[20]; /* "YYYY.MM.DD hh:mm:ss" UTC */
    char notAfter[20];
    int candidate; /* 1 when a signer candidate; the host may change it */
    struct MyCert* next;
} MyCert;

/* A list is a pointer to its first record, null when empty. */
typedef MyCert* MyCertList;

/* Every function writes its start and end trace records, and a failure its error records;
 * on failure no out-parameter is written and nothing is left open or allocated. */

/* The certificates of the current user's personal store "MY" whose private key can be
 * reached, in the store's order, into *head (null when there are none): KEST_OK. The list is
 * the caller's until it gives it to deleteMyCertList. KEST_E_STORE_OPEN, KEST_E_NO_MEMORY,
 * KEST_E_CERT_DUPLICATE, KEST_E_FILE_TIME. */
KEST_NODISCARD ResultCode createMyCertList(MyCert** head) KEST_NOEXCEPT;
/* The same for the `size` bytes of PKCS#12 data, opened with password (UTF-16, NUL-terminated;
 * null is passed to the platform's PKCS#12 calls as it is). The data is only read and may be
 * freed on return. KEST_E_PKCS12_INVALID (not PKCS#12), KEST_E_PKCS12_PASSWORD (checked before
 * anything is imported), KEST_E_PKCS12_IMPORT, and the codes of createMyCertList but
 * KEST_E_STORE_OPEN. */
KEST_NODISCARD ResultCode createMyCertListInPkcs12Store(const BYTE* data, DWORD size, const wchar_t* password,
                                                        MyCert** head) KEST_NOEXCEPT;
/* The number of records from head on; 0 for null. */
unsigned countMyCertList(const MyCert* head) KEST_NOEXCEPT;
/* Releases a list of a create call whole: every record, its texts and its context, last
 * record first. Null is accepted. */
void deleteMyCertList(MyCert* head) KEST_NOEXCEPT;

/* The last record of the list whose certificate id ("<serialHex>;<issuer>", at most 2047
 * bytes) equals that of wanted, or null (also for a null wanted); wanted needs only serialHex
 * and issuer, and may belong to another list. A record whose id is longer matches none. */
MyCert* findMyCert(MyCert* head, const MyCert* wanted) KEST_NOEXCEPT;
/* Sets candidate to 1 in each record whose id is stored under [MyCertificate] CertId_0000,
 * CertId_0001, ... of `file` (up to the first missing or empty key; others keep theirs) and
 * puts the number of stored ids that matched into *count. Always KEST_OK: a missing file or
 * section gives none. */
KEST_NODISCARD ResultCode readIniSignerCertCandidate(const char* file, MyCert* head, int* count) KEST_NOEXCEPT;
/* Stores the ids of the records with candidate set, in list order, as CertId_0000, ... of
 * [MyCertificate] in `file`, and empties the ids an older, longer list left after them.
 * KEST_OK, or the code of the first write that failed (KEST_E_SETTINGS_WRITE); the keys
 * written before it stay. */
KEST_NODISCARD ResultCode writeIniSignerCertCandidate(const char* file, const MyCert* head) KEST_NOEXCEPT;
/* [MyCertificate] OmitSelectCert of `file` into *omit: KEST_OK for 0 (show the choice) or 1
 * (omit it). KEST_E_SETTINGS_READ (missing; there is no default), KEST_E_SETTINGS_INVALID,
 * KEST_E_OMIT_SELECT_INVALID (another number); *omit untouched on failure. */
KEST_NODISCARD ResultCode readIniOmitSelectCert(const char* file, int* omit) KEST_NOEXCEPT;
/* Writes OmitSelectCert as "1" when omit is not 0, else "0": KEST_OK or KEST_E_SETTINGS_WRITE. */
KEST_NODISCARD ResultCode writeIniOmitSelectCert(const char* file, int omit) KEST_NOEXCEPT;

/* A counted duplicate of context into *copy: KEST_OK. The copy is the caller's, to release
 * with CertFreeCertificateContext; it stays valid after context is released.
 * KEST_E_CERT_DUPLICATE: *copy untouched. */
KEST_NODISCARD ResultCode copyCertContext(PCCERT_CONTEXT context, PCCERT_CONTEXT* copy) KEST_NOEXCEPT;
/* Adds a new copy of the certificate to "MY", even when an equal one is there: KEST_OK,
 * KEST_E_STORE_OPEN or KEST_E_CERT_ADD. The caller keeps context. */
KEST_NODISCARD ResultCode storeMyCertToStore(PCCERT_CONTEXT context) KEST_NOEXCEPT;
/* Deletes from "MY" the first certificate in store order with the same issuer, serial number
 * and public key as context, and commits the store: KEST_OK, also when none matched.
 * KEST_E_STORE_OPEN, KEST_E_CERT_DELETE (the delete or the commit failed). The caller keeps
 * context. */
KEST_NODISCARD ResultCode deleteMyCertFromStore(PCCERT_CONTEXT context) KEST_NOEXCEPT;

#ifdef __cplusplus
}

static_assert(offsetof(MyCert, certContext) == 0, "MyCert layout is read by the host");
static_assert(offsetof(MyCert, subject) == 8, "MyCert layout is read by the host");
static_assert(offsetof(MyCert, issuer) == 16, "MyCert layout is read by the host");
static_assert(offsetof(MyCert, serialHex) == 24, "MyCert layout is read by the host");
static_assert(offsetof(MyCert, notBefore) == 32, "MyCert layout is read by the host");
static_assert(offsetof(MyCert, notAfter) == 52, "MyCert layout is read by the host");
static_assert(offsetof(MyCert, candidate) == 72, "MyCert layout is read by the host");
static_assert(offsetof(MyCert, next) == 80, "MyCert layout is read by the host");
static_assert(sizeof(MyCert) == 88, "MyCert layout is read by the host");

#include <memory>

namespace kest {

// For C++ hosts: the owner of a list from createMyCertList or createMyCertListInPkcs12Store,
// which gives it back to deleteMyCertList.
struct DeleteMyCertList {
    void operator()(MyCert* head) const noexcept { deleteMyCertList(head); }
};
using UniqueMyCertList = std::unique_ptr<MyCert, DeleteMyCertList>;

}  // namespace kest
#endif
