// The PRBS7 bit pattern: 127 bits d0 .. d126, repeated without end, with
// d0 .. d6 = 1 and dk = d(k-1) XOR d(k-7) after them. It begins
// 1111111010101001 and holds 64 ones and 63 zeros.
#ifndef AMI_BLOCKS_WAVEFORMS_PRBS7_PATTERN_H
#define AMI_BLOCKS_WAVEFORMS_PRBS7_PATTERN_H

#include <array>
#include <cstdint>

namespace ami {

inline constexpr int kPrbs7Bits = 127;

constexpr std::array<std::uint8_t, kPrbs7Bits> make_prbs7_pattern() {
    std::array<std::uint8_t, kPrbs7Bits> bits{};
    for (int k = 0; k < kPrbs7Bits; ++k) {
        bits[k] = k < 7 ? 1 : static_cast<std::uint8_t>(bits[k - 1] ^ bits[k - 7]);
    }
    return bits;
}

inline constexpr std::array<std::uint8_t, kPrbs7Bits> kPrbs7Pattern = make_prbs7_pattern();

// The level of bit k as sent: +0.5 for a 1, -0.5 for a 0.
constexpr double prbs7_level(int k) {
    return kPrbs7Pattern[k] != 0 ? 0.5 : -0.5;
}

// The sign of bit k in the correlation that unfolds a waveform: +1 or -1.
constexpr double prbs7_sign(int k) {
    return kPrbs7Pattern[k] != 0 ? 1.0 : -1.0;
}

}  // namespace ami

#endif  // AMI_BLOCKS_WAVEFORMS_PRBS7_PATTERN_H
