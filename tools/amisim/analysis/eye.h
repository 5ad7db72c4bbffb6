// The eye of a streamed waveform: a density over two unit intervals (phase
// by voltage), and for each sampling phase the extremes of the samples of
// each symbol sent (NRZ: the lowest sample of the bits sent as 1 and the
// highest of the bits sent as 0). Everything accumulates as the samples go
// by; nothing grows with the number of bits. With more than two levels a
// "bit" below is a symbol, one unit interval long.
//
// Phases are counted from a centre c on the pulse response, normally its
// main cursor: bit k of the stimulus peaks at sample k * spb + c. Sample n
// is decided as bit k = floor((n - c + spb/2) / spb), at phase slot
// s = n - c + spb/2 - k*spb (0 .. spb-1; slot spb/2 is the centre itself).
// The density's column of sample n is (n - c + spb) mod 2 spb, so the
// centre sits in column spb, the middle of the two unit intervals.
#ifndef AMISIM_EYE_H
#define AMISIM_EYE_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "tools/amisim/analysis/eye_density.h"
#include "tools/amisim/stimulus/bit_pattern.h"

namespace amisim {

struct EyeLayout {
    int samples_per_bit = 1;
    std::size_t centre = 0;        // c, in samples
    std::int64_t settle_bits = 0;  // bits left out at the start while the channel fills
    int prbs_order = 7;            // the stimulus's bits, regenerated here
    double expected_swing = 1.0;   // largest |sample| expected, volts: sets the first range
    int levels = 2;                // the stimulus's symbols (see symbol_mapping.h)
    SymbolMapping mapping = SymbolMapping::kGray;
    std::uint64_t seed = 1;  // of random bits, for prbs_order 0
};

class EyeAccumulator {
  public:
    explicit EyeAccumulator(const EyeLayout &layout);

    // The next count samples of the waveform.
    void add(const double *wave, std::size_t count);

    const EyeLayout &layout() const { return layout_; }
    const EyeDensity &density() const { return density_; }
    int columns() const { return density_.columns(); }
    double range() const { return density_.range(); }
    const std::vector<std::uint64_t> &histogram() const { return density_.histogram(); }
    std::uint64_t count(int column, int row) const { return density_.count(column, row); }
    const std::vector<double> &lowest_one() const { return density_.lowest_one(); }
    const std::vector<double> &highest_zero() const { return density_.highest_zero(); }
    std::uint64_t samples() const { return density_.samples(); }
    std::uint64_t non_finite() const { return density_.non_finite(); }

  private:
    EyeLayout layout_;
    int spb_;
    int columns_;
    EyeDensity density_;
    SymbolStream symbols_;
    std::int64_t bit_ = 0;  // k of the current sample
    int value_ = 0;         // its symbol
    int slot_ = 0;
    int column_ = 0;
};

// What one eye shows at each phase and at its best one. Eye e lies between
// levels e and e + 1 (NRZ: eye 0, between the 0s and the 1s); its upper
// edge at a phase is the lowest sample of every symbol above it (e + 1 and
// higher), its lower edge the highest of every symbol below (e and lower):
// where the eye is open, a threshold between the edges decides every
// sample there without error.
struct EyeFigures {
    bool measured = false;  // false when no symbol above or none below was seen after settling
    // The bathtub: eye height (upper edge minus lower, negative when the
    // eye is closed) at each phase slot, NaN where a slot saw no symbol
    // above or none below.
    std::vector<double> bathtub;
    int best_slot = 0;    // the slot of the greatest height (nearest the centre on ties)
    double height = 0.0;  // volts, at the best slot
    double lower = 0.0;   // the edges at the best slot, volts
    double upper = 0.0;
    // Samples over which the eye is open around the best slot. The bathtub
    // is periodic (the slot after the last is the first, of the next bit);
    // between slots it is taken as linear, so each end of the opening is
    // where that line crosses 0. spb when open at every phase, 0 when
    // closed at the best slot.
    double width = 0.0;
};

// Eye `which` (0, the lowest, by default; below density.levels() - 1).
EyeFigures eye_figures(const EyeDensity &eye, int which = 0);
inline EyeFigures eye_figures(const EyeAccumulator &eye) {
    return eye_figures(eye.density());
}

// Eye `which`'s edges at each slot: lower (-inf where no symbol below was
// seen) and upper (+inf where none above).
void eye_edges(const EyeDensity &eye, int which, std::vector<double> &lower,
               std::vector<double> &upper);

// Samples over which values stay above 0 around slot from (where it is
// above 0), round the period of values.size() slots, each end where the
// straight line between the last slot above 0 and the next crosses 0, or
// half a slot beyond where the next is NaN; values.size() when every slot
// is above 0.
double open_span(const std::vector<double> &values, int from);

// Offset of a phase slot from the centre, in samples.
inline int slot_offset(int slot, int samples_per_bit) {
    return slot - samples_per_bit / 2;
}

}  // namespace amisim

#endif  // AMISIM_EYE_H
