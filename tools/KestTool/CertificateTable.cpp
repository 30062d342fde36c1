// A certificate list as text: the aligned table for people and the JSON for programs.
#include "CertificateTable.h"

#include "Terminal.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace kest::tool {
namespace {

constexpr std::size_t kColumns = 7;
using Cells = std::array<std::string, kColumns>;
constexpr char kColumnGap[] = "  ";
constexpr char kCandidateMark[] = "*";

Cells cellsOf(const CertificateRow& row) {
    return {std::to_string(row.index),          row.subject, row.issuer, row.serial, row.notBefore, row.notAfter,
            row.candidate ? kCandidateMark : ""};
}

}  // namespace

std::string certificateId(const CertificateRow& row) { return row.serial + ";" + row.issuer; }

std::string formatTable(const std::vector<CertificateRow>& rows) {
    std::vector<Cells> lines{{"#", "Subject", "Issuer", "Serial", "Valid from (UTC)", "Valid to (UTC)", "Candidate"}};
    for (const CertificateRow& row : rows) lines.push_back(cellsOf(row));

    std::array<std::size_t, kColumns> widths{};
    for (const Cells& cells : lines)
        for (std::size_t column = 0; column < kColumns; ++column)
            widths[column] = std::max(widths[column], cells[column].size());

    std::string table;
    for (const Cells& cells : lines) {
        std::string line;
        for (std::size_t column = 0; column < kColumns; ++column) {
            if (column > 0) line += kColumnGap;
            line += cells[column];
            line.append(widths[column] - cells[column].size(), ' ');
        }
        line.erase(line.find_last_not_of(' ') + 1);
        table += line + "\n";
    }
    return table;
}

std::string jsonString(std::string_view utf8) {
    std::string quoted = "\"";
    for (const char c : utf8) {
        switch (c) {
            case '"': quoted += "\\\""; break;
            case '\\': quoted += "\\\\"; break;
            case '\n': quoted += "\\n"; break;
            case '\r': quoted += "\\r"; break;
            case '\t': quoted += "\\t"; break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
                    quoted += escaped;
                } else {
                    quoted += c;
                }
        }
    }
    return quoted + "\"";
}

std::string formatJson(const std::vector<CertificateRow>& rows, UINT codePage) {
    const auto text = [codePage](const std::string& value) { return jsonString(toUtf8(value, codePage)); };
    std::string json = "[";
    for (const CertificateRow& row : rows) {
        json += json.size() > 1 ? ",\n " : "\n ";
        json += "{\"index\": " + std::to_string(row.index) + ", \"id\": " + text(certificateId(row)) +
                ", \"subject\": " + text(row.subject) + ", \"issuer\": " + text(row.issuer) +
                ", \"serial\": " + text(row.serial) + ", \"notBefore\": " + text(row.notBefore) +
                ", \"notAfter\": " + text(row.notAfter) + ", \"candidate\": " + (row.candidate ? "true" : "false") +
                "}";
    }
    return json + (rows.empty() ? "]\n" : "\n]\n");
}

}  // namespace kest::tool
