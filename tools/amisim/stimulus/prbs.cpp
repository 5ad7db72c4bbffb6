#include "tools/amisim/stimulus/prbs.h"

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

PrbsGenerator::PrbsGenerator(int order) {
    const int tap = feedback_tap(order);
    if (tap == 0) {
        return;  // state 0 stays 0
    }
    mask_ = (std::uint32_t{1} << order) - 1u;
    state_ = mask_;
    high_ = order - 1;
    tap_ = tap - 1;
}

std::vector<std::uint8_t> prbs_bits(int order, std::size_t count) {
    std::vector<std::uint8_t> bits;
    if (!prbs_order_supported(order)) {
        return bits;
    }
    PrbsGenerator generator(order);
    bits.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        bits.push_back(static_cast<std::uint8_t>(generator.next()));
    }
    return bits;
}

}  // namespace amisim
