// Texts at and beyond the bounds of the fixed buffers: paths of 259, 260 and 261 bytes for
// the log, the settings file and the catalogue, line numbers of five digits and more, a
// 64 KiB log message and certificate names of several KiB.
#include "ErrorBoxTest.h"
#include "KestCommon.h"
#include "KestLog.h"
#include "KestMyCert.h"
#include "MyCertTestSupport.h"
#include "Reliability.h"

#include <gmock/gmock.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

namespace kest::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr char kSettingsFileName[] = "KestEnv.ini";
constexpr char kCatalogueFileName[] = "KestErr.csv";

// A directory under base whose path is exactly `length` bytes, made of nested folders so that
// no single name exceeds the file system's limit. Throws if a folder cannot be made.
std::string directoryOfLength(const std::string& base, std::size_t length) {
    constexpr std::size_t kLongestName = 100;
    if (length < base.size() + 2) throw std::logic_error("base too long");
    std::string path = base;
    while (path.size() < length) {
        std::size_t name = std::min(kLongestName, length - path.size() - 1);
        // Leave no room that only a separator would fill.
        if (length - path.size() - 1 - name == 1) --name;
        path += "\\" + std::string(name, 'd');
        if (!CreateDirectoryA(path.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
            throw std::runtime_error("cannot make a folder of " + std::to_string(path.size()) + " bytes, error " +
                                     std::to_string(GetLastError()));
    }
    return path;
}

// A file path of exactly `length` bytes ending in "\name".
std::string filePathOfLength(const std::string& base, std::size_t length, const std::string& name) {
    return directoryOfLength(base, length - name.size() - 1) + "\\" + name;
}

// --- the log ----------------------------------------------------------------------------

class LongLogTextTest : public InstallationTest {
protected:
    // A short base: the temporary folder is deep already on some machines.
    TemporaryDirectory base_{"-log"};
};

TEST_F(LongLogTextTest, LogPathsUpTo260BytesAreWrittenLongerOnesAreDropped) {
    for (std::size_t length : {259u, 260u}) {
        SCOPED_TRACE(length);
        setLogPath(filePathOfLength(base_.path(), length, "kest.log"));
        ASSERT_EQ(logPath().size(), length);
        Log("unit.cpp", 1, "at the bound");
        EXPECT_THAT(logMessages(), ElementsAre("at the bound"));
    }
    // The settings service refuses a value beyond 260 bytes: logging has no path.
    setLogPath(filePathOfLength(base_.path(), 261, "kest.log"));
    Log("unit.cpp", 1, "beyond the bound");
    EXPECT_FALSE(fileExists(logPath()));
}

TEST_F(LongLogTextTest, LineNumbersOfFiveDigitsAndMoreAreWrittenWhole) {
    Log("unit.cpp", 9999, "a");
    Log("unit.cpp", 10000, "b");
    Log("unit.cpp", 123456789, "c");
    Log("unit.cpp", 0xFFFFFFFFu, "d");  // read as the signed int it is passed as
    const std::vector<LogRecord> records = logRecords();
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(records[0].line, "9999");
    EXPECT_EQ(records[1].line, "10000");
    EXPECT_EQ(records[2].line, "123456789");
    EXPECT_EQ(records[3].line, "-1");
}

TEST_F(LongLogTextTest, A64KiBMessageIsWrittenWhole) {
    std::string message(64 * 1024, 'm');
    for (std::size_t at = 0; at < message.size(); at += 1000) message[at] = static_cast<char>('0' + at / 1000 % 10);
    Log("unit.cpp", 1, message.c_str());
    EXPECT_THAT(logMessages(), ElementsAre(message));
}

TEST_F(LongLogTextTest, TraceRecordsCutLongTextsAt255Bytes) {
    const std::string name(1000, 'n');
    logAny("unit.cpp", 1, "%s", name.c_str());
    logError("unit.cpp", 2, name.c_str(), KEST_E_NO_MEMORY, "%s", name.c_str());
    const std::vector<std::string> messages = logMessages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0], name.substr(0, 255));
    EXPECT_EQ(messages[1], name.substr(0, 255));
}

