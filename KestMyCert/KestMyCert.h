/* KestMyCert: the user's signing certificates (those whose private key can be reached),
 * from the personal store "MY" or from PKCS#12 data; signer candidates and the
 * omit-selection flag in the settings file; adding to and removing from the personal store.
 * Exported by name with fixed ordinals (KestMyCert.def). */
#pragma once

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

KEST_NODISCARD ResultCode createMyCertList(MyCert** head) KEST_NOEXCEPT;
KEST_NODISCARD ResultCode createMyCertListInPkcs12Store(const BYTE* data, DWORD size, const wchar_t* password,
                                                        MyCert** head) KEST_NOEXCEPT;
unsigned countMyCertList(const MyCert* head) KEST_NOEXCEPT;
void deleteMyCertList(MyCert* head) KEST_NOEXCEPT;

/* The record of the list with the same certificate id (serial;issuer) as wanted, or null. */
MyCert* findMyCert(MyCert* head, const MyCert* wanted) KEST_NOEXCEPT;
KEST_NODISCARD ResultCode readIniSignerCertCandidate(const char* file, MyCert* head, int* count) KEST_NOEXCEPT;
KEST_NODISCARD ResultCode writeIniSignerCertCandidate(const char* file, const MyCert* head) KEST_NOEXCEPT;
KEST_NODISCARD ResultCode readIniOmitSelectCert(const char* file, int* omit) KEST_NOEXCEPT;
KEST_NODISCARD ResultCode writeIniOmitSelectCert(const char* file, int omit) KEST_NOEXCEPT;

KEST_NODISCARD ResultCode copyCertContext(PCCERT_CONTEXT context, PCCERT_CONTEXT* copy) KEST_NOEXCEPT;
KEST_NODISCARD ResultCode storeMyCertToStore(PCCERT_CONTEXT context) KEST_NOEXCEPT;
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
