// The channel the stand-in simulator drives the model with: impulse
// responses (unit 1/s) at the simulation's sample interval, the through
// channel first and any aggressors after it.
#ifndef AMISIM_CHANNEL_H
#define AMISIM_CHANNEL_H

#include <istream>
#include <string>
#include <vector>

namespace amisim {

struct Channel {
    std::vector<std::vector<double>> columns;  // [0] through channel, then aggressors
    std::string description;
    std::vector<std::string> warnings;  // also in the description, one line each
    double sample_interval = 0.0;       // from a file's time column, 0 when it has none
    // The time of the first sample, s: negative when samples before t = 0
    // were kept (a Touchstone conversion keeps the response's rise), or a
    // file's first time.
    double start_time = 0.0;
};

// Parameters of the built-in channel: a skin-effect line,
// h(t) = k/(2 sqrt(pi)) t^(-3/2) exp(-k^2 / 4t), in series with a first-order
// pole at pole_hz.
struct DefaultChannelShape {
    double skin_k = 9.19e-6;  // s^(1/2): about 10 dB at 5 GHz
    double pole_hz = 8e9;
};

// Insertion loss of the built-in channel at frequency f, in dB (positive).
double default_channel_loss_db(const DefaultChannelShape &shape, double frequency);

// The built-in channel sampled at sample_interval over samples samples. Each
// sample is the exact average of the continuous response over its interval.
Channel default_channel(const DefaultChannelShape &shape, double sample_interval,
                        std::size_t samples);

// Reads a channel from a text file: one impulse-response sample per line, or
// a time column followed by the through channel; further columns are
// aggressors. Columns are separated by blanks, tabs or commas; '#' starts a
// comment. Returns false with a message naming the file and line on error.
bool read_channel_file(const std::string &path, Channel &channel, std::string &error);

// The same from a stream, named path in the messages.
bool read_channel_file(std::istream &in, const std::string &path, Channel &channel,
                       std::string &error);

}  // namespace amisim

#endif  // AMISIM_CHANNEL_H
