// kesttool preview: every box of a catalogue as a picture, with an index page, so that the
// people who edit the catalogue see what the users will see.
#include "BoxCapture.h"
#include "Catalogue.h"
#include "CommandLine.h"
#include "Output.h"
#include "Picture.h"
#include "Platform.h"
#include "Terminal.h"

#include "KestIniStandIn.h"
#include "StandInSettings.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <optional>
#include <vector>

namespace kest::tool {
namespace {

constexpr char kOutOption[] = "--out";
constexpr char kMissingOption[] = "--missing";
constexpr char kDefaultOut[] = "KestErr-preview";
constexpr char kIndexName[] = "index.html";

// Points the KestIni stand-in's installation directory elsewhere while it lives, and puts
// back what was there before, a value or none, on every way out.
class InstallDirectoryOverride {
public:
    InstallDirectoryOverride() = default;
    ~InstallDirectoryOverride() { static_cast<void>(restore()); }
    InstallDirectoryOverride(const InstallDirectoryOverride&) = delete;
    InstallDirectoryOverride& operator=(const InstallDirectoryOverride&) = delete;

    // False if the setting could not be read or changed; it is then as it was.
    [[nodiscard]] bool point(const std::string& directory) noexcept {
        const StandInRead read = readStandInValue("", standin::kInstallPathValue, saved_);
        if (read == StandInRead::failed) return false;
        hadValue_ = read == StandInRead::found;
        if (!setStandInValue("", standin::kInstallPathValue, directory.c_str())) return false;
        pointed_ = true;
        return true;
    }

