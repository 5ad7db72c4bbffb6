// A sampled frequency response turned into an impulse response at the
// simulation's sample interval.
//
// 1. Phase is unwrapped over the data points. Below the lowest point f0
//    the response is extrapolated to DC: the line through the phases of
//    the two lowest points meets DC at b (whole turns taken out, so that
//    |b| <= pi); the DC value is |H(f0)| cos(b), real. Between DC and f0
//    magnitude and phase run linearly from |DC value| and phase 0 at DC to
//    the lowest point. A point at 0 Hz is taken as its real part. A
//    negative DC value (an inverting through) is converted as the negated,
//    upright response and the result negated, so the phase at DC is pi
//    continuous with the data's.
// 2. Magnitude and unwrapped phase are interpolated linearly onto an FFT
//    grid of N points at the sample interval dt; N is the power of two at
//    or above 1 / (frequency step * dt), the time span the data resolve,
//    from 1024 up to 2^20 points. At 2^20 the period may fall short of
//    that span (period_needed), and the response then wraps.
// 3. The band ends at the data's top frequency or at Nyquist, whichever is
//    lower: a raised-cosine taper over its top fifth, zero above it.
// 4. An inverse real FFT (FFTW) of the Hermitian spectrum gives one period
//    of the response. Its last quarter stands for the times before t = 0.
//    Samples there down to 1e-3 of the peak magnitude are kept before t = 0
//    (the lead), so that the response keeps its area; the rest is cut off
//    after the last sample at or above 1e-5 of the peak.
#ifndef AMISIM_FREQUENCY_RESPONSE_H
#define AMISIM_FREQUENCY_RESPONSE_H

#include <complex>
#include <cstddef>
#include <string>
#include <vector>

namespace amisim {

struct ImpulseConversion {
    std::vector<double> impulse;  // 1/s; impulse[lead] is t = 0
    std::size_t lead = 0;         // samples before t = 0
    double dc = 0.0;              // the response at DC, extrapolated
    double dc_phase_intercept =
        0.0;                   // rad: the phase line's value at DC before taking the real part
    double band_top = 0.0;     // Hz: the response is zero above it
    double taper_start = 0.0;  // Hz: the raised-cosine taper runs from here to band_top
    std::size_t fft_points = 0;
    double period_needed = 0.0;  // s: 1 / (mean frequency step), the span the data resolve
    // Energy of the last quarter of the period (t < 0) over the whole period.
    double noncausal_energy = 0.0;
    // Largest phase change between two adjacent data points, and where.
    double largest_phase_step = 0.0;  // rad
    double largest_phase_step_at = 0.0;
};

// frequencies rise (Hz, the first may be 0), response holds one value
// each. False with a message where this build has no FFT.
bool impulse_from_frequency_response(const std::vector<double> &frequencies,
                                     const std::vector<std::complex<double>> &response,
                                     double sample_interval, ImpulseConversion &result,
                                     std::string &error);

}  // namespace amisim

#endif  // AMISIM_FREQUENCY_RESPONSE_H
