// Contract violations: the standard assertion-failure report, then abort.
#ifndef AMI_COMMON_CONTRACT_H
#define AMI_COMMON_CONTRACT_H

namespace ami {

// Prints "<program>: <source>:<line>: <function>: Assertion `<expression>' failed."
// on stderr and aborts, whatever NDEBUG says. The source, line and function are
// the ones the library documents for the check, so reports stay stable when
// the code moves.
[[noreturn]] void contract_violation(const char *expression, const char *source, unsigned line,
                                     const char *function);

}  // namespace ami

#endif  // AMI_COMMON_CONTRACT_H
