// Everything a run of the pipeline is given: the channel at the sample
// interval, the stimulus, the models with their parameter strings, and
// where the output goes. The command line fills it; tests fill it directly.
#ifndef AMISIM_RUN_SETTING_H
#define AMISIM_RUN_SETTING_H

#include <cstdint>
#include <string>

#include "tools/amisim/channel/channel.h"
#include "tools/amisim/channel/channel_stream.h"

namespace amisim {

struct RunSetting {
    Channel channel;            // impulse responses (1/s) at dt, through first
    std::string channel_file;   // empty: the built-in channel
    std::string channel_ports;  // --ports of a Touchstone channel, as given
    long channel_bits = 0;      // length of the built-in channel, in bits
    double dt = 0.0;            // s per sample
    int spb = 1;                // samples per bit

    std::int64_t bits = 0;
    long bits_per_call = 256;
    int prbs_order = 7;
    Convolution convolution = Convolution::kAuto;

    std::string model_path;
    std::string parameters;
    std::string rx_path;  // empty: the model alone, no receiver stage
    std::string rx_parameters;

    std::string output_folder;  // "" writes no waveform files
    bool waves = false;         // every sample of the waveforms to CSV
    bool progress = false;      // a progress bar on a terminal
};

// The channel's memory fills after as many bits as it is long.
std::int64_t fill_bits(const RunSetting &setting);

}  // namespace amisim

#endif  // AMISIM_RUN_SETTING_H
