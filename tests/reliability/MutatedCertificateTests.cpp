// Certificates made from a valid one with odd names, serial numbers and validities, listed from
// the personal store with every key probe answered yes, so that each variant reaches the
// library's own attribute code. The signatures do not verify: nothing here checks them.
#include "KestMyCert.h"
#include "MyCertTestSupport.h"
#include "Reliability.h"

#include <gmock/gmock.h>

#include <cstdio>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace kest::test {
namespace {

constexpr unsigned kQuickCertificates = 300;
constexpr std::uint64_t kCertificateSeed = 0x4B455354'43455254ull;
// Variants in the store at once; one list is made of them.
constexpr unsigned kVariantsPerList = 10;
constexpr DWORD kCertEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

using Bytes = std::vector<BYTE>;

// --- DER -------------------------------------------------------------------------------------

Bytes tlv(BYTE tag, const Bytes& content) {
    Bytes out{tag};
    const std::size_t length = content.size();
    if (length < 0x80) {
        out.push_back(static_cast<BYTE>(length));
    } else {
        Bytes digits;
        for (std::size_t rest = length; rest != 0; rest >>= 8) digits.insert(digits.begin(), static_cast<BYTE>(rest));
        out.push_back(static_cast<BYTE>(0x80 | digits.size()));
        out.insert(out.end(), digits.begin(), digits.end());
    }
    out.insert(out.end(), content.begin(), content.end());
    return out;
}

Bytes tlv(BYTE tag, const std::string& content) { return tlv(tag, Bytes(content.begin(), content.end())); }

// The elements, whole, inside a constructed element.
std::vector<Bytes> children(const Bytes& element) {
    const auto headerSize = [](const Bytes& data, std::size_t at, std::size_t& length) {
        const BYTE first = data.at(at + 1);
        if (first < 0x80) {
            length = first;
            return std::size_t{2};
        }
        length = 0;
        for (std::size_t i = 0; i < (first & 0x7Fu); ++i) length = (length << 8) | data.at(at + 2 + i);
        return std::size_t{2} + (first & 0x7Fu);
    };
    std::size_t length = 0;
    std::size_t at = headerSize(element, 0, length);
    std::vector<Bytes> parts;
    while (at < element.size()) {
        const std::size_t header = headerSize(element, at, length);
        parts.emplace_back(element.begin() + static_cast<std::ptrdiff_t>(at),
                           element.begin() + static_cast<std::ptrdiff_t>(at + header + length));
        at += header + length;
    }
    return parts;
}

Bytes oid(const std::vector<unsigned>& arcs) {
    Bytes content{static_cast<BYTE>(arcs[0] * 40 + arcs[1])};
    for (std::size_t i = 2; i < arcs.size(); ++i) {
        Bytes digits{static_cast<BYTE>(arcs[i] & 0x7F)};
        for (unsigned rest = arcs[i] >> 7; rest != 0; rest >>= 7)
            digits.insert(digits.begin(), static_cast<BYTE>(0x80 | (rest & 0x7F)));
        content.insert(content.end(), digits.begin(), digits.end());
    }
    return tlv(0x06, content);
}

Bytes concat(const std::vector<Bytes>& parts) {
    Bytes out;
    for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
}

// --- variants --------------------------------------------------------------------------------

// An attribute value of some string (or not string) type with awkward content.
Bytes randomValue(Random& random) {
    static const char* const kTexts[] = {
        "",        " ",     "  lead and trail  ", "a,b",         "a+b=c",       "\"quoted\"", "semi;colon",
        "<angle>", "#hash", "new\nline",          "back\\slash", "Kest Signer", "JP"};
    std::string text;
    switch (random.below(5)) {
        case 0: text = kTexts[random.below(std::size(kTexts))]; break;
        case 1: text = std::string(random.between(200, 1500), static_cast<char>('a' + random.below(26))); break;
        case 2: text = "\xE3\x82\xA8\xE3\x83\xA9\xE3\x83\xBC"; break;  // UTF-8 Japanese
        default:
            for (std::size_t n = random.below(40); n > 0; --n) text += static_cast<char>(random.byte());
            break;
    }
    static constexpr BYTE kTypes[] = {0x13, 0x0C, 0x16, 0x14, 0x1E, 0x1C, 0x12, 0x04, 0x02, 0x05, 0x1A, 0x30};
    const BYTE type = kTypes[random.below(std::size(kTypes))];
    if (type == 0x05) return tlv(type, Bytes{});  // NULL, with no content
    // Wine's CertNameToStrA reads far before the value of a one-byte BMPString and crashes (a
    // fault of the platform, in the test's own call as much as in the library's): none here.
    if (type == 0x1E && text.size() == 1) text += 'b';
    return tlv(type, text);
}

Bytes randomAttributeType(Random& random) {
    static const std::vector<std::vector<unsigned>> kKnown = {{2, 5, 4, 3},
                                                              {2, 5, 4, 6},
                                                              {2, 5, 4, 10},
                                                              {2, 5, 4, 11},
                                                              {2, 5, 4, 7},
                                                              {2, 5, 4, 8},
                                                              {2, 5, 4, 5},
                                                              {1, 2, 840, 113549, 1, 9, 1},
                                                              {0, 9, 2342, 19200300, 100, 1, 25}};
    if (random.chance(75)) return oid(kKnown[random.below(kKnown.size())]);
    std::vector<unsigned> arcs{1, 3, 6, 1, 4, 1};
    for (std::size_t n = random.between(1, 12); n > 0; --n) arcs.push_back(static_cast<unsigned>(random.next() >> 36));
    return oid(arcs);
}

Bytes randomName(Random& random) {
    std::size_t rdns = random.below(6);
    if (random.chance(10)) rdns = 0;
    if (random.chance(10)) rdns = random.between(50, 200);  // many
    std::vector<Bytes> sets;
    for (std::size_t r = 0; r < rdns; ++r) {
        std::size_t values = random.chance(80) ? 1 : random.below(4);  // multi-valued, or an empty set
        std::vector<Bytes> attributes;
        for (; values > 0; --values)
            attributes.push_back(tlv(0x30, concat({randomAttributeType(random), randomValue(random)})));
        sets.push_back(tlv(0x31, concat(attributes)));
    }
    return tlv(0x30, concat(sets));
}

struct Serial {
    Bytes encoded;    // the INTEGER element
    std::string hex;  // its content bytes as written, most significant first
    bool empty;
};

Serial randomSerial(Random& random) {
    Bytes content;
    switch (random.below(8)) {
        case 0: break;  // zero-length
        case 1: content.assign(random.between(1, 5), 0x00); break;
        case 2:
        case 3: content.assign(random.between(100, 300), 0); break;  // long
        default: content.resize(random.between(1, 20)); break;
    }
    for (std::size_t i = random.chance(50) ? random.below(3) : 0; i < content.size(); ++i) content[i] = random.byte();
    if (!content.empty() && random.chance(30)) content[0] = 0x00;  // a leading zero byte
    Serial serial{tlv(0x02, content), "", content.empty()};
    for (BYTE b : content) {
        char digits[3];
        std::snprintf(digits, sizeof digits, "%02x", b);
        serial.hex += digits;
    }
    return serial;
}

struct Time {
    Bytes encoded;
    std::string text;  // as the list shows it; empty if no platform decodes the time
};

Time timeOf(int year, int month, int day, int hour, int minute, int second, bool utcTime) {
    char digits[32];
    if (utcTime)
        std::snprintf(digits, sizeof digits, "%02d%02d%02d%02d%02d%02dZ", year % 100, month, day, hour, minute, second);
    else
        std::snprintf(digits, sizeof digits, "%04d%02d%02d%02d%02d%02dZ", year, month, day, hour, minute, second);
    char text[32];
    std::snprintf(text, sizeof text, "%04d.%02d.%02d %02d:%02d:%02d", year, month, day, hour, minute, second);
    return Time{tlv(utcTime ? 0x17 : 0x18, std::string(digits)), text};
}

int daysIn(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

Time randomTime(Random& random) {
    switch (random.below(12)) {
        case 0: return timeOf(1601, 1, 1, 0, 0, 0, false);  // file time 0
        case 1: return timeOf(9999, 12, 31, 23, 59, 59, false);
        case 2: {  // before file times begin: no certificate context is made of it
            Time time = timeOf(static_cast<int>(random.between(1000, 1600)), 12, 31, 23, 59, 59, false);
            time.text.clear();
            return time;
        }
        case 3: return timeOf(1950 + static_cast<int>(random.below(100)), 2, 28, 23, 59, 59, true);
        default: {
            const int year = 1601 + static_cast<int>(random.below(9999 - 1601 + 1));
            const int month = 1 + static_cast<int>(random.below(12));
            const int day = 1 + static_cast<int>(random.below(static_cast<std::size_t>(daysIn(year, month))));
            const bool utc = year >= 1950 && year <= 2049 && random.chance(50);
            return timeOf(year, month, day, static_cast<int>(random.below(24)), static_cast<int>(random.below(60)),
                          static_cast<int>(random.below(60)), utc);
        }
    }
}

struct Variant {
    Bytes der;
    bool emptySerial;
    std::string serialHex;
    std::string notBefore;
    std::string notAfter;
};

// The signer certificate with new serial, issuer, validity and subject.
Variant makeVariant(Random& random, const Bytes& original) {
    const std::vector<Bytes> certificate = children(original);
    std::vector<Bytes> toBeSigned = children(certificate.at(0));
    // [0] version, serial, signature algorithm, issuer, validity, subject, key, [3] extensions
    if (toBeSigned.size() < 7) throw std::runtime_error("unexpected test certificate");
    const Serial serial = randomSerial(random);
    const Time notBefore = randomTime(random);
    const Time notAfter = randomTime(random);
    toBeSigned[1] = serial.encoded;
    toBeSigned[3] = randomName(random);
    toBeSigned[4] = tlv(0x30, concat({notBefore.encoded, notAfter.encoded}));
    toBeSigned[5] = randomName(random);
    const Bytes der = tlv(0x30, concat({tlv(0x30, concat(toBeSigned)), certificate.at(1), certificate.at(2)}));
    return Variant{der, serial.empty, serial.hex, notBefore.text, notAfter.text};
}

// A value with a NUL byte gives a name text with a NUL in it; the record's text, a C string,
// ends there.
std::string cText(const std::string& text) { return text.substr(0, text.find('\0')); }

// --- the key probe: every certificate has a key, and no handle to free --------------------------

BOOL WINAPI everyKeyReachable(PCCERT_CONTEXT, DWORD, void*, HCRYPTPROV_OR_NCRYPT_KEY_HANDLE* key, DWORD* keySpec,
                              BOOL* callerMustFree) {
    *key = 0x4B455354;
    *keySpec = AT_SIGNATURE;
    *callerMustFree = FALSE;
    return TRUE;
}

HCERTSTORE gListedStore = nullptr;
HCERTSTORE WINAPI openListedStore(HCRYPTPROV_LEGACY, LPCSTR) { return CertDuplicateStore(gListedStore); }

class MutatedCertificateTest : public PersonalStoreTest {
protected:
    void addToPersonalStore(const std::vector<Variant>& variants, std::map<Bytes, const Variant*>& added) {
        const CertStorePtr personal = openPersonalStore();
        for (std::size_t index = 0; index < variants.size(); ++index) {
            const Variant& variant = variants[index];
            const BOOL stored = CertAddEncodedCertificateToStore(personal.get(), kCertEncoding, variant.der.data(),
                                                                 static_cast<DWORD>(variant.der.size()),
                                                                 CERT_STORE_ADD_ALWAYS, nullptr);
            // The platform's decoder refuses a time before file times begin and an INTEGER of no
            // bytes; the memory store test below gives the library an empty serial number.
            const bool decodable = !variant.notBefore.empty() && !variant.notAfter.empty() && !variant.emptySerial;
            EXPECT_EQ(stored != FALSE, decodable)
                << "variant " << index << " of the batch, serial " << variant.serialHex;
            if (stored) added[variant.der] = &variant;
            if (!stored) ++refused_;
        }
        ASSERT_TRUE(CertControlStore(personal.get(), 0, CERT_STORE_CTRL_COMMIT, nullptr));
    }

    unsigned refused_ = 0;
};

TEST_F(MutatedCertificateTest, EveryVariantIsListedWithThePlatformsNamesItsSerialAndUtcDates) {
    const Bytes original = readTestData("signer.der");
    const unsigned variants = mutationCount(kQuickCertificates);
    Random random(kCertificateSeed);
    unsigned listed = 0;
    for (unsigned first = 0; first < variants; first += kVariantsPerList) {
        std::vector<Variant> batch;
        for (unsigned index = first; index < std::min(variants, first + kVariantsPerList); ++index)
            batch.push_back(makeVariant(random, original));
        std::map<Bytes, const Variant*> added;
        addToPersonalStore(batch, added);

        MyCert* head = nullptr;
        {
            const ResourceWatch watch;
            const ImportPatch probe("KestMyCert.dll", "CRYPT32.dll", "CryptAcquireCertificatePrivateKey",
                                    reinterpret_cast<const void*>(&everyKeyReachable));
            ASSERT_EQ(createMyCertList(&head), KEST_OK) << "variants from " << first;
            // While the records live: under Wine's heap checking this checks the tail of each block.
            ASSERT_TRUE(HeapValidate(GetProcessHeap(), 0, nullptr)) << "variants from " << first;
            std::set<Bytes> seen;
            for (const MyCert* record = head; record != nullptr; record = record->next) {
                const Bytes der(record->certContext->pbCertEncoded,
                                record->certContext->pbCertEncoded + record->certContext->cbCertEncoded);
                const auto found = added.find(der);
                ASSERT_NE(found, added.end()) << "a record of no variant, from " << first;
                seen.insert(der);
                const Variant& variant = *found->second;
                // The platform's text for the same certificate, made apart from the store.
                const CertContextPtr own{
                    CertCreateCertificateContext(kCertEncoding, der.data(), static_cast<DWORD>(der.size()))};
                ASSERT_TRUE(own);
                EXPECT_EQ(record->subject, cText(platformNameText(own->pCertInfo->Subject))) << "from " << first;
                EXPECT_EQ(record->issuer, cText(platformNameText(own->pCertInfo->Issuer))) << "from " << first;
                EXPECT_EQ(record->serialHex, variant.serialHex) << "from " << first;
                EXPECT_EQ(record->notBefore, variant.notBefore) << "from " << first;
                EXPECT_EQ(record->notAfter, variant.notAfter) << "from " << first;
            }
            EXPECT_EQ(seen.size(), added.size()) << "variants from " << first;
            listed += static_cast<unsigned>(seen.size());
            deleteMyCertList(head);
            ASSERT_TRUE(watch.nothingHeld()) << "variants from " << first;
        }
        ASSERT_TRUE(tracesBalanced(logMessages())) << "variants from " << first;
        DeleteFileA(logPath().c_str());
        emptyPersonalStore();
    }
    std::printf("[          ] %u variants: %u listed, %u refused by the platform's decoder\n", variants, listed,
                refused_);
}

// What the platform's decoder never gives, written into decoded certificates of a memory store
// that the library is given as its personal store: an empty serial number (the decoder refuses
// an INTEGER of no bytes), and validities beyond 0x7FFFFFFFFFFFFFFF, where no calendar time
// exists (a DER time decodes to 1601 to 9999 only).
TEST_F(MutatedCertificateTest, DecodedValuesNoEncodingGivesAreListedOrFailTheWholeListWith20f) {
    const Bytes original = readTestData("signer.der");
    const unsigned variants = std::max(1u, mutationCount(kQuickCertificates) / 10);
    Random random(kCertificateSeed + 1);
    unsigned failed = 0;
    for (unsigned index = 0; index < variants; ++index) {
        const CertStorePtr store{CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, 0, nullptr)};
        ASSERT_TRUE(store);
        // A validity beyond calendar times in the last certificate, or in none; the records
        // made before it must be released again.
        const std::size_t certificates = random.between(1, 3);
        const bool beyondCalendar = random.chance(50);
        std::map<Bytes, std::string> serials;
        for (std::size_t n = 0; n < certificates; ++n) {
            Variant variant = makeVariant(random, original);
            while (variant.notBefore.empty() || variant.notAfter.empty() || variant.emptySerial)
                variant = makeVariant(random, original);
            PCCERT_CONTEXT added = nullptr;
            ASSERT_TRUE(CertAddEncodedCertificateToStore(store.get(), kCertEncoding, variant.der.data(),
                                                         static_cast<DWORD>(variant.der.size()), CERT_STORE_ADD_ALWAYS,
                                                         &added));
            const CertContextPtr addedOwner{added};
            CERT_INFO& info = *added->pCertInfo;
            if (random.chance(50)) {
                info.SerialNumber.cbData = 0;
                variant.serialHex.clear();
            }
            serials[variant.der] = variant.serialHex;
            if (beyondCalendar && n + 1 == certificates) {
                const ULONGLONG ticks = 0x8000000000000000ull | random.next();
                const FILETIME beyond{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
                SYSTEMTIME unused;
                ASSERT_FALSE(FileTimeToSystemTime(&beyond, &unused));
                (random.chance(50) ? info.NotBefore : info.NotAfter) = beyond;
            }
        }
        gListedStore = store.get();
        const ImportPatch open("KestMyCert.dll", "CRYPT32.dll", "CertOpenSystemStoreA",
                               reinterpret_cast<const void*>(&openListedStore));
        MyCert untouched{};
        MyCert* head = &untouched;
        {
            const ResourceWatch watch;
            const ImportPatch probe("KestMyCert.dll", "CRYPT32.dll", "CryptAcquireCertificatePrivateKey",
                                    reinterpret_cast<const void*>(&everyKeyReachable));
            const ResultCode code = createMyCertList(&head);
            if (beyondCalendar) {
                ASSERT_EQ(code, KEST_E_FILE_TIME) << "variant " << index;
                ASSERT_EQ(head, &untouched);
                ++failed;
            } else {
                ASSERT_EQ(code, KEST_OK) << "variant " << index;
                ASSERT_TRUE(HeapValidate(GetProcessHeap(), 0, nullptr)) << "variant " << index;
                ASSERT_EQ(countMyCertList(head), certificates);
                for (const MyCert* record = head; record != nullptr; record = record->next) {
                    const Bytes der(record->certContext->pbCertEncoded,
                                    record->certContext->pbCertEncoded + record->certContext->cbCertEncoded);
                    EXPECT_EQ(record->serialHex, serials[der]) << "variant " << index;
                }
                deleteMyCertList(head);
            }
            ASSERT_TRUE(watch.nothingHeld()) << "variant " << index;
        }
        if (beyondCalendar) {
            std::vector<std::string> errors;
            for (const std::string& message : logMessages())
                if (message.find("() = 0x") != std::string::npos) errors.push_back(message);
            ASSERT_EQ(errors.size(), 5u) << "variant " << index;
            EXPECT_THAT(errors[0],
                        ::testing::StartsWith("fileTimeToString() = 0x2500020f : "
                                              "ファイル日時形式からシステム日時形式への変更に失敗しました。 : "
                                              "FileTimeToSystemTime() failed (0x"));
            EXPECT_EQ(errors[4], "createMyCertList() = 0x2500020f : buildNewMyCertList() failed");
        }
        ASSERT_TRUE(tracesBalanced(logMessages())) << "variant " << index;
        DeleteFileA(logPath().c_str());
    }
    std::printf("[          ] %u variants, %u of them beyond calendar times\n", variants, failed);
}

}  // namespace
}  // namespace kest::test
