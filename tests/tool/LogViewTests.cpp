// log show's reading of a log, in-process: the lines out of a byte stream, the records in a
// line, the trace texts, and what --errors makes of the chains they form. The logs are written
// here as Log writes them: Shift_JIS, CRLF, months and days of one digit and of two.
#include "LogReader.h"
#include "LogView.h"

#include "KestResult.h"
#include "KestResultMessages.h"
#include "LogFile.h"

#include <gmock/gmock.h>

#include <algorithm>
#include <string>
#include <vector>

namespace kest::tool {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

std::vector<LogLine> splitInChunks(std::string_view bytes, std::size_t chunkSize) {
    LineSplitter splitter;
    std::vector<LogLine> lines;
    for (std::size_t at = 0; at < bytes.size(); at += chunkSize) splitter.feed(bytes.substr(at, chunkSize), lines);
    splitter.finish(lines);
    return lines;
}

// What log show prints for the log, the platform's text for a last error being a fixed one.
std::vector<std::string> shown(const std::string& bytes, bool errorsOnly,
                               LogEncoding encoding = LogEncoding::shiftJis) {
    std::string text;
    LogView view(
        errorsOnly, encoding, [&text](std::string_view piece) { text += piece; },
        [](unsigned error) { return "(text of " + std::to_string(error) + ")"; });
    for (const LogLine& line : splitInChunks(bytes, bytes.size() + 1)) view.line(line);
    view.end();
    return test::linesOf(text);
}

TEST(KestToolLogReader, LinesEndAtCrlfOrLfAcrossChunksAndAnOverlongLineKeepsItsLimit) {
    struct Case {
        const char* name;
        std::string bytes;
        std::size_t chunkSize;
        std::vector<std::string> lines;
        bool lastEnded;
        std::size_t lastLeftOut;
    };
    const std::size_t limit = LineSplitter::kMaxLineBytes;
    const std::vector<Case> cases = {
        {"CRLF cut between CR and LF by the chunks, a lone LF, no end", "a\r\nbb\nc", 2, {"a", "bb", "c"}, false, 0},
        {"an empty line and a last line with its end", "\r\nx\r\n", 1, {"", "x"}, true, 0},
        // The CR of an overlong line is among its bytes left out, not kept in their place.
        {"overlong", std::string(limit + 5, 'x') + "\r\n", 4096, {std::string(limit, 'x')}, true, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<LogLine> lines = splitInChunks(c.bytes, c.chunkSize);
        std::vector<std::string> texts;
        for (const LogLine& line : lines) texts.push_back(line.bytes);
        EXPECT_EQ(texts, c.lines);
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back().ended, c.lastEnded);
        EXPECT_EQ(lines.back().leftOut, c.lastLeftOut);
        EXPECT_EQ(lines.back().number, c.lines.size());
    }
}

TEST(KestToolLogReader, ALineSplitsInFrontOfEveryFurtherRecordOfASourceUnit) {
    struct Case {
        const char* name;
        std::string line;
        std::vector<std::string> times;  // each piece's record time, "-" for no record
    };
    const std::vector<Case> cases = {
        {"a cut record, then the next run's",
         "[1/05 09:03:07]A.cpp,12,f() = 0x2500[12/31 23:59:59]B.cpp,-1,g() start",
         {"1/05 09:03:07", "12/31 23:59:59"}},
        {"a time in brackets quoted by a message",
         "[12/31 23:59:59]Host.cpp,9,at [1/05 09:03:07]note,1,x",
         {"12/31 23:59:59"}},
        {"a day of one digit is no record time", "[1/5 09:03:07]A.cpp,1,x", {"-"}},
        {"nor a month of three", "[123/05 09:03:07]A.cpp,1,x", {"-"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<LogPiece> pieces;
        splitRecords(LogLine{c.line, true, 0, 1}, pieces);
        std::vector<std::string> times;
        for (const LogPiece& piece : pieces) times.push_back(piece.head ? piece.head->time : "-");
        EXPECT_EQ(times, c.times);
        EXPECT_EQ(pieces.front().cutByRecord, pieces.size() > 1);
    }
    std::vector<LogPiece> pieces;
    splitRecords(LogLine{"[1/05 09:03:07]A.cpp,-12,text, with a comma", true, 0, 1}, pieces);
    ASSERT_EQ(pieces.size(), 1u);
    ASSERT_TRUE(pieces[0].head);
    EXPECT_EQ(pieces[0].head->unit, "A.cpp");
    EXPECT_EQ(pieces[0].head->line, "-12");
    EXPECT_EQ(pieces[0].head->text, "text, with a comma");
}

TEST(KestToolLogReader, ErrorTextsGiveTheirFunctionCodeAndDetailAndACutOneWhatWasRead) {
    struct Case {
        const char* text;
        bool cut;
        bool error;
        std::string function;
        unsigned code;
        std::size_t codeDigits;
        std::string inner, message, platformFunction;
        unsigned lastError;
    };
    const std::vector<Case> cases = {
        {"f() = 0x25000209 : g() failed", false, true, "f", 0x25000209, 8, "g", "", "", 0},
        {"f() = 0x25000103 : a : b : WritePrivateProfileStringA() failed (0x00000003)", false, true, "f", 0x25000103, 8,
         "", "a : b", "WritePrivateProfileStringA", 3},
        {"f() = 0x25000102 : a : b", false, true, "f", 0x25000102, 8, "", "a : b", "", 0},
        {"f() = 0x2500020A : upper-case digits are not ours", false, false, "", 0, 0, "", "", "", 0},
        {"f() start", false, false, "", 0, 0, "", "", "", 0},
        {"f() = 0x2500", true, true, "f", 0x2500, 4, "", "", "", 0},
        {"f() =", true, true, "f", 0, 0, "", "", "", 0},
        {"f() e", true, false, "", 0, 0, "", "", "", 0},
        {"f() = 0x25000209 : g() fa", true, true, "f", 0x25000209, 8, "g", "", "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const std::optional<TraceError> error = c.cut ? parseCutTraceError(c.text) : parseTraceError(c.text);
        ASSERT_EQ(error.has_value(), c.error);
        if (!error) continue;
        EXPECT_EQ(error->function, c.function);
        EXPECT_EQ(error->code, c.code);
        EXPECT_EQ(error->codeDigits, c.codeDigits);
        EXPECT_EQ(error->inner, c.inner);
        EXPECT_EQ(error->message, c.message);
        EXPECT_EQ(error->platformFunction, c.platformFunction);
        EXPECT_EQ(error->lastError, c.lastError);
    }
}

// Two runs of a call that fails the same way, a host's failure of a code outside our table with
// a platform call's last error, and a run cut inside its code: each chain, then every code
// once with how often and on which lines.
TEST(KestToolLogView, ErrorsGiveEachChainAndSumTheFailuresUpByCode) {
    const std::string noFile = resultMessage(KEST_E_NO_SETTINGS_FILE);
    const std::string log =
        "[1/05 09:03:07]KestCommonUtil.cpp,130,getIniFilePath() start\r\n"
        "[1/05 09:03:07]KestCommonUtil.cpp,140,getIniFilePath() = 0x25000101 : " +
        noFile +
        "\r\n"
        "[1/05 09:03:07]KestCommonUtil.cpp,141,getIniFilePath() end\r\n"
        "[12/31 23:59:59]Host.cpp,3,hostCall() start\r\n"
        "[12/31 23:59:59]Host.cpp,4,hostCall() = 0x2500fffe : its own words : CreateFileA() failed (0x00000003)\r\n"
        "[12/31 23:59:59]Host.cpp,5,hostCall() end\r\n"
        "[9/30 00:00:00]KestCommonUtil.cpp,130,getIniFilePath() start\r\n"
        "[9/30 00:00:00]KestCommonUtil.cpp,140,getIniFilePath() = 0x25000101 : " +
        noFile +
        "\r\n"
        "[9/30 00:00:00]KestCommonUtil.cpp,141,getIniFilePath() end\r\n"
        "[10/01 00:00:01]KestMyCertManager.cpp,290,openPkcs12Store() = 0x2500";
    EXPECT_THAT(
        shown(log, true),
        ElementsAre(u8"failure 0x25000101 at line 2: 環境設定ファイルが見つかりません。",
                    "  1/05 09:03:07  KestCommonUtil.cpp:140  getIniFilePath() failed",
                    "  outermost: getIniFilePath(), which returned 0x25000101 to its caller", "",
                    "failure 0x2500fffe at line 5: its own words", "  12/31 23:59:59  Host.cpp:4  hostCall() failed",
                    "      CreateFileA() failed, last error 0x00000003: (text of 3)",
                    "  outermost: hostCall(), which returned 0x2500fffe to its caller", "",
                    u8"failure 0x25000101 at line 8: 環境設定ファイルが見つかりません。",
                    "  9/30 00:00:00  KestCommonUtil.cpp:140  getIniFilePath() failed",
                    "  outermost: getIniFilePath(), which returned 0x25000101 to its caller", "",
                    "failure 0x2500... at line 10: (the record breaks off before its message)",
                    "  10/01 00:00:01  KestMyCertManager.cpp:290  openPkcs12Store() failed [cut]",
                    "  outermost: not in the log (the call's start record is missing) where the log breaks "
                    "off at line 10 (last reported by openPkcs12Store())",
                    "", "failures by code:", "  0x2500...  1 failure", "    line 10",
                    u8"  0x25000101  2 failures: 環境設定ファイルが見つかりません。", "    lines 2, 8",
                    "  0x2500fffe  1 failure: its own words", "    line 5", "", "4 failures in 10 records"));
}

// Without --errors every line is shown, a record as time, unit:line and text, and what is no
// whole record marked; the count of such lines ends --errors.
TEST(KestToolLogView, LinesThatAreNoWholeRecordAreMarkedAndCounted) {
    const std::string log =
        "before any record\r\n"
        "[1/05 09:03:07]Host.cpp,7,\x90\xdd\x92\xe8\r\n"
        "second line\r\n"
        "[12/31 23:59:59]Host.cpp,8,cut";
    EXPECT_THAT(shown(log, false),
                ElementsAre("!! not a record: before any record", u8"1/05 09:03:07  Host.cpp:7  設定",
                            "    | second line", "!! cut: no line end: 12/31 23:59:59  Host.cpp:8  cut"));
    EXPECT_THAT(shown(log, true),
                ElementsAre("0 failures in 2 records; 2 lines that are no whole records left out (log show marks "
                            "them)"));
}

// The log has no process id: two processes' records interleave in it (two hosts, or a host and
// kesttool). Where their starts and ends do not nest, the chain names no outermost function and
// says why.
TEST(KestToolLogView, AChainWhoseRecordsCannotBeOneCallStackIsShownAsUncertain) {
    const std::string password = resultMessage(KEST_E_PKCS12_PASSWORD);
    const std::string omitInvalid = resultMessage(KEST_E_OMIT_SELECT_INVALID);
    const std::string invalid = resultMessage(KEST_E_SETTINGS_INVALID);
    const std::string why =
        ", which the calls of one process never do: two processes wrote into this log (two hosts, or a host and "
        "kesttool), and it does not say which records are whose";
    struct Case {
        const char* name;
        std::string log;
        std::vector<std::string> chains;  // the output up to the summary by code
    };
    const std::vector<Case> cases = {
        {"another host's call ends inside this one's",
         "[1/05 09:03:07]KestMyCertManager.cpp,272,createMyCertList() start\r\n"
         "[1/05 09:03:07]KestMyCertManager.cpp,284,createMyCertListInPkcs12Store() start\r\n"
         "[1/05 09:03:07]KestMyCertManager.cpp,220,openPkcs12Store() start\r\n"
         "[1/05 09:03:08]KestMyCertManager.cpp,227,openPkcs12Store() = 0x25000209 : " +
             password +
             " : PFXVerifyPassword() failed (0x00000000)\r\n"
             "[1/05 09:03:08]KestMyCertManager.cpp,220,openPkcs12Store() end\r\n"
             "[1/05 09:03:08]KestMyCertManager.cpp,272,createMyCertList() end\r\n"
             "[1/05 09:03:08]KestMyCertManager.cpp,287,createMyCertListInPkcs12Store() = 0x25000209 : "
             "openPkcs12Store() failed\r\n"
             "[1/05 09:03:08]KestMyCertManager.cpp,284,createMyCertListInPkcs12Store() end\r\n",
         {u8"failure 0x25000209 at line 4: PKCS#12形式データのパスワードに誤りがあります。",
          "  1/05 09:03:08  KestMyCertManager.cpp:227  openPkcs12Store() failed",
          "      PFXVerifyPassword() failed, last error 0x00000000: (text of 0)",
          "  1/05 09:03:08  KestMyCertManager.cpp:287  createMyCertListInPkcs12Store(): openPkcs12Store() failed",
          "  outermost: uncertain (last reported by createMyCertListInPkcs12Store())",
          "  uncertain because at line 6 createMyCertList() ends while createMyCertListInPkcs12Store() is open" + why}},
        {"a host's call reports a failure inside kesttool's",
         "[12/31 23:59:58]KestMyCertManager.cpp,272,createMyCertList() start\r\n"
         "[12/31 23:59:58]KestMyCertManager.cpp,355,readIniOmitSelectCert() start\r\n"
         "[12/31 23:59:58]KestMyCertManager.cpp,204,buildNewMyCertList() start\r\n"
         "[12/31 23:59:59]KestMyCertManager.cpp,362,readIniOmitSelectCert() = 0x25000105 : " +
             omitInvalid +
             "\r\n"
             "[12/31 23:59:59]KestMyCertManager.cpp,355,readIniOmitSelectCert() end\r\n"
             "[12/31 23:59:59]KestMyCertManager.cpp,204,buildNewMyCertList() end\r\n"
             "[1/01 00:00:00]KestMyCertManager.cpp,272,createMyCertList() end\r\n",
         {u8"failure 0x25000105 at line 4: 環境設定ファイルの[MyCertificate] - OmitSelectCert の値が不正です。",
          "  12/31 23:59:59  KestMyCertManager.cpp:362  readIniOmitSelectCert() failed",
          "  outermost: uncertain (last reported by readIniOmitSelectCert())",
          "  uncertain because at line 4 readIniOmitSelectCert() reports a failure while buildNewMyCertList() is "
          "open" +
              why}},
        {"another host's call ended before the failure began, inside the call that failed",
         "[9/30 10:00:00]KestMyCertManager.cpp,272,createMyCertList() start\r\n"
         "[9/30 10:00:00]KestMyCertManager.cpp,355,readIniOmitSelectCert() start\r\n"
         "[9/30 10:00:01]KestMyCertManager.cpp,272,createMyCertList() end\r\n"
         "[9/30 10:00:01]KestCommonUtil.cpp,200,readIniInt() start\r\n"
         "[9/30 10:00:01]KestCommonUtil.cpp,210,readIniInt() = 0x25000104 : " +
             invalid +
             "\r\n"
             "[9/30 10:00:01]KestCommonUtil.cpp,200,readIniInt() end\r\n"
             "[10/01 10:00:01]KestMyCertManager.cpp,358,readIniOmitSelectCert() = 0x25000104 : readIniInt() failed\r\n"
             "[10/01 10:00:01]KestMyCertManager.cpp,355,readIniOmitSelectCert() end\r\n",
         {u8"failure 0x25000104 at line 5: 環境設定ファイルの値が不正です。",
          "  9/30 10:00:01  KestCommonUtil.cpp:210  readIniInt() failed",
          "  10/01 10:00:01  KestMyCertManager.cpp:358  readIniOmitSelectCert(): readIniInt() failed",
          "  outermost: uncertain (last reported by readIniOmitSelectCert())",
          "  uncertain because at line 3 createMyCertList() ends while readIniOmitSelectCert() is open" + why}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> lines = shown(c.log, true);
        lines.erase(std::find(lines.begin(), lines.end(), "failures by code:") - 1, lines.end());
        EXPECT_THAT(lines, ElementsAreArray(c.chains));
    }
}

// A log converted to UTF-8 on its way to support: what --errors says of its own, the codes'
// messages from our table and the box heading, is the same as for the log as Log wrote it.
TEST(KestToolLogView, ErrorsSayTheirOwnTextsInUtf8WhateverTheLogsEncoding) {
    struct Japanese {
        const char* shiftJis;
        const char* utf8;
    };
    // Plain literals are Shift_JIS in the binary, u8 ones UTF-8.
    const Japanese noFile{"環境設定ファイルが見つかりません。", u8"環境設定ファイルが見つかりません。"};
    const Japanese ownWords{"設定", u8"設定"};
    const Japanese box{"エラーメッセージが見つかりません", u8"エラーメッセージが見つかりません"};
    const auto logIn = [&](bool utf8) {
        const auto text = [utf8](const Japanese& japanese) {
            return std::string(utf8 ? japanese.utf8 : japanese.shiftJis);
        };
        return "[2/03 04:05:06]KestMyCertManager.cpp,287,createMyCertListInPkcs12Store() = 0x25000209 : "
               "openPkcs12Store() failed\r\n"
               "[11/22 04:05:07]KestCommonUtil.cpp,140,getIniFilePath() = 0x25000101 : " +
               text(noFile) +
               "\r\n"
               "[11/22 04:05:08]Host.cpp,4,hostCall() = 0x2500fffe : " +
               text(ownWords) +
               "\r\n"
               "[11/22 04:05:09]KestErr.cpp,77," +
               text(box) + "\r\nCode=0x2500ffff\r\n";
    };
    const std::vector<std::string> expected = {
        u8"failure 0x25000209 at line 1: PKCS#12形式データのパスワードに誤りがあります。",
        "  (the record of openPkcs12Store() failing is not in the log)",
        "  2/03 04:05:06  KestMyCertManager.cpp:287  createMyCertListInPkcs12Store(): openPkcs12Store() failed",
        "  outermost: not in the log (the call's start record is missing); last reported by "
        "createMyCertListInPkcs12Store()",
        "",
        u8"failure 0x25000101 at line 2: 環境設定ファイルが見つかりません。",
        "  11/22 04:05:07  KestCommonUtil.cpp:140  getIniFilePath() failed",
        "  outermost: not in the log (the call's start record is missing); last reported by getIniFilePath()",
        "",
        u8"failure 0x2500fffe at line 3: 設定",
        "  11/22 04:05:08  Host.cpp:4  hostCall() failed",
        "  outermost: not in the log (the call's start record is missing); last reported by hostCall()",
        "",
        "failures by code:",
        u8"  0x25000101  1 failure: 環境設定ファイルが見つかりません。",
        "    line 2",
        u8"  0x25000209  1 failure: PKCS#12形式データのパスワードに誤りがあります。",
        "    line 1",
        u8"  0x2500fffe  1 failure: 設定",
        "    line 3",
        "",
        u8"boxes for codes the catalogue lacks (エラーメッセージが見つかりません):",
        "  0x2500ffff  1 box",
        "    line 4",
        "",
        "3 failures in 4 records"};
    const struct {
        const char* name;
        bool utf8;
        LogEncoding encoding;
    } cases[] = {
        {"as Log writes it", false, LogEncoding::byItsText},
        {"converted to UTF-8, known by its mark", true, LogEncoding::utf8},
        {"converted to UTF-8, told by its text", true, LogEncoding::byItsText},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_THAT(shown(logIn(c.utf8), true, c.encoding), ElementsAreArray(expected));
    }
}

// The encoding is that of the first text beyond ASCII, however late it comes; what reads as
// neither does not decide it; a later line that reads only in the other one is shown in it.
// What UTF-8 never holds (RFC 3629: a surrogate, an overlong form, a value beyond U+10FFFF;
// 設定 after it ends in a Shift_JIS lead byte) is shown as its bytes.
TEST(KestToolLogView, TheEncodingIsToldByTheFirstTextBeyondAsciiAndALineInTheOtherIsMarked) {
    const std::string log =
        "[3/07 09:05:01]KestCommonUtil.cpp,130,getIniFilePath() start\r\n"
        "[3/07 09:05:01]Host.cpp,8,\xff\xfe\r\n"
        "[3/07 09:05:02]Host.cpp,9,\xe8\xa8\xad\xe5\xae\x9a\r\n"
        "[10/17 19:05:03]Host.cpp,10,\x90\xdd\x92\xe8\r\n"
        "[10/17 19:05:04]Host.cpp,11,\xed\xa0\x80\xe8\xa8\xad\xe5\xae\x9a\r\n"
        "[10/17 19:05:05]Host.cpp,12,\xe0\x80\xaf\xf4\x90\x80\x80\xe8\xa8\xad\xe5\xae\x9a\r\n";
    EXPECT_THAT(
        shown(log, false, LogEncoding::byItsText),
        ElementsAre("3/07 09:05:01  KestCommonUtil.cpp:130  getIniFilePath() start",
                    "!! not Shift_JIS: 3/07 09:05:01  Host.cpp:8  \\xFF\\xFE", u8"3/07 09:05:02  Host.cpp:9  設定",
                    u8"!! Shift_JIS, not UTF-8: 10/17 19:05:03  Host.cpp:10  設定",
                    u8"!! not UTF-8: 10/17 19:05:04  Host.cpp:11  \\xED\\xA0\\x80設定",
                    u8"!! not UTF-8: 10/17 19:05:05  Host.cpp:12  \\xE0\\x80\\xAF\\xF4\\x90\\x80\\x80設定"));
}

}  // namespace
}  // namespace kest::tool
