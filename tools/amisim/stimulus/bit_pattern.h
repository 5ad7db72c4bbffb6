// The symbols a transmitter sends: bits of a PRBS or of a seeded random
// stream, grouped into symbols of several bits where there are more than two
// levels, each group a symbol's code word (see symbol_mapping.h). A source
// sending them and an error counter checking them build the same stream
// from the same pattern.
#ifndef AMISIM_BIT_PATTERN_H
#define AMISIM_BIT_PATTERN_H

#include <array>
#include <cstdint>

#include "tools/amisim/stimulus/prbs.h"
#include "tools/amisim/stimulus/random_stream.h"
#include "tools/amisim/stimulus/symbol_mapping.h"

namespace amisim {

struct BitPattern {
    int prbs_order = 7;      // PRBS<order> from the all-ones state; 0: random bits
    std::uint64_t seed = 1;  // of the random bits
    std::uint64_t skip = 0;  // bits left out at the start (a PRBS at another phase)
    SymbolMapping mapping = SymbolMapping::kGray;  // of bits to symbols, with more than two levels
};

// Symbols 0 .. levels - 1, each the one whose code word (by the pattern's
// mapping) is the next bits_per_symbol(levels) bits, the first one the most
// significant; with two levels a symbol is a bit. Where levels is not a
// power of two, a code word of no symbol is passed over and the next one
// taken, so that the symbols stay equally likely. Fewer than two levels
// give symbol 0 always; more than kMaxLevels count as kMaxLevels.
class SymbolStream {
  public:
    SymbolStream(const BitPattern &pattern, int levels);
    int next() {
        if (bits_per_symbol_ == 1) {
            return next_bit();  // two levels: the bit, by either mapping
        }
        while (true) {
            unsigned word = 0;
            for (int i = 0; i < bits_per_symbol_; ++i) {
                word = (word << 1u) | static_cast<unsigned>(next_bit());
            }
            const int symbol = symbol_of_word_[word];
            if (symbol >= 0) {
                return symbol;
            }
        }
    }

  private:
    int next_bit() {
        return random_ ? static_cast<int>(random_stream_.next() >> 63) : prbs_.next();
    }

    bool random_;
    PrbsGenerator prbs_;
    RandomStream random_stream_;
    int bits_per_symbol_ = 1;
    // The symbol of each code word, -1 for a word of no symbol.
    std::array<std::int8_t, kMaxLevels> symbol_of_word_{};
};

}  // namespace amisim

#endif  // AMISIM_BIT_PATTERN_H
