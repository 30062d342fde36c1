// The tool's output layer: JSON through nlohmann/json, the aligned tables of list and doctor,
// and the escaped text of preview's HTML page.
#pragma once

#include <nlohmann/json.hpp>

#include <string>
#include <string_view>
#include <vector>

namespace kest::tool {

// A JSON string literal, quotes included, of UTF-8 text.
std::string jsonString(std::string_view utf8);

// A JSON array of objects, one object to a line after a blank: "[\n {...},\n {...}\n]\n",
// members as "name": value, ", " apart; "[]\n" when empty.
std::string jsonLines(const std::vector<nlohmann::ordered_json>& objects);

// Columns padded to their widest cell (at least `fewest` bytes where given), two spaces apart,
// no trailing blanks. Widths are counted in bytes: in Shift_JIS a double-byte character also
// takes two columns.
std::string formatColumns(const std::vector<std::vector<std::string>>& rows,
                          const std::vector<std::size_t>& fewest = {});

// An HTML page written from markup and escaped text.
class HtmlWriter {
public:
    HtmlWriter& markup(std::string_view html) {
        page_ += html;
        return *this;
    }
    // UTF-8 text: &, <, >, " and ' escaped, carriage returns dropped.
    HtmlWriter& text(std::string_view utf8);
    [[nodiscard]] const std::string& page() const noexcept { return page_; }

private:
    std::string page_;
};

}  // namespace kest::tool
