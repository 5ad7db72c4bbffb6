#include "tools/amisim/channel/frequency_response.h"

#ifdef AMISIM_HAVE_FFTW

#include <fftw3.h>

#include <algorithm>
#include <cmath>

namespace amisim {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kTaperShare = 0.2;  // of the band, at its top
constexpr std::size_t kMinPoints = 1024;
constexpr std::size_t kMaxPoints = 1u << 20;
constexpr double kLeadThreshold = 1e-3;  // of the peak, before t = 0
constexpr double kTailThreshold = 1e-5;  // of the peak, at the end

// Magnitude and unwrapped phase at the data points, with DC in front
// when the data do not start there.
struct Polar {
    std::vector<double> f;
    std::vector<double> magnitude;
    std::vector<double> phase;
};

Polar to_polar(const std::vector<double> &frequencies,
               const std::vector<std::complex<double>> &response, ImpulseConversion &result) {
    Polar p;
    const std::size_t count = frequencies.size();
    std::vector<double> phase(count);
    for (std::size_t k = 0; k < count; ++k) {
        phase[k] = std::arg(response[k]);
        if (k > 0) {
            double step = phase[k] - phase[k - 1];
            step -= 2.0 * kPi * std::round(step / (2.0 * kPi));
            phase[k] = phase[k - 1] + step;
            if (std::fabs(step) > result.largest_phase_step) {
                result.largest_phase_step = std::fabs(step);
                result.largest_phase_step_at = frequencies[k];
            }
        }
    }
    double intercept = phase[0];
    if (frequencies[0] > 0.0) {
        const double slope = (phase[1] - phase[0]) / (frequencies[1] - frequencies[0]);
        intercept = phase[0] - slope * frequencies[0];
    }
    const double turns = std::round(intercept / (2.0 * kPi));
    for (double &value : phase) {
        value -= 2.0 * kPi * turns;
    }
    intercept -= 2.0 * kPi * turns;
    result.dc_phase_intercept = intercept;
    result.dc =
        frequencies[0] > 0.0 ? std::abs(response[0]) * std::cos(intercept) : response[0].real();
    // DC is real: its phase is the multiple of pi of its sign nearest to the
    // data's phase there, so that no spurious turn lies between DC and the
    // lowest frequency. A DC of 0 (a blocked 0 Hz point) has no sign; the
    // phase of the data above it goes on down to DC.
    const double sign_phase = result.dc >= 0.0 ? 0.0 : kPi;
    double dc_phase = sign_phase + 2.0 * kPi * std::round((intercept - sign_phase) / (2.0 * kPi));
    if (result.dc == 0.0) {
        dc_phase = frequencies[0] > 0.0 ? intercept : phase[1];
    }
    std::size_t k = 0;
    if (frequencies[0] <= 0.0) {
        k = 1;  // the file's own 0 Hz point
    }
    p.f.push_back(0.0);
    p.magnitude.push_back(std::fabs(result.dc));
    p.phase.push_back(dc_phase);
    for (; k < count; ++k) {
        p.f.push_back(frequencies[k]);
        p.magnitude.push_back(std::abs(response[k]));
        p.phase.push_back(phase[k]);
    }
    return p;
}

// Negation passes through the conversion exactly: a response whose DC is
// negative (an inverting through, or ports read in the other polarity) is
// converted upright and the result negated.
bool dc_is_negative(const std::vector<double> &frequencies,
                    const std::vector<std::complex<double>> &response) {
    ImpulseConversion probe;
    (void)to_polar(frequencies, response, probe);
    return probe.dc < 0.0;
}

std::size_t fft_points(const std::vector<double> &frequencies, double dt,
                       ImpulseConversion &result) {
    const double step =
        (frequencies.back() - frequencies.front()) / static_cast<double>(frequencies.size() - 1);
    const double wanted = 1.0 / (step * dt);
    result.period_needed = 1.0 / step;
    std::size_t n = kMinPoints;
    while (n < kMaxPoints && static_cast<double>(n) < wanted) {
        n *= 2;
    }
    return n;
}

struct FftwPlan {
    fftw_plan plan = nullptr;
    ~FftwPlan() {
        if (plan != nullptr) {
            fftw_destroy_plan(plan);
        }
    }
};

bool convert(const std::vector<double> &frequencies,
             const std::vector<std::complex<double>> &response, double sample_interval,
             ImpulseConversion &result, std::string &error) {
    const double dt = sample_interval;
    const Polar p = to_polar(frequencies, response, result);
    const std::size_t n = fft_points(frequencies, dt, result);
    result.fft_points = n;
    result.band_top = std::min(frequencies.back(), 0.5 / dt);
    result.taper_start = (1.0 - kTaperShare) * result.band_top;

    const std::size_t bins = n / 2 + 1;
    double *time = fftw_alloc_real(n);
    fftw_complex *spectrum = fftw_alloc_complex(bins);
    const double df = 1.0 / (static_cast<double>(n) * dt);
    std::size_t seg = 0;  // p.f[seg] <= f < p.f[seg + 1]
    for (std::size_t m = 0; m < bins; ++m) {
        const double f = static_cast<double>(m) * df;
        double re = 0.0;
        double im = 0.0;
        if (f <= result.band_top) {
            while (seg + 2 < p.f.size() && p.f[seg + 1] <= f) {
                ++seg;
            }
            const double u = std::clamp((f - p.f[seg]) / (p.f[seg + 1] - p.f[seg]), 0.0, 1.0);
            const double magnitude =
                p.magnitude[seg] + u * (p.magnitude[seg + 1] - p.magnitude[seg]);
            const double phase = p.phase[seg] + u * (p.phase[seg + 1] - p.phase[seg]);
            double window = 1.0;
            if (f > result.taper_start) {
                window = 0.5 * (1.0 + std::cos(kPi * (f - result.taper_start) /
                                               (result.band_top - result.taper_start)));
            }
            re = window * magnitude * std::cos(phase);
            im = window * magnitude * std::sin(phase);
        }
        spectrum[m][0] = re;
        spectrum[m][1] = m == 0 || 2 * m == n ? 0.0 : im;
    }
    spectrum[0][0] = result.dc;
    {
        FftwPlan inverse;
        inverse.plan = fftw_plan_dft_c2r_1d(static_cast<int>(n), spectrum, time, FFTW_ESTIMATE);
        fftw_execute(inverse.plan);
    }
    fftw_free(spectrum);

    double peak = 0.0;
    double energy = 0.0;
    double early_energy = 0.0;
    const std::size_t negative_from = n - n / 4;
    for (std::size_t i = 0; i < n; ++i) {
        peak = std::max(peak, std::fabs(time[i]));
        energy += time[i] * time[i];
        if (i >= negative_from) {
            early_energy += time[i] * time[i];
        }
    }
    if (!(peak > 0.0)) {
        fftw_free(time);
        error = "the response is zero in the band the conversion keeps";
        return false;
    }
    result.noncausal_energy = early_energy / energy;
    std::size_t first = n;
    for (std::size_t i = negative_from; i < n; ++i) {
        if (std::fabs(time[i]) >= kLeadThreshold * peak) {
            first = i;
            break;
        }
    }
    result.lead = n - first;
    std::size_t end = 1;
    for (std::size_t i = 0; i < negative_from; ++i) {
        if (std::fabs(time[i]) >= kTailThreshold * peak) {
            end = i + 1;
        }
    }
    const double scale = 1.0 / (static_cast<double>(n) * dt);
    result.impulse.reserve(result.lead + end);
    for (std::size_t i = first; i < n; ++i) {
        result.impulse.push_back(time[i] * scale);
    }
    for (std::size_t i = 0; i < end; ++i) {
        result.impulse.push_back(time[i] * scale);
    }
    fftw_free(time);
    return true;
}

}  // namespace

