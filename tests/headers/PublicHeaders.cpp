// The public headers together in a C++ host, built as C++14, C++17 and C++20: their C++ parts
// compile, and every export is noexcept, as KestResult.h promises.
#include "KestCommon.h"
#include "KestErr.h"
#include "KestIni.h"
#include "KestLog.h"
#include "KestMyCert.h"
#include "KestResult.h"

// Every export, unevaluated: nothing is called, nothing is linked.
#define KEST_EXPECT_NOEXCEPT(call) static_assert(noexcept(call), #call " is noexcept")
KEST_EXPECT_NOEXCEPT(Log(nullptr, 0, nullptr));
KEST_EXPECT_NOEXCEPT(LogFlag());
KEST_EXPECT_NOEXCEPT(ShowError(nullptr, 0));
KEST_EXPECT_NOEXCEPT(allocMemory(0, nullptr));
KEST_EXPECT_NOEXCEPT(freeMemory(nullptr));
KEST_EXPECT_NOEXCEPT(getIniFilePath(nullptr));
KEST_EXPECT_NOEXCEPT(readIniString(nullptr, nullptr, nullptr, nullptr, 0));
KEST_EXPECT_NOEXCEPT(readIniInt(nullptr, nullptr, nullptr, nullptr));
KEST_EXPECT_NOEXCEPT(writeIniString(nullptr, nullptr, nullptr, nullptr));
KEST_EXPECT_NOEXCEPT(getFileSize(nullptr));
KEST_EXPECT_NOEXCEPT(readFile(nullptr, nullptr, 0));
KEST_EXPECT_NOEXCEPT(writeFile(nullptr, nullptr, 0));
KEST_EXPECT_NOEXCEPT(logError(nullptr, 0, nullptr, 0, nullptr));
KEST_EXPECT_NOEXCEPT(logAny(nullptr, 0, nullptr));
KEST_EXPECT_NOEXCEPT(createMyCertList(nullptr));
KEST_EXPECT_NOEXCEPT(createMyCertListInPkcs12Store(nullptr, 0, nullptr, nullptr));
KEST_EXPECT_NOEXCEPT(countMyCertList(nullptr));
KEST_EXPECT_NOEXCEPT(deleteMyCertList(nullptr));
KEST_EXPECT_NOEXCEPT(findMyCert(nullptr, nullptr));
KEST_EXPECT_NOEXCEPT(readIniSignerCertCandidate(nullptr, nullptr, nullptr));
KEST_EXPECT_NOEXCEPT(writeIniSignerCertCandidate(nullptr, nullptr));
KEST_EXPECT_NOEXCEPT(readIniOmitSelectCert(nullptr, nullptr));
KEST_EXPECT_NOEXCEPT(writeIniOmitSelectCert(nullptr, 0));
KEST_EXPECT_NOEXCEPT(copyCertContext(nullptr, nullptr));
KEST_EXPECT_NOEXCEPT(storeMyCertToStore(nullptr));
KEST_EXPECT_NOEXCEPT(deleteMyCertFromStore(nullptr));

// Referenced, so that -Wunused cannot pass over the C++ parts unchecked.
int kestPublicHeadersCompileAsCxx() {
    kest::UniqueMyCertList list;
    return (list ? 1 : 0) + static_cast<int>(sizeof(&KestIniRead) + sizeof(&KestInstallPath));
}
