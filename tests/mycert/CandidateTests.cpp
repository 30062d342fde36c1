#include "KestMyCert.h"

#include "MyCertTestSupport.h"

#include <gmock/gmock.h>

#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <deque>
#include <string>
#include <vector>

namespace kest::test {
namespace {

using ::testing::Each;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::Not;

constexpr char kSection[] = "MyCertificate";
constexpr char kMissing[] = "<missing>";

std::string serialText(const CRYPT_INTEGER_BLOB& serial) {
    std::string text;
    for (DWORD index = serial.cbData; index > 0; --index) {
        char digits[3];
        std::snprintf(digits, sizeof digits, "%02x", serial.pbData[index - 1]);
        text += digits;
    }
    return text;
}

// Records made by the test, in the layout the host reads, linked in the order added. They
// never go to deleteMyCertList: the test owns their texts.
class RecordChain {
public:
    MyCert* add(const std::string& serialHex, const std::string& issuer) {
        Entry& entry = entries_.emplace_back();
        entry.serialHex = serialHex;
        entry.issuer = issuer;
        entry.record.serialHex = entry.serialHex.data();
        entry.record.issuer = entry.issuer.data();
        if (entries_.size() > 1) entries_[entries_.size() - 2].record.next = &entry.record;
        return &entry.record;
    }
    // A record with the serial number and issuer of a test certificate.
    MyCert* addCertificate(const std::string& derName) {
        const CertContextPtr cert = loadCertificate(derName);
        return add(serialText(cert->pCertInfo->SerialNumber), platformNameText(cert->pCertInfo->Issuer));
    }
    MyCert* head() noexcept { return entries_.empty() ? nullptr : &entries_.front().record; }

private:
    struct Entry {
        std::string serialHex;
        std::string issuer;
        MyCert record{};
    };
    std::deque<Entry> entries_;
};

std::string certId(const MyCert* record) { return std::string(record->serialHex) + ";" + record->issuer; }

std::string candidateKey(unsigned index) {
    char key[32];
    std::snprintf(key, sizeof key, "CertId_%04u", index);
    return key;
}

using ListPtr = UniqueMyCertList;

class CandidateTest : public ::testing::Test, protected SampleInstallation {
protected:
    std::string settingsFile() const { return installFile("KestEnv.ini"); }
    const char* file() {
        file_ = settingsFile();
        return file_.c_str();
    }

    void writeSettings(const std::string& text) const { writeFileBytes(settingsFile(), text); }
    // Stores ids under CertId_0000, CertId_0001, ... through the platform.
    void storeIds(const std::vector<std::string>& ids) const {
        for (unsigned index = 0; index < ids.size(); ++index) storeValue(candidateKey(index), ids[index]);
    }
    void storeValue(const std::string& key, const std::string& value) const {
        ASSERT_TRUE(WritePrivateProfileStringA(kSection, key.c_str(), value.c_str(), settingsFile().c_str()));
    }
    std::string storedValue(const std::string& key) const {
        std::vector<char> value(4096);
        GetPrivateProfileStringA(kSection, key.c_str(), kMissing, value.data(), static_cast<DWORD>(value.size()),
                                 settingsFile().c_str());
        return value.data();
    }
    // "key=value" lines of the section, in file order.
    std::vector<std::string> sectionLines() const {
        std::vector<char> buffer(32768);
        const DWORD length = GetPrivateProfileSectionA(kSection, buffer.data(), static_cast<DWORD>(buffer.size()),
                                                       settingsFile().c_str());
        std::vector<std::string> lines;
        for (DWORD at = 0; at < length;) {
            lines.emplace_back(buffer.data() + at);
            at += static_cast<DWORD>(lines.back().size()) + 1;
        }
        return lines;
    }
    // "<source unit>|<message>" of every record, in order.
    std::vector<std::string> unitsAndMessages() const {
        std::vector<std::string> records;
        for (const LogRecord& record : logRecords()) records.push_back(record.sourceFile + "|" + record.message);
        return records;
    }
    std::vector<std::string> errorMessages() const {
        std::vector<std::string> errors;
        for (const std::string& message : logMessages())
            if (message.find("() = 0x") != std::string::npos) errors.push_back(message);
        return errors;
    }
    unsigned countMessages(const std::string& wanted) const {
        unsigned count = 0;
        for (const std::string& message : logMessages()) count += message == wanted;
        return count;
    }

