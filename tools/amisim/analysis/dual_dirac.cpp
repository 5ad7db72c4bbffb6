#include "tools/amisim/analysis/dual_dirac.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

#include "common/reproducible_math.h"
#include "tools/amisim/analysis/normal_tail.h"

namespace amisim {

namespace {

constexpr double kLeastCount = 16.0;    // crossings beyond a point, at least
constexpr double kLargestShare = 0.25;  // of the crossings beyond a point, at most

// A point of a tail: its distance outward from the histogram's middle (UI,
// growing into the tail) and the share of the crossings beyond it.
struct TailPoint {
    double x;
    double share;
};

struct TailFit {
    double mu = 0.0;  // on the outward axis
    double sigma = 0.0;
    double rho = 0.0;
    double misfit = 0.0;
};

// Weighted least squares of y = Q^-1(share / rho) on x, x on the outward
// axis (growing into the tail): the model y = (x - mu) / sigma = a + b x
// gives sigma = 1 / b and mu = -a / b. The misfit is the weighted sum of
// squared residuals.
TailFit fit_line(const std::vector<TailPoint> &points, double rho, double total) {
    double sw = 0.0;
    double sx = 0.0;
    double sy = 0.0;
    double sxx = 0.0;
    double sxy = 0.0;
    std::vector<double> ys;
    std::vector<double> ws;
    for (const TailPoint &p : points) {
        const double y = normal_tail_inverse(p.share / rho);
        const double slope = rho * normal_density(y);  // d share / d y
        const double w = slope * slope * total / (p.share * (1.0 - p.share));
        ys.push_back(y);
        ws.push_back(w);
        sw += w;
        sx += w * p.x;
        sy += w * y;
        sxx += w * p.x * p.x;
        sxy += w * p.x * y;
    }
    TailFit fit;
    fit.rho = rho;
    const double det = sw * sxx - sx * sx;
    const double b = (sw * sxy - sx * sy) / det;
    const double a = (sy - b * sx) / sw;
    fit.sigma = 1.0 / b;
    fit.mu = -a / b;
    for (std::size_t i = 0; i < points.size(); ++i) {
        const double r = ys[i] - (a + b * points[i].x);
        fit.misfit += ws[i] * r * r;
    }
    return fit;
}

// The best rho between the largest share (F / rho must stay below 1) and 1:
// a scan of 64 steps in log rho, then golden sections around the best.
TailFit fit_tail(const std::vector<TailPoint> &points, double total) {
    double largest = 0.0;
    for (const TailPoint &p : points) {
        largest = std::max(largest, p.share);
    }
    const double low = ami::reproducible_log(std::min(largest * 1.0001, 1.0));
    constexpr int kScan = 64;
    TailFit best = fit_line(points, 1.0, total);
    int best_step = kScan;
    for (int i = 0; i < kScan; ++i) {
        const double rho = ami::reproducible_exp(low + (0.0 - low) * i / kScan);
        const TailFit fit = fit_line(points, rho, total);
        if (fit.misfit < best.misfit) {
            best = fit;
            best_step = i;
        }
    }
    double a = low + (0.0 - low) * std::max(best_step - 1, 0) / kScan;
    double b = low + (0.0 - low) * std::min(best_step + 1, kScan) / kScan;
    constexpr double kGolden = 0.6180339887498949;
    for (int i = 0; i < 40; ++i) {
        const double c = b - kGolden * (b - a);
        const double d = a + kGolden * (b - a);
        const TailFit fc = fit_line(points, ami::reproducible_exp(c), total);
        const TailFit fd = fit_line(points, ami::reproducible_exp(d), total);
        if (fc.misfit < fd.misfit) {
            b = d;
            if (fc.misfit < best.misfit) {
                best = fc;
            }
        } else {
            a = c;
            if (fd.misfit < best.misfit) {
                best = fd;
            }
        }
    }
    return best;
}

// One tail, read from the histogram's outer end inward: at the inner edge
// of each bin, the share of the crossings in it and beyond. On the outward
// axis the left tail's times are negated, so both tails fall as x grows.
TailFit tail_from(const std::vector<std::uint64_t> &counts, bool from_left, double low,
                  double width) {
    const double total = [&] {
        double sum = 0.0;
        for (std::uint64_t c : counts) {
            sum += static_cast<double>(c);
        }
        return sum;
    }();
    const std::size_t n = counts.size();
    auto bin = [&](std::size_t i) { return counts[from_left ? i : n - 1 - i]; };
    // Position on the outward axis: minus the time for the left tail.
    auto outward = [&](double time) { return from_left ? -time : time; };
    std::vector<TailPoint> points;
    double beyond = 0.0;
    std::size_t outermost = n;
    for (std::size_t i = 0; i < n; ++i) {
        beyond += static_cast<double>(bin(i));
        if (outermost == n && bin(i) > 0) {
            outermost = i;
        }
        if (beyond > kLargestShare * total) {
            break;
        }
        if (beyond >= kLeastCount) {
            // The inner edge of bin i, in time.
            const double edge = from_left ? low + static_cast<double>(i + 1) * width
                                          : low + static_cast<double>(n - 1 - i) * width;
            points.push_back({outward(edge), beyond / total});
        }
    }
    TailFit fit;
    if (points.size() >= 3) {
        fit = fit_tail(points, total);
        if (std::isfinite(fit.sigma) && fit.sigma > 0.0) {
            return fit;
        }
    }
    // A Dirac at the outermost occupied bin.
    const std::size_t index = from_left ? outermost : n - 1 - outermost;
    fit = TailFit();
    fit.mu = outward(low + (static_cast<double>(index) + 0.5) * width);
    fit.rho = 0.5;
    return fit;
}

}  // namespace

DualDiracFit fit_dual_dirac(const TieHistogram &histogram) {
    DualDiracFit result;
    if (histogram.crossings == 0) {
        return result;
    }
    const TailFit left = tail_from(histogram.counts, true, histogram.low, histogram.width);
    const TailFit right = tail_from(histogram.counts, false, histogram.low, histogram.width);
    result.fitted = true;
    result.mu_left = -left.mu;
    result.mu_right = right.mu;
    result.sigma_left = left.sigma;
    result.sigma_right = right.sigma;
    result.rho_left = left.rho;
    result.rho_right = right.rho;
    result.dj = result.mu_right - result.mu_left;
    result.rj = 0.5 * (left.sigma + right.sigma);
    result.transition_density = histogram.bits == 0 ? 0.0
                                                    : static_cast<double>(histogram.crossings) /
                                                          static_cast<double>(histogram.bits);
    return result;
}

double total_jitter(const DualDiracFit &fit, double ber) {
    auto reach = [&](double sigma, double rho) {
        const double share = ber / (fit.transition_density * rho);
        return sigma == 0.0 || !(share < 1.0) ? 0.0 : sigma * normal_tail_inverse(share);
    };
    return (fit.mu_right + reach(fit.sigma_right, fit.rho_right)) -
           (fit.mu_left - reach(fit.sigma_left, fit.rho_left));
}

}  // namespace amisim
