// The checker of an error catalogue (KestErr.csv): what would make ShowError show a wrong
// box or none for a code. ShowError itself never complains; this is where mistakes show.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kest::tool {

struct CatalogueFinding {
    unsigned line;     // 1-based; 0 for a finding about the catalogue as a whole
    std::string text;  // ASCII, apart from the quoted Shift_JIS message of a missing code
};

// The catalogue's bytes as read from the file (CRLF or LF line ends).
std::vector<CatalogueFinding> checkCatalogue(std::string_view bytes);

}  // namespace kest::tool
