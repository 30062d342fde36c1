// How KestMyCert writes a certificate as text, and reads its candidates back: the name text,
// the serial number's digits, the certificate id and its split, the candidate keys. For the
// library, and for the tool's doctor, the benchmark and the tests' fixtures, which walk
// certificates the list leaves out or measure the list's platform work.
#pragma once

#include "KestMyCertSettings.h"

#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <string>
#include <string_view>

namespace kest::mycert {

// Names in reversed X.500 form ("CN=..., O=..., C=JP"), without plus signs between values.
inline constexpr DWORD kNameTextFlags = CERT_X500_NAME_STR | CERT_NAME_STR_REVERSE_FLAG | CERT_NAME_STR_NO_PLUS_FLAG;
static_assert(kNameTextFlags == 0x22000003);

// The name text's size, its NUL included; then the text written into `size` bytes.
inline DWORD nameTextSize(const CERT_NAME_BLOB& name) noexcept {
    return CertNameToStrA(X509_ASN_ENCODING, const_cast<CERT_NAME_BLOB*>(&name), kNameTextFlags, nullptr, 0);
}
inline void writeNameText(const CERT_NAME_BLOB& name, char* text, DWORD size) noexcept {
    CertNameToStrA(X509_ASN_ENCODING, const_cast<CERT_NAME_BLOB*>(&name), kNameTextFlags, text, size);
}
inline std::string nameText(const CERT_NAME_BLOB& name) {
    const DWORD size = nameTextSize(name);
    std::string text(size, '\0');
    writeNameText(name, text.data(), size);
    text.resize(size > 0 ? size - 1 : 0);
    return text;
}

// The serial number in lower-case hexadecimal, most significant byte first (the platform
// keeps it least significant first): two digits a byte and a NUL in serialTextSize bytes.
inline std::size_t serialTextSize(const CRYPT_INTEGER_BLOB& serial) noexcept { return 2 * serial.cbData + 1; }
inline void writeSerialText(const CRYPT_INTEGER_BLOB& serial, char* text) noexcept {
    text[0] = '\0';
    for (DWORD index = serial.cbData; index > 0; --index, text += 2)
        std::snprintf(text, 3, "%02x", serial.pbData[index - 1]);
}
inline std::string serialText(const CRYPT_INTEGER_BLOB& serial) {
    std::string text(serialTextSize(serial), '\0');
    writeSerialText(serial, text.data());
    text.resize(text.size() - 1);
    return text;
}

// A certificate id, "<serial>;<issuer>": false, with nothing certain in `id`, if it would not
// fit (such a record has no id).
inline constexpr char kCertIdSeparator = ';';
inline bool formatCertId(const char* serial, const char* issuer, char (&id)[kCertIdSize]) noexcept {
    const int length = std::snprintf(id, sizeof id, "%s%c%s", serial, kCertIdSeparator, issuer);
    return length >= 0 && static_cast<std::size_t>(length) < sizeof id;
}
// Its two parts, split at the first separator (a serial in hexadecimal holds none). Without
// one, false, and the whole text is the serial.
inline bool splitCertId(std::string_view id, std::string& serial, std::string& issuer) {
    const std::size_t separator = id.find(kCertIdSeparator);
    serial = std::string(id.substr(0, separator));
    issuer = separator == std::string_view::npos ? std::string() : std::string(id.substr(separator + 1));
    return separator != std::string_view::npos;
}

// The n-th candidate's key, CertId_0000 on.
inline void formatCandidateKey(unsigned index, char (&key)[kSettingsKeySize]) noexcept {
    std::snprintf(key, sizeof key, kCandidateKeyFormat, index);
}
// The stored id of the n-th candidate into `value`; 0 when the key is missing or empty, which
// ends the candidates.
inline DWORD readCandidate(const char* file, unsigned index, char (&value)[kCertIdSize]) noexcept {
    char key[kSettingsKeySize];
    formatCandidateKey(index, key);
    return GetPrivateProfileStringA(kSettingsSection, key, "", value, sizeof value, file);
}

}  // namespace kest::mycert
