#include "tools/amisim/analysis/statistical_eye.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <utility>

#include "tools/amisim/analysis/eye_openings.h"
#include "tools/amisim/analysis/phase_jitter.h"
#include "tools/amisim/analysis/voltage_distribution.h"

namespace amisim {

namespace {

// Rows beyond the lowest and highest sampled voltage, in standard
// deviations of the noise: the error rate there is below 1e-15.
constexpr double kNoiseMargin = 8.0;
// The grid's step is no finer than noise sigma over this.
constexpr double kStepsPerSigma = 64.0;
// Phases per unit interval between which jitter interpolates, at least.
constexpr int kJitterPhasesPerUi = 128;

bool finite_non_negative(const Jitter &j) {
    for (double v : {j.rj, j.dj, j.sj, j.dcd}) {
        if (!(std::isfinite(v) && v >= 0.0)) {
            return false;
        }
    }
    return true;
}

bool check(const StatisticalEyeSettings &s, std::string &error) {
    auto fail = [&](const char *why) {
        error = std::string("statistical eye: ") + why;
        return false;
    };
    if (s.pulse.empty()) {
        return fail("no pulse response");
    }
    if (s.samples_per_bit < 1 || s.voltage_bins < 1) {
        return fail("fewer than 1 sample per bit or voltage bin");
    }
    for (const std::vector<double> &aggressor : s.aggressors) {
        for (double v : aggressor) {
            if (!std::isfinite(v)) {
                return fail("an aggressor's pulse response is not finite");
            }
        }
    }
    if (s.centre >= s.pulse.size()) {
        return fail("the centre lies outside the pulse response");
    }
    if (s.levels.size() < 2 || !std::is_sorted(s.levels.begin(), s.levels.end()) ||
        std::adjacent_find(s.levels.begin(), s.levels.end()) != s.levels.end()) {
        return fail("the levels are fewer than two or not ascending");
    }
    if (s.thresholds.size() != s.levels.size() - 1) {
        return fail("there is not one threshold per eye");
    }
    if (!(std::isfinite(s.sample_interval) && s.sample_interval > 0.0) ||
        !(std::isfinite(s.noise_sigma) && s.noise_sigma >= 0.0) ||
        !finite_non_negative(s.tx_jitter) || !finite_non_negative(s.rx_jitter)) {
        return fail("a sample interval, noise or jitter that is negative or not finite");
    }
    std::vector<double> rates = s.contour_bers;
    rates.push_back(s.target_ber);
    for (double rate : rates) {
        if (!(rate > 0.0 && rate < 1.0)) {
            return fail("an error rate outside (0, 1)");
        }
    }
    return true;
}

// A phase of the pulse response between its samples: sample `at` plus
// `fraction` of the way to the next, where the response is taken as the
// straight line between the two samples (as the waveform is between its
// samples where it is sampled between them).
struct Phase {
    std::int64_t at = 0;
    double fraction = 0.0;
};

double pulse_at(const std::vector<double> &pulse, std::int64_t i) {
    return i >= 0 && i < static_cast<std::int64_t>(pulse.size())
               ? pulse[static_cast<std::size_t>(i)]
               : 0.0;
}

// The response at a phase: exactly the sample at a whole one.
double pulse_at(const std::vector<double> &pulse, Phase phase) {
    const double here = pulse_at(pulse, phase.at);
    if (phase.fraction == 0.0) {
        return here;
    }
    return here + phase.fraction * (pulse_at(pulse, phase.at + 1) - here);
}

// The cursors one bit apart from the phase, at the same fraction of a
// sample, within the response (itself included when with_main).
template <typename F>
void for_each_cursor(const std::vector<double> &pulse, Phase phase, int spb, bool with_main,
                     F &&take) {
    const auto n = static_cast<std::int64_t>(pulse.size());
    std::int64_t first = phase.at % spb;
    if (first < 0) {
        first += spb;
    }
    // Between samples -1 and 0 the response rises from 0.
    if (phase.fraction != 0.0 && first == spb - 1) {
        first = -1;
    }
    for (std::int64_t i = first; i < n; i += spb) {
        if (i != phase.at || with_main) {
            take(pulse_at(pulse, Phase{i, phase.fraction}));
        }
    }
}

double level_mean(const std::vector<double> &levels) {
    double sum = 0.0;
    for (double l : levels) {
        sum += l;
    }
    return sum / static_cast<double>(levels.size());
}

std::vector<double> negated(const std::vector<double> &values) {
    std::vector<double> out(values.size());
    std::transform(values.begin(), values.end(), out.begin(), [](double v) { return -v; });
    return out;
}

// The aggressors' sum, each at a phase uniform over the unit interval, for
// levels (or the negated sum for negated levels).
VoltageDistribution crosstalk(const StatisticalEyeSettings &s, const std::vector<double> &levels,
                              double step) {
    VoltageDistribution total;
    for (const std::vector<double> &aggressor : s.aggressors) {
        std::vector<VoltageDistribution> phases(static_cast<std::size_t>(s.samples_per_bit));
        for (int theta = 0; theta < s.samples_per_bit; ++theta) {
            for_each_cursor(
                aggressor, Phase{theta, 0.0}, s.samples_per_bit, true, [&](double cursor) {
                    add_term(phases[static_cast<std::size_t>(theta)], cursor, levels, step);
                });
        }
        total = sum_of(total, mixture(phases, step));
    }
    return total;
}

// The rates of one raw (unjittered) phase: per eye and row, and the density.
struct RawPhase {
    std::vector<double> ber;      // [eye * rows + row]
    std::vector<double> density;  // [row]
    std::vector<double> means;    // [symbol]: the mean sampled voltage
};

}  // namespace

std::vector<double> default_contour_rates() {
    return {1e-3, 1e-4, 1e-5, 1e-6, 1e-7, 1e-8, 1e-9, 1e-10, 1e-11, 1e-12, 1e-13, 1e-14, 1e-15};
}

bool compute_statistical_eye(const StatisticalEyeSettings &s, StatisticalEye &eye,
                             std::string &error) {
    if (!check(s, error)) {
        return false;
    }
    const int spb = s.samples_per_bit;
    const std::size_t levels = s.levels.size();
    const std::size_t eyes = levels - 1;
    const double weight = 1.0 / static_cast<double>(levels);
    const std::vector<double> down = negated(s.levels);
    // Jitter mixes phases a fraction of a sample apart: steps fine enough
    // for 128 phases per unit interval, or whole samples without jitter.
    const bool jittered = s.tx_jitter.any() || s.rx_jitter.any();
    const int fine = jittered ? std::max(1, (kJitterPhasesPerUi + spb - 1) / spb) : 1;
    const PhaseWeights jitter =
        sampling_phase_weights(s.tx_jitter, s.rx_jitter, s.sample_interval / fine);
    const int first_phase = -(spb / 2);  // the output phases, in samples from the centre
    // The raw phases, in fine steps from the centre: the output phases and
    // as far around them as the jitter reaches.
    const std::int64_t first_raw = static_cast<std::int64_t>(first_phase) * fine - jitter.reach;
    const std::size_t raw_count =
        static_cast<std::size_t>(spb - 1) * static_cast<std::size_t>(fine) +
        2 * static_cast<std::size_t>(jitter.reach) + 1;
    const auto centre = static_cast<std::int64_t>(s.centre);
    auto raw_phase = [&](std::size_t o) {
        const std::int64_t steps = centre * fine + first_raw + static_cast<std::int64_t>(o);
        std::int64_t whole = steps / fine;
        std::int64_t rest = steps % fine;
        if (rest < 0) {
            rest += fine;
            --whole;
        }
        return Phase{whole, static_cast<double>(rest) / fine};
    };

    // The grid step: the widest span of the sampled voltage at any phase.
    double widest = 0.0;
    for (std::size_t o = 0; o < raw_count; ++o) {
        double sum = 0.0;
        for_each_cursor(s.pulse, raw_phase(o), spb, true,
                        [&](double cursor) { sum += std::fabs(cursor); });
        widest = std::max(widest, sum * (s.levels.back() - s.levels.front()));
    }
    if (!(widest > 0.0) || !std::isfinite(widest)) {
        error = "statistical eye: the pulse response is zero or not finite";
        return false;
    }
    // Noise far wider than the grid's step would make its sums long for
    // nothing: the step is kept to at least a 64th of its sigma.
    const double step = std::max(widest / s.voltage_bins, s.noise_sigma / kStepsPerSigma);
    const VoltageDistribution crosstalk_up = crosstalk(s, s.levels, step);
    const VoltageDistribution crosstalk_down = crosstalk(s, down, step);
    double crosstalk_mean = 0.0;
    for (const std::vector<double> &aggressor : s.aggressors) {
        for (double q : aggressor) {
            crosstalk_mean += q * level_mean(s.levels) / spb;
        }
    }

    // Every raw phase's interference, lower- and upper-anchored.
    struct Interference {
        double main = 0.0;
        VoltageDistribution up;    // of the sum
        VoltageDistribution down;  // of the negated sum
        double mean = 0.0;
    };
    std::vector<Interference> raw(raw_count);
    double lowest = std::numeric_limits<double>::infinity();
    double highest = -lowest;
    for (std::size_t o = 0; o < raw_count; ++o) {
        Interference &phase = raw[o];
        const Phase at = raw_phase(o);
        phase.main = pulse_at(s.pulse, at);
        for_each_cursor(s.pulse, at, spb, false, [&](double cursor) {
            add_term(phase.up, cursor, s.levels, step);
            add_term(phase.down, cursor, down, step);
            phase.mean += cursor * level_mean(s.levels);
        });
        if (!s.aggressors.empty()) {
            phase.up = sum_of(phase.up, crosstalk_up);
            phase.down = sum_of(phase.down, crosstalk_down);
        }
        phase.mean += crosstalk_mean;
        for (double level : s.levels) {
            lowest = std::min(lowest, phase.main * level + phase.up.base);
            highest = std::max(highest, phase.main * level - phase.down.base);
        }
    }

    // The rows: from below the lowest voltage to above the highest, the
    // first eye's threshold on a row.
    const double margin = kNoiseMargin * s.noise_sigma + step;
    const double t0 = s.thresholds.front();
    const double origin = t0 - std::ceil((t0 - (lowest - margin)) / step) * step;
    const auto rows = static_cast<std::size_t>(std::ceil((highest + margin - origin) / step)) + 1;

    std::vector<RawPhase> rates(raw_count);
    std::vector<double> below(rows);
    std::vector<double> above(rows);
    for (std::size_t o = 0; o < raw_count; ++o) {
        const Interference &phase = raw[o];
        RawPhase &rate = rates[o];
        rate.ber.assign(eyes * rows, 0.0);
        rate.density.assign(rows, 0.0);
        for (std::size_t symbol = 0; symbol < levels; ++symbol) {
            const double signal = phase.main * s.levels[symbol];
            rate.means.push_back(signal + phase.mean);
            // P(V < t_r), and P(V > t_r) as P(-V < -t_r) on the rows
            // reversed.
            lower_tail(phase.up, step, signal, origin, rows, s.noise_sigma, below.data());
            lower_tail(phase.down, step, -signal, -(origin + static_cast<double>(rows - 1) * step),
                       rows, s.noise_sigma, above.data());
            std::reverse(above.begin(), above.end());
            for (std::size_t e = 0; e < eyes; ++e) {
                const std::vector<double> &wrong = symbol > e ? below : above;
                double *to = rate.ber.data() + e * rows;
                for (std::size_t r = 0; r < rows; ++r) {
                    to[r] += weight * wrong[r];
                }
            }
            // The mass in [t_r, t_r+1), from whichever tail is the smaller there.
            for (std::size_t r = 0; r + 1 < rows; ++r) {
                const double in_row =
                    below[r + 1] < 0.5 ? below[r + 1] - below[r] : above[r] - above[r + 1];
                rate.density[r] += weight * std::max(in_row, 0.0);
            }
        }
    }

    // Jitter: each output phase mixes the raw phases around it.
    eye = StatisticalEye();
    eye.samples_per_bit = spb;
    eye.threshold_origin = origin;
    eye.threshold_step = step;
    eye.rows = rows;
    eye.eyes = eyes;
    eye.target_ber = s.target_ber;
    const auto phases = static_cast<std::size_t>(spb);
    eye.ber.assign(eyes * phases * rows, 0.0);
    eye.density.assign(phases * rows, 0.0);
    std::vector<std::vector<double>> means(phases, std::vector<double>(levels, 0.0));
    for (std::size_t p = 0; p < phases; ++p) {
        eye.phases.push_back(static_cast<double>(first_phase + static_cast<int>(p)) / spb);
        for (int d = -jitter.reach; d <= jitter.reach; ++d) {
            const double w = jitter.at(d);
            if (w == 0.0) {
                continue;
            }
            const RawPhase &rate = rates[p * static_cast<std::size_t>(fine) +
                                         static_cast<std::size_t>(d + jitter.reach)];
            for (std::size_t e = 0; e < eyes; ++e) {
                double *to = eye.ber.data() + (e * phases + p) * rows;
                const double *from = rate.ber.data() + e * rows;
                for (std::size_t r = 0; r < rows; ++r) {
                    to[r] += w * from[r];
                }
            }
            for (std::size_t r = 0; r < rows; ++r) {
                eye.density[p * rows + r] += w * rate.density[r];
            }
            for (std::size_t symbol = 0; symbol < levels; ++symbol) {
                means[p][symbol] += w * rate.means[symbol];
            }
        }
    }
    eye.means = std::move(means);
    read_eye_figures(s.thresholds, s.contour_bers, eye.means, eye);
    return true;
}

}  // namespace amisim
