// A certificate list as text: the aligned table for people and the JSON for programs.
#include "CertificateTable.h"

#include "Terminal.h"

#include "KestMyCertText.h"

namespace kest::tool {
namespace {

constexpr char kCandidateMark[] = "*";

}  // namespace

std::string certificateId(const std::string& serial, const std::string& issuer) {
    char id[mycert::kCertIdSize];
    if (!mycert::formatCertId(serial.c_str(), issuer.c_str(), id)) return {};
    return id;
}

std::string certificateId(const CertificateRow& row) { return certificateId(row.serial, row.issuer); }

std::string formatTable(const std::vector<CertificateRow>& rows) {
    std::vector<std::vector<std::string>> lines{
        {"#", "Subject", "Issuer", "Serial", "Valid from (UTC)", "Valid to (UTC)", "Candidate"}};
    for (const CertificateRow& row : rows)
        lines.push_back({std::to_string(row.index), row.subject, row.issuer, row.serial, row.notBefore, row.notAfter,
                         row.candidate ? kCandidateMark : ""});
    return formatColumns(lines);
}

std::string formatJson(const std::vector<CertificateRow>& rows, UINT codePage) {
    const auto text = [codePage](const std::string& value) { return toUtf8(value, codePage); };
    std::vector<nlohmann::ordered_json> objects;
    objects.reserve(rows.size());
    for (const CertificateRow& row : rows)
        objects.push_back({{"index", row.index},
                           {"id", text(certificateId(row))},
                           {"subject", text(row.subject)},
                           {"issuer", text(row.issuer)},
                           {"serial", text(row.serial)},
                           {"notBefore", text(row.notBefore)},
                           {"notAfter", text(row.notAfter)},
                           {"candidate", row.candidate}});
    return jsonLines(objects);
}

}  // namespace kest::tool
