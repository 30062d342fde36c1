// What doctor reads of the settings file KestEnv.ini beside the library, which asks only for
// its own keys: the sections and keys the file holds, the candidate keys among them, and how
// the file was saved.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kest::tool {

// The n-th candidate's key, CertId_0000 on.
[[nodiscard]] std::string candidateKey(std::size_t n);
// The n of a key the library reads as the n-th candidate's (CertId_0000, certid_12345); none
// for any other key, CertId_1 among them.
[[nodiscard]] std::optional<unsigned> candidateIndex(const std::string& key);

// The names of one section's keys, as the profile functions list them (active code page).
[[nodiscard]] std::vector<std::string> settingsKeys(const std::string& file, const char* section);

// What nothing reads: sections whose name is a typo of the library's ("[MyCertficate]"), and
// keys of the library's section it never asks for ("[MyCertificate] CertId_1"). Sections of
// other names are the host's.
[[nodiscard]] std::vector<std::string> unreadSettings(const std::string& file);

// A settings file not saved as Shift_JIS: what Windows' profile functions, which read it for
// the library, make of it, and whether that loses settings (else it works, as UTF-16 with its
// mark does). Wine's profile functions also read UTF-8 and big-endian UTF-16 with a mark.
struct SettingsEncoding {
    bool problem;
    std::string effect;  // "saved as <encoding>: <what it does>"
};
[[nodiscard]] std::optional<SettingsEncoding> settingsEncoding(std::string_view bytes);

}  // namespace kest::tool
