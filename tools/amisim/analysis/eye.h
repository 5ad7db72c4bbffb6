// The eye of a streamed waveform: a density over two unit intervals (phase
// by voltage), and for each sampling phase the lowest sample of the bits
// sent as 1 and the highest of the bits sent as 0. Everything accumulates as
// the samples go by; nothing grows with the number of bits.
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
#include "tools/amisim/stimulus/prbs.h"

namespace amisim {

struct EyeLayout {
    int samples_per_bit = 1;
    std::size_t centre = 0;        // c, in samples
    std::int64_t settle_bits = 0;  // bits left out at the start while the channel fills
    int prbs_order = 7;            // the stimulus's bits, regenerated here
    double expected_swing = 1.0;   // largest |sample| expected, volts: sets the first range
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
    PrbsGenerator bits_;
    std::int64_t bit_ = 0;  // k of the current sample
    int value_ = 0;         // its bit
    int slot_ = 0;
    int column_ = 0;
};

// What the eye shows at each phase and at its best one.
struct EyeFigures {
    bool measured = false;  // false when no 1 or no 0 was seen after settling
    // The bathtub: eye height (lowest 1 minus highest 0, negative when the
    // eye is closed) at each phase slot, NaN where a slot saw no 1 or no 0.
    std::vector<double> bathtub;
    int best_slot = 0;    // the slot of the greatest height (nearest the centre on ties)
    double height = 0.0;  // volts, at the best slot
    // Samples over which the eye is open around the best slot. The bathtub
    // is periodic (the slot after the last is the first, of the next bit);
    // between slots it is taken as linear, so each end of the opening is
    // where that line crosses 0. spb when open at every phase, 0 when
    // closed at the best slot.
    double width = 0.0;
};

EyeFigures eye_figures(const EyeDensity &eye);
inline EyeFigures eye_figures(const EyeAccumulator &eye) {
    return eye_figures(eye.density());
}

// Offset of a phase slot from the centre, in samples.
inline int slot_offset(int slot, int samples_per_bit) {
    return slot - samples_per_bit / 2;
}

}  // namespace amisim

#endif  // AMISIM_EYE_H
