#include "tools/amisim/analysis/voltage_distribution.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "tools/amisim/analysis/normal_tail.h"

namespace amisim {

namespace {

// Standard deviations of noise beyond which its tail (below 1e-23) is
// left out.
constexpr double kNoiseReach = 10.0;

void drop_tiny(std::vector<double> &mass) {
    for (double &m : mass) {
        m = m < kMassFloor ? 0.0 : m;
    }
}

// Drops the zero masses at the top end.
void trim(std::vector<double> &mass) {
    while (mass.size() > 1 && mass.back() == 0.0) {
        mass.pop_back();
    }
}

}  // namespace

void add_term(VoltageDistribution &distribution, double cursor, const std::vector<double> &levels,
              double step) {
    if (cursor == 0.0 || levels.empty()) {
        return;
    }
    double lowest = cursor * levels.front();
    for (double level : levels) {
        lowest = std::min(lowest, cursor * level);
    }
    struct Shift {
        std::size_t whole;
        double fraction;
    };
    std::vector<Shift> shifts;
    std::size_t longest = 0;
    for (double level : levels) {
        const double position = (cursor * level - lowest) / step;
        const double whole = std::floor(position);
        shifts.push_back({static_cast<std::size_t>(whole), position - whole});
        longest = std::max(longest, static_cast<std::size_t>(whole) + 1);
    }
    const std::vector<double> &old = distribution.mass;
    std::vector<double> out(old.size() + longest, 0.0);
    const double weight = 1.0 / static_cast<double>(levels.size());
    for (const Shift &shift : shifts) {
        const double below = weight * (1.0 - shift.fraction);
        const double above = weight * shift.fraction;
        double *to = out.data() + shift.whole;
        for (std::size_t i = 0; i < old.size(); ++i) {
            to[i] += below * old[i];
        }
        if (above != 0.0) {
            for (std::size_t i = 0; i < old.size(); ++i) {
                to[i + 1] += above * old[i];
            }
        }
    }
    drop_tiny(out);
    trim(out);
    distribution.base += lowest;
    distribution.mass = std::move(out);
}

VoltageDistribution mixture(const std::vector<VoltageDistribution> &parts, double step) {
    VoltageDistribution out;
    if (parts.empty()) {
        return out;
    }
    out.base = parts.front().base;
    for (const VoltageDistribution &part : parts) {
        out.base = std::min(out.base, part.base);
    }
    out.mass.assign(1, 0.0);
    const double weight = 1.0 / static_cast<double>(parts.size());
    for (const VoltageDistribution &part : parts) {
        const double position = (part.base - out.base) / step;
        const double whole = std::floor(position);
        const double f = position - whole;
        const auto shift = static_cast<std::size_t>(whole);
        out.mass.resize(std::max(out.mass.size(), part.mass.size() + shift + 1), 0.0);
        for (std::size_t i = 0; i < part.mass.size(); ++i) {
            out.mass[i + shift] += weight * (1.0 - f) * part.mass[i];
            out.mass[i + shift + 1] += weight * f * part.mass[i];
        }
    }
    drop_tiny(out.mass);
    trim(out.mass);
    return out;
}

VoltageDistribution sum_of(const VoltageDistribution &a, const VoltageDistribution &b) {
    VoltageDistribution out;
    out.base = a.base + b.base;
    out.mass.assign(a.mass.size() + b.mass.size() - 1, 0.0);
    for (std::size_t j = 0; j < b.mass.size(); ++j) {
        const double m = b.mass[j];
        if (m == 0.0) {
            continue;
        }
        double *to = out.mass.data() + j;
        for (std::size_t i = 0; i < a.mass.size(); ++i) {
            to[i] += m * a.mass[i];
        }
    }
    drop_tiny(out.mass);
    trim(out.mass);
    return out;
}

void lower_tail(const VoltageDistribution &distribution, double step, double offset, double origin,
                std::size_t rows, double sigma, double *out) {
    const std::vector<double> &mass = distribution.mass;
    const auto length = static_cast<std::int64_t>(mass.size());
    // prefix[i]: the masses below index i, summed from the lowest up.
    std::vector<double> prefix(mass.size() + 1, 0.0);
    for (std::size_t i = 0; i < mass.size(); ++i) {
        prefix[i + 1] = prefix[i] + mass[i];
    }
    auto below = [&](std::int64_t index) {
        return prefix[static_cast<std::size_t>(std::min(std::max(index, std::int64_t{0}), length))];
    };
    // Threshold r lies z + r steps above the base.
    const double z = (origin - distribution.base - offset) / step;
    if (sigma <= 0.0) {
        const auto first = static_cast<std::int64_t>(std::ceil(z));
        for (std::size_t r = 0; r < rows; ++r) {
            out[r] = below(first + static_cast<std::int64_t>(r));
        }
        return;
    }
    // Mass i at distance (q + r - i + rho) steps below threshold r, with
    // q = floor(z): the noise carries it below the threshold with
    // probability K[q + r - i] = Phi((d + rho) step / sigma), which is 1 for
    // d >= reach and 0 for d < -reach.
    const double q = std::floor(z);
    const double rho = z - q;
    const auto reach = static_cast<std::int64_t>(std::ceil(kNoiseReach * sigma / step)) + 1;
    std::vector<double> kernel(static_cast<std::size_t>(2 * reach));
    for (std::int64_t d = -reach; d < reach; ++d) {
        kernel[static_cast<std::size_t>(d + reach)] =
            normal_tail(-(static_cast<double>(d) + rho) * step / sigma);
    }
    const auto whole = static_cast<std::int64_t>(q);
    for (std::size_t r = 0; r < rows; ++r) {
        const std::int64_t centre = whole + static_cast<std::int64_t>(r);  // d = 0 at i = centre
        double sum = below(centre - reach + 1);                            // d >= reach
        const std::int64_t from = std::max(centre - reach + 1, std::int64_t{0});
        const std::int64_t to = std::min(centre + reach, length - 1);
        for (std::int64_t i = from; i <= to; ++i) {
            sum += mass[static_cast<std::size_t>(i)] *
                   kernel[static_cast<std::size_t>(centre - i + reach)];
        }
        out[r] = sum;
    }
}

}  // namespace amisim
