// What doctor makes of the settings file KestEnv.ini beside the library, which asks only for
// its own keys: which of the sections and keys the profile functions list nothing reads, the
// candidate keys among them, and what the way the file was saved does.
#pragma once

#include "TextFiles.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace kest::tool {

// The n-th candidate's key, CertId_0000 on.
[[nodiscard]] std::string candidateKey(std::size_t n);
// The n of a key the library reads as the n-th candidate's (CertId_0000, certid_12345); none
// for any other key, CertId_1 among them.
[[nodiscard]] std::optional<unsigned> candidateIndex(const std::string& key);

// What nothing reads, of the file's sections and of the keys of the library's section as the
// profile functions list them (active code page): sections whose name is a typo of the
// library's ("[MyCertficate]"), and keys of the library's section it never asks for
// ("[MyCertificate] CertId_1"). Sections of other names are the host's.
[[nodiscard]] std::vector<std::string> unreadSettings(const std::vector<std::string>& sections,
                                                      const std::vector<std::string>& keys);

// The sections after the first that the profile functions take for the library's, as they list
// them: its name in any letter case. They read the first such section alone, so nothing reads
// the keys of the others.
[[nodiscard]] std::vector<std::string> repeatedSections(const std::vector<std::string>& sections);

// A settings file not saved as Shift_JIS: what Windows' profile functions, which read it for
// the library, make of it, and whether that loses settings (else it works, as UTF-16 with its
// mark does). Wine's profile functions also read UTF-8 and big-endian UTF-16 with a mark.
struct SettingsEncoding {
    bool problem;
    std::string effect;  // "saved as <encoding>: <what it does>"
};
// `firstNul` as encodingOf gives it.
[[nodiscard]] std::optional<SettingsEncoding> settingsEncoding(Encoding encoding, std::size_t firstNul);

}  // namespace kest::tool
