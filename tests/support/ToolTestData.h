// What users have and the samples lack, shared by the tool's tests: Japanese names whose
// Shift_JIS holds a trail byte 0x5C (a backslash to a byte-wise reader), bytes a text-mode
// read changes, settings keys in other letter cases, and certificates made at test time with
// a key, valid until a given moment, for verdicts that hang on the clock.
#pragma once

#include "KestMyCertOwners.h"

#include <windows.h>
#include <wincrypt.h>

#include <string>
#include <vector>

namespace kest::test {

// A Japanese name as the active code page (932) spells it and as UTF-8, the tool's output.
struct JapaneseName {
    const char* shiftJis;
    const char* utf8;
};

// 表 is 0x95 0x5C (a lead byte of the first range, 0x81-0x9F), ソ 0x83 0x5C, and 饅 0xE9 0x5C
// (the second range, 0xE0-0xFC): each ends a name, or stands before other characters.
inline const JapaneseName kNameEndingInHyo{"\x8F\x90\x96\xBC\x95\x5C", u8"署名表"};
inline const JapaneseName kNameWithManAndSo{"\xE9\x5C\x93\xAA\x83\x5C\x83\x74\x83\x67", u8"饅頭ソフト"};
inline const std::vector<JapaneseName> kJapaneseNames{kNameEndingInHyo, kNameWithManAndSo};

// Bytes a text-mode read changes: CRLF becomes LF (every later offset moves), 0x1A ends the
// file there, and a NUL byte, which the text files must not hold, is what doctor reports by
// its offset in the file.
inline const std::string kCrLf = "\r\n";
inline const std::string kCtrlZ = "\x1A";
inline const std::string kNulByte(1, '\0');

// The settings keys as an editor may have spelled them; the profile functions ignore case.
inline constexpr char kOmitKeyInUpperCase[] = "OMITSELECTCERT";
inline constexpr char kFirstCandidateKeyInLowerCase[] = "certid_0000";

// Now plus `hours` (UTC, whole seconds, as a certificate holds it).
SYSTEMTIME hoursFromNow(int hours);
// A time in the records' form, "2026.12.10 09:30:00": what the library's lists give.
std::string recordTime(const SYSTEMTIME& utc);
// Text of the active code page as UTF-8.
std::string ansiToUtf8(const std::string& ansi);

// A self-signed certificate of `subject` (an X.500 name in UTF-8 in the order of its encoding,
// "C=JP, O=..., CN=...", which the library's lists write the other way round) with a new key of its own, valid from
// `validFrom` to `validTo` (UTC), added to the current user's personal store with the link to its key; the store's
// copy.
UniqueCertContext addKeyedCertificate(const std::string& subject, const SYSTEMTIME& validFrom,
                                      const SYSTEMTIME& validTo);

}  // namespace kest::test
