// kesttool add-p12: a PKCS#12 file's certificates with keys into the personal store.
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
    if (!list) writeOut("no certificates with a private key in the file\n");
    unsigned index = 1;
    for (const MyCert* record = list.get(); record != nullptr; record = record->next, ++index) {
        if (const ResultCode code = storeMyCertToStore(record->certContext); code != KEST_OK)
            return reportFailure("storeMyCertToStore", code);
        writeOut("added " + describe(index, *record) + "\n");
    }
    return kExitOk;
}

}  // namespace

extern const Command kAddPkcs12Command{
    "add-p12",
    "<file.p12>",
    1,
    1,
    "    Adds the certificates with keys of a PKCS#12 file to the personal store.\n",
    {{kPasswordEnvOption, "<VARIABLE>", "the environment variable that holds the password"}},
    &run,
    {}};

}  // namespace kest::tool
