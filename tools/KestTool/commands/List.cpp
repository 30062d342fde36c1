// kesttool list: the personal store's certificates with a reachable key, as a host lists them.
#include "Certificates.h"
#include "CommandLine.h"
#include "Terminal.h"

namespace kest::tool {
namespace {

int run(const Invocation& invocation) {
    std::string settings;
    UniqueMyCertList list;
    if (const int status = markedPersonalStoreList(settings, list); status != kExitOk) return status;
    printList(list.get(), invocation.flag(kJsonOption));
    return kExitOk;
}

}  // namespace

extern const Command kListCommand{"list",
                                  "",
                                  0,
                                  0,
                                  "    The personal store's certificates whose private key is reachable, with the\n"
                                  "    signer candidates of the settings file marked.\n",
                                  {{kJsonOption, nullptr, "a JSON array of objects in UTF-8 instead of the table"}},
                                  &run,
                                  {}};

}  // namespace kest::tool
