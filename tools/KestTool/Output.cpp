// JSON, tables and HTML text, each written in one place.
#include "Output.h"

#include <algorithm>

namespace kest::tool {

std::string jsonString(std::string_view utf8) { return nlohmann::json(std::string(utf8)).dump(); }

std::string jsonLines(const std::vector<nlohmann::ordered_json>& objects) {
    if (objects.empty()) return "[]\n";
    std::string json = "[";
    for (const nlohmann::ordered_json& object : objects) {
        json += json.size() > 1 ? ",\n {" : "\n {";
        bool first = true;
        for (const auto& [name, value] : object.items()) {
            json += (first ? "" : ", ") + jsonString(name) + ": " + value.dump();
            first = false;
        }
        json += "}";
    }
    return json + "\n]\n";
}

std::string formatColumns(const std::vector<std::vector<std::string>>& rows, const std::vector<std::size_t>& fewest) {
    std::vector<std::size_t> widths = fewest;
    for (const std::vector<std::string>& cells : rows) {
        if (widths.size() < cells.size()) widths.resize(cells.size());
        for (std::size_t column = 0; column < cells.size(); ++column)
            widths[column] = std::max(widths[column], cells[column].size());
    }
    std::string table;
    for (const std::vector<std::string>& cells : rows) {
        std::string line;
        for (std::size_t column = 0; column < cells.size(); ++column) {
            if (column > 0) line += "  ";
            line += cells[column];
            line.append(widths[column] - cells[column].size(), ' ');
        }
        line.erase(line.find_last_not_of(' ') + 1);
        table += line + "\n";
    }
    return table;
}

HtmlWriter& HtmlWriter::text(std::string_view utf8) {
    for (const char c : utf8) switch (c) {
            case '&': page_ += "&amp;"; break;
            case '<': page_ += "&lt;"; break;
            case '>': page_ += "&gt;"; break;
            case '"': page_ += "&quot;"; break;
            case '\'': page_ += "&#39;"; break;
            case '\r': break;
            default: page_ += c;
        }
    return *this;
}

}  // namespace kest::tool
