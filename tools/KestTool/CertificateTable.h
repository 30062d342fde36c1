// How kesttool shows a certificate list: an aligned table for people, JSON for programs.
#pragma once

#include "Output.h"

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

namespace kest::tool {

// One record of a MyCert list as shown; texts in the active code page.
struct CertificateRow {
    unsigned index;  // 1-based position in the list, as mark, unmark and remove take it
    std::string subject;
    std::string issuer;
    std::string serial;
    std::string notBefore;
    std::string notAfter;
    bool candidate;
};

// serial;issuer, the id under which candidates are kept in the settings file, as KestMyCert
// forms it; empty for one too long for the library to store or match (it has no id).
std::string certificateId(const std::string& serial, const std::string& issuer);
std::string certificateId(const CertificateRow& row);

// Columns padded to their widest cell, two spaces apart, no trailing blanks. Widths are
// counted in bytes: in Shift_JIS a double-byte character also takes two columns.
std::string formatTable(const std::vector<CertificateRow>& rows);

// A JSON array of objects in UTF-8 (jsonLines); `codePage` is the code page of the rows' texts.
std::string formatJson(const std::vector<CertificateRow>& rows, UINT codePage);

}  // namespace kest::tool
