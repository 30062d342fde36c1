// Trace records: the exact texts of logAny and logError, the 255-character cut at both
// levels, and that a switched-off log leaves no trace and changes no result.
#include "KestCommon.h"
#include "KestResultMessages.h"

#include "Installation.h"

#include <gmock/gmock.h>

#include <windows.h>

#include <cstddef>
#include <cstdio>
#include <string>

namespace kest::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class TraceTest : public InstallationTest {};

TEST_F(TraceTest, LogAnyFormatsByPrintfRulesUnderTheCallersUnitAndLine) {
    logAny("C:\\build\\KestMyCertManager.cpp", 321, "%s() start", "createMyCertList");
    logAny("KestCommonUtil.cpp", 7, "%d|%05u|%x|%c|%%", -3, 42u, 0xabcu, 'z');
    const std::vector<LogRecord> records = logRecords();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].sourceFile, "KestMyCertManager.cpp");
    EXPECT_EQ(records[0].line, "321");
    EXPECT_EQ(records[0].message, "createMyCertList() start");
    EXPECT_EQ(records[1].message, "-3|00042|abc|z|%");
}

TEST_F(TraceTest, LogErrorWritesFunctionLowerCaseEightDigitCodeAndDetail) {
    logError("unit.cpp", 10, "getIniFilePath", KEST_E_NO_SETTINGS_FILE, resultMessage(KEST_E_NO_SETTINGS_FILE));
    logError("unit.cpp", 11, "openPkcs12Store", KEST_E_PKCS12_IMPORT, "%s : %s() failed (0x%08x)",
             resultMessage(KEST_E_PKCS12_IMPORT), "PFXImportCertStore", 0x8009000bu);
    logError("unit.cpp", 12, "f", 0x7u, "");
    EXPECT_THAT(logMessages(),
                ElementsAre("getIniFilePath() = 0x25000101 : 環境設定ファイルが見つかりません。",
                            "openPkcs12Store() = 0x2500020a : PKCS#12形式データのインポートに失敗しました。 : "
                            "PFXImportCertStore() failed (0x8009000b)",
                            "f() = 0x00000007 : "));
}

TEST_F(TraceTest, LogAnyCutsItsTextAt255CharactersOnAWholeCharacter) {
    const std::string text(300, 'a');
    logAny("unit.cpp", 1, "%s", text.c_str());
    logAny("unit.cpp", 2, std::string(255, 'b').c_str());
    // "署" is 0x8f 0x90 in code page 932. At bytes 254 and 255 its lead byte alone would fit
    // the bound: it goes, as no reader could join it with the line end. At 253 and 254 it fits.
    const std::string at254 = std::string(254, 'c') + "署名";
    const std::string at253 = std::string(253, 'd') + "署名";
    logAny("unit.cpp", 3, "%s", at254.c_str());
    logAny("unit.cpp", 4, "%s", at253.c_str());
    EXPECT_THAT(logMessages(), ElementsAre(std::string(255, 'a'), std::string(255, 'b'), std::string(254, 'c'),
                                           std::string(253, 'd') + "署"));
}

TEST_F(TraceTest, LogErrorCutsTheDetailAndThenTheWholeRecordAt255Characters) {
    const std::string detail = std::string(250, 'd') + std::string(50, 'e');
    logError("unit.cpp", 1, "fn", KEST_E_NO_MEMORY, "%s", detail.c_str());
    const std::vector<std::string> messages = logMessages();
    ASSERT_EQ(messages.size(), 1u);
    const std::string prefix = "fn() = 0x25000000 : ";
    EXPECT_EQ(messages[0].size(), 255u);
    EXPECT_EQ(messages[0], prefix + detail.substr(0, 255 - prefix.size()));

    // The whole record's cut lands on a lead byte of the detail: that byte goes too.
    const std::string japanese = std::string(255 - prefix.size() - 1, 'j') + "署名";
    logError("unit.cpp", 2, "fn", KEST_E_NO_MEMORY, "%s", japanese.c_str());
    EXPECT_EQ(logMessages().back(), prefix + std::string(255 - prefix.size() - 1, 'j'));
}

