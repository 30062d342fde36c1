// kesttool list-p12: the certificates with keys of a PKCS#12 file, with the settings file's
// marks found again in them.
#include "Certificates.h"
#include "CommandLine.h"
#include "Terminal.h"

namespace kest::tool {
namespace {

int run(const Invocation& invocation) {
    UniqueMyCertList list;
    if (const int status = pkcs12List(invocation.operands()[0], invocation.value(kPasswordEnvOption), list);
        status != kExitOk)
        return status;
    // Marks found again in a list from a key file: the point of certificate ids.
    std::string settings;
    if (const ResultCode code = settingsFile(settings); code != KEST_OK) return reportFailure("getIniFilePath", code);
    int matched = 0;
    if (const ResultCode code = readIniSignerCertCandidate(settings.c_str(), list.get(), &matched); code != KEST_OK)
        return reportFailure("readIniSignerCertCandidate", code);
    printList(list.get(), invocation.flag(kJsonOption));
    return kExitOk;
}

}  // namespace

extern const Command kListPkcs12Command{
    "list-p12",
    "<file.p12>",
    1,
    1,
    "    The certificates with keys of a PKCS#12 file, with the settings file's marks.\n",
    {{kPasswordEnvOption, "<VARIABLE>", "the environment variable that holds the password"},
     {kJsonOption, nullptr, "a JSON array of objects in UTF-8 instead of the table"}},
    &run,
    {}};

}  // namespace kest::tool
