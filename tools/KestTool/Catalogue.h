// The checker of an error catalogue (KestErr.csv): what would make ShowError show a wrong
// box or none for a code. ShowError itself never complains; this is where mistakes show.
#pragma once

#include "KestErrCatalogue.h"
#include "TextFiles.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kest::tool {

struct CatalogueFinding {
    unsigned line;                    // 1-based; 0 for a finding about the catalogue as a whole
    std::string text;                 // ASCII, apart from quoted Shift_JIS: a missing code's message, a box's text
    bool codeWithoutMessage = false;  // a result code's box will say its message was not found
};

// One line of a catalogue file, as ShowError reads it in text mode.
struct CatalogueLine {
    unsigned number;        // 1-based
    std::string_view text;  // without its line end
    bool entry;             // a severity letter, eight hexadecimal digits, a separator and a message
    unsigned long code;     // of an entry

    [[nodiscard]] char severity() const noexcept { return text[0]; }
    [[nodiscard]] std::string_view message() const noexcept {
        return text.substr(catalogue::kMessageColumn);
    }  // may be empty
};

// What the checker says of a line that is no entry: ShowError passes over it.
extern const char kNotAnEntry[];

// The catalogue's bytes as read from the file (CRLF or LF line ends); the views point into them.
std::vector<CatalogueLine> readCatalogueLines(std::string_view bytes);

std::vector<CatalogueFinding> checkCatalogue(std::string_view bytes);

// The catalogue's bytes as ShowError's stream gets them: opened in text mode ("rt"), so CRLF
// comes as LF and a Ctrl-Z ends the file; nothing if it cannot be opened.
std::optional<std::string> readCatalogue(const std::string& path);

// A catalogue not saved as Shift_JIS: how it was saved, what the boxes then show and what to do.
// Takes the file's own bytes (a NUL's offset is the file's) and judges those before a Ctrl-Z.
std::optional<CatalogueFinding> checkCatalogueEncoding(std::string_view bytes);

// What check-catalogue and doctor say of a catalogue file: how it was saved, from its own
// bytes, and its lines as ShowError's stream gets them, each finding once.
struct CatalogueCheck {
    std::optional<CatalogueFinding> encoding;
    std::vector<CatalogueFinding> findings;  // by line, then the codes without a line
};

// Nothing if the file cannot be read.
std::optional<CatalogueCheck> checkCatalogueFile(const std::string& path);

}  // namespace kest::tool
