// Where KestMyCert keeps the signer candidates and the omit-selection flag in the settings
// file: for the library, and for the tool's doctor, which reads the candidates' keys itself.
#pragma once

#include <cstddef>

namespace kest::mycert {

inline constexpr char kSettingsSection[] = "MyCertificate";
inline constexpr char kOmitSelectCertKey[] = "OmitSelectCert";
// CertId_0000, CertId_0001, ...: the n-th candidate's key.
inline constexpr char kCandidateKeyFormat[] = "CertId_%04u";
inline constexpr std::size_t kSettingsKeySize = 128;
// Certificate ids and settings values share one bound.
inline constexpr std::size_t kCertIdSize = 2048;

}  // namespace kest::mycert
