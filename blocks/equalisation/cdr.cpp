// Clock and data recovery: a bang-bang loop whose timers count down, one
// sample at a time, to its ticks and data instants.
//
// For one call the cells live in locals and go back at the end. The time
// t, the remainders and the quotients are formed only at ticks and data
// instants, from the same operands in the same order as the loop's
// definition. The stretches between them are passed over in one step:
// there the timers only count down by whole samples, exactly. So every
// value matches a sample-by-sample run. The retimed waveform is only
// observable at the last sample of a call, so it is formed there (and at
// ticks, where it is a copy).
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "Kestrom_AMI_Model.h"
#include "blocks/equalisation/exact_remainder.h"
#include "common/cell_group.h"

namespace {

constexpr int32_t kIndexWrap = 2147483647;

double slice(double v) {
    return v > 0 ? 0.5 : -0.5;
}

// Counters step in two's complement instead of overflowing: only a caller
// that sets the cells by hand, or a run of 2^31 votes, reaches the ends.
int32_t wrapping_add(int32_t value, int32_t delta) {
    return static_cast<int32_t>(static_cast<uint32_t>(value) + static_cast<uint32_t>(delta));
}

bool has_state(const CDR &cdr) {
    return cdr.samples_per_bit > 0 && cdr.decision_count > 0 && cdr.clock_phase != nullptr &&
           cdr.vote_threshold != nullptr && cdr.sample_index != nullptr &&
           cdr.wrap_count != nullptr && cdr.edge_timer != nullptr && cdr.data_timer != nullptr &&
           cdr.data_offset != nullptr && cdr.previous_sample != nullptr &&
           cdr.decisions != nullptr && cdr.data_decision != nullptr &&
           cdr.edge_decision != nullptr && cdr.retimed != nullptr && cdr.votes != nullptr &&
           cdr.next_reference != nullptr && cdr.last_reference != nullptr;
}

// One call of the loop, with the state in members that the compiler keeps
// in registers.
class Loop {
  public:
    Loop(const CDR &cdr, double sample_interval, int32_t clock_index, double *clock_times)
        : cdr_(cdr),
          interval_(sample_interval),
          spacing_(static_cast<double>(cdr.samples_per_bit)),
          period_(spacing_ * sample_interval),
          half_period_(0.5 * period_),
          wrap_time_(kIndexWrap * sample_interval),
          tick_period_((1 + cdr.freq_offset) * spacing_),
          correction_((1 + cdr.freq_offset) * cdr.phase_step * spacing_),
          invert_from_(cdr.invert_time - period_),
          corrects_(cdr.mode == CONTROL_MODE_AUTO || cdr.mode == CONTROL_MODE_ADAPT),
          aligns_(cdr.reference_clock != 0 && period_ != 0 && std::isfinite(period_)),
          clock_times_(clock_times),
          clock_index_(clock_index),
          clock_phase_(*cdr.clock_phase),
          threshold_(*cdr.vote_threshold),
          sample_index_(*cdr.sample_index),
          wrap_count_(*cdr.wrap_count),
          edge_timer_(*cdr.edge_timer),
          data_timer_(*cdr.data_timer),
          data_offset_(*cdr.data_offset),
          previous_(*cdr.previous_sample),
          data_decision_(*cdr.data_decision),
          edge_decision_(*cdr.edge_decision),
          retimed_(*cdr.retimed),
          votes_(*cdr.votes),
          next_reference_(*cdr.next_reference),
          last_reference_(*cdr.last_reference) {}

    template <bool kLastSample>
    void step(double x) {
        const double e = edge_timer_;
        if (e < 0) {
            tick(x, e);
        } else {
            if (kLastSample) {
                const double newest = cdr_.decisions[0];
                retimed_ = e < 1 ? e * newest + (1 - e) * data_decision_ : newest;
            }
            edge_timer_ = e - 1;
        }
        const double d = data_timer_;
        if (d < 0) {
            data_instant(x, d);
        } else {
            data_timer_ = d - 1;
        }
        previous_ = x;
        if (sample_index_ >= kIndexWrap - 1) {
            sample_index_ = 0;
            wrap_count_ = wrapping_add(wrap_count_, 1);
        } else {
            ++sample_index_;
        }
    }

