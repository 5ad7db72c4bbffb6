#include "tools/amisim/prbs.h"

namespace amisim {

namespace {

// Feedback tap of each order's polynomial x^order + x^tap + 1.
int feedback_tap(int order) {
    switch (order) {
        case 7:
            return 6;
        case 9:
            return 5;
        case 15:
            return 14;
        case 23:
            return 18;
        case 31:
            return 28;
        default:
            return 0;
    }
}

}  // namespace

bool prbs_order_supported(int order) {
    return feedback_tap(order) != 0;
}

std::vector<std::uint8_t> prbs_bits(int order, std::size_t count) {
    std::vector<std::uint8_t> bits;
    const int tap = feedback_tap(order);
    if (tap == 0) {
        return bits;
    }
    bits.reserve(count);
    std::uint32_t state = (std::uint32_t{1} << order) - 1u;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint32_t bit = ((state >> (order - 1)) ^ (state >> (tap - 1))) & 1u;
        state = ((state << 1) | bit) & ((std::uint32_t{1} << order) - 1u);
        bits.push_back(static_cast<std::uint8_t>(bit));
    }
    return bits;
}

}  // namespace amisim
