// check-catalogue held against ShowError. A small seeded generator types catalogue lines as
// people get them wrong; ShowError shows each through its real export (MessageBoxA patched in
// KestErr.dll) and the tool checks the file as check-catalogue and doctor do. A line whose box
// is not what its writer meant must have a finding, a right one none; and a person who follows
// a finding's remedy sees that finding go.
#include "Catalogue.h"
#include "ErrorBoxTest.h"
#include "KestResultMessages.h"
#include "Terminal.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace kest::test {
namespace {

constexpr unsigned kLines = 40;
constexpr std::size_t kNoCtrlZ = SIZE_MAX;
constexpr std::size_t kCtrlZAfterTheLine = SIZE_MAX - 1;

enum class Written { shiftJis, utf8, utf16 };

// A line as its writer meant it and as it was typed: the catalogue's last, after a line for
// every result code.
struct Line {
    char severity;
    unsigned code;
    bool upperDigits;
    int extraDigits;        // -1: the last digit left out, 1: typed twice
    std::string separator;  // Shift_JIS
    std::wstring message;
    Written written;
    std::size_t ctrlZ;  // after this many characters of the message, kNoCtrlZ, kCtrlZAfterTheLine
    std::string lineEnd;
};

std::string encoded(std::wstring_view text, Written written) {
    if (written == Written::utf16) return {reinterpret_cast<const char*>(text.data()), text.size() * 2};
    std::string bytes(text.size() * 3, '\0');
    bytes.resize(static_cast<std::size_t>(WideCharToMultiByte(written == Written::utf8 ? CP_UTF8 : 932, 0, text.data(),
                                                              static_cast<int>(text.size()), bytes.data(),
                                                              static_cast<int>(bytes.size()), nullptr, nullptr)));
    return bytes;
}

std::string typed(const Line& line) {
    char digits[9];
    std::snprintf(digits, sizeof digits, line.upperDigits ? "%08X" : "%08x", line.code);
    std::string code = digits;
    if (line.extraDigits < 0) code.pop_back();
    if (line.extraDigits > 0) code += code.back();
    const std::size_t cut = std::min(line.ctrlZ, line.message.size());
    std::string text = line.severity + code + line.separator + encoded(line.message.substr(0, cut), line.written);
    if (line.ctrlZ <= line.message.size()) text += '\x1A';
    text += encoded(line.message.substr(cut), line.written) + line.lineEnd;
    return line.ctrlZ == kCtrlZAfterTheLine ? text + '\x1A' : text;
}

// Each choice is mostly the right one, so that right lines come too.
Line generated(std::mt19937_64& random) {
    auto below = [&random](std::size_t bound) { return static_cast<std::size_t>(random() % bound); };
    Line line;
    line.severity = "IiQqWwXx"[below(8)];
    line.code = 0x26000000U + static_cast<unsigned>(below(0x1000000));
    line.upperDigits = below(2) == 0;
    line.extraDigits = std::vector<int>{0, 0, 0, 0, 0, 0, -1, 1}[below(8)];
    line.separator = std::vector<std::string>{",", ",", ",", ";", "\t", "\x81\x43", ""}[below(7)];
    line.written = std::vector<Written>{Written::shiftJis, Written::shiftJis, Written::utf8, Written::utf16}[below(4)];
    // A few characters half the time. One character of UTF-16 is two bytes that Shift_JIS may
    // read as one character of its own: nothing can tell those apart.
    const std::wstring message = tool::toWide(kResultMessages[below(std::size(kResultMessages))].text, 932);
    const std::size_t shortest = line.written == Written::utf16 ? 2 : 1;
    line.message = message.substr(0, shortest + below(below(2) == 0 ? 3 : message.size() - shortest + 1));
    line.ctrlZ =
        std::vector<std::size_t>{kNoCtrlZ, kNoCtrlZ, kCtrlZAfterTheLine, 1 + below(line.message.size())}[below(4)];
    line.lineEnd = std::vector<std::string>{"\r\n", "\n", ""}[below(3)];
    return line;
}

// MessageBoxA's icons of the letters I, Q, W and X.
UINT iconOf(char severity) {
    const UINT icons[] = {MB_ICONINFORMATION, MB_ICONQUESTION, MB_ICONWARNING, MB_ICONERROR};
    return icons[std::string_view("IQWX").find(static_cast<char>(std::toupper(severity)))];
}

// What a person does on reading a finding, by the words of its remedy.
struct Remedy {
    const char* says;
    void (*follow)(Line&);
};
const Remedy kRemedies[] = {
    {tool::kSaveAsShiftJis, [](Line& line) { line.written = Written::shiftJis; }},
    {"take the Ctrl-Z out", [](Line& line) { line.ctrlZ = kNoCtrlZ; }},
    {"type a comma (,) in its place", [](Line& line) { line.separator = ","; }},
    {"put a comma (,) between the code and the message", [](Line& line) { line.separator = ","; }},
    {"eight hexadecimal digits", [](Line& line) { line.extraDigits = 0; }},
};

class CatalogueAgainstShowErrorTest : public ErrorBoxTest {
protected:
    static constexpr unsigned kLineNumber = std::size(kResultMessages) + 1;

