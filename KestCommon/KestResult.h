/* Result codes of KestCommon and KestMyCert: 0 is success; failures carry 0x25 in the top
 * byte and are grouped by area in the low 16 bits (0x00xx memory, 0x01xx settings file,
 * 0x02xx certificates). A code passed up from an inner function stays unchanged. */
#pragma once

typedef unsigned int ResultCode; /* NOLINT(modernize-use-using): C has no using */

/* Exports never throw (KestLog.h and KestErr.h define the same for their hosts). */
#ifndef KEST_NOEXCEPT
#ifdef __cplusplus
#define KEST_NOEXCEPT noexcept
#else
#define KEST_NOEXCEPT
#endif
#endif

/* A status must not be dropped by C++ callers: [[nodiscard]] from C++17 on (MSVC reports its
 * language in _MSVC_LANG). C++14 has no standard attribute for it, and GCC's own cannot be
 * silenced by a cast to void, so a C++14 caller is not warned. */
#if defined(__cplusplus) && (__cplusplus >= 201703L || (defined(_MSVC_LANG) && _MSVC_LANG >= 201703L))
#define KEST_NODISCARD [[nodiscard]]
#else
#define KEST_NODISCARD
#endif

#define KEST_OK                    0x00000000u
#define KEST_E_NO_MEMORY           0x25000000u
#define KEST_E_NO_INSTALL_PATH     0x25000100u
#define KEST_E_NO_SETTINGS_FILE    0x25000101u
#define KEST_E_SETTINGS_READ       0x25000102u
#define KEST_E_SETTINGS_WRITE      0x25000103u
#define KEST_E_SETTINGS_INVALID    0x25000104u
#define KEST_E_OMIT_SELECT_INVALID 0x25000105u
#define KEST_E_STORE_OPEN          0x25000200u
#define KEST_E_CERT_ADD            0x25000204u
#define KEST_E_CERT_DELETE         0x25000205u
#define KEST_E_CERT_DUPLICATE      0x25000207u
#define KEST_E_PKCS12_INVALID      0x25000208u
#define KEST_E_PKCS12_PASSWORD     0x25000209u
#define KEST_E_PKCS12_IMPORT       0x2500020au
#define KEST_E_FILE_TIME           0x2500020fu