// --- the settings file ----------------------------------------------------------------------

class LongSettingsPathTest : public InstallationTest {
protected:
    TemporaryDirectory base_{"-ini"};
};

TEST_F(LongSettingsPathTest, SettingsPathsUpTo259BytesAreFoundLongerOnesAreMissing) {
    for (std::size_t length : {258u, 259u}) {
        SCOPED_TRACE(length);
        const std::string file = filePathOfLength(base_.path(), length, kSettingsFileName);
        writeFileBytes(file, "[S]\r\nK=v\r\n");
        setInstallPath(file.substr(0, file.size() - sizeof kSettingsFileName));
        char dest[MAX_PATH + 64];
        std::memset(dest, 'x', sizeof dest);
        ASSERT_EQ(getIniFilePath(dest), KEST_OK);
        EXPECT_EQ(std::string(dest), file);
        char value[64];
        ASSERT_EQ(readIniString(dest, "S", "K", value, sizeof value), KEST_OK);
        EXPECT_STREQ(value, "v");
    }
    // 260 bytes and terminator do not fit a path buffer: the joined path is left empty.
    const std::string file = filePathOfLength(base_.path(), 260, kSettingsFileName);
    writeFileBytes(file, "[S]\r\nK=v\r\n");
    setInstallPath(file.substr(0, file.size() - sizeof kSettingsFileName));
    char dest[MAX_PATH + 64];
    std::memset(dest, 'x', sizeof dest);
    EXPECT_EQ(getIniFilePath(dest), KEST_E_NO_SETTINGS_FILE);
    EXPECT_STREQ(dest, "");
    EXPECT_EQ(static_cast<unsigned char>(dest[MAX_PATH]), 'x') << "written beyond 260 bytes";
    // An installation directory of 260 bytes does not fit the settings service's answer.
    setInstallPath(directoryOfLength(base_.path(), 260));
    EXPECT_EQ(getIniFilePath(dest), KEST_E_NO_INSTALL_PATH);
}

// --- the catalogue --------------------------------------------------------------------------

class LongCataloguePathTest : public ErrorBoxTest {
protected:
    TemporaryDirectory base_{"-csv"};
};

TEST_F(LongCataloguePathTest, CataloguePathsUpTo260BytesAreReadLongerOnesCannotBeOpened) {
    for (std::size_t length : {259u, 260u}) {
        SCOPED_TRACE(length);
        const std::string file = filePathOfLength(base_.path(), length, kCatalogueFileName);
        writeFileBytes(file, "X25000101,found\n");
        setInstallPath(file.substr(0, file.size() - sizeof kCatalogueFileName));
        const Shown shown = show(0x25000101);
        EXPECT_THAT(shown.boxes, ElementsAre(ErrorBox("found\n\nCode=0x25000101", MB_ICONERROR)));
    }
    const std::string file = filePathOfLength(base_.path(), 261, kCatalogueFileName);
    writeFileBytes(file, "X25000101,found\n");
    setInstallPath(file.substr(0, file.size() - sizeof kCatalogueFileName));
    const Shown shown = show(0x25000101);
    EXPECT_THAT(shown.boxes,
                ElementsAre(ErrorBox("エラーファイルを開く事に失敗しました。\nCode=0xFF000001", MB_ICONERROR)));
    EXPECT_THAT(shown.records, IsEmpty());
}

TEST_F(ErrorBoxTest, LinesBeyondTheReadBufferAreJudgedInPiecesAndBoxesStayBounded) {
    // 259 bytes of message: the first piece holds 250 of them, the rest is a line of its own.
    const std::string message(259, 'w');
    writeCatalogue("W25000101," + message + "\n");
    const Shown shown = show(0x25000101);
    ASSERT_EQ(shown.boxes.size(), 1u);
    EXPECT_EQ(shown.boxes[0].text, message.substr(0, 250) + "\nCode=0x25000101");
    EXPECT_EQ(shown.boxes[0].flags, UINT{MB_ICONWARNING});
}

