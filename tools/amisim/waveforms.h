// Waveform arithmetic of the stand-in: pulse responses, the PRBS stimulus
// through the channel, and the figures a signal-integrity engineer reads off
// an impulse response.
#ifndef AMISIM_WAVEFORMS_H
#define AMISIM_WAVEFORMS_H

#include <cstdint>
#include <vector>

namespace amisim {

// Response to one bit of amplitude 1 lasting samples_per_bit samples, from an
// impulse response in 1/s sampled every sample_interval seconds.
std::vector<double> pulse_response(const std::vector<double> &impulse, int samples_per_bit,
                                   double sample_interval);

// The bits sent as +0.5 / -0.5 through the channel whose pulse response is
// given: bits.size() * samples_per_bit samples, starting from rest.
std::vector<double> bits_through_channel(const std::vector<std::uint8_t> &bits,
                                         const std::vector<double> &pulse, int samples_per_bit);

struct ResponseFigures {
    double peak = 0.0;           // largest |h|, 1/s
    double area = 0.0;           // sum of h times the sample interval (DC gain)
    std::size_t cursor = 0;      // index of the pulse response's main cursor
    double main_cursor = 0.0;    // pulse response at the cursor
    double first_post = 0.0;     // pulse response one bit after the cursor
    double first_post_db = 0.0;  // 20 log10 |first_post / main_cursor|
};

// Vertical eye opening of a waveform sampled once per bit at the given
// offset into the bit: the lowest sample of the bits sent as 1 minus the
// highest sample of the bits sent as 0 (negative when the eye is closed).
// The first skip_bits bits, still settling from rest, are left out.
double eye_height(const std::vector<double> &wave, const std::vector<std::uint8_t> &bits,
                  int samples_per_bit, std::size_t offset, std::size_t skip_bits);

ResponseFigures measure_response(const std::vector<double> &impulse, int samples_per_bit,
                                 double sample_interval);

}  // namespace amisim

#endif  // AMISIM_WAVEFORMS_H