    // How many of the next samples, at most limit, are quiet: neither timer
    // runs out and the sample counter does not wrap. On a quiet sample both
    // timers are at least 1 and below 2^53, where subtracting 1 is exact, so
    // k quiet samples leave each timer at timer - k exactly, as k single
    // steps would.
    int32_t quiet_samples(int32_t limit) const {
        const double e = edge_timer_;
        const double d = data_timer_;
        if (!(e >= 1 && d >= 1 && e < 0x1p53 && d < 0x1p53) || sample_index_ >= kIndexWrap - 1) {
            return 0;
        }
        const int64_t before_wrap = int64_t{kIndexWrap} - 1 - sample_index_;
        if (before_wrap < limit) {
            limit = static_cast<int32_t>(before_wrap);
        }
        const double nearer = e < d ? e : d;
        return nearer < limit ? static_cast<int32_t>(nearer) : limit;
    }

    // Runs k quiet samples, the last of which is last_x.
    void skip(int32_t k, double last_x) {
        edge_timer_ = edge_timer_ - k;
        data_timer_ = data_timer_ - k;
        previous_ = last_x;
        sample_index_ += k;
    }

    int32_t store() const {
        *cdr_.clock_phase = clock_phase_;
        *cdr_.vote_threshold = threshold_;
        *cdr_.sample_index = sample_index_;
        *cdr_.wrap_count = wrap_count_;
        *cdr_.edge_timer = edge_timer_;
        *cdr_.data_timer = data_timer_;
        *cdr_.previous_sample = previous_;
        *cdr_.data_decision = data_decision_;
        *cdr_.edge_decision = edge_decision_;
        *cdr_.retimed = retimed_;
        *cdr_.votes = votes_;
        *cdr_.next_reference = next_reference_;
        *cdr_.last_reference = last_reference_;
        return clock_index_;
    }

  private:
    // Time of the current sample from the counters it started with.
    double now() const { return sample_index_ * interval_ + wrap_count_ * wrap_time_; }

    void tick(double x, double e) {
        const double tau = now() + (e + 1) * interval_;
        clock_phase_ = ami::exact_remainder(tau, period_);
        const double reference = next_reference_;
        clock_times_[clock_index_] = tau;
        ++clock_index_;
        next_reference_ = clock_times_[clock_index_];
        clock_times_[clock_index_] = -1.0;
        edge_decision_ = slice((e + 1) * x - e * previous_ + cdr_.dfe_tap * edge_decision_);
        retimed_ = data_decision_;
        double *decisions = cdr_.decisions;
        std::memmove(decisions + 1, decisions,
                     static_cast<std::size_t>(cdr_.decision_count - 1) * sizeof(double));
        decisions[0] = data_decision_;
        edge_timer_ = e + tick_period_ - 1;
        if (aligns_ && reference > 0) {
            const double r =
                ami::exact_remainder(reference - last_reference_ + half_period_, period_);
            edge_timer_ = edge_timer_ + ((r - half_period_) / period_) * spacing_;
            last_reference_ = reference;
        }
    }

    void data_instant(double x, double d) {
        const double t = now();
        const double previous_decision = cdr_.decisions[0];
        double decision = slice((d + 1) * x - d * previous_ + cdr_.dfe_tap * previous_decision);
        if (invert_from_ <= t && t < cdr_.invert_time) {
            decision = -decision;
        }
        data_decision_ = decision;
        const double edge = edge_decision_;
        if (edge == previous_decision && edge != decision) {
            // The transition came after the edge sample: the clock is early.
            votes_ = wrapping_add(votes_, 1);
            if (corrects_ && votes_ >= threshold_) {
                votes_ = 0;
                edge_timer_ = edge_timer_ + correction_;
                raise_threshold();
            }
        } else if (edge != previous_decision && edge == decision) {
            // The clock is late.
            votes_ = wrapping_add(votes_, -1);
            if (corrects_ && votes_ <= -static_cast<int64_t>(threshold_)) {
                votes_ = 0;
                edge_timer_ = edge_timer_ - correction_;
                raise_threshold();
            }
        }
        data_timer_ = edge_timer_ + data_offset_;
    }

    void raise_threshold() {
        const int64_t raised = static_cast<int64_t>(threshold_) + 1;
        threshold_ =
            static_cast<int32_t>(raised < cdr_.max_threshold ? raised : cdr_.max_threshold);
    }

