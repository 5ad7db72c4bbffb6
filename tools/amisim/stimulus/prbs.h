// Pseudo-random bit sequences from maximal-length linear feedback shift
// registers (PRBS7, 9, 15, 23, 31), started from the all-ones state.
#ifndef AMISIM_PRBS_H
#define AMISIM_PRBS_H

#include <cstdint>
#include <vector>

namespace amisim {

// True for the orders this generator knows: 7, 9, 15, 23, 31.
bool prbs_order_supported(int order);

// PRBS<order> (x^order + x^tap + 1) one bit at a time: the whole state is
// one register, so a stream of any length costs no memory. An unsupported
// order gives a generator whose bits are all 0.
class PrbsGenerator {
  public:
    explicit PrbsGenerator(int order);
    // The next bit, 0 or 1.
    int next() {
        const std::uint32_t bit = ((state_ >> high_) ^ (state_ >> tap_)) & 1u;
        state_ = ((state_ << 1) | bit) & mask_;
        return static_cast<int>(bit);
    }

  private:
    std::uint32_t state_ = 0;
    std::uint32_t mask_ = 0;
    int high_ = 0;  // order - 1
    int tap_ = 0;   // feedback tap - 1
};

// The first count bits of PRBS<order>, as 0 and 1 (empty for an unsupported
// order).
std::vector<std::uint8_t> prbs_bits(int order, std::size_t count);

}  // namespace amisim

#endif  // AMISIM_PRBS_H
