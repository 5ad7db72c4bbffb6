// Pseudo-random bit sequences from maximal-length linear feedback shift
// registers (PRBS7, 9, 15, 23, 31), started from the all-ones state.
#ifndef AMISIM_PRBS_H
#define AMISIM_PRBS_H

#include <cstdint>
#include <vector>

namespace amisim {

// True for the orders this generator knows: 7, 9, 15, 23, 31.
bool prbs_order_supported(int order);

// The first count bits of PRBS<order> (x^order + x^tap + 1), as 0 and 1.
std::vector<std::uint8_t> prbs_bits(int order, std::size_t count);

}  // namespace amisim

#endif  // AMISIM_PRBS_H
