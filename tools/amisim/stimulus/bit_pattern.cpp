#include "tools/amisim/stimulus/bit_pattern.h"

#include <algorithm>

namespace amisim {

SymbolStream::SymbolStream(const BitPattern &pattern, int levels)
    : random_(pattern.prbs_order == 0),
      prbs_(pattern.prbs_order),
      random_stream_(pattern.seed),
      bits_per_symbol_(bits_per_symbol(std::min(levels, kMaxLevels))) {
    const int symbols = std::min(std::max(levels, 1), kMaxLevels);
    symbol_of_word_.fill(-1);
    for (int s = 0; s < symbols; ++s) {
        symbol_of_word_[code_word(s, pattern.mapping)] = static_cast<std::int8_t>(s);
    }
    std::uint64_t skip = pattern.skip;
    if (!random_ && prbs_order_supported(pattern.prbs_order)) {
        const std::uint64_t period = (std::uint64_t{1} << pattern.prbs_order) - 1u;
        skip = period == 0 ? 0 : skip % period;
    }
    for (std::uint64_t i = 0; i < skip; ++i) {
        next_bit();
    }
}

}  // namespace amisim