bool impulse_from_frequency_response(const std::vector<double> &frequencies,
                                     const std::vector<std::complex<double>> &response,
                                     double sample_interval, ImpulseConversion &result,
                                     std::string &error) {
    result = ImpulseConversion{};
    if (frequencies.size() < 2 || frequencies.size() != response.size() ||
        !(sample_interval > 0.0)) {
        error = "a frequency response needs at least two points and a sample interval above 0";
        return false;
    }
    if (!dc_is_negative(frequencies, response)) {
        return convert(frequencies, response, sample_interval, result, error);
    }
    std::vector<std::complex<double>> upright(response.size());
    for (std::size_t k = 0; k < response.size(); ++k) {
        upright[k] = -response[k];
    }
    if (!convert(frequencies, upright, sample_interval, result, error)) {
        return false;
    }
    for (double &sample : result.impulse) {
        sample = -sample;
    }
    result.dc = -result.dc;
    const double turned = result.dc_phase_intercept + kPi;
    result.dc_phase_intercept = turned > kPi ? turned - 2.0 * kPi : turned;
    return true;
}

}  // namespace amisim

#else  // a build without FFTW (the i386 build of the stand-in's library)

namespace amisim {

bool impulse_from_frequency_response(const std::vector<double> &,
                                     const std::vector<std::complex<double>> &, double,
                                     ImpulseConversion &, std::string &error) {
    error = "this build has no FFT (it was built without FFTW), so it reads no Touchstone files";
    return false;
}

}  // namespace amisim

#endif