    // The catalogue's findings, how it was saved first.
    std::vector<tool::CatalogueFinding> findingsWith(const Line& line) {
        std::string catalogue;
        for (const ResultMessage& entry : kResultMessages) {
            char head[16];
            std::snprintf(head, sizeof head, "X%08X,", entry.code);
            catalogue += head + std::string(entry.text) + "\r\n";
        }
        writeCatalogue(catalogue + typed(line));
        std::optional<tool::CatalogueCheck> checked = tool::checkCatalogueFile(cataloguePath());
        if (!checked) throw std::runtime_error("cannot read " + cataloguePath());
        if (checked->encoding) checked->findings.insert(checked->findings.begin(), *checked->encoding);
        return checked->findings;
    }
};

std::uint64_t runSeed() {
    if (const char* seed = std::getenv("KEST_CATALOGUE_SEED")) return std::strtoull(seed, nullptr, 0);
    return static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
}

TEST_F(CatalogueAgainstShowErrorTest, AWrongBoxHasAFindingARightOneNoneAndEveryRemedyTakesItsFindingAway) {
    const std::uint64_t seed = runSeed();
    std::mt19937_64 random(seed);
    for (unsigned index = 0; index < kLines; ++index) {
        const Line line = generated(random);
        SCOPED_TRACE("KEST_CATALOGUE_SEED=" + std::to_string(seed) + ", line " + std::to_string(index) + ": " +
                     ::testing::PrintToString(typed(line)));
        const std::vector<tool::CatalogueFinding> findings = findingsWith(line);
        std::string said;
        for (const tool::CatalogueFinding& finding : findings)
            said += "\n  " + std::to_string(finding.line) + ": " + finding.text;

        char codeText[9];
        std::snprintf(codeText, sizeof codeText, "%08x", line.code);
        const std::string meant = encoded(line.message, Written::shiftJis);
        const std::string code = std::string("\nCode=0x") + codeText;
        const Shown shown = show(static_cast<int>(line.code));
        ASSERT_EQ(shown.boxes.size(), 1U);
        const Box& box = shown.boxes[0];
        // Without a line end the message has no newline of its own: its text is still right.
        const bool right =
            (box.text == meant + "\n" + code || box.text == meant + code) && box.flags == iconOf(line.severity);
        if (right) {
            EXPECT_TRUE(findings.empty()) << "the box is right, yet:" << said;
            continue;
        }
        EXPECT_TRUE(std::any_of(findings.begin(), findings.end(),
                                [](const tool::CatalogueFinding& finding) { return finding.line == kLineNumber; }))
            << "the box shows " << ::testing::PrintToString(box.text) << ", no finding names line " << kLineNumber
            << ":" << said;

        for (const tool::CatalogueFinding& finding : findings) {
            const Remedy* remedy = nullptr;
            for (const Remedy& known : kRemedies)
                if (finding.text.find(known.says) != std::string::npos) remedy = &known;
            if (remedy == nullptr) {
                ADD_FAILURE() << "no remedy to follow in: " << finding.text;
                continue;
            }
            Line mended = line;
            remedy->follow(mended);
            for (const tool::CatalogueFinding& after : findingsWith(mended))
                EXPECT_EQ(after.text.find(remedy->says), std::string::npos)
                    << "after following \"" << remedy->says << "\": " << after.text;
        }
    }
}

}  // namespace
}  // namespace kest::test
