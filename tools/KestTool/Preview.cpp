// kesttool preview: every box of a catalogue as a picture, with an index page, so that the
// people who edit the catalogue see what the users will see.
#include "BoxCapture.h"
#include "Catalogue.h"
#include "Commands.h"
#include "Picture.h"
#include "Platform.h"
#include "Terminal.h"

#include "KestIniStandIn.h"
#include "StandInSettings.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <vector>

namespace kest::tool {
namespace {

constexpr char kCommand[] = "preview";
constexpr char kCatalogueName[] = "KestErr.csv";
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

std::string html(std::string_view text) {
    std::string escaped;
    for (const char c : text) switch (c) {
            case '&': escaped += "&amp;"; break;
            case '<': escaped += "&lt;"; break;
            case '>': escaped += "&gt;"; break;
            case '"': escaped += "&quot;"; break;
            case '\'': escaped += "&#39;"; break;
            case '\r': break;
            default: escaped += c;
        }
    return escaped;
}

// Catalogue and box texts are Shift_JIS; the page is UTF-8.
std::string htmlOfMessage(std::string_view text) { return html(toUtf8(text, kMessageCodePage)); }

std::string severityOf(const Item& item) {
    if (item.line == nullptr) return "-";
    const auto letter = static_cast<unsigned char>(item.line->severity());
    if (letter > 0x20 && letter < 0x7F) return html(std::string(1, static_cast<char>(letter)));
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", letter);
    return text;
}

std::string indexPage(const std::string& catalogue, const std::vector<Item>& items,
                      const std::vector<CatalogueLine>& lines, const std::vector<CatalogueFinding>& findings) {
    std::string page =
        "<!DOCTYPE html>\n<html lang=\"ja\">\n<head>\n<meta charset=\"utf-8\">\n"
        "<title>Error boxes of " +
        html(toUtf8(catalogue, CP_ACP)) +
        "</title>\n<style>\n"
        "body { font-family: sans-serif; }\n"
        "table { border-collapse: collapse; }\n"
        "th, td { border: 1px solid #bbb; padding: 4px 8px; text-align: left; vertical-align: top; }\n"
        ".text { white-space: pre-wrap; }\n"
        "</style>\n</head>\n<body>\n"
        "<h1>Error boxes of " +
        html(toUtf8(catalogue, CP_ACP)) + "</h1>\n<p>" + std::to_string(items.size()) +
        " boxes, each shown by ShowError of KestErr.dll and closed with OK by kesttool preview.</p>\n"
        "<table>\n<thead><tr><th>Code</th><th>Severity</th><th>Icon</th><th>Text of the box</th><th>Line</th>"
        "<th>Box</th></tr></thead>\n<tbody>\n";
    for (const Item& item : items) {
        const std::string code = hexDigits(item.code);
        std::string line = "not in the catalogue";
        if (item.line != nullptr)
            line = std::to_string(item.line->number) +
                   (item.hasMessage ? "" : " (empty message: ShowError shows the not-found box)");
        page.append("<tr id=\"code-").append(code).append("\"><td>").append(code).append("</td><td>");
        page.append(severityOf(item))
            .append("</td><td>")
            .append(html(item.box.icon))
            .append("</td><td class=\"text\">");
        page.append(htmlOfMessage(item.box.text)).append("</td><td>").append(line).append("</td><td><img src=\"");
        page.append(code).append(".png\" width=\"").append(std::to_string(item.box.picture.width));
        page.append("\" height=\"").append(std::to_string(item.box.picture.height));
        page.append("\" alt=\"box of code ").append(code).append("\"></td></tr>\n");
    }
    page += "</tbody>\n</table>\n";

    std::string skipped;
    for (const CatalogueLine& line : lines)
        if (!line.entry)
            skipped += "<tr><td>" + std::to_string(line.number) + "</td><td class=\"text\">" +
                       htmlOfMessage(line.text) + "</td></tr>\n";
    if (!skipped.empty())
        page += std::string("<h2>Skipped lines</h2>\n<p>") + html(kNotAnEntry) +
                "</p>\n<table>\n<thead><tr><th>Line</th><th>Text</th></tr></thead>\n<tbody>\n" + skipped +
                "</tbody>\n</table>\n";

    std::string others;
    for (const CatalogueFinding& finding : findings)
        if (finding.text != kNotAnEntry)
            others += "<li>" + (finding.line != 0 ? "line " + std::to_string(finding.line) + ": " : std::string()) +
                      htmlOfMessage(finding.text) + "</li>\n";
    if (!others.empty()) page += "<h2>Other findings of check-catalogue</h2>\n<ul>\n" + others + "</ul>\n";
    return page + "</body>\n</html>\n";
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
    if (_stricmp(name, kCatalogueName) != 0) {
        problem = std::string("the catalogue must be named ") + kCatalogueName +
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

}  // namespace

int previewCommand(Arguments& arguments) {
    const std::optional<std::string> out = arguments.takeOption("--out");
    const std::optional<std::string> missingText = arguments.takeOption("--missing");
    const std::vector<std::string>& words = arguments.positional();
    if (!arguments.valid()) return usageError(kCommand, arguments.error());
    if (words.size() != 1) return usageError(kCommand, "one catalogue file is needed");
    int missing = 0;
    if (missingText && !parseCodeArgument(*missingText, missing))
        return usageError(kCommand, "--missing needs a code in hexadecimal");
    std::string folder;
    std::string problem;
    if (!catalogueFolder(words[0], folder, problem)) return usageError(kCommand, problem);
    if (!displayAvailable()) {
        writeErr(
            "kesttool: preview: no display: the boxes must be shown to be pictured (under Wine, run it with "
            "cmake/wine-display-run.sh, which starts a display of its own)\n");
        return kExitUsage;
    }

    std::ifstream file(words[0], std::ios::binary);
    if (!file) return reportProblem("cannot read " + words[0]);
    const std::string bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    if (file.bad()) return reportProblem("cannot read " + words[0]);
    const std::vector<CatalogueLine> lines = readCatalogueLines(bytes);
    std::vector<Item> items = itemsOf(lines);
    if (missingText) {
        for (const Item& item : items)
            if (item.code == static_cast<unsigned>(missing))
                return usageError(kCommand, "code " + hexDigits(item.code) + " is in the catalogue, on line " +
                                                std::to_string(item.line->number));
        items.push_back({static_cast<unsigned>(missing), nullptr, false, {}});
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
    page << indexPage(words[0], items, lines, checkCatalogue(bytes));
    page.close();
    if (!page) return reportProblem("cannot write " + index);
    writeOut(std::to_string(items.size()) + " boxes and " + kIndexName + " in " + directory + "\n");
    return kExitOk;
}

}  // namespace kest::tool