// --- certificate names ----------------------------------------------------------------------

class LongCertificateNameTest : public InstallationTest {
protected:
    WorkingPfxVerifyPassword password_;
};

TEST_F(LongCertificateNameTest, NamesOfSeveralKiBAreListedWholeButHaveNoCertificateId) {
    const std::vector<BYTE> data = readTestData("long-name.p12");
    const CertContextPtr certificate = loadCertificate("long-name.der");
    const std::string expected = platformNameText(certificate->pCertInfo->Subject);
    ASSERT_GT(expected.size(), 4000u);

    const ResourceWatch watch;
    MyCert* list = nullptr;
    ASSERT_EQ(createMyCertListInPkcs12Store(data.data(), static_cast<DWORD>(data.size()), kPkcs12Password, &list),
              KEST_OK);
    ASSERT_EQ(countMyCertList(list), 1u);
    EXPECT_EQ(std::string(list->subject), expected);
    EXPECT_EQ(std::string(list->issuer), expected);
    EXPECT_STREQ(list->serialHex, "3003");

    // serial;issuer exceeds 2047 bytes: the record is never stored as a candidate and never
    // found by id, rather than stored or matched by a cut id; the save says it was left out.
    const std::string settings = installFile(kSettingsFileName);
    list->candidate = 1;
    EXPECT_EQ(writeIniSignerCertCandidate(settings.c_str(), list), KEST_E_SETTINGS_WRITE);
    EXPECT_EQ(readFileBytes(settings).find("CertId_"), std::string::npos);
    EXPECT_EQ(findMyCert(list, list), nullptr);
    int count = -1;
    EXPECT_EQ(readIniSignerCertCandidate(settings.c_str(), list, &count), KEST_OK);
    EXPECT_EQ(count, 0);

    deleteMyCertList(list);
    EXPECT_TRUE(watch.nothingHeld());
    EXPECT_TRUE(tracesBalanced(logMessages()));
}

}  // namespace
}  // namespace kest::test

namespace kest::test {
namespace {

// --- settings values ------------------------------------------------------------------------

class LongSettingsValueTest : public InstallationTest {
protected:
    std::string settingsFile() const { return installFile(kSettingsFileName); }
    void writeValue(const std::string& value) const { writeFileBytes(settingsFile(), "[S]\r\nK=" + value + "\r\n"); }
};

TEST_F(LongSettingsValueTest, ANumberTooLongForTheReadBufferIsInvalidNotReadCut) {
    // 63 bytes fill the 64-byte buffer: what follows them cannot be seen.
    writeValue(std::string(4094, '0') + "12");
    int value = 77;
    EXPECT_EQ(readIniInt(settingsFile().c_str(), "S", "K", &value), KEST_E_SETTINGS_INVALID);
    EXPECT_EQ(value, 77);
    writeValue(std::string(61, '0') + "12");
    EXPECT_EQ(readIniInt(settingsFile().c_str(), "S", "K", &value), KEST_E_SETTINGS_INVALID);
    writeValue(std::string(60, '0') + "12");
    EXPECT_EQ(readIniInt(settingsFile().c_str(), "S", "K", &value), KEST_OK);
    EXPECT_EQ(value, 12);
}

TEST_F(LongSettingsValueTest, AStringValueIsCutToTheCallersBufferAndTerminated) {
    writeValue(std::string(4096, 'v'));
    char value[100];
    ASSERT_EQ(readIniString(settingsFile().c_str(), "S", "K", value, sizeof value), KEST_OK);
    EXPECT_EQ(std::string(value), std::string(99, 'v'));
}

}  // namespace
}  // namespace kest::test