    const CDR &cdr_;
    const double interval_;
    const double spacing_;
    const double period_;
    const double half_period_;
    const double wrap_time_;
    const double tick_period_;
    const double correction_;
    const double invert_from_;
    const bool corrects_;
    const bool aligns_;
    double *const clock_times_;
    int32_t clock_index_;
    double clock_phase_;
    int32_t threshold_;
    int32_t sample_index_;
    int32_t wrap_count_;
    double edge_timer_;
    double data_timer_;
    const double data_offset_;
    double previous_;
    double data_decision_;
    double edge_decision_;
    double retimed_;
    int32_t votes_;
    double next_reference_;
    double last_reference_;
};

}  // namespace

CDR SetupCDR(const char *mode, double phase_step, int32_t max_threshold, double freq_offset,
             int32_t decision_count, int32_t samples_per_bit, double dfe_tap, double invert_time,
             char *msg, uint32_t msg_size) {
    CDR cdr{};
    cdr.mode = GetControlMode(mode, msg, msg_size);
    cdr.phase_step = phase_step;
    cdr.freq_offset = freq_offset;
    cdr.decision_count = decision_count;
    cdr.samples_per_bit = samples_per_bit;
    cdr.dfe_tap = dfe_tap;
    cdr.invert_time = invert_time > 0 ? invert_time : 0.0;
    cdr.max_threshold = max_threshold;
    cdr.reference_clock = 0;
    if (samples_per_bit < 1 || decision_count < 1) {
        return cdr;
    }
    ami::CellGroup cells;
    cells.take(cdr.clock_phase, 1);
    cells.take(cdr.vote_threshold, 1);
    cells.take(cdr.sample_index, 1);
    cells.take(cdr.wrap_count, 1);
    cells.take(cdr.edge_timer, 1);
    cells.take(cdr.data_timer, 1);
    cells.take(cdr.data_offset, 1);
    cells.take(cdr.previous_sample, 1);
    cells.take(cdr.decisions, decision_count);
    cells.take(cdr.data_decision, 1);
    cells.take(cdr.edge_decision, 1);
    cells.take(cdr.retimed, 1);
    cells.take(cdr.votes, 1);
    cells.take(cdr.next_reference, 1);
    cells.take(cdr.last_reference, 1);
    if (!cells.complete()) {
        return cdr;
    }
    // The zeroed cells already hold every 0 and 0.0 of the initial state.
    // Half a bit, truncated to whole samples (S = 5 gives 2.0).
    const int32_t half = samples_per_bit / 2;
    const auto half_bit = static_cast<double>(half);
    *cdr.data_timer = half_bit;
    *cdr.data_offset = half_bit;
    for (int32_t k = 0; k < decision_count; ++k) {
        cdr.decisions[k] = -0.5;
    }
    *cdr.data_decision = -0.5;
    return cdr;
}

void EnableReferenceClk(CDR *cdr, int32_t flag) {
    if (cdr != nullptr) {
        cdr->reference_clock = flag;
    }
}

int32_t ApplyCDR(const double *input, int32_t sample_count, CDR cdr, double sample_interval,
                 int32_t clock_index, double *clock_times) {
    const int64_t last_possible_index =
        static_cast<int64_t>(clock_index) + (sample_count > 0 ? sample_count : 0);
    if (!has_state(cdr) || clock_times == nullptr || clock_index < 0 ||
        last_possible_index > INT32_MAX) {
        return clock_index;
    }
    if (clock_times[clock_index] > 0) {
        *cdr.next_reference = clock_times[clock_index];
        clock_times[clock_index] = -1.0;
    }
    if (sample_count <= 0) {
        return clock_index;
    }
    Loop loop(cdr, sample_interval, clock_index, clock_times);
    const int32_t last = sample_count - 1;
    for (int32_t i = 0; i < last;) {
        const int32_t quiet = loop.quiet_samples(last - i);
        if (quiet > 0) {
            i += quiet;
            loop.skip(quiet, input[i - 1]);
        } else {
            loop.step<false>(input[i]);
            ++i;
        }
    }
    loop.step<true>(input[last]);
    return loop.store();
}

void DeleteCDR(CDR cdr) {
    std::free(cdr.clock_phase);
    std::free(cdr.vote_threshold);
    std::free(cdr.sample_index);
    std::free(cdr.wrap_count);
    std::free(cdr.edge_timer);
    std::free(cdr.data_timer);
    std::free(cdr.data_offset);
    std::free(cdr.previous_sample);
    std::free(cdr.decisions);
    std::free(cdr.data_decision);
    std::free(cdr.edge_decision);
    std::free(cdr.retimed);
    std::free(cdr.votes);
    std::free(cdr.next_reference);
    std::free(cdr.last_reference);
}
