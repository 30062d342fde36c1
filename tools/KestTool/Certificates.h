// What the certificate commands share: the lists through KestMyCert's exports in the order a
// host calls them, a certificate named by index or id, and the PKCS#12 password.
#pragma once

#include "KestMyCert.h"

#include <optional>
#include <string>
#include <vector>

namespace kest::tool {

// The settings file's path through getIniFilePath.
[[nodiscard]] ResultCode settingsFile(std::string& path) noexcept;
[[nodiscard]] ResultCode personalStoreList(UniqueMyCertList& list) noexcept;

// The list of the personal store with the marks of the settings file, as the host reads it
// before the user chooses; an exit status.
[[nodiscard]] int markedPersonalStoreList(std::string& settings, UniqueMyCertList& list);

// The table, or the JSON with `json`, on standard output.
void printList(const MyCert* head, bool json);

// "<index>: <subject> (<id>)"
std::string describe(unsigned index, const MyCert& record);

// The certificate an argument of remove, mark or unmark names: by its 1-based list index or by
// its certificate id, with its index in the list.
struct NamedCertificate {
    MyCert* record;
    unsigned index;
};
[[nodiscard]] std::optional<NamedCertificate> certificateNamed(MyCert* head, const std::string& argument);
// "no certificate <argument> in the personal store's list" on standard error; kExitFailed.
[[nodiscard]] int reportNoCertificate(const std::string& argument);

// The ids stored as signer candidates in the settings file at `settings`, read the way
// KestMyCert reads them: up to the first key that is missing or empty.
[[nodiscard]] std::vector<std::string> storedCandidateIds(const std::string& settings);

// Marks (1) or unmarks (0) the named certificates in the settings file; an exit status.
[[nodiscard]] int setCandidates(const std::vector<std::string>& selectors, int candidate);

// The list of a PKCS#12 file, its password from the named environment variable or asked
// for; an exit status.
[[nodiscard]] int pkcs12List(const std::string& file, const std::optional<std::string>& passwordVariable,
                             UniqueMyCertList& list);

// The option of the commands that read a PKCS#12 file.
inline constexpr char kPasswordEnvOption[] = "--password-env";

}  // namespace kest::tool
