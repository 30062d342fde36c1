// kesttool remove: one certificate of the list out of the personal store.
#include "Certificates.h"
#include "CommandLine.h"
#include "Terminal.h"

namespace kest::tool {
namespace {

int run(const Invocation& invocation) {
    const std::string& selector = invocation.operands()[0];
    UniqueMyCertList list;
    if (const ResultCode code = personalStoreList(list); code != KEST_OK)
        return reportFailure("createMyCertList", code);
    const std::optional<NamedCertificate> named = certificateNamed(list.get(), selector);
    if (!named) return reportNoCertificate(selector);
    if (const ResultCode code = deleteMyCertFromStore(named->record->certContext); code != KEST_OK)
        return reportFailure("deleteMyCertFromStore", code);
    writeOut("removed " + describe(named->index, *named->record) + "\n");
    return kExitOk;
}

}  // namespace

extern const Command kRemoveCommand{"remove",
                                    "<certificate id | list index>",
                                    1,
                                    1,
                                    "    Removes a certificate of the list from the personal store.\n",
                                    {},
                                    &run,
                                    {}};

}  // namespace kest::tool