// A host built with Visual Studio writes its formats for the Windows runtime's printf. Each
// expected text is what Microsoft's C runtime documentation of printf's format syntax and size
// prefixes (learn.microsoft.com, c-runtime-library) gives for the conversion: h short and
// single-byte, l long (32 bits) and wide, ll and I64 64 bits, I32 32 bits, I the pointer size, w
// wide; S and C wide in a narrow printf. %p is documented only as "an address in hexadecimal
// digits": the 16 upper-case digits are what both runtimes write.
TEST_F(TraceTest, LogAnyFormatsAHostsFormatsAsTheWindowsRuntimesPrintf) {
    logAny("h.cpp", 1, "%hd|%hu|%hc|%hs", 70000, 70000u, 'h', "narrow");
    logAny("h.cpp", 2, "%ld|%lu|%lc|%ls", -70000L, 4000000000UL, L'l', L"wide");
    logAny("h.cpp", 3, "%lld|%llu", -9000000000LL, 18000000000000000000ULL);
    logAny("h.cpp", 4, "%wc|%ws", L'w', L"C:\\a.pdf");
    logAny("h.cpp", 5, "%Id|%Iu|%Ix", static_cast<std::ptrdiff_t>(-1099511627776LL),
           static_cast<std::size_t>(1099511627776ULL), static_cast<std::size_t>(0xabcdef012ULL));
    logAny("h.cpp", 6, "%I32d|%I32u|%I32x", -5, 4294967295u, 0xabcu);
    logAny("h.cpp", 7, "%I64d|%I64u|%I64X", -9000000000LL, 18000000000000000000ULL, 0xabcdef0123ULL);
    logAny("h.cpp", 8, "%c|%C|%s|%S", 'c', L'C', "narrow", L"wide");
    logAny("h.cpp", 9, "%d|%u|%x|%X|%p|100%%", -42, 4294967295u, 0xabcdefu, 0xabcdefu, reinterpret_cast<void*>(0xabc));
    EXPECT_THAT(logMessages(),
                ElementsAre("4464|4464|h|narrow", "-70000|4000000000|l|wide", "-9000000000|18000000000000000000",
                            "w|C:\\a.pdf", "-1099511627776|1099511627776|abcdef012", "-5|4294967295|abc",
                            "-9000000000|18000000000000000000|ABCDEF0123", "c|C|narrow|wide",
                            "-42|4294967295|abcdef|ABCDEF|0000000000000ABC|100%"));
}

// A wide text before later conversions: each conversion takes its own value, also through
// logError's detail; with the log off, the same calls leave the host running and no trace.
TEST_F(TraceTest, AWideTextTakesItsOwnValueWithTheLogOnAndOff) {
    logAny("h.cpp", 3, "file=[%ws] code=[%d] name=[%s]", L"C:\\a.pdf", 42, "signer");
    logError("h.cpp", 4, "signPdf", KEST_E_PKCS12_INVALID, "file=[%ws] code=[%d]", L"C:\\a.pdf", 42);
    EXPECT_THAT(logMessages(), ElementsAre("file=[C:\\a.pdf] code=[42] name=[signer]",
                                           "signPdf() = 0x25000208 : file=[C:\\a.pdf] code=[42]"));
    DeleteFileA(logPath().c_str());

    setWriteLog("0");
    logAny("h.cpp", 3, "file=[%ws] code=[%d] name=[%s]", L"C:\\a.pdf", 42, "signer");
    logError("h.cpp", 4, "signPdf", KEST_E_PKCS12_INVALID, "file=[%ws] code=[%d] name=[%s]", L"C:\\a.pdf", 42,
             "signer");
    EXPECT_FALSE(fileExists(logPath()));
}

// Where the runtime before the Universal CRT (msvcrt.dll's, documented with Visual Studio 2013)
// and the Universal CRT of a current Visual Studio host document different results, the
// record is whatever our runtime writes, one terminated record that leaves the next intact.
TEST_F(TraceTest, ConversionsTheTwoRuntimesDocumentDifferentlyLeaveOneTerminatedRecord) {
    struct Difference {
        const char* format;
        const char* universalCrt;
        const char* msvcrt;
    };
    const Difference differences[] = {
        {"[%zu]", "size_t (Visual Studio 2015 on)", "no z prefix (Visual Studio 2012: not supported)"},
        {"[%hhd]", "char (Visual Studio 2015 on)", "no hh prefix (Visual Studio 2012: not supported)"},
        {"[%y]", "the invalid parameter handler, which ends the host", "y, copied unchanged (Visual Studio 2013)"},
    };
    for (const Difference& difference : differences) {
        logAny("h.cpp", 1, difference.format, std::size_t{300});
        logAny("h.cpp", 2, "after");
        std::printf("[ RUNTIMES ] %s: the Universal CRT documents %s; msvcrt.dll's runtime %s\n", difference.format,
                    difference.universalCrt, difference.msvcrt);
    }
    // A wide text that the runtime's "C" locale cannot convert (beyond Latin-1) ends the text.
    logAny("h.cpp", 3, "[%ws]", L"\x7f72\x540d");
    logAny("h.cpp", 4, "after");

    const std::vector<std::string> messages = logMessages();
    ASSERT_EQ(messages.size(), 8u);
    for (std::size_t index = 0; index < messages.size(); index += 2) {
        EXPECT_LE(messages[index].size(), 255u);
        EXPECT_EQ(messages[index].find('\0'), std::string::npos);
        EXPECT_EQ(messages[index].rfind('[', 0), 0u) << messages[index];
        EXPECT_EQ(messages[index + 1], "after");
    }
    // Documented for our runtime: an unknown type character is copied unchanged.
    EXPECT_EQ(messages[4], "[y]");
}