    RecordChain chain_;

private:
    std::string file_;
};

// --- reading candidates --------------------------------------------------------------------

TEST_F(CandidateTest, ReadingStopsAtTheFirstMissingOrEmptyKey) {
    MyCert* signer = chain_.addCertificate("signer.der");
    MyCert* quoted = chain_.addCertificate("quoted.der");
    MyCert* twin = chain_.addCertificate("twin-a.der");
    storeValue("CertId_0000", certId(signer));
    storeValue("CertId_0002", certId(quoted));
    int count = -1;
    ASSERT_EQ(readIniSignerCertCandidate(file(), chain_.head(), &count), KEST_OK);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(signer->candidate, 1);
    EXPECT_EQ(quoted->candidate, 0);

    storeValue("CertId_0001", "");
    storeValue("CertId_0003", certId(twin));
    ASSERT_EQ(readIniSignerCertCandidate(file(), chain_.head(), &count), KEST_OK);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(quoted->candidate, 0);
    EXPECT_EQ(twin->candidate, 0);
}

TEST_F(CandidateTest, UnknownIdsAreSkippedSilentlyAndUnstoredRecordsKeepTheirFlag) {
    MyCert* signer = chain_.addCertificate("signer.der");
    MyCert* quoted = chain_.addCertificate("quoted.der");
    quoted->candidate = 1;
    storeIds({"ff;CN=Nobody", certId(signer), std::string(signer->serialHex) + ";cn=kest test ca, o=kest test, c=jp"});
    int count = -1;
    ASSERT_EQ(readIniSignerCertCandidate(file(), chain_.head(), &count), KEST_OK);
    EXPECT_EQ(count, 1) << "ids compare case-sensitively";
    EXPECT_EQ(signer->candidate, 1);
    EXPECT_EQ(quoted->candidate, 1);
    EXPECT_THAT(errorMessages(), ElementsAre());
}

TEST_F(CandidateTest, AMissingSettingsFileGivesNoCandidates) {
    chain_.addCertificate("signer.der");
    int count = -1;
    EXPECT_EQ(readIniSignerCertCandidate(installFile("absent.ini").c_str(), chain_.head(), &count), KEST_OK);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(chain_.head()->candidate, 0);
}

TEST_F(CandidateTest, AnIdOfTwoRecordsMarksOnlyTheLaterAndCountsOnce) {
    MyCert* twinA = chain_.addCertificate("twin-a.der");
    chain_.addCertificate("signer.der");
    MyCert* twinB = chain_.addCertificate("twin-b.der");
    ASSERT_EQ(certId(twinA), certId(twinB));
    storeIds({certId(twinA)});
    int count = -1;
    ASSERT_EQ(readIniSignerCertCandidate(file(), chain_.head(), &count), KEST_OK);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(twinA->candidate, 0);
    EXPECT_EQ(twinB->candidate, 1);
}

TEST_F(CandidateTest, TheSameIdUnderTwoKeysMarksOneRecordAndCountsTwice) {
    chain_.addCertificate("quoted.der");
    MyCert* signer = chain_.addCertificate("signer.der");
    storeIds({certId(signer), certId(signer)});
    int count = -1;
    ASSERT_EQ(readIniSignerCertCandidate(file(), chain_.head(), &count), KEST_OK);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(chain_.head()->candidate, 0);
    EXPECT_EQ(signer->candidate, 1);
}

// --- writing candidates --------------------------------------------------------------------

TEST_F(CandidateTest, TwoWrittenOverFiveLeaveThreeEmptyKeysAndReadBackAsTwo) {
    storeIds({"old0;CN=A", "old1;CN=B", "old2;CN=C", "old3;CN=D", "old4;CN=E"});
    MyCert* signer = chain_.addCertificate("signer.der");
    chain_.addCertificate("quoted.der");
    MyCert* twin = chain_.addCertificate("twin-a.der");
    signer->candidate = 1;
    twin->candidate = 1;

    ASSERT_EQ(writeIniSignerCertCandidate(file(), chain_.head()), KEST_OK);
    EXPECT_THAT(sectionLines(), ElementsAre("CertId_0000=" + certId(signer), "CertId_0001=" + certId(twin),
                                            "CertId_0002=", "CertId_0003=", "CertId_0004="));

    RecordChain later;
    MyCert* laterSigner = later.addCertificate("signer.der");
    MyCert* laterQuoted = later.addCertificate("quoted.der");
    MyCert* laterTwin = later.addCertificate("twin-a.der");
    int count = -1;
    ASSERT_EQ(readIniSignerCertCandidate(file(), later.head(), &count), KEST_OK);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(laterSigner->candidate, 1);
    EXPECT_EQ(laterQuoted->candidate, 0);
    EXPECT_EQ(laterTwin->candidate, 1);
}

TEST_F(CandidateTest, AListWithoutCandidatesClearsEveryStoredIdAndWritesNothingElse) {
    writeSettings("[Other]\r\nCertId_0000=kept\r\n[MyCertificate]\r\nOmitSelectCert=1\r\n");
    storeIds({"old0;CN=A", "old1;CN=B", "old2;CN=C"});
    storeValue("CertId_0004", "beyond;CN=Gap");
    chain_.addCertificate("signer.der");
    chain_.addCertificate("quoted.der");

    ASSERT_EQ(writeIniSignerCertCandidate(file(), chain_.head()), KEST_OK);
    EXPECT_THAT(
        sectionLines(),
        ElementsAre("OmitSelectCert=1", "CertId_0000=", "CertId_0001=", "CertId_0002=", "CertId_0004=beyond;CN=Gap"));
    char other[64];
    GetPrivateProfileStringA("Other", "CertId_0000", "", other, sizeof other, settingsFile().c_str());
    EXPECT_STREQ(other, "kept");
    EXPECT_EQ(countMessages("writeIniString() start"), 3u);
}

TEST_F(CandidateTest, AnEmptyListWithoutStoredIdsWritesNothing) {
    ASSERT_EQ(writeIniSignerCertCandidate(file(), nullptr), KEST_OK);
    EXPECT_EQ(GetFileAttributesA(settingsFile().c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_THAT(logMessages(), ElementsAre("writeIniSignerCertCandidate() start", "writeIniSignerCertCandidate() end"));
}

// The real writeIniString for the first `gWritesAllowed` calls, then a refusal.
using WriteIniString = ResultCode (*)(const char*, const char*, const char*, const char*);
WriteIniString gRealWriteIniString = nullptr;
unsigned gWritesAllowed = 0;
ResultCode refusingWriteIniString(const char* file, const char* section, const char* key, const char* value) {
    if (gWritesAllowed == 0) return KEST_E_SETTINGS_WRITE;
    --gWritesAllowed;
    return gRealWriteIniString(file, section, key, value);
}

class RefusedWriteTest : public CandidateTest {
protected:
    // writeIniString is KestCommon.dll's ordinal 6, which KestMyCert.dll imports by ordinal.
    static constexpr WORD kWriteIniStringOrdinal = 6;
    RefusedWriteTest() {
        gWritesAllowed = 0;
        gRealWriteIniString = patch_.original<WriteIniString>();
    }
    void allowWrites(unsigned writes) { gWritesAllowed = writes; }

private:
    const ImportPatch patch_{"KestMyCert.dll", "KestCommon.dll", kWriteIniStringOrdinal,
                             reinterpret_cast<const void*>(&refusingWriteIniString)};
};

TEST_F(RefusedWriteTest, AFailedCandidateWriteReturnsItsCodeAndKeepsTheKeysWrittenBefore) {
    storeIds({"old0;CN=A", "old1;CN=B", "old2;CN=C"});
    MyCert* signer = chain_.addCertificate("signer.der");
    MyCert* quoted = chain_.addCertificate("quoted.der");
    signer->candidate = 1;
    quoted->candidate = 1;
    allowWrites(1);

    EXPECT_EQ(writeIniSignerCertCandidate(file(), chain_.head()), KEST_E_SETTINGS_WRITE);
    EXPECT_THAT(sectionLines(),
                ElementsAre("CertId_0000=" + certId(signer), "CertId_0001=old1;CN=B", "CertId_0002=old2;CN=C"));
    EXPECT_THAT(errorMessages(), ElementsAre("writeIniSignerCertCandidate() = 0x25000103 : writeIniString() failed"));
}

TEST_F(RefusedWriteTest, AFailedWriteWhileClearingOlderIdsReturnsItsCode) {
    storeIds({"old0;CN=A", "old1;CN=B"});
    MyCert* signer = chain_.addCertificate("signer.der");
    signer->candidate = 1;
    allowWrites(1);

    EXPECT_EQ(writeIniSignerCertCandidate(file(), chain_.head()), KEST_E_SETTINGS_WRITE);
    EXPECT_THAT(sectionLines(), ElementsAre("CertId_0000=" + certId(signer), "CertId_0001=old1;CN=B"));
    EXPECT_THAT(errorMessages(), ElementsAre("writeIniSignerCertCandidate() = 0x25000103 : writeIniString() failed"));
}

// Another program (a backup or sync client, an editor) holds the settings file and lets no one
// read it: neither the read nor the save may pass for one that found or changed nothing.
TEST_F(CandidateTest, ASettingsFileHeldByAnotherProgramFailsTheReadAndTheSaveAndChangesNothing) {
    MyCert* signer = chain_.addCertificate("signer.der");
    storeIds({certId(signer)});
    const std::string before = readFileBytes(settingsFile());
    {
        const kest::UniqueFileHandle held{CreateFileA(settingsFile().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)};
        ASSERT_TRUE(held) << GetLastError();
        int count = -1;
        EXPECT_EQ(readIniSignerCertCandidate(file(), chain_.head(), &count), KEST_E_SETTINGS_READ);
        EXPECT_EQ(count, -1);
        EXPECT_EQ(signer->candidate, 0);
        // Unmarking everything.
        EXPECT_NE(writeIniSignerCertCandidate(file(), chain_.head()), KEST_OK);
        EXPECT_THAT(errorMessages(), Each(HasSubstr("CreateFileA() failed (0x00000020)")));
        EXPECT_EQ(errorMessages().size(), 2u);
    }
    EXPECT_EQ(readFileBytes(settingsFile()), before);
    int count = -1;
    EXPECT_EQ(readIniSignerCertCandidate(file(), chain_.head(), &count), KEST_OK);
    EXPECT_EQ(count, 1);
}

TEST_F(RefusedWriteTest, AFailedFlagWriteReturnsItsCode) {
    EXPECT_EQ(writeIniOmitSelectCert(file(), 1), KEST_E_SETTINGS_WRITE);
    EXPECT_EQ(storedValue("OmitSelectCert"), kMissing);
    EXPECT_THAT(logMessages(), ElementsAre("writeIniOmitSelectCert() start",
                                           "writeIniOmitSelectCert() = 0x25000103 : writeIniString() failed",
                                           "writeIniOmitSelectCert() end"));
}

// --- ids too long for the id buffer ---------------------------------------------------------

// Serial "01", ';' and an issuer of this many bytes make an id of issuerLength + 3 bytes.
std::string issuerOfLength(std::size_t length) { return "CN=" + std::string(length - 3, 'x'); }

TEST_F(CandidateTest, TheLongestIdThatFitsIsWrittenAndFoundAgain) {
    MyCert* longest = chain_.add("01", issuerOfLength(2044));
    ASSERT_EQ(certId(longest).size(), 2047u);
    longest->candidate = 1;
    ASSERT_EQ(writeIniSignerCertCandidate(file(), chain_.head()), KEST_OK);
    EXPECT_EQ(storedValue("CertId_0000"), certId(longest));

    longest->candidate = 0;
    int count = -1;
    ASSERT_EQ(readIniSignerCertCandidate(file(), chain_.head(), &count), KEST_OK);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(longest->candidate, 1);
    EXPECT_EQ(findMyCert(chain_.head(), longest), longest);
}

TEST_F(CandidateTest, ARecordWhoseIdDoesNotFitHasNoIdAndIsNeverWrittenNorFound) {
    MyCert* tooLong = chain_.add("01", issuerOfLength(2045));
    ASSERT_EQ(certId(tooLong).size(), 2048u);
    EXPECT_EQ(findMyCert(chain_.head(), tooLong), nullptr);

    // The stored text cut to the buffer must not match the record either.
    storeIds({certId(tooLong).substr(0, 2047)});
    int count = -1;
    ASSERT_EQ(readIniSignerCertCandidate(file(), chain_.head(), &count), KEST_OK);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(tooLong->candidate, 0);
}

// Ids the settings file cannot hold as one value: left out, the others written, the save
// failed with the code of a value that could not be written. A line break would end the value
// and write the rest of the name as lines of the file.
TEST_F(CandidateTest, ACandidateWhoseIdCannotBeStoredIsLeftOutAndTheSaveSaysSo) {
    const std::string unstorable[] = {issuerOfLength(2045), "O=\"x\nOmitSelectCert=1\nz\"",
                                      "O=\"x\r\n[Injected]\r\nKey=1\"", "O=\"x\rOmitSelectCert=1\""};
    for (const std::string& issuer : unstorable) {
        SCOPED_TRACE(issuer.size() > 40 ? issuer.substr(0, 40) + "..." : issuer);
        writeSettings("[MyCertificate]\r\nCertId_0000=old0;CN=A\r\nCertId_0001=old1;CN=B\r\n");
        RecordChain chain;
        MyCert* named = chain.add("01", issuer);
        MyCert* signer = chain.addCertificate("signer.der");
        named->candidate = 1;
        signer->candidate = 1;
        EXPECT_EQ(writeIniSignerCertCandidate(file(), chain.head()), KEST_E_SETTINGS_WRITE);
        EXPECT_THAT(sectionLines(), ElementsAre("CertId_0000=" + certId(signer), "CertId_0001="));
        const std::string bytes = readFileBytes(settingsFile());
        EXPECT_THAT(bytes, Not(HasSubstr("OmitSelectCert")));
        EXPECT_THAT(bytes, Not(HasSubstr("Injected")));
        EXPECT_EQ(countMessages(
                      "writeIniSignerCertCandidate() = 0x25000103 : 環境設定ファイルへの値の書き込みに失敗しました。"),
                  1u);
        // Another list made from the same certificate still finds it.
        RecordChain other;
        MyCert* again = other.add("01", issuer);
        EXPECT_EQ(findMyCert(chain.head(), again), issuer.size() > 2000 ? nullptr : named);
        DeleteFileA(logPath().c_str());
    }
}

// --- findMyCert ---------------------------------------------------------------------------

class FindAcrossListsTest : public PersonalStoreTest {
protected:
    const WorkingPfxVerifyPassword verifyPassword_;
};

TEST_F(FindAcrossListsTest, ARecordOfAnotherListFindsThisListsRecordOfTheSameCertificate) {
    addPkcs12ToPersonalStore("quoted.p12");
    addPkcs12ToPersonalStore("signer.p12");
    MyCert* storeHead = nullptr;
    ASSERT_EQ(createMyCertList(&storeHead), KEST_OK);
    const ListPtr storeList{storeHead};
    ASSERT_EQ(countMyCertList(storeHead), 2u);

    const std::vector<BYTE> data = readTestData("signer.p12");
    MyCert* fileHead = nullptr;
    ASSERT_EQ(createMyCertListInPkcs12Store(data.data(), static_cast<DWORD>(data.size()), kPkcs12Password, &fileHead),
              KEST_OK);
    const ListPtr fileList{fileHead};
    ASSERT_EQ(countMyCertList(fileHead), 1u);

    EXPECT_EQ(findMyCert(storeHead, fileHead), storeHead->next);
    EXPECT_EQ(findMyCert(fileHead, storeHead->next), fileHead);
    EXPECT_EQ(findMyCert(fileHead, storeHead), nullptr);
    EXPECT_EQ(findMyCert(nullptr, fileHead), nullptr);
}

// --- the omit-selection flag ----------------------------------------------------------------

struct OmitValue {
    const char* text;
    int read;
};

void PrintTo(const OmitValue& value, std::ostream* out) { *out << value.text; }

class AcceptedOmitTest : public CandidateTest, public ::testing::WithParamInterface<OmitValue> {};

TEST_P(AcceptedOmitTest, IsStoredAndSucceeds) {
    writeSettings(std::string("[MyCertificate]\r\nOmitSelectCert=") + GetParam().text + "\r\n");
    int omit = 7;
    EXPECT_EQ(readIniOmitSelectCert(file(), &omit), KEST_OK);
    EXPECT_EQ(omit, GetParam().read);
    EXPECT_THAT(errorMessages(), ElementsAre());
}

INSTANTIATE_TEST_SUITE_P(OmitValues, AcceptedOmitTest,
                         ::testing::Values(OmitValue{"0", 0}, OmitValue{"1", 1}, OmitValue{"1.5", 1}));

class RejectedOmitTest : public CandidateTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(RejectedOmitTest, GivesItsCodeAndLeavesTheFlagUntouched) {
    writeSettings(std::string("[MyCertificate]\r\nOmitSelectCert=") + GetParam() + "\r\n");
    int omit = 7;
    EXPECT_EQ(readIniOmitSelectCert(file(), &omit), KEST_E_OMIT_SELECT_INVALID);
    EXPECT_EQ(omit, 7);
    EXPECT_THAT(unitsAndMessages(),
                ElementsAre("KestMyCertManager.cpp|readIniOmitSelectCert() start",
                            "KestCommonUtil.cpp|readIniInt() start", "KestCommonUtil.cpp|readIniString() start",
                            "KestCommonUtil.cpp|readIniString() end", "KestCommonUtil.cpp|readIniInt() end",
                            "KestMyCertManager.cpp|readIniOmitSelectCert() = 0x25000105 : "
                            "環境設定ファイルの[MyCertificate] - OmitSelectCert の値が不正です。",
                            "KestMyCertManager.cpp|readIniOmitSelectCert() end"));
}

INSTANTIATE_TEST_SUITE_P(OmitValues, RejectedOmitTest, ::testing::Values("2", "-1", "2147483647"));

TEST_F(CandidateTest, AMissingFlagPassesTheReadFailureUpWithTheseRecords) {
    writeSettings("[MyCertificate]\r\nCertId_0000=x\r\n");
    int omit = 7;
    EXPECT_EQ(readIniOmitSelectCert(file(), &omit), KEST_E_SETTINGS_READ);
    EXPECT_EQ(omit, 7);
    EXPECT_THAT(unitsAndMessages(),
                ElementsAre("KestMyCertManager.cpp|readIniOmitSelectCert() start",
                            "KestCommonUtil.cpp|readIniInt() start", "KestCommonUtil.cpp|readIniString() start",
                            "KestCommonUtil.cpp|readIniString() = 0x25000102 : "
                            "環境設定ファイルからの値の読み込みに失敗しました。 : [MyCertificate] - OmitSelectCert)",
                            "KestCommonUtil.cpp|readIniString() end",
                            "KestCommonUtil.cpp|readIniInt() = 0x25000102 : readIniString() failed",
                            "KestCommonUtil.cpp|readIniInt() end",
                            "KestMyCertManager.cpp|readIniOmitSelectCert() = 0x25000102 : readIniInt() failed",
                            "KestMyCertManager.cpp|readIniOmitSelectCert() end"));
}

TEST_F(CandidateTest, TheFlagIsWrittenAsOneOrZero) {
    ASSERT_EQ(writeIniOmitSelectCert(file(), 1), KEST_OK);
    EXPECT_EQ(storedValue("OmitSelectCert"), "1");
    ASSERT_EQ(writeIniOmitSelectCert(file(), 0), KEST_OK);
    EXPECT_EQ(storedValue("OmitSelectCert"), "0");
    ASSERT_EQ(writeIniOmitSelectCert(file(), -5), KEST_OK);
    EXPECT_EQ(storedValue("OmitSelectCert"), "1");
    int omit = 7;
    ASSERT_EQ(readIniOmitSelectCert(file(), &omit), KEST_OK);
    EXPECT_EQ(omit, 1);
}

}  // namespace
}  // namespace kest::test
