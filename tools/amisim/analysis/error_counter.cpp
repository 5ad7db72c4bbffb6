#include "tools/amisim/analysis/error_counter.h"

#include <algorithm>
#include <cmath>

namespace amisim {

Interval wilson_interval(std::uint64_t errors, std::uint64_t trials, double z) {
    if (trials == 0) {
        return {0.0, 1.0};
    }
    const auto n = static_cast<double>(trials);
    const double p = static_cast<double>(errors) / n;
    const double z2 = z * z;
    const double centre = (p + z2 / (2.0 * n)) / (1.0 + z2 / n);
    const double half = z * std::sqrt(p * (1.0 - p) / n + z2 / (4.0 * n * n)) / (1.0 + z2 / n);
    return {errors == 0 ? 0.0 : std::max(centre - half, 0.0),
            errors == trials ? 1.0 : std::min(centre + half, 1.0)};
}

ErrorCounter::ErrorCounter(const ErrorCountSettings &settings)
    : settings_(settings),
      symbols_(settings.pattern, static_cast<int>(settings.levels)),
      bits_per_symbol_(bits_per_symbol(static_cast<int>(settings.levels))),
      noise_(settings.noise_seed) {
    settings_.samples_per_bit = std::max(settings_.samples_per_bit, 1);
    offsets_ = settings.eye_offsets;
    offsets_.push_back(0.0);
    std::sort(offsets_.begin(), offsets_.end());
    offsets_.erase(std::unique(offsets_.begin(), offsets_.end()), offsets_.end());
    auto sampler_of = [&](double offset) {
        return static_cast<std::size_t>(std::lower_bound(offsets_.begin(), offsets_.end(), offset) -
                                        offsets_.begin());
    };
    instant_sampler_ = sampler_of(0.0);
    for (std::size_t e = 0; e < settings.thresholds.size(); ++e) {
        eye_sampler_.push_back(
            sampler_of(e < settings.eye_offsets.size() ? settings.eye_offsets[e] : 0.0));
    }
    const std::size_t history = 4 * static_cast<std::size_t>(settings_.samples_per_bit) + 64;
    samplers_.assign(offsets_.size(), WaveformSampler(history));
    ready_.resize(offsets_.size());
    voltages_.resize(offsets_.size());
    noisy_.resize(offsets_.size());
    pending_ = std::any_of(settings.thresholds.begin(), settings.thresholds.end(),
                           [](double t) { return std::isnan(t); });
    figures_.decisions_by_symbol.assign(settings.levels, 0);
    figures_.errors_by_symbol.assign(settings.levels, 0);
    level_sums_.assign(settings.levels, 0.0);
}

void ErrorCounter::decide(double nominal, double voltage) {
    std::fill(voltages_.begin(), voltages_.end(), voltage);
    decide_at(nominal, voltages_.data());
}

void ErrorCounter::set_thresholds(const std::vector<double> &thresholds) {
    settings_.thresholds = thresholds;
    pending_ = false;
    const std::size_t stride = 1 + offsets_.size();
    std::vector<double> voltages(offsets_.size());
    for (std::size_t i = 0; i + stride <= kept_.size(); i += stride) {
        std::copy_n(kept_.begin() + static_cast<std::ptrdiff_t>(i + 1), offsets_.size(),
                    voltages.begin());
        count_decision(kept_[i], voltages.data());
    }
    kept_ = std::deque<double>();
}

void ErrorCounter::decide_at(double nominal, const double *voltages) {
    if (!pending_) {
        count_decision(nominal, voltages);
        return;
    }
    kept_.push_back(nominal);
    kept_.insert(kept_.end(), voltages, voltages + offsets_.size());
}

void ErrorCounter::count_decision(double nominal, const double *voltages) {
    const double position = (nominal - settings_.latency) / settings_.samples_per_bit;
    if (!std::isfinite(position)) {
        return;
    }
    const auto k = static_cast<std::int64_t>(std::floor(position + 0.5));
    if (k <= last_decided_) {
        ++figures_.repeated;
        return;
    }
    if (k < 0) {
        return;  // before the first symbol
    }
    if (last_decided_ >= settings_.settle_bits) {
        figures_.missed += static_cast<std::uint64_t>(k - last_decided_ - 1);
    }
    last_decided_ = k;
    while (next_symbol_ <= k) {
        symbol_ = symbols_.next();
        ++next_symbol_;
    }
    if (k < settings_.settle_bits) {
        return;
    }
    const auto sent = static_cast<std::size_t>(symbol_) % settings_.levels;
    level_sums_[sent] += voltages[instant_sampler_];
    // Each sample with noise of its own.
    for (std::size_t u = 0; u < offsets_.size(); ++u) {
        noisy_[u] = voltages[u];
        if (settings_.noise_sigma != 0.0) {
            noisy_[u] += settings_.noise_sigma * noise_.gaussian();
        }
    }
    int decided = 0;
    for (std::size_t e = 0; e < settings_.thresholds.size(); ++e) {
        decided += noisy_[eye_sampler_[e]] > settings_.thresholds[e] ? 1 : 0;
    }
    ++figures_.decisions;
    ++figures_.decisions_by_symbol[sent];
    if (decided != symbol_) {
        ++figures_.errors;
        ++figures_.errors_by_symbol[sent];
        figures_.bit_errors +=
            static_cast<std::uint64_t>(bit_errors(symbol_, decided, settings_.pattern.mapping));
        if (figures_.error_symbols.size() < settings_.kept_positions) {
            figures_.error_symbols.push_back(k);
        }
    }
}

void ErrorCounter::add(const double *wave, std::size_t count, const double *instants,
                       const double *nominal, std::size_t n) {
    if (samplers_.size() == 1) {
        // Every threshold at the instant: each sample decides at once.
        sampled_.clear();
        samplers_.front().add(wave, count, instants, nominal, n, sampled_);
        for (const Sampled &s : sampled_) {
            decide_at(s.tag, &s.value);
        }
        return;
    }
    const double *tags = nominal == nullptr ? instants : nominal;
    for (std::size_t u = 0; u < samplers_.size(); ++u) {
        shifted_.assign(instants, instants + n);
        for (double &instant : shifted_) {
            instant += offsets_[u];
        }
        sampled_.clear();
        samplers_[u].add(wave, count, shifted_.data(), tags, n, sampled_);
        ready_[u].insert(ready_[u].end(), sampled_.begin(), sampled_.end());
    }
    // Decide each nominal place every sampler has sampled; one that some
    // sampler left out is not decided.
    while (std::all_of(ready_.begin(), ready_.end(), [](const auto &r) { return !r.empty(); })) {
        double first = ready_.front().front().tag;
        for (const auto &r : ready_) {
            first = std::min(first, r.front().tag);
        }
        bool complete = true;
        for (std::size_t u = 0; u < ready_.size(); ++u) {
            complete = complete && ready_[u].front().tag == first;
            voltages_[u] = ready_[u].front().value;
        }
        if (complete) {
            decide_at(first, voltages_.data());
        } else {
            ++figures_.incomplete;
        }
        for (auto &r : ready_) {
            if (r.front().tag == first) {
                r.pop_front();
            }
        }
    }
}

ErrorFigures ErrorCounter::figures() const {
    ErrorFigures figures = figures_;
    figures.ber = figures.decisions == 0 ? 0.0
                                         : static_cast<double>(figures.errors) /
                                               static_cast<double>(figures.decisions);
    figures.interval = wilson_interval(figures.errors, figures.decisions);
    figures.bits = figures.decisions * static_cast<std::uint64_t>(bits_per_symbol_);
    figures.bit_error_rate = figures.bits == 0 ? 0.0
                                               : static_cast<double>(figures.bit_errors) /
                                                     static_cast<double>(figures.bits);
    // The symbols' interval, each wrong symbol turning as many bits as the
    // wrong ones did on average (at least one): bits in error come in groups,
    // one from each wrong symbol, not as independent trials.
    const double per_error = figures.errors == 0 ? 1.0
                                                 : static_cast<double>(figures.bit_errors) /
                                                       static_cast<double>(figures.errors);
    const double scale = bits_per_symbol_ == 0 ? 0.0 : per_error / bits_per_symbol_;
    figures.bit_interval = {figures.interval.low * scale,
                            std::min(figures.interval.high * scale, 1.0)};
    figures.level_means.assign(settings_.levels, std::nan(""));
    for (std::size_t s = 0; s < settings_.levels; ++s) {
        if (figures.decisions_by_symbol[s] != 0) {
            figures.level_means[s] =
                level_sums_[s] / static_cast<double>(figures.decisions_by_symbol[s]);
        }
    }
    return figures;
}

void FixedClock::instants_before(double end, std::vector<double> &instants) {
    while (true) {
        const double instant = next_ + static_cast<double>(index_) * spb_;
        if (!(instant < end)) {
            return;
        }
        instants.push_back(instant);
        ++index_;
    }
}

}  // namespace amisim
