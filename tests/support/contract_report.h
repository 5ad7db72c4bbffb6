// The assertion report of a documented contract site, as a pattern for
// EXPECT_DEATH: "<source>:<line>: <function>: Assertion `<expression>' failed".
#ifndef AMI_TESTS_SUPPORT_CONTRACT_REPORT_H
#define AMI_TESTS_SUPPORT_CONTRACT_REPORT_H

#include <cstring>
#include <string>

#include "common/contract_sites.h"

inline std::string literal_pattern(const std::string &text) {
    std::string pattern;
    for (char c : text) {
        if (std::strchr("\\^$.|?*+()[]{}", c) != nullptr) {
            pattern += '\\';
        }
        pattern += c;
    }
    return pattern;
}

inline std::string report_of(const ami::ContractSite &site) {
    return literal_pattern(std::string(site.source) + ":" + std::to_string(site.line) + ": " +
                           site.function + ": Assertion `" + site.expression + "' failed");
}

#endif  // AMI_TESTS_SUPPORT_CONTRACT_REPORT_H
