// kesttool unmark: certificates of the list are no longer signer candidates.
#include "Certificates.h"
#include "CommandLine.h"

namespace kest::tool {
namespace {

int run(const Invocation& invocation) { return setCandidates(invocation.operands(), 0); }

}  // namespace

extern const Command kUnmarkCommand{"unmark",
                                    "<certificate id | list index>...",
                                    1,
                                    kAnyNumber,
                                    "    Makes them no longer signer candidates.\n",
                                    {},
                                    &run,
                                    {}};

}  // namespace kest::tool
