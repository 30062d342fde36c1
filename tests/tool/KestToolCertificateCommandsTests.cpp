// kesttool's certificate commands (add-p12, list, list-p12, mark, unmark, remove, omit) as an
// integrator runs them on the sample installation: what each prints, its exit status, and what
// it leaves in the personal store and the settings file; and the answer to a mistyped command.
#include "KestOwners.h"
#include "KestToolProcess.h"
#include "LogFile.h"
#include "MyCertTestSupport.h"
#include "TestData.h"
#include "ToolTestData.h"

#include <gmock/gmock.h>
#include <nlohmann/json.hpp>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

namespace kest::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

// The samples' names (MyCertTestSupport.h) as the platform writes them, and their ids,
// "<serial>;<issuer>", spelled out: the tests check the form the tool prints.
const std::string kCa = "CN=Kest Test CA, O=Kest Test, C=JP";
const std::string kSigner = "CN=Kest Signer, O=Kest Test, C=JP";
const std::string kQuoted = R"(CN="Suzuki, Ichiro", OU="R&D ""Lab""", O=Kest Test, C=JP)";
const std::string kSignerId = "012a;" + kCa;
const std::string kQuotedId = "1001;" + kCa;
// The signer's row after its index: subject, issuer, serial, validity, padded to the widest.
const std::string kSignerRow = kSigner + "  " + kCa + "  012a    2024.01.05 00:00:00  2034.01.05 00:00:00";

constexpr char kPasswordVariable[] = "KEST_TEST_PKCS12_PASSWORD";
constexpr char kWorkaroundNote[] = "PFXVerifyPassword refuses right passwords";

std::size_t countOf(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

// "#  Subject ... Candidate", the columns as wide as their widest cell.
std::string header(const std::string& widestSubject) {
    return "#  Subject" + std::string(widestSubject.size() - 7, ' ') + "  Issuer" + std::string(kCa.size() - 6, ' ') +
           "  Serial  Valid from (UTC)     Valid to (UTC)       Candidate";
}

class CertificateCommandsTest : public PersonalStoreTest {
protected:
    CertificateCommandsTest() {
        writeFileBytes(installFile("KestEnv.ini"), "");
        SetEnvironmentVariableA(kPasswordVariable, "KestTest-2024");
    }
    ~CertificateCommandsTest() override { SetEnvironmentVariableA(kPasswordVariable, nullptr); }

    static std::string sample(const std::string& name) {
        return "\"" + testDataPath("mycert\\" + name) + "\" --password-env " + kPasswordVariable;
    }
    std::vector<std::string> settingsLines() const { return linesOf(readFileBytes(installFile("KestEnv.ini"))); }
    // The list index the tool gives the certificate of that subject.
    static std::string indexOf(const ToolRun& list, const std::string& subject) {
        for (const std::string& line : linesOf(list.out))
            if (line.find("  " + subject + "  ") != std::string::npos) return line.substr(0, line.find(' '));
        ADD_FAILURE() << subject << " not in " << list.out;
        return "?";
    }
    // The tool notes its stand-in for Wine's PFXVerifyPassword once per PKCS#12 command.
    static std::size_t notesExpected() { return platformPfxVerifyPasswordWorks() ? 0 : 1; }
};

TEST_F(CertificateCommandsTest, AddedCertificatesAreListedMarkedByIdOrIndexAndRemoved) {
    const ToolRun signer = runKestTool("add-p12 " + sample("signer.p12"));
    EXPECT_EQ(signer.exitCode, 0u) << signer.err;
    EXPECT_EQ(signer.out, "added 1: " + kSigner + " (" + kSignerId + ")\n");
    EXPECT_EQ(countOf(signer.err, kWorkaroundNote), notesExpected());
    const ToolRun quoted = runKestTool("add-p12 " + sample("quoted.p12"));
    EXPECT_EQ(quoted.out, "added 1: " + kQuoted + " (" + kQuotedId + ")\n");
    EXPECT_EQ(countCertsInStore(), 2u);

    const ToolRun list = runKestTool("list");
    EXPECT_EQ(list.exitCode, 0u) << list.err;
    const std::vector<std::string> rows = linesOf(list.out);
    ASSERT_EQ(rows.size(), 3u) << list.out;
    EXPECT_EQ(rows[0], header(kQuoted));
    for (const std::string& row : rows) {
        EXPECT_NE(row.back(), '*') << "marked before any mark: " << row;
        EXPECT_NE(row.back(), ' ') << "trailing blanks: " << row;
    }

    const std::string signerIndex = indexOf(list, kSigner);
    const std::string quotedIndex = indexOf(list, kQuoted);
    EXPECT_EQ(runKestTool("mark \"" + kSignerId + "\"").out,
              "marked " + signerIndex + ": " + kSigner + " (" + kSignerId + ")\n");
    EXPECT_EQ(runKestTool("mark " + quotedIndex).out,
              "marked " + quotedIndex + ": " + kQuoted + " (" + kQuotedId + ")\n");
    const std::string first = signerIndex < quotedIndex ? kSignerId : kQuotedId;
    const std::string second = signerIndex < quotedIndex ? kQuotedId : kSignerId;
    EXPECT_THAT(settingsLines(),
                ElementsAre("[MyCertificate]\r", "CertId_0000=" + first + "\r", "CertId_0001=" + second + "\r"));

    // The JSON's texts come back whole through a parser, the quoted subject's quotes included.
    const nlohmann::json json = nlohmann::json::parse(runKestTool("list --json").out);
    ASSERT_EQ(json.size(), 2u);
    for (const nlohmann::json& certificate : json) {
        EXPECT_TRUE(certificate["candidate"].get<bool>());
        EXPECT_EQ(certificate["id"], certificate["subject"] == kQuoted ? kQuotedId : kSignerId);
    }
    EXPECT_TRUE(json[0]["subject"] == kQuoted || json[1]["subject"] == kQuoted) << json.dump();

    const ToolRun p12 = runKestTool("list-p12 " + sample("signer.p12"));
    EXPECT_EQ(p12.exitCode, 0u) << p12.err;
    EXPECT_THAT(linesOf(p12.out), ElementsAre(header(kSigner), "1  " + kSignerRow + "  *"));
    EXPECT_EQ(countOf(p12.err, kWorkaroundNote), notesExpected());

    // While another program holds the settings file, nothing is saved, and nothing says it was.
    {
        const kest::UniqueFileHandle held{CreateFileA(installFile("KestEnv.ini").c_str(), GENERIC_READ, 0, nullptr,
                                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)};
        ASSERT_TRUE(held);
        const ToolRun refused = runKestTool("unmark " + signerIndex + " " + quotedIndex);
        EXPECT_EQ(refused.exitCode, 1u);
        EXPECT_EQ(refused.out, "");
        EXPECT_THAT(refused.err, HasSubstr("readIniSignerCertCandidate failed: 0x25000102"));
    }
    EXPECT_THAT(settingsLines(),
                ElementsAre("[MyCertificate]\r", "CertId_0000=" + first + "\r", "CertId_0001=" + second + "\r"));
    EXPECT_EQ(runKestTool("unmark \"" + kQuotedId + "\"").out,
              "unmarked " + quotedIndex + ": " + kQuoted + " (" + kQuotedId + ")\n");
    EXPECT_EQ(runKestTool("remove \"" + kQuotedId + "\"").out,
              "removed " + quotedIndex + ": " + kQuoted + " (" + kQuotedId + ")\n");
    EXPECT_THAT(linesOf(runKestTool("list").out), ElementsAre(header(kSigner), "1  " + kSignerRow + "  *"));

    // The signer goes while still a candidate: its stored id is unmarked by name alone.
    EXPECT_EQ(runKestTool("remove 1").out, "removed 1: " + kSigner + " (" + kSignerId + ")\n");
    EXPECT_EQ(countCertsInStore(), 0u);
    EXPECT_EQ(runKestTool("unmark \"" + kSignerId + "\"").out,
              "unmarked " + kSignerId + ", which no certificate of the personal store's list carries\n");
    // Emptied, not taken out: the keys stay in the file with an empty value.
    EXPECT_THAT(settingsLines(), ElementsAre("[MyCertificate]\r", "CertId_0000=\r", "CertId_0001=\r"));
}

// Japanese subjects whose Shift_JIS holds trail bytes 0x5C, after lead bytes of both ranges:
// the table and the JSON give the UTF-8 of the platform's own name text (the records hold the
// active code page's), the self-signed issuer and the id alike.
TEST_F(CertificateCommandsTest, JapaneseNamesAreListedAsTheUtf8OfThePlatformsNameText) {
    constexpr SYSTEMTIME kFrom{2024, 1, 0, 5, 0, 0, 0, 0};
    constexpr SYSTEMTIME kTo{2034, 1, 0, 5, 0, 0, 0, 0};
    std::vector<std::string> platformTexts;
    std::vector<std::string> subjects;
    for (const JapaneseName& name : kJapaneseNames) {
        const UniqueCertContext made =
            addKeyedCertificate(u8"C=JP, O=Kest Test, CN=" + std::string(name.utf8), kFrom, kTo);
        const std::string platform = platformNameText(made->pCertInfo->Subject);
        ASSERT_THAT(platform, HasSubstr(name.shiftJis));
        platformTexts.push_back(platform);
        subjects.push_back(ansiToUtf8(platform));
    }

    const ToolRun json = runKestTool("list --json");
    EXPECT_EQ(json.exitCode, 0u) << json.err;
    const nlohmann::json listed = nlohmann::json::parse(json.out);
    ASSERT_EQ(listed.size(), subjects.size()) << json.out;
    for (const nlohmann::json& certificate : listed) {
        const std::string subject = certificate["subject"];
        EXPECT_THAT(subjects, ::testing::Contains(subject)) << json.out;
        EXPECT_EQ(certificate["issuer"], subject);
        EXPECT_EQ(certificate["id"], certificate["serial"].get<std::string>() + ";" + subject);
    }

    // Columns as wide as their widest cell on a console: a character of two bytes in Shift_JIS
    // takes two columns there.
    const ToolRun table = runKestTool("list");
    EXPECT_EQ(table.exitCode, 0u) << table.err;
    std::size_t widest = 0;
    for (const std::string& platform : platformTexts) widest = std::max(widest, platform.size());
    for (std::size_t i = 0; i < subjects.size(); ++i) {
        const std::string cell = subjects[i] + std::string(widest - platformTexts[i].size(), ' ');
        EXPECT_THAT(table.out, HasSubstr("  " + cell + "  " + cell + "  ")) << table.out;
    }
}

TEST_F(CertificateCommandsTest, ACertificateNoArgumentNamesAndAWrongPasswordFailWithExitStatus1) {
    const ToolRun remove = runKestTool("remove 1");
    EXPECT_EQ(remove.exitCode, 1u);
    EXPECT_EQ(remove.err, "kesttool: no certificate 1 in the personal store's list\n");
    const ToolRun mark = runKestTool("mark \"" + kSignerId + "\"");
    EXPECT_EQ(mark.exitCode, 1u);
    EXPECT_EQ(mark.err, "kesttool: no certificate " + kSignerId + " in the personal store's list\n");

    SetEnvironmentVariableA(kPasswordVariable, "not-the-password");
    const ToolRun wrong = runKestTool("list-p12 " + sample("signer.p12"));
    EXPECT_EQ(wrong.exitCode, 1u);
    EXPECT_EQ(wrong.out, "");
    EXPECT_THAT(wrong.err, HasSubstr(u8"kesttool: createMyCertListInPkcs12Store failed: 0x25000209 "
                                     u8"PKCS#12形式データのパスワードに誤りがあります。\n"));
}

TEST_F(CertificateCommandsTest, OmitSetsShowsAndClearsTheFlagOfTheSettingsFile) {
    EXPECT_EQ(runKestTool("omit set").exitCode, 0u);
    EXPECT_EQ(runKestTool("omit show").out, "OmitSelectCert=1: the certificate choice is skipped\n");
    EXPECT_THAT(settingsLines(), ElementsAre("[MyCertificate]\r", "OmitSelectCert=1\r"));
    EXPECT_EQ(runKestTool("omit clear").out, "OmitSelectCert=0: the certificate choice is shown\n");
    EXPECT_EQ(runKestTool("omit show").out, "OmitSelectCert=0: the certificate choice is shown\n");
    // Held by another program: the write fails and the tool says so, naming no flag it did not store.
    const kest::UniqueFileHandle held{CreateFileA(installFile("KestEnv.ini").c_str(), GENERIC_READ, 0, nullptr,
                                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)};
    ASSERT_TRUE(held);
    const ToolRun refused = runKestTool("omit set");
    EXPECT_EQ(refused.exitCode, 1u);
    EXPECT_EQ(refused.out, "");
    EXPECT_THAT(refused.err, HasSubstr("writeIniOmitSelectCert failed: 0x25000103"));
}

// As git answers: the nearest command and where to read on, not the whole usage.
TEST(KestToolCommandLineRun, AMistypedCommandGetsTheNearestOneAndWhereToReadOn) {
    const ToolRun mistyped = runKestTool("lst");
    EXPECT_EQ(mistyped.exitCode, 2u);
    EXPECT_EQ(mistyped.out, "");
    EXPECT_EQ(mistyped.err, "kesttool: unknown command lst; did you mean list?\nkesttool --help lists the commands.\n");
}

}  // namespace
}  // namespace kest::test
