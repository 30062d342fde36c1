// kesttool check-catalogue: what in an error catalogue would make ShowError show a wrong box
// or none.
#include "Catalogue.h"
#include "CommandLine.h"
#include "Terminal.h"

#include <utility>

namespace kest::tool {
namespace {

int run(const Invocation& invocation) {
    const std::string& path = invocation.operands()[0];
    std::optional<CatalogueCheck> checked = checkCatalogueFile(path);
    if (!checked) return reportProblem("cannot read " + path);

    std::vector<CatalogueFinding>& findings = checked->findings;
    if (checked->encoding) findings.insert(findings.begin(), std::move(*checked->encoding));
    for (const CatalogueFinding& finding : findings) {
        std::string where = path + ":";
        if (finding.line != 0) where += std::to_string(finding.line) + ":";
        writeOut(where + " ");
        writeOut(finding.text + "\n", kMessageCodePage);
    }
    if (findings.empty()) {
        writeOut(path + ": no findings\n");
        return kExitOk;
    }
    writeOut(path + ": " + std::to_string(findings.size()) + (findings.size() == 1 ? " finding\n" : " findings\n"));
    return kExitFailed;
}

}  // namespace

extern const Command kCheckCatalogueCommand{
    "check-catalogue",
    "<KestErr.csv>",
    1,
    1,
    "    Reports codes written twice, empty messages, lines over 259 characters,\n"
    "    unknown severity letters, result codes without a line, messages not in\n"
    "    Shift_JIS, separators typed full-width or left out, a Ctrl-Z that cuts a\n"
    "    line, and a file not saved as Shift_JIS.\n",
    {},
    &run,
    {}};

}  // namespace kest::tool
