// What a signal-integrity engineer reads off an impulse response first,
// through the toolkit's own conversions and metrics (I2P, MAX, PDA, SNR).
#ifndef AMISIM_RESPONSE_FIGURES_H
#define AMISIM_RESPONSE_FIGURES_H

#include <cstddef>
#include <vector>

namespace amisim {

// SNR counts as signal the pulse response above this level within half a
// unit interval of the main cursor: at 0, the whole positive main lobe.
inline constexpr double kSnrThreshold = 0.0;

struct ResponseFigures {
    double peak = 0.0;  // largest |h|, 1/s
    double area = 0.0;  // sum of h times the sample interval (DC gain)
    // The pulse response lasts spb - 1 samples longer than the impulse
    // response: I2P, MAX, PDA and SNR see the impulse response padded with
    // zeros to the whole bits that hold all of it, so that every cursor one
    // bit apart is in the same phase as the main cursor, the ones before it
    // reached through the wrap past the end.
    std::vector<double> pulse;
    std::size_t cursor = 0;  // main cursor: the first sample of largest |pulse|
    // Where the eye is centred: the cursor, or the middle of the run of
    // samples that repeat its value exactly (the flat top of an ideal or
    // band-unlimited pulse, whose first sample is the edge of the bit).
    std::size_t eye_centre = 0;
    double main_cursor = 0.0;  // pulse at the cursor
    double first_pre = 0.0;    // one bit before it (0 when that is before sample 0)
    double first_post = 0.0;   // one bit after it (0 when past the end)
    double pre_db = 0.0;       // 20 log10 |first_pre / main_cursor|, -inf when 0
    double post_db = 0.0;      // 20 log10 |first_post / main_cursor|, -inf when 0
    double max_level = 0.0;    // MAX: main cursor plus every cursor one bit apart, in magnitude
    double pda = 0.0;          // PDA: main cursor minus them, the worst-case eye of a 0-1 bit
    double snr = 0.0;          // SNR with kSnrThreshold: main-lobe energy over ISI energy
    // Largest |sample| that bits sent as +-0.5 can give at any phase:
    // 0.5 times the largest sum of |pulse| over samples one bit apart.
    double swing = 0.0;
};

ResponseFigures measure_response(const std::vector<double> &impulse, int samples_per_bit,
                                 double sample_interval);

// 20 log10 |ratio|, -inf for 0.
double decibels(double ratio);

}  // namespace amisim

#endif  // AMISIM_RESPONSE_FIGURES_H
