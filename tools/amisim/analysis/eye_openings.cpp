#include "tools/amisim/analysis/eye_openings.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>

#include "common/reproducible_math.h"

namespace amisim {

namespace {

constexpr double kLogFloor = 1e-300;  // rates of 0 count as this in the logarithm

double log_rate(double ber) {
    return ami::reproducible_log(std::max(ber, kLogFloor));
}

// Where between a (rate ra) and b (rate rb) the rate crosses target, in
// the logarithm of the rate; a when they are equal.
double crossing(double a, double ra, double b, double rb, double target) {
    const double la = log_rate(ra);
    const double lb = log_rate(rb);
    if (la == lb) {
        return a;
    }
    return a + (b - a) * (la - log_rate(target)) / (la - lb);
}

struct Span {
    bool open = false;
    double lower = 0.0;
    double upper = 0.0;
};

// Eye e's opening at phase p at the rate: the rows around the lowest rate
// between the voltages from and to where the rate is at most `rate`.
Span opening(const StatisticalEye &eye, std::size_t e, std::size_t p, double rate, double from,
             double to) {
    Span span;
    const double first = std::ceil((from - eye.threshold_origin) / eye.threshold_step);
    const double last = std::floor((to - eye.threshold_origin) / eye.threshold_step);
    const double top = static_cast<double>(eye.rows - 1);
    if (!(first <= last) || last < 0.0 || first > top) {
        return span;
    }
    const auto low_row = static_cast<std::size_t>(std::max(first, 0.0));
    const auto high_row = static_cast<std::size_t>(std::min(last, top));
    std::size_t best = low_row;
    for (std::size_t r = low_row; r <= high_row; ++r) {
        if (eye.at(e, p, r) < eye.at(e, p, best)) {
            best = r;
        }
    }
    if (eye.at(e, p, best) > rate) {
        return span;
    }
    std::size_t lo = best;
    while (lo > 0 && eye.at(e, p, lo - 1) <= rate) {
        --lo;
    }
    std::size_t hi = best;
    while (hi + 1 < eye.rows && eye.at(e, p, hi + 1) <= rate) {
        ++hi;
    }
    span.open = true;
    span.lower = lo == 0 ? eye.threshold(0)
                         : crossing(eye.threshold(lo - 1), eye.at(e, p, lo - 1), eye.threshold(lo),
                                    eye.at(e, p, lo), rate);
    span.upper = hi + 1 == eye.rows ? eye.threshold(hi)
                                    : crossing(eye.threshold(hi + 1), eye.at(e, p, hi + 1),
                                               eye.threshold(hi), eye.at(e, p, hi), rate);
    return span;
}

}  // namespace

double eye_rate_at(const StatisticalEye &eye, std::size_t e, std::size_t p, double v) {
    const double position = (v - eye.threshold_origin) / eye.threshold_step;
    const double top = static_cast<double>(eye.rows - 1);
    const double clamped = std::min(std::max(position, 0.0), top);
    const auto r = static_cast<std::size_t>(std::floor(clamped));
    const double f = clamped - static_cast<double>(r);
    if (f == 0.0 || r + 1 >= eye.rows) {
        return eye.at(e, p, r);
    }
    const double la = log_rate(eye.at(e, p, r));
    const double lb = log_rate(eye.at(e, p, r + 1));
    return ami::reproducible_exp(la + f * (lb - la));
}

namespace {

// The index nearest the middle among those where value is extreme.
template <typename Better>
std::size_t best_index(const std::vector<double> &values, Better better) {
    const std::size_t middle = values.size() / 2;
    std::size_t best = middle;
    for (std::size_t i = 0; i < values.size(); ++i) {
        const auto distance = [&](std::size_t k) { return k > middle ? k - middle : middle - k; };
        if (better(values[i], values[best]) ||
            (values[i] == values[best] && distance(i) < distance(best))) {
            best = i;
        }
    }
    return best;
}

}  // namespace

void read_eye_figures(const std::vector<double> &thresholds,
                      const std::vector<double> &contour_bers,
                      const std::vector<std::vector<double>> &means, StatisticalEye &eye) {
    const std::size_t phases = eye.phases.size();
    const double ui = 1.0 / eye.samples_per_bit;
    eye.contours.assign(eye.eyes, {});
    eye.openings.assign(eye.eyes, {});
    eye.time_bathtub.assign(eye.eyes, std::vector<double>(phases));
    eye.voltage_bathtub.assign(eye.eyes, {});
    for (std::size_t e = 0; e < eye.eyes; ++e) {
        auto span_at = [&](std::size_t p, double rate) {
            return opening(eye, e, p, rate, means[p][e], means[p][e + 1]);
        };
        for (double rate : contour_bers) {
            EyeContour contour;
            contour.ber = rate;
            for (std::size_t p = 0; p < phases; ++p) {
                const Span span = span_at(p, rate);
                contour.lower.push_back(span.open ? span.lower : std::nan(""));
                contour.upper.push_back(span.open ? span.upper : std::nan(""));
            }
            eye.contours[e].push_back(contour);
        }

        EyeOpening &result = eye.openings[e];
        std::vector<double> heights(phases, -std::numeric_limits<double>::infinity());
        for (std::size_t p = 0; p < phases; ++p) {
            const Span span = span_at(p, eye.target_ber);
            if (span.open) {
                heights[p] = span.upper - span.lower;
            }
        }
        result.best_phase = best_index(heights, [](double a, double b) { return a > b; });
        const Span best = span_at(result.best_phase, eye.target_ber);
        result.open = best.open;
        if (best.open) {
            result.height = best.upper - best.lower;
            result.lower = best.lower;
            result.upper = best.upper;
        }
        for (std::size_t r = 0; r < eye.rows; ++r) {
            eye.voltage_bathtub[e].push_back(eye.at(e, result.best_phase, r));
        }

        std::vector<double> &tub = eye.time_bathtub[e];
        for (std::size_t p = 0; p < phases; ++p) {
            tub[p] = eye_rate_at(eye, e, p, thresholds[e]);
        }
        const std::size_t lowest = best_index(tub, [](double a, double b) { return a < b; });
        if (tub[lowest] > eye.target_ber) {
            continue;
        }
        std::size_t left = lowest;
        while (left > 0 && tub[left - 1] <= eye.target_ber) {
            --left;
        }
        std::size_t right = lowest;
        while (right + 1 < phases && tub[right + 1] <= eye.target_ber) {
            ++right;
        }
        result.left = left == 0 ? eye.phases[0]
                                : crossing(eye.phases[left - 1], tub[left - 1], eye.phases[left],
                                           tub[left], eye.target_ber);
        result.right = right + 1 == phases
                           ? eye.phases[right] + ui
                           : crossing(eye.phases[right + 1], tub[right + 1], eye.phases[right],
                                      tub[right], eye.target_ber);
        result.width = result.right - result.left;
    }
    eye.thresholds = thresholds;
}

void set_eye_thresholds(const std::vector<double> &thresholds, StatisticalEye &eye) {
    // The contours' rates copied: reading the figures replaces the contours.
    std::vector<double> rates;
    if (!eye.contours.empty()) {
        for (const EyeContour &contour : eye.contours.front()) {
            rates.push_back(contour.ber);
        }
    }
    read_eye_figures(thresholds, rates, eye.means, eye);
}

}  // namespace amisim
