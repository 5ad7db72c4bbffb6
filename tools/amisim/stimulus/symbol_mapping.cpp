#include "tools/amisim/stimulus/symbol_mapping.h"

namespace amisim {

int bits_per_symbol(int levels) {
    int bits = 0;
    while (bits < 31 && (1 << bits) < levels) {
        ++bits;
    }
    return bits;
}

int bit_errors(int sent, int decided, SymbolMapping mapping) {
    unsigned differ = code_word(sent, mapping) ^ code_word(decided, mapping);
    int count = 0;
    for (; differ != 0u; differ &= differ - 1u) {
        ++count;
    }
    return count;
}

std::vector<double> pam_levels(int levels, double half_swing) {
    std::vector<double> out;
    for (int i = 0; levels >= 2 && i < levels; ++i) {
        out.push_back(static_cast<double>(2 * i - (levels - 1)) * half_swing /
                      static_cast<double>(levels - 1));
    }
    return out;
}

std::vector<double> midpoint_thresholds(const std::vector<double> &levels, double scale) {
    std::vector<double> out;
    for (std::size_t i = 0; i + 1 < levels.size(); ++i) {
        out.push_back(0.5 * (levels[i] * scale + levels[i + 1] * scale));
    }
    return out;
}

const char *mapping_name(SymbolMapping mapping) {
    return mapping == SymbolMapping::kGray ? "Gray" : "natural";
}

std::string modulation_name(int levels) {
    return levels == 2 ? std::string("NRZ") : "PAM" + std::to_string(levels);
}

}  // namespace amisim
