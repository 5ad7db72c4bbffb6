// Contract violations: the standard assertion-failure report, then abort.
//
// Every documented check of the library names one site of the table in
// common/contract_sites.h and is written AMI_REQUIRE(condition, site). The
// report carries the site's expression, source, line and function, which
// callers may match on, so reports stay stable when the code moves.
// Internal invariants that no caller can break use assert(), which is
// compiled into the sanitizer build only.
#ifndef AMI_COMMON_CONTRACT_H
#define AMI_COMMON_CONTRACT_H

#include "common/contract_sites.h"

namespace ami {

// Prints "<program>: <source>:<line>: <function>: Assertion `<expression>' failed."
// on stderr and aborts, whatever NDEBUG says.
[[noreturn]] void contract_violation(const ContractSite &site);

}  // namespace ami

#define AMI_REQUIRE(condition, site)         \
    do {                                     \
        if (!(condition)) {                  \
            ::ami::contract_violation(site); \
        }                                    \
    } while (0)

#endif  // AMI_COMMON_CONTRACT_H
