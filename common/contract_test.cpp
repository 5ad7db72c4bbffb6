// The contract reports: glibc's assertion text for each documented site,
// whatever NDEBUG says, and one site per source line.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>

#include "common/contract.h"
#include "tests/support/contract_report.h"

namespace {

TEST(ContractDeathTest, ViolationPrintsTheSitesReportAndAborts) {
    for (const ami::ContractSite *site : ami::kContractSites) {
        EXPECT_DEATH(ami::contract_violation(*site), report_of(*site)) << site->function;
    }
    const auto require = [](bool holds) { AMI_REQUIRE(holds, ami::sites::kComplexDivisionByZero); };
    require(true);
    EXPECT_DEATH(require(false), report_of(ami::sites::kComplexDivisionByZero));
}

TEST(Contract, EachSourceLineHoldsOneSite) {
    std::set<std::pair<std::string, unsigned>> seen;
    for (const ami::ContractSite *site : ami::kContractSites) {
        EXPECT_TRUE(seen.emplace(site->source, site->line).second)
            << site->source << ":" << site->line;
    }
}

}  // namespace