TEST_F(TraceTest, ShiftJisTextsPassThroughUnchanged) {
    // 表 (0x95 0x5C) carries a backslash byte; formatting must not touch it.
    logAny("unit.cpp", 1, "%s", "\x95\x5c\x83\x81");
    EXPECT_THAT(logMessages(), ElementsAre("\x95\x5c\x83\x81"));
}

TEST_F(TraceTest, EachExitWritesItsEndRecordAtItsOwnLine) {
    const std::string ini = installFile("KestEnv.ini");
    writeFileBytes(ini, "[S]\r\nnumber=12\r\ntext=abc\r\n");
    int number = 0;
    ASSERT_EQ(readIniInt(ini.c_str(), "S", "number", &number), KEST_OK);
    ASSERT_EQ(readIniInt(ini.c_str(), "S", "text", &number), KEST_E_SETTINGS_INVALID);
    ASSERT_EQ(readIniInt(ini.c_str(), "S", "missing", &number), KEST_E_SETTINGS_READ);

    // readIniInt's own records: per call a start, any error record, and an end.
    std::vector<LogRecord> own;
    for (const LogRecord& record : logRecords())
        if (record.message.rfind("readIniInt()", 0) == 0) own.push_back(record);
    std::vector<std::string> messages;
    for (const LogRecord& record : own) messages.push_back(record.message);
    ASSERT_THAT(messages,
                ElementsAre("readIniInt() start", "readIniInt() end", "readIniInt() start",
                            "readIniInt() = 0x25000104 : " + std::string(resultMessage(KEST_E_SETTINGS_INVALID)),
                            "readIniInt() end", "readIniInt() start",
                            "readIniInt() = 0x25000102 : readIniString() failed", "readIniInt() end"));
    const std::string& start = own[0].line;
    EXPECT_EQ(own[2].line, start);
    EXPECT_EQ(own[5].line, start);
    // Three exits, three end lines, none of them the start's; a failing exit ends where it
    // reported its failure.
    const std::string& success = own[1].line;
    const std::string& invalid = own[4].line;
    const std::string& missing = own[7].line;
    EXPECT_NE(success, start);
    EXPECT_NE(invalid, start);
    EXPECT_NE(missing, start);
    EXPECT_NE(success, invalid);
    EXPECT_NE(success, missing);
    EXPECT_NE(invalid, missing);
    EXPECT_EQ(invalid, own[3].line);
    EXPECT_EQ(missing, own[6].line);
}

TEST_F(TraceTest, WithLoggingOffNoCallLeavesATraceAndNoResultChanges) {
    writeFileBytes(installFile("KestEnv.ini"), "[S]\r\nnumber=12\r\n");
    const std::string ini = installFile("KestEnv.ini");
    const std::string data = installFile("data.bin");

    auto runAll = [&] {
        std::vector<std::string> results;
        logAny("unit.cpp", 1, "any");
        logError("unit.cpp", 1, "fn", 1u, "error");
        void* block = nullptr;
        results.push_back(std::to_string(allocMemory(16, &block)));
        freeMemory(block);
        freeMemory(nullptr);
        char path[MAX_PATH] = {};
        results.push_back(std::to_string(getIniFilePath(path)) + path);
        char value[64] = {};
        results.push_back(std::to_string(readIniString(ini.c_str(), "S", "number", value, sizeof value)) + value);
        results.push_back(std::to_string(readIniString(ini.c_str(), "S", "missing", value, sizeof value)));
        int number = 0;
        results.push_back(std::to_string(readIniInt(ini.c_str(), "S", "number", &number)) + "/" +
                          std::to_string(number));
        results.push_back(std::to_string(writeIniString(ini.c_str(), "S", "written", "v")));
        results.push_back(std::to_string(writeFile(data.c_str(), "12345", 5)));
        results.push_back(std::to_string(getFileSize(data.c_str())));
        char buffer[8] = {};
        results.push_back(std::to_string(readFile(data.c_str(), buffer, sizeof buffer)) + buffer);
        results.push_back(std::to_string(readFile(installFile("missing").c_str(), buffer, sizeof buffer)));
        return results;
    };

    const std::vector<std::string> withLog = runAll();
    ASSERT_FALSE(logMessages().empty());
    DeleteFileA(logPath().c_str());

    setWriteLog("0");
    const std::vector<std::string> withoutLog = runAll();
    EXPECT_EQ(withoutLog, withLog);
    EXPECT_FALSE(fileExists(logPath()));
    EXPECT_THAT(logMessages(), IsEmpty());
}

}  // namespace
}  // namespace kest::test
