// How bits become symbols and symbols become voltages, for NRZ, PAM4 and
// PAM-n. A symbol is a level's index, 0 for the lowest. Each symbol carries
// the code word of ceil(log2 n) bits, the first bit sent the most
// significant: with Gray mapping (the default) the code word of symbol s
// is s ^ (s >> 1), the reflected binary Gray code, so neighbouring levels
// differ in one bit (PAM4: 00, 01, 11, 10 for levels 0 .. 3); with natural
// mapping it is s itself (PAM4: 00, 01, 10, 11). With two levels both are
// the bit itself. Where n is not a power of two, only the code words of
// symbols 0 .. n - 1 are sent (see SymbolStream).
#ifndef AMISIM_SYMBOL_MAPPING_H
#define AMISIM_SYMBOL_MAPPING_H

#include <string>
#include <vector>

namespace amisim {

enum class SymbolMapping { kGray, kNatural };

// The largest number of levels the stand-in sends.
inline constexpr int kMaxLevels = 32;

// Bits in a symbol's code word: ceil(log2 levels); 0 for fewer than two levels.
int bits_per_symbol(int levels);

// The code word of a symbol.
inline unsigned code_word(int symbol, SymbolMapping mapping) {
    const auto s = static_cast<unsigned>(symbol);
    return mapping == SymbolMapping::kGray ? s ^ (s >> 1u) : s;
}

// The symbol whose code word this is (the inverse of code_word).
inline int symbol_of(unsigned word, SymbolMapping mapping) {
    if (mapping == SymbolMapping::kNatural) {
        return static_cast<int>(word);
    }
    for (unsigned shift = 1; shift < 32u; shift <<= 1u) {
        word ^= word >> shift;
    }
    return static_cast<int>(word);
}

// Bits in error when sent is decided as decided: the bits their code words
// differ in.
int bit_errors(int sent, int decided, SymbolMapping mapping);

// The voltages of the symbols, as IBIS defines PAM levels: levels equally
// spaced, the outer ones at -half_swing and +half_swing (NRZ: +-0.5 for a
// half swing of 0.5; PAM4: -0.5, -1/6, +1/6, +0.5). Empty for fewer than two.
std::vector<double> pam_levels(int levels, double half_swing = 0.5);

// The thresholds half-way between neighbouring levels, each level times
// scale (the pulse response's main cursor, say).
std::vector<double> midpoint_thresholds(const std::vector<double> &levels, double scale = 1.0);

// "Gray" or "natural".
const char *mapping_name(SymbolMapping mapping);
// "NRZ", "PAM4", "PAM3", ...
std::string modulation_name(int levels);

}  // namespace amisim

#endif  // AMISIM_SYMBOL_MAPPING_H