    [[nodiscard]] bool restore() noexcept {
        if (!pointed_) return true;
        pointed_ = false;
        if (hadValue_) return setStandInValue("", standin::kInstallPathValue, saved_.c_str());
        return removeStandInValue("", standin::kInstallPathValue);
    }

private:
    bool pointed_ = false;
    bool hadValue_ = false;
    std::string saved_;
};

// One box of the preview: the line ShowError picks for a code, or none for a code the
// catalogue lacks (or has only empty messages for: ShowError shows the not-found box).
struct Item {
    unsigned long code;
    const CatalogueLine* line;  // the first line of the code with a message, else its first line
    bool hasMessage;
    CapturedBox box;
};

std::vector<Item> itemsOf(const std::vector<CatalogueLine>& lines) {
    std::vector<Item> items;
    for (const CatalogueLine& line : lines) {
        if (!line.entry) continue;
        Item* known = nullptr;
        for (Item& item : items)
            if (item.code == line.code) known = &item;
        const bool hasMessage = !line.message().empty();
        if (known == nullptr)
            items.push_back({line.code, &line, hasMessage, {}});
        else if (!known->hasMessage && hasMessage) {
            known->line = &line;
            known->hasMessage = true;
        }
    }
    return items;
}

// Catalogue and box texts are Shift_JIS; the page is UTF-8.
std::string fromMessage(std::string_view text) { return toUtf8(text, kMessageCodePage); }

// The severity letter as the page shows it; a byte that is no printable letter in hexadecimal.
void writeSeverity(HtmlWriter& page, const Item& item) {
    if (item.line == nullptr) {
        page.markup("-");
        return;
    }
    const auto letter = static_cast<unsigned char>(item.line->severity());
    if (letter > 0x20 && letter < 0x7F) {
        page.text(std::string(1, static_cast<char>(letter)));
        return;
    }
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", letter);
    page.markup(text);
}

std::string indexPage(const std::string& catalogue, const std::vector<Item>& items,
                      const std::vector<CatalogueLine>& lines, const std::vector<CatalogueFinding>& findings) {
    HtmlWriter page;
    page.markup("<!DOCTYPE html>\n<html lang=\"ja\">\n<head>\n<meta charset=\"utf-8\">\n<title>Error boxes of ")
        .text(toUtf8(catalogue, CP_ACP))
        .markup(
            "</title>\n<style>\n"
            "body { font-family: sans-serif; }\n"
            "table { border-collapse: collapse; }\n"
            "th, td { border: 1px solid #bbb; padding: 4px 8px; text-align: left; vertical-align: top; }\n"
            ".text { white-space: pre-wrap; }\n"
            "</style>\n</head>\n<body>\n"
            "<h1>Error boxes of ")
        .text(toUtf8(catalogue, CP_ACP))
        .markup("</h1>\n<p>" + std::to_string(items.size()) +
                " boxes, each shown by ShowError of KestErr.dll and closed with OK by kesttool preview.</p>\n"
                "<table>\n<thead><tr><th>Code</th><th>Severity</th><th>Icon</th><th>Text of the box</th>"
                "<th>Line</th><th>Box</th></tr></thead>\n<tbody>\n");
    for (const Item& item : items) {
        const std::string code = hexDigits(item.code);
        std::string line = "not in the catalogue";
        if (item.line != nullptr) {
            line = std::to_string(item.line->number);
            if (!item.hasMessage) line += " (empty message: ShowError shows the not-found box)";
        }
        page.markup("<tr id=\"code-").markup(code).markup("\"><td>").markup(code).markup("</td><td>");
        writeSeverity(page, item);
        page.markup("</td><td>")
            .text(item.box.icon)
            .markup("</td><td class=\"text\">")
            .text(fromMessage(item.box.text))
            .markup("</td><td>")
            .markup(line)
            .markup("</td><td><img src=\"")
            .markup(code)
            .markup(".png\" width=\"")
            .markup(std::to_string(item.box.picture.width))
            .markup("\" height=\"")
            .markup(std::to_string(item.box.picture.height))
            .markup("\" alt=\"box of code ")
            .markup(code)
            .markup("\"></td></tr>\n");
    }
    page.markup("</tbody>\n</table>\n");

    const bool skipped = std::any_of(lines.begin(), lines.end(), [](const CatalogueLine& line) { return !line.entry; });
    if (skipped) {
        page.markup("<h2>Skipped lines</h2>\n<p>")
            .text(kNotAnEntry)
            .markup("</p>\n<table>\n<thead><tr><th>Line</th><th>Text</th></tr></thead>\n<tbody>\n");
        for (const CatalogueLine& line : lines)
            if (!line.entry)
                page.markup("<tr><td>" + std::to_string(line.number) + "</td><td class=\"text\">")
                    .text(fromMessage(line.text))
                    .markup("</td></tr>\n");
        page.markup("</tbody>\n</table>\n");
    }

    const bool others = std::any_of(findings.begin(), findings.end(),
                                    [](const CatalogueFinding& finding) { return finding.text != kNotAnEntry; });
    if (others) {
        page.markup("<h2>Other findings of check-catalogue</h2>\n<ul>\n");
        for (const CatalogueFinding& finding : findings)
            if (finding.text != kNotAnEntry)
                page.markup("<li>" +
                            (finding.line != 0 ? "line " + std::to_string(finding.line) + ": " : std::string()))
                    .text(fromMessage(finding.text))
                    .markup("</li>\n");
        page.markup("</ul>\n");
    }
    page.markup("</body>\n</html>\n");
    return page.page();
}

// The folder of the catalogue, as an installation directory: full, without a trailing
// backslash. False if the file is not named as ShowError reads it.
[[nodiscard]] bool catalogueFolder(const std::string& catalogue, std::string& folder, std::string& problem) {
    char full[MAX_PATH] = {};
    char* name = nullptr;
    const DWORD length = GetFullPathNameA(catalogue.c_str(), sizeof full, full, &name);
    if (length == 0 || length >= sizeof full || name == nullptr) {
        problem = "the catalogue's path is longer than " + std::to_string(MAX_PATH - 1) + " characters";
        return false;
    }
    if (_stricmp(name, catalogue::kFileName) != 0) {
        problem = std::string("the catalogue must be named ") + catalogue::kFileName +
                  ": ShowError reads that name in the installation directory";
        return false;
    }
    folder.assign(full, static_cast<std::size_t>(name - full - 1));
    return true;
}

[[nodiscard]] bool makeDirectory(const std::string& path) noexcept {
    if (CreateDirectoryA(path.c_str(), nullptr)) return true;
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

int run(const Invocation& invocation) {
    const std::optional<std::string> out = invocation.value(kOutOption);
    const std::optional<int> missing = invocation.codeValue(kMissingOption);
    const std::vector<std::string>& words = invocation.operands();
    std::string folder;
    std::string problem;
    if (!catalogueFolder(words[0], folder, problem)) throw UsageProblem(problem);
    if (!displayAvailable()) {
        writeErr(
            "kesttool: preview: no display: the boxes must be shown to be pictured (under Wine, run it with "
            "cmake/wine-display-run.sh, which starts a display of its own)\n");
        return kExitUsage;
    }

    const std::optional<std::string> bytes = readWholeFile(words[0]);
    if (!bytes) return reportProblem("cannot read " + words[0]);
    const std::vector<CatalogueLine> lines = readCatalogueLines(*bytes);
    std::vector<Item> items = itemsOf(lines);
    if (missing) {
        for (const Item& item : items)
            if (item.code == static_cast<unsigned>(*missing))
                throw UsageProblem("code " + hexDigits(item.code) + " is in the catalogue, on line " +
                                   std::to_string(item.line->number));
        items.push_back({static_cast<unsigned>(*missing), nullptr, false, {}});
    }

    const std::string directory = out.value_or(kDefaultOut);
    if (!makeDirectory(directory)) return reportProblem("cannot make the directory " + directory);
    const ComApartment apartment;
    if (!apartment.entered()) return reportProblem("cannot start COM for the imaging component");
    InstallDirectoryOverride installation;
    if (!installation.point(folder)) return reportProblem("cannot point the installation directory at " + folder);

    for (std::size_t done = 0; done < items.size(); ++done) {
        Item& item = items[done];
        const std::string code = hexDigits(item.code);
        if (!showAndCaptureErrorBox(static_cast<int>(item.code), item.box, problem))
            // NOLINTNEXTLINE(performance-inefficient-string-concatenation): once per box, beside its capture
            return reportProblem("the box of code " + code + ": " + problem);
        // NOLINTNEXTLINE(performance-inefficient-string-concatenation): once per box, beside its capture
        const std::string picture = directory + "\\" + code + ".png";
        if (!writePng(toWide(picture, CP_ACP), item.box.picture, problem))
            // NOLINTNEXTLINE(performance-inefficient-string-concatenation): once per box, beside its capture
            return reportProblem("cannot write " + picture + ": " + problem);
        writeErr("kesttool: preview: " + std::to_string(done + 1) + " of " + std::to_string(items.size()) + " boxes (" +
                 code + ")\n");
    }
    if (!installation.restore()) return reportProblem("cannot set the installation directory back");

    const std::string index = directory + "\\" + kIndexName;
    std::ofstream page(index, std::ios::binary | std::ios::trunc);
    page << indexPage(words[0], items, lines, checkCatalogue(*bytes));
    page.close();
    if (!page) return reportProblem("cannot write " + index);
    writeOut(std::to_string(items.size()) + " boxes and " + kIndexName + " in " + directory + "\n");
    return kExitOk;
}

}  // namespace

extern const Command kPreviewCommand{
    "preview",
    "<KestErr.csv>",
    1,
    1,
    "    Shows every box of a catalogue through ShowError on the display, pictures each\n"
    "    as <code>.png and closes it with OK; writes index.html beside them. Needs a\n"
    "    display (exit status 2 without one); the boxes are logged like any others.\n",
    {{kOutOption, "<directory>", "where the pictures and the page go (default KestErr-preview)"},
     {kMissingOption, "<code>", "adds the box of a code the catalogue lacks"}},
    &run,
    {}};

}  // namespace kest::tool
