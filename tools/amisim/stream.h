// One run of the stand-in as a stream: the stimulus through the channel,
// block by block into AMI_GetWave, both waveforms into their eyes (and into
// CSV files when asked). Memory stays the same whatever the number of bits.
#ifndef AMISIM_STREAM_H
#define AMISIM_STREAM_H

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tools/amisim/channel_stream.h"
#include "tools/amisim/eye.h"

namespace amisim {

struct StreamSetup {
    std::vector<double> taps;  // the through channel's impulse response times the sample interval
    int samples_per_bit = 32;
    double sample_interval = 1e-12;
    int prbs_order = 7;
    std::int64_t bits = 0;
    std::int64_t bits_per_call = 256;
    Convolution convolution = Convolution::kAuto;
    EyeLayout eye_before;         // of the waveform into the model
    EyeLayout eye_after;          // of the waveform the model returns
    std::string wave_before_csv;  // every sample to these files; empty for none
    std::string wave_after_csv;
    bool progress = false;  // a progress bar on stderr (when it is a terminal)
};

// Processes one block of the waveform in place, as AMI_GetWave does; false
// when the model fails.
using BlockModel = std::function<bool(double *wave, std::size_t count)>;

struct StreamResult {
    std::unique_ptr<EyeAccumulator> before;
    std::unique_ptr<EyeAccumulator> after;  // null without a model
    Convolution convolution = Convolution::kDirect;
    std::size_t convolution_block = 0;  // inputs per convolution block
    std::uint64_t samples = 0;
    std::uint64_t calls = 0;
    std::chrono::steady_clock::duration in_model{};
    std::chrono::steady_clock::duration total{};
    bool model_failed = false;  // why run_stream returned false: the model, or a file
};

// Runs the stream; model may be empty (no AMI_GetWave). False with a message
// when the model fails or a file cannot be written.
bool run_stream(const StreamSetup &setup, const BlockModel &model, StreamResult &result,
                std::string &error);

}  // namespace amisim

#endif  // AMISIM_STREAM_H
