// The report must appear whatever NDEBUG says, so take glibc's reporter
// declaration from an assert.h that is read without NDEBUG.
#undef NDEBUG
#include <assert.h>

#include "common/contract.h"

namespace ami {

void contract_violation(const ContractSite &site) {
    // The same text and the same abort as a failed assert().
    __assert_fail(site.expression, site.source, site.line, site.function);
}

}  // namespace ami
