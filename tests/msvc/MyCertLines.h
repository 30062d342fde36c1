/* The lines both sides of the MSVC-ABI host test print, so that the two can be compared: the
 * layout of MyCert as the including compiler lays it out, and the fields of each record of a
 * list. Each side writes through its own output (the MSVC-ABI host has no C runtime). */
#pragma once

#include <KestMyCert.h>

#include <stddef.h>

typedef struct MyCertLineWriter {
    void (*field)(const char* name, unsigned long long value);
    void (*recordText)(unsigned index, const char* name, const char* text);
    void (*recordNumber)(unsigned index, const char* name, unsigned long long value);
} MyCertLineWriter;

static void writeMyCertLayout(const MyCertLineWriter* out) {
    out->field("offset certContext", offsetof(MyCert, certContext));
    out->field("offset subject", offsetof(MyCert, subject));
    out->field("offset issuer", offsetof(MyCert, issuer));
    out->field("offset serialHex", offsetof(MyCert, serialHex));
    out->field("offset notBefore", offsetof(MyCert, notBefore));
    out->field("offset notAfter", offsetof(MyCert, notAfter));
    out->field("offset candidate", offsetof(MyCert, candidate));
    out->field("offset next", offsetof(MyCert, next));
    out->field("sizeof MyCert", sizeof(MyCert));
}

/* Writes every record and then "records <count>"; returns the count. */
static unsigned writeMyCertRecords(const MyCertLineWriter* out, const MyCert* head) {
    unsigned count = 0;
    for (const MyCert* record = head; record != NULL; record = record->next) {
        ++count;
        out->recordText(count, "subject", record->subject);
        out->recordText(count, "issuer", record->issuer);
        out->recordText(count, "serialHex", record->serialHex);
        out->recordText(count, "notBefore", record->notBefore);
        out->recordText(count, "notAfter", record->notAfter);
        out->recordNumber(count, "candidate", (unsigned long long)record->candidate);
        out->recordNumber(count, "certEncoded", record->certContext != NULL ? record->certContext->cbCertEncoded : 0);
    }
    out->field("records", count);
    return count;
}
