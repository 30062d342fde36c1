// Reproducible random damage to everything the libraries read from outside: PKCS#12 data,
// the error catalogue and settings values. No variant may crash, leak, write beyond a
// buffer or answer with a code the function does not document.
#include "ErrorBoxTest.h"
#include "KestCommon.h"
#include "KestMyCert.h"
#include "KestMyCertText.h"
#include "MyCertTestSupport.h"
#include "Reliability.h"

#include <gmock/gmock.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace kest::test {
namespace {

using ::testing::AnyOf;
using ::testing::Eq;

constexpr unsigned kQuickPkcs12Variants = 300;
constexpr unsigned kQuickCatalogues = 300;
constexpr unsigned kQuickSettings = 100;
// Checked and emptied this often, so that the log stays small in the long run.
constexpr unsigned kVariantsPerLog = 100;

constexpr std::uint64_t kPkcs12Seed = 0x4B455354'50313231ull;
constexpr std::uint64_t kCatalogueSeed = 0x4B455354'43535631ull;
constexpr std::uint64_t kSettingsSeed = 0x4B455354'494E4931ull;

// --- the mutator --------------------------------------------------------------------------

using Bytes = std::vector<BYTE>;

void flipBits(Random& random, Bytes& data) {
    if (data.empty()) return;
    for (std::size_t flips = random.between(1, 8); flips > 0; --flips)
        data[random.below(data.size())] ^= static_cast<BYTE>(1u << random.below(8));
}

void truncate(Random& random, Bytes& data) { data.resize(random.below(data.size() + 1)); }

void extend(Random& random, Bytes& data) {
    for (std::size_t added = random.between(1, 512); added > 0; --added) data.push_back(random.byte());
}

void appendZeros(Random& random, Bytes& data) { data.resize(data.size() + random.between(1, 64), 0); }

// A piece of another input put in place of a piece of this one.
void splice(Random& random, Bytes& data, const Bytes& other) {
    if (other.empty()) return;
    const std::size_t from = random.below(other.size());
    const std::size_t length = random.between(1, std::min<std::size_t>(other.size() - from, 1024));
    const std::size_t at = random.below(data.size() + 1);
    const std::size_t replaced = random.below(std::min<std::size_t>(data.size() - at, 1024) + 1);
    data.erase(data.begin() + static_cast<std::ptrdiff_t>(at),
               data.begin() + static_cast<std::ptrdiff_t>(at + replaced));
    data.insert(data.begin() + static_cast<std::ptrdiff_t>(at), other.begin() + static_cast<std::ptrdiff_t>(from),
                other.begin() + static_cast<std::ptrdiff_t>(from + length));
}

// Length bytes of DER are where a parser most often trusts its input: make them lie.
void overwriteWithExtremes(Random& random, Bytes& data) {
    static constexpr BYTE kExtremes[] = {0x00, 0x01, 0x7F, 0x80, 0x81, 0x82, 0x84, 0xFF};
    if (data.empty()) return;
    for (std::size_t writes = random.between(1, 4); writes > 0; --writes)
        data[random.below(data.size())] = kExtremes[random.below(sizeof kExtremes)];
}

Bytes mutate(Random& random, const std::vector<Bytes>& corpus) {
    Bytes data = corpus[random.below(corpus.size())];
    for (std::size_t steps = random.between(1, 3); steps > 0; --steps) {
        switch (random.below(6)) {
            case 0: flipBits(random, data); break;
            case 1: truncate(random, data); break;
            case 2: extend(random, data); break;
            case 3: appendZeros(random, data); break;
            case 4: splice(random, data, corpus[random.below(corpus.size())]); break;
            default: overwriteWithExtremes(random, data); break;
        }
    }
    return data;
}

// --- PKCS#12 -----------------------------------------------------------------------------

class MutatedPkcs12Test : public InstallationTest {
protected:
    WorkingPfxVerifyPassword password_;
};

TEST_F(MutatedPkcs12Test, EveryVariantFailsWithAPkcs12CodeOrListsWithoutLeaking) {
    std::vector<Bytes> corpus;
    for (const char* file : {"signer.p12", "signer-legacy.p12", "quoted.p12", "twin-a.p12", "long-name.p12"})
        corpus.push_back(readTestData(file));
    const unsigned variants = mutationCount(kQuickPkcs12Variants);
    Random random(kPkcs12Seed);
    std::map<ResultCode, unsigned> codes;
    for (unsigned index = 0; index < variants; ++index) {
        const Bytes data = mutate(random, corpus);
        MyCert untouched{};
        MyCert* head = &untouched;
        const ResourceWatch watch;
        const ResultCode code =
            createMyCertListInPkcs12Store(data.data(), static_cast<DWORD>(data.size()), kPkcs12Password, &head);
        ++codes[code];
        ASSERT_THAT(code,
                    AnyOf(Eq(KEST_OK), Eq(KEST_E_PKCS12_INVALID), Eq(KEST_E_PKCS12_PASSWORD), Eq(KEST_E_PKCS12_IMPORT)))
            << "variant " << index;
        if (code == KEST_OK) {
            deleteMyCertList(head);
        } else {
            ASSERT_EQ(head, &untouched) << "variant " << index;
        }
        ASSERT_TRUE(watch.nothingHeld()) << "variant " << index;
        if ((index + 1) % kVariantsPerLog == 0 || index + 1 == variants) {
            ASSERT_TRUE(tracesBalanced(logMessages())) << "variants up to " << index;
            DeleteFileA(logPath().c_str());
        }
    }
    for (const auto& [code, count] : codes) std::printf("[          ] 0x%08x: %u variants\n", code, count);
}

// --- the error catalogue -----------------------------------------------------------------

const int kCodes[] = {0x25000101, 0x2500020a, -1, 0, 0x7fffffff};

std::string hexCode(int code, Random& random) {
    char text[9];
    std::snprintf(text, sizeof text, random.chance(50) ? "%08x" : "%08X", static_cast<unsigned>(code));
    return text;
}

std::string randomText(Random& random, std::size_t length) {
    std::string text;
    for (std::size_t i = 0; i < length; ++i) {
        switch (random.below(8)) {
            case 0: text += static_cast<char>(random.byte()); break;  // any byte, NUL and CR too
            case 1: text += "エラー"; break;                          // Shift_JIS at run time
            case 2: text += '\x81'; break;                            // a lead byte alone
            default: text += static_cast<char>('a' + random.below(26)); break;
        }
    }
    return text;
}

std::string randomCatalogueLine(Random& random) {
    static constexpr char kSeverities[] = "IiQqWwXxE ";
    const std::string severity(1, kSeverities[random.below(sizeof kSeverities - 1)]);
    const int code = kCodes[random.below(std::size(kCodes))];
    switch (random.below(7)) {
        case 0: return severity + hexCode(code, random) + "," + randomText(random, random.between(0, 40));
        case 1: return severity + hexCode(code, random) + "," + randomText(random, random.between(200, 1200));
        case 2: return severity + "25O0g1O1," + randomText(random, 20);  // not hex digits
        case 3: return randomText(random, random.between(0, 12));        // short lines
        case 4: {
            std::string line = severity + hexCode(code, random) + "," + randomText(random, 30);
            line[random.below(line.size())] = '\0';
            return line;
        }
        case 5: return severity + hexCode(code, random) + ",";  // empty message
        default: return randomText(random, random.between(0, 300));
    }
}

std::string randomCatalogue(Random& random) {
    static const char* const kLineEnds[] = {"\n", "\r\n", "\r", "\n\r"};
    std::string catalogue;
    for (std::size_t lines = random.between(0, 30); lines > 0; --lines)
        catalogue += randomCatalogueLine(random) + kLineEnds[random.below(std::size(kLineEnds))];
    if (random.chance(30)) catalogue += randomCatalogueLine(random);  // no final newline
    return catalogue;
}

// The box a catalogue should give, reading it as the runtime hands it over: in text mode (CR LF
// becomes LF, Ctrl-Z ends the file), in pieces of at most 260 bytes that end after a newline,
// each piece a line up to its first NUL byte.
struct ExpectedBox {
    std::string text;
    UINT icon;
    std::string record;
};

UINT expectedIcon(char severity) {
    switch (severity) {
        case 'I':
        case 'i': return MB_ICONINFORMATION;
        case 'Q':
        case 'q': return MB_ICONQUESTION;
        case 'W':
        case 'w': return MB_ICONWARNING;
        case 'X':
        case 'x': return MB_ICONERROR;
        default: return 0;
    }
}

ExpectedBox expectedBox(const std::string& catalogue, const std::string& codeText) {
    constexpr std::size_t kReadSize = 260;
    constexpr std::size_t kMessageColumn = 10;
    std::string text;
    for (std::size_t i = 0; i < catalogue.size() && catalogue[i] != '\x1a'; ++i)
        if (!(catalogue[i] == '\r' && i + 1 < catalogue.size() && catalogue[i + 1] == '\n')) text += catalogue[i];
    for (std::size_t at = 0; at < text.size();) {
        std::size_t length = std::min(kReadSize, text.size() - at);
        if (const std::size_t newline = text.find('\n', at); newline != std::string::npos && newline - at < length)
            length = newline - at + 1;
        const std::string piece = text.substr(at, length);
        at += length;
        const std::string line = piece.substr(0, piece.find('\0'));
        if (line.size() <= kMessageColumn) continue;
        bool matches = true;
        for (std::size_t digit = 0; digit < codeText.size(); ++digit)
            matches = matches && std::tolower(static_cast<unsigned char>(line[1 + digit])) == codeText[digit];
        if (!matches) continue;
        const std::string message = line.substr(kMessageColumn);
        const std::string logged = message.back() == '\n' ? message.substr(0, message.size() - 1) : message;
        return ExpectedBox{message + "\nCode=0x" + codeText, expectedIcon(line[0]), logged + "Code=0x" + codeText};
    }
    const std::string notFound = "エラーメッセージが見つかりません\nCode=0x" + codeText;
    return ExpectedBox{notFound, MB_ICONERROR, notFound};
}

class MutatedCatalogueTest : public ErrorBoxTest {};

TEST_F(MutatedCatalogueTest, EveryCatalogueGivesOneBoxOneRecordAndEndsWithTheCode) {
    const unsigned variants = mutationCount(kQuickCatalogues);
    Random random(kCatalogueSeed);
    for (unsigned index = 0; index < variants; ++index) {
        const std::string catalogue = randomCatalogue(random);
        writeCatalogue(catalogue);
        const int code = kCodes[random.below(std::size(kCodes))];
        char codeText[9];
        std::snprintf(codeText, sizeof codeText, "%08x", static_cast<unsigned>(code));
        const ExpectedBox expected = expectedBox(catalogue, codeText);

        const Shown shown = show(code);
        ASSERT_EQ(shown.boxes.size(), 1u) << "catalogue " << index;
        const Box& box = shown.boxes[0];
        ASSERT_EQ(box.text, expected.text) << "catalogue " << index;
        ASSERT_EQ(box.flags, expected.icon) << "catalogue " << index;
        ASSERT_EQ(shown.records.size(), 1u) << "catalogue " << index;
        ASSERT_EQ(shown.records[0].message, expected.record) << "catalogue " << index;
        expectCatalogueClosed();
    }
}

// --- settings values ---------------------------------------------------------------------

constexpr char kSection[] = "MyCertificate";
constexpr std::size_t kGuardSize = 64;
constexpr unsigned char kGuardByte = 0xA5;

// A value as a settings line may hold one: any bytes but the line ends and NUL, up to 4 KiB.
std::string randomValue(Random& random) {
    static const char* const kNumbers[] = {"12",  "-7",  "1.9", "  1e3", "2147483648", "-2147483648", "0x10",
                                           "nan", "inf", "1",   "0",     "1.5",        "-1",          "12abc"};
    switch (random.below(4)) {
        case 0: return kNumbers[random.below(std::size(kNumbers))];
        case 1: return std::string(random.between(0, 4096), '0') + kNumbers[random.below(std::size(kNumbers))];
        default: {
            std::string value = randomText(random, random.between(0, 4096));
            for (char& c : value)
                if (c == '\0' || c == '\r' || c == '\n') c = ' ';
            return value;
        }
    }
}

// An output buffer with guard bytes on both sides.
class GuardedBuffer {
public:
    explicit GuardedBuffer(std::size_t size) : bytes_(size + 2 * kGuardSize, kGuardByte), size_(size) {}
    char* data() { return bytes_.data() + kGuardSize; }
    ::testing::AssertionResult guardsIntact() const {
        for (std::size_t i = 0; i < kGuardSize; ++i) {
            if (static_cast<unsigned char>(bytes_[i]) != kGuardByte)
                return ::testing::AssertionFailure() << "written before the buffer";
            if (static_cast<unsigned char>(bytes_[kGuardSize + size_ + i]) != kGuardByte)
                return ::testing::AssertionFailure() << "written beyond the buffer of " << size_;
        }
        return ::testing::AssertionSuccess();
    }
    bool terminatedWithin() const { return std::memchr(bytes_.data() + kGuardSize, '\0', size_) != nullptr; }

private:
    std::vector<char> bytes_;
    std::size_t size_;
};

class MutatedSettingsTest : public InstallationTest {
protected:
    std::string settingsFile() const { return installFile("KestEnv.ini"); }
    WorkingPfxVerifyPassword password_;
};

TEST_F(MutatedSettingsTest, RandomValuesStayInsideTheBuffersAndGiveDocumentedCodes) {
    const std::vector<BYTE> signer = readTestData("signer.p12");
    MyCert* list = nullptr;
    ASSERT_EQ(createMyCertListInPkcs12Store(signer.data(), static_cast<DWORD>(signer.size()), kPkcs12Password, &list),
              KEST_OK);
    char signerId[mycert::kCertIdSize];
    ASSERT_TRUE(mycert::formatCertId(list->serialHex, list->issuer, signerId));

    const unsigned variants = mutationCount(kQuickSettings);
    Random random(kSettingsSeed);
    for (unsigned index = 0; index < variants; ++index) {
        const std::string value = randomValue(random);
        std::string content =
            std::string("[") + kSection + "]\r\nValue=" + value + "\r\nOmitSelectCert=" + randomValue(random) + "\r\n";
        const std::size_t ids = random.below(4);
        for (std::size_t id = 0; id < ids; ++id) {
            char key[32];
            std::snprintf(key, sizeof key, "CertId_%04u", static_cast<unsigned>(id));
            content += std::string(key) + "=" + (random.chance(30) ? signerId : randomValue(random)) + "\r\n";
        }
        writeFileBytes(settingsFile(), content);
        const std::string file = settingsFile();

        const std::size_t size = random.between(1, 4200);
        GuardedBuffer text(size);
        const ResultCode read =
            readIniString(file.c_str(), kSection, "Value", text.data(), static_cast<unsigned>(size));
        ASSERT_THAT(read, AnyOf(Eq(KEST_OK), Eq(KEST_E_SETTINGS_READ))) << "variant " << index;
        ASSERT_TRUE(text.guardsIntact()) << "variant " << index;
        if (size >= 64) {
            ASSERT_TRUE(text.terminatedWithin()) << "variant " << index;
        }

        struct {
            int before = 0x5A5A5A5A;
            int value = 0x5A5A5A5A;
            int after = 0x5A5A5A5A;
        } number;
        const ResultCode readNumber = readIniInt(file.c_str(), kSection, "Value", &number.value);
        ASSERT_THAT(readNumber, AnyOf(Eq(KEST_OK), Eq(KEST_E_SETTINGS_READ), Eq(KEST_E_SETTINGS_INVALID)))
            << "variant " << index;
        ASSERT_EQ(number.before, 0x5A5A5A5A);
        ASSERT_EQ(number.after, 0x5A5A5A5A);
        if (readNumber != KEST_OK) {
            ASSERT_EQ(number.value, 0x5A5A5A5A) << "variant " << index;
        }

        int omit = 0x5A5A5A5A;
        const ResultCode readOmit = readIniOmitSelectCert(file.c_str(), &omit);
        ASSERT_THAT(readOmit, AnyOf(Eq(KEST_OK), Eq(KEST_E_SETTINGS_READ), Eq(KEST_E_SETTINGS_INVALID),
                                    Eq(KEST_E_OMIT_SELECT_INVALID)))
            << "variant " << index;
        if (readOmit == KEST_OK) {
            ASSERT_THAT(omit, AnyOf(Eq(0), Eq(1)));
        } else {
            ASSERT_EQ(omit, 0x5A5A5A5A);
        }

        list->candidate = 0;
        int count = -1;
        ASSERT_EQ(readIniSignerCertCandidate(file.c_str(), list, &count), KEST_OK) << "variant " << index;
        ASSERT_GE(count, 0);
        ASSERT_LE(count, static_cast<int>(ids));
        ASSERT_EQ(list->candidate, count > 0 ? 1 : 0);
        ASSERT_EQ(writeIniSignerCertCandidate(file.c_str(), list), KEST_OK) << "variant " << index;

        if ((index + 1) % kVariantsPerLog == 0 || index + 1 == variants) {
            ASSERT_TRUE(tracesBalanced(logMessages())) << "variants up to " << index;
            DeleteFileA(logPath().c_str());
        }
    }
    deleteMyCertList(list);
}

}  // namespace
}  // namespace kest::test
