// The eye where a receiver samples it: at the clock ticks its AMI_GetWave
// returns. A tick marks the start of a bit as the receiver recovered it;
// the receiver decides the bit half a bit time later, at the sampling
// instant. Each instant, rounded to the nearest sample, is the centre of a
// window of two unit intervals that goes into the density (so each sample
// lies in the windows of about two instants), and the middle unit interval
// gives the bathtub: at each phase from the instant, the lowest sample of
// the bits sent as 1 and the highest of the bits sent as 0 (with more
// levels, the extremes of each symbol's samples), the bit being the one
// whose pulse peaks nearest the instant (bit k of the stimulus
// peaks at sample k spb + c on the link's pulse response). Sample n lies at
// time n * sample_interval from the start of the waveform. Nothing grows
// with the number of bits: the samples of the last few unit intervals are
// kept for the windows that reach into the next block.
#ifndef AMISIM_CLOCKED_EYE_H
#define AMISIM_CLOCKED_EYE_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "tools/amisim/analysis/eye_density.h"
#include "tools/amisim/stimulus/bit_pattern.h"

namespace amisim {

struct ClockedEyeLayout {
    int samples_per_bit = 1;
    double sample_interval = 1e-12;  // s
    std::size_t centre = 0;          // c: the link's main cursor, in samples
    std::int64_t settle_bits = 0;    // instants of earlier bits are left out
    int prbs_order = 7;
    double expected_swing = 1.0;  // volts: sets the density's first range
    int levels = 2;               // the stimulus's symbols (see symbol_mapping.h)
    SymbolMapping mapping = SymbolMapping::kGray;
    std::uint64_t seed = 1;  // of random bits, for prbs_order 0
};

// The receiver's clock as the eye saw it.
struct ClockFigures {
    std::uint64_t ticks = 0;     // valid ticks returned
    std::uint64_t in_eye = 0;    // their instants in the eye (past settling, window complete)
    std::uint64_t rejected = 0;  // not a finite time above the previous tick, or outside its block
    // Phase of the sampling instants in the eye from the bit grid (the
    // peaks of the link's pulse response), in UI within [-0.5, 0.5): mean,
    // standard deviation, lowest and highest.
    double phase_mean = 0.0;
    double phase_spread = 0.0;
    double phase_lowest = 0.0;
    double phase_highest = 0.0;
};

class ClockedEye {
  public:
    explicit ClockedEye(const ClockedEyeLayout &layout);

    // The next count samples and the ticks (s) the receiver returned with
    // them, ascending.
    void add(const double *wave, std::size_t count, const double *ticks, std::size_t tick_count);

    const ClockedEyeLayout &layout() const { return layout_; }
    const EyeDensity &density() const { return density_; }
    ClockFigures clock() const;

  private:
    // A sampling instant: its sample, the bit it decides, its phase from
    // the bit grid (UI).
    struct Instant {
        std::int64_t sample;
        std::int64_t bit;
        double phase;
    };
    void take_tick(double time, std::int64_t block_end);
    void sample_instant(const Instant &point);
    // Sample n of the waveform: in the block being added, or kept from before it.
    double at(std::int64_t sample) const;

    ClockedEyeLayout layout_;
    int spb_;
    EyeDensity density_;
    SymbolStream symbols_;
    std::int64_t next_bit_ = 0;  // index of the symbol symbols_ gives next
    int bit_value_ = 0;          // the value of symbol next_bit_ - 1
    double last_tick_ = 0.0;
    std::vector<Instant> pending_;  // whose window is not complete yet
    std::vector<double> history_;   // samples from history_start_ up to the block
    std::int64_t history_start_ = 0;
    const double *block_ = nullptr;  // the block being added, from block_start_
    std::int64_t block_start_ = 0;
    std::vector<double> window_;  // a window across the block's start
    std::int64_t received_ = 0;   // samples added so far
    ClockFigures clock_;
    double phase_sum_ = 0.0;  // of the phases, around shift_ to keep the sums exact
    double phase_square_sum_ = 0.0;
    double shift_ = 0.0;
};

}  // namespace amisim

#endif  // AMISIM_CLOCKED_EYE_H
