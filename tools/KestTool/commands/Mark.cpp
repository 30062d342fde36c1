// kesttool mark: certificates of the list become signer candidates in the settings file.
#include "Certificates.h"
#include "CommandLine.h"

namespace kest::tool {
namespace {

int run(const Invocation& invocation) { return setCandidates(invocation.operands(), 1); }

}  // namespace

extern const Command kMarkCommand{"mark",
                                  "<certificate id | list index>...",
                                  1,
                                  kAnyNumber,
                                  "    Makes certificates of the list signer candidates in the settings file.\n",
                                  {},
                                  &run,
                                  {}};

}  // namespace kest::tool
