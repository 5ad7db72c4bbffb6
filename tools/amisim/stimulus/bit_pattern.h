// The symbols a transmitter sends: bits of a PRBS or of a seeded random
// stream, grouped into symbols of several bits where there are more than two
// levels. A source sending them and an error counter checking them build the
// same stream from the same pattern.
#ifndef AMISIM_BIT_PATTERN_H
#define AMISIM_BIT_PATTERN_H

#include <cstdint>

#include "tools/amisim/stimulus/prbs.h"
#include "tools/amisim/stimulus/random_stream.h"

namespace amisim {

struct BitPattern {
    int prbs_order = 7;      // PRBS<order> from the all-ones state; 0: random bits
    std::uint64_t seed = 1;  // of the random bits
    std::uint64_t skip = 0;  // bits left out at the start (a PRBS at another phase)
};

// Symbols 0 .. levels - 1, each from the next log2(levels) bits, the first
// one the most significant; with two levels a symbol is a bit. levels must be
// a power of two (others count as the next one below; fewer than two give
// symbol 0 always).
class SymbolStream {
  public:
    SymbolStream(const BitPattern &pattern, int levels);
    int next() {
        int symbol = 0;
        for (int i = 0; i < bits_per_symbol_; ++i) {
            symbol = (symbol << 1) | next_bit();
        }
        return symbol;
    }

  private:
    int next_bit() {
        return random_ ? static_cast<int>(random_stream_.next() >> 63) : prbs_.next();
    }

    bool random_;
    PrbsGenerator prbs_;
    RandomStream random_stream_;
    int bits_per_symbol_ = 1;
};

}  // namespace amisim

#endif  // AMISIM_BIT_PATTERN_H
