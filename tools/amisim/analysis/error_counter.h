// Counted errors: the receiver's decisions at its sampling instants against
// the symbols sent. An instant decides the symbol whose pulse peaks nearest
// its nominal place t (samples from the start of the waveform, before the
// receiver's jitter moved it): k = round((t - latency) / spb), since symbol
// k of the stimulus reaches its main cursor at sample k spb + latency, the
// link's latency measured on its pulse response. The decision is the number of thresholds the
// sampled voltage lies above (a voltage on a threshold counts as below it); it is an error when it
// differs from the symbol sent. Only the first instant to decide a symbol counts. Each
// decision also counts the bits in error: those in which the code words (symbol_mapping.h) of
// the symbol sent and of the one decided differ, by the pattern's mapping.
//
// With eye offsets, as a PAM4 receiver may have, each threshold is decided
// on the waveform at the instant moved by its eye's offset, and the
// decision is the number of thresholds whose own sample lies above them.
//
// The error rate's 95% confidence interval is Wilson's score interval: it
// needs no more than a square root (so it is the same on both word sizes),
// it never collapses to a point (0 errors in n give [0, 3.84 / n] or so,
// near the exact Clopper-Pearson 3.69 / n), and its coverage stays close to
// 95% for counts small and large, where the normal approximation's interval
// fails at the few errors a long run at a low rate gives.
#ifndef AMISIM_ERROR_COUNTER_H
#define AMISIM_ERROR_COUNTER_H

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

#include "tools/amisim/analysis/waveform_sampler.h"
#include "tools/amisim/stimulus/bit_pattern.h"
#include "tools/amisim/stimulus/random_stream.h"

namespace amisim {

struct ErrorCountSettings {
    BitPattern pattern;      // the symbols sent, regenerated here
    std::size_t levels = 2;  // symbols: each takes log2(levels) bits
    // Ascending, levels - 1 of them. Any NaN: the thresholds are to come
    // (set_thresholds); until they do, the counter keeps each instant's
    // samples and decides them, in order, when they come.
    std::vector<double> thresholds = {0.0};
    int samples_per_bit = 32;
    double latency = 0.0;              // samples
    std::int64_t settle_bits = 0;      // symbols before this one are not counted
    std::size_t kept_positions = 100;  // how many errors' symbol indices to keep
    double noise_sigma = 0.0;          // volts at the decision point
    std::uint64_t noise_seed = 1;
    // One per eye, lowest first, samples (within a unit interval): where
    // each threshold's sample lies from the instant. None: at the instant.
    std::vector<double> eye_offsets;
};

struct Interval {
    double low = 0.0;
    double high = 0.0;
};

// The standard normal's 97.5% quantile: a two-sided 95% interval.
inline constexpr double kZ95 = 1.959963984540054;

// Wilson's score interval of a proportion, errors out of trials (0 to 1 for
// no trials), two-sided at the standard normal quantile z.
Interval wilson_interval(std::uint64_t errors, std::uint64_t trials, double z = kZ95);

struct ErrorFigures {
    std::uint64_t decisions = 0;  // symbols decided and counted
    std::uint64_t errors = 0;
    double ber = 0.0;   // errors / decisions: symbol errors, with two levels bit errors
    Interval interval;  // 95%, Wilson
    std::vector<std::int64_t> error_symbols;         // the first errors' symbol indices
    std::vector<std::uint64_t> decisions_by_symbol;  // by the symbol sent
    std::vector<std::uint64_t> errors_by_symbol;
    std::uint64_t missed = 0;    // symbols between decided ones that no instant decided
    std::uint64_t repeated = 0;  // instants deciding a symbol already decided
    // The bits of the decisions (bits_per_symbol(levels) each) and those in
    // error, their rate and its 95% interval: the symbols' interval times
    // the bits turned per wrong symbol (1 before any) over the bits per
    // symbol, since the bits in error come in groups from the wrong symbols.
    // With two levels all the same as the symbols'.
    std::uint64_t bits = 0;
    std::uint64_t bit_errors = 0;
    double bit_error_rate = 0.0;
    Interval bit_interval;
    // By the symbol sent: the mean voltage sampled at its decisions' instants
    // (before the decision point's noise), NaN for a symbol never decided.
    std::vector<double> level_means;
    // Instants left out by eye offsets: one of their samples was left out
    // (see WaveformSampler), so the symbol was not decided.
    std::uint64_t incomplete = 0;
};

class ErrorCounter {
  public:
    explicit ErrorCounter(const ErrorCountSettings &settings);

    // The voltage sampled (before the decision point's noise) at an instant
    // whose nominal place is given, for every threshold; nominal places
    // ascending.
    void decide(double nominal, double voltage);
    // The next count samples of the waveform and the instants to sample in
    // them (see WaveformSampler), with their nominal places (null: the
    // instants themselves), decided as they complete.
    void add(const double *wave, std::size_t count, const double *instants, const double *nominal,
             std::size_t n);

    // The thresholds to come: the instants kept so far are decided.
    void set_thresholds(const std::vector<double> &thresholds);
    bool thresholds_pending() const { return pending_; }
    // Instants kept for the thresholds to come.
    std::size_t kept() const { return kept_.size() / (1 + offsets_.size()); }

    // Those kept are not counted.
    ErrorFigures figures() const;

  private:
    // Decides at a nominal place with the voltage of each sampler, or keeps
    // them for the thresholds to come.
    void decide_at(double nominal, const double *voltages);
    void count_decision(double nominal, const double *voltages);

    ErrorCountSettings settings_;
    SymbolStream symbols_;
    std::int64_t next_symbol_ = 0;  // the index symbols_ gives next
    int symbol_ = 0;                // the value of symbol next_symbol_ - 1
    std::int64_t last_decided_ = -1;
    int bits_per_symbol_;
    ErrorFigures figures_;
    std::vector<double> level_sums_;  // by the symbol sent
    RandomStream noise_;
    // One sampler per distinct offset, ascending, 0 among them: the
    // instant's own, whose samples give the level means.
    std::vector<double> offsets_;
    std::vector<std::size_t> eye_sampler_;  // of each threshold
    std::size_t instant_sampler_ = 0;
    std::vector<WaveformSampler> samplers_;
    std::vector<std::deque<Sampled>> ready_;  // sampled, not decided yet
    std::vector<Sampled> sampled_;
    std::vector<double> shifted_;
    std::vector<double> voltages_;  // of each sampler
    std::vector<double> noisy_;
    bool pending_ = false;
    std::deque<double> kept_;  // each kept instant's nominal place, then its voltages
};

// The instants of a clock at a fixed phase: first, first + spb, ... Those
// below end go out, each once.
class FixedClock {
  public:
    FixedClock(double first, int samples_per_bit) : next_(first), spb_(samples_per_bit) {}
    // Appends to instants every instant below end not given yet.
    void instants_before(double end, std::vector<double> &instants);

  private:
    double next_;
    int spb_;
    std::int64_t index_ = 0;
};

}  // namespace amisim

#endif  // AMISIM_ERROR_COUNTER_H
