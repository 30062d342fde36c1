/* KestMyCert: the user's signing certificates (those whose private key can be reached),
 * from the personal store "MY" or from PKCS#12 data; signer candidates and the
 * omit-selection flag in the settings file; adding to and removing from the personal store.
 * Exported by name with fixed ordinals (KestMyCert.def). */
#pragma once

#include <stddef.h> /* NOLINT(modernize-deprecated-headers): C, and offsetof for the layout checks below */
#include <windows.h>
#include <wincrypt.h>

#include "KestResult.h"

#ifdef __cplusplus
extern "C" {
#endif

/* One certificate of a list. The host reads this layout directly: field order and natural
 * alignment are fixed. The list owns the record and all it points to: the record and its three
 * texts are blocks of allocMemory, certContext is a counted context (released with
 * CertFreeCertificateContext). The host may read every field and change candidate, nothing
 * else. */
typedef struct MyCert {         /* NOLINT(modernize-use-using): C has no using */
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
typedef MyCert* MyCertList; /* NOLINT(modernize-use-using): C has no using */

/* Every function writes its start and end trace records, and a failure its error records;
 * on failure no out-parameter is written and nothing is left open or allocated. */

/* The certificates of the current user's personal store "MY" whose private key can be
 * reached (the key is only probed, never kept), in the store's order, into *head (null when
 * there are none), each record's candidate 0: KEST_OK. The list is the caller's until it gives
 * it to deleteMyCertList. KEST_E_STORE_OPEN, KEST_E_NO_MEMORY, KEST_E_CERT_DUPLICATE,
 * KEST_E_FILE_TIME. The store is only read. */
KEST_NODISCARD ResultCode createMyCertList(MyCert** head) KEST_NOEXCEPT;
/* The same for the `size` bytes of PKCS#12 data, opened with password (UTF-16, NUL-terminated;
 * null is passed to the platform's PKCS#12 calls as it is). The data is only read and may be
 * freed on return. The certificates go into a temporary store, not into "MY"; their private
 * keys are imported as exportable, and the platform's import may keep them in the current
 * user's key storage, which deleting the list does not clear.
 * KEST_E_PKCS12_INVALID (not PKCS#12), KEST_E_PKCS12_PASSWORD (checked before anything is
 * imported), KEST_E_PKCS12_IMPORT, and the codes of createMyCertList but KEST_E_STORE_OPEN. */
KEST_NODISCARD ResultCode createMyCertListInPkcs12Store(const BYTE* data, DWORD size, const wchar_t* password,
                                                        MyCert** head) KEST_NOEXCEPT;
/* The number of records from head on, along next; 0 for null. */
unsigned countMyCertList(const MyCert* head) KEST_NOEXCEPT;
/* Releases a list of a create call whole: every record, its texts and its context, last
 * record first; head and every record are invalid afterwards. Null is accepted. */
void deleteMyCertList(MyCert* head) KEST_NOEXCEPT;

/* The last record of the list whose certificate id ("<serialHex>;<issuer>", at most 2047
 * bytes, compared byte for byte) equals that of wanted, or null (also for a null wanted); wanted
 * needs only serialHex and issuer, and may belong to another list. A record or wanted whose id
 * would be longer, or that lacks either text, has no id and matches none. The record found
 * belongs to the list; nothing is changed. */
MyCert* findMyCert(MyCert* head, const MyCert* wanted) KEST_NOEXCEPT;
/* For each id stored under [MyCertificate] CertId_0000, CertId_0001, ... of `file` (up to the
 * first missing or empty key), sets candidate to 1 in the record that findMyCert would give:
 * when records share an id, only the last of them is marked. Other records keep theirs. The
 * number of stored ids that matched a record goes into *count (an id stored twice counts
 * twice). KEST_OK, also for a missing file or section, which give none; KEST_E_SETTINGS_READ
 * when the file is there but cannot be read (held by another program, no right to read), with
 * no record changed and *count untouched. The file is only read. */
KEST_NODISCARD ResultCode readIniSignerCertCandidate(const char* file, MyCert* head, int* count) KEST_NOEXCEPT;
/* Stores the ids of the records whose candidate is not 0, in list order, as CertId_0000, ...
 * of [MyCertificate] in `file`, making file and section as needed. A candidate whose id cannot
 * be stored (none, see findMyCert, or one holding a line break, which a name's quoted value may)
 * is left out, the next id taking its key. Then the ids an older, longer list left after them
 * are emptied, up to the first missing or empty key (the keys stay, with empty values).
 * KEST_OK when every candidate was stored and every older id emptied. Else the code of the
 * first write that failed (KEST_E_SETTINGS_WRITE), with what was written before it kept; or
 * KEST_E_SETTINGS_READ when the older ids cannot be read (the file held by another program),
 * nothing emptied; or, with everything else done, KEST_E_SETTINGS_WRITE for the candidates
 * left out. */
KEST_NODISCARD ResultCode writeIniSignerCertCandidate(const char* file, const MyCert* head) KEST_NOEXCEPT;
/* [MyCertificate] OmitSelectCert of `file`, read as readIniInt reads a number (so 1.5 is 1),
 * into *omit: KEST_OK for 0 (show the choice) or 1 (omit it). KEST_E_SETTINGS_READ (missing;
 * there is no default), KEST_E_SETTINGS_INVALID (no number), KEST_E_OMIT_SELECT_INVALID
 * (another number); *omit untouched on failure. The file is only read. */
KEST_NODISCARD ResultCode readIniOmitSelectCert(const char* file, int* omit) KEST_NOEXCEPT;
/* Writes [MyCertificate] OmitSelectCert of `file` as "1" when omit is not 0, else "0", making
 * file and section as needed: KEST_OK or KEST_E_SETTINGS_WRITE. */
KEST_NODISCARD ResultCode writeIniOmitSelectCert(const char* file, int omit) KEST_NOEXCEPT;

/* A counted duplicate of context into *copy (the platform's: the same pointer, its count
 * raised): KEST_OK. The copy is the caller's, to release with CertFreeCertificateContext; it
 * stays valid after context is released. KEST_E_CERT_DUPLICATE: *copy untouched. */
KEST_NODISCARD ResultCode copyCertContext(PCCERT_CONTEXT context, PCCERT_CONTEXT* copy) KEST_NOEXCEPT;
/* Adds a new copy of the certificate (with its properties) to "MY", even when an equal one is
 * there: KEST_OK, KEST_E_STORE_OPEN or KEST_E_CERT_ADD. The caller keeps context. */
KEST_NODISCARD ResultCode storeMyCertToStore(PCCERT_CONTEXT context) KEST_NOEXCEPT;
/* Deletes from "MY" the first certificate in store order with the same issuer, serial number
 * and public key as context; after a deletion, and only then, commits the store. KEST_OK when
 * one was deleted and committed, and when none matched (nothing is written then).
 * KEST_E_STORE_OPEN; KEST_E_CERT_DELETE: the delete failed, or the commit after it (whether
 * the deletion then lasts is the store's matter). The caller keeps context. */
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
