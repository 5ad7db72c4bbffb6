// Symbols of several levels from a PRBS's bits by each mapping, the bits
// turned by a wrong decision, and the levels.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "tools/amisim/stimulus/bit_pattern.h"
#include "tools/amisim/stimulus/prbs.h"
#include "tools/amisim/stimulus/symbol_mapping.h"

namespace {

using amisim::SymbolMapping;

// PAM4 symbols take the PRBS's bits two at a time, the first the most
// significant, through the mapping's table; a wrong decision turns the
// bits in which the two symbols' code words differ. Two levels give the
// bits themselves.
TEST(SymbolMapping, SymbolsOfThePrbsBitsAndTheBitsAWrongDecisionTurns) {
    struct Row {
        const char *name;
        SymbolMapping mapping;
        std::vector<int> symbol_of_word;  // 00, 01, 10, 11
        int errors_1_to_2;                // bits turned deciding 2 for 1
        int errors_0_to_3;
    };
    const Row rows[] = {
        {"Gray", SymbolMapping::kGray, {0, 1, 3, 2}, 1, 1},
        {"natural", SymbolMapping::kNatural, {0, 1, 2, 3}, 2, 2},
    };
    const std::vector<std::uint8_t> bits = amisim::prbs_bits(9, 2000);
    for (const Row &row : rows) {
        amisim::BitPattern pattern;
        pattern.prbs_order = 9;
        pattern.mapping = row.mapping;
        amisim::SymbolStream pam4(pattern, 4);
        amisim::SymbolStream nrz(pattern, 2);
        for (std::size_t k = 0; k < bits.size() / 2; ++k) {
            const std::size_t word = bits[2 * k] * 2u + bits[2 * k + 1];
            ASSERT_EQ(pam4.next(), row.symbol_of_word[word]) << row.name << " " << k;
        }
        for (std::size_t k = 0; k < bits.size(); ++k) {
            ASSERT_EQ(nrz.next(), bits[k]) << row.name << " " << k;
        }
        EXPECT_EQ(amisim::bit_errors(1, 2, row.mapping), row.errors_1_to_2) << row.name;
        EXPECT_EQ(amisim::bit_errors(0, 3, row.mapping), row.errors_0_to_3) << row.name;
    }
    // Neighbours of the reflected Gray code of 32 levels differ in one bit.
    for (int s = 0; s + 1 < 32; ++s) {
        EXPECT_EQ(amisim::bit_errors(s, s + 1, SymbolMapping::kGray), 1) << s;
    }
}

TEST(SymbolMapping, LevelsEquallySpacedBetweenTheHalfSwings) {
    EXPECT_EQ(amisim::pam_levels(2), (std::vector<double>{-0.5, 0.5}));
    EXPECT_EQ(amisim::pam_levels(4), (std::vector<double>{-0.5, -1.0 / 6.0, 1.0 / 6.0, 0.5}));
    EXPECT_EQ(amisim::pam_levels(3, 0.4), (std::vector<double>{-0.4, 0.0, 0.4}));
    EXPECT_TRUE(amisim::pam_levels(1).empty());
    EXPECT_EQ(amisim::midpoint_thresholds(amisim::pam_levels(4), 3.0),
              (std::vector<double>{-1.0, 0.0, 1.0}));
}

// With levels not a power of two, the code words of no symbol are passed
// over: three levels from random bits come equally often.
TEST(SymbolStream, LevelsNotAPowerOfTwoStayEquallyLikely) {
    amisim::BitPattern pattern;
    pattern.prbs_order = 0;
    amisim::SymbolStream stream(pattern, 3);
    std::vector<int> seen(4, 0);
    const int draws = 300000;
    for (int i = 0; i < draws; ++i) {
        ++seen[static_cast<std::size_t>(stream.next())];
    }
    EXPECT_EQ(seen[3], 0);
    for (int s = 0; s < 3; ++s) {
        EXPECT_NEAR(seen[static_cast<std::size_t>(s)], draws / 3.0, 1000.0) << s;  // 4 sigma
    }
}

}  // namespace
