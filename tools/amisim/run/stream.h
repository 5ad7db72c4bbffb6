// One run of the stand-in as a stream: the stimulus through the channel,
// block by block into AMI_GetWave, both waveforms into their eyes (and into
// CSV files when asked). A whole link puts a transmitter's AMI_GetWave
// before the channel and a receiver's after it, whose clock ticks place a
// third eye. Memory stays the same whatever the number of bits.
#ifndef AMISIM_STREAM_H
#define AMISIM_STREAM_H

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tools/amisim/analysis/clocked_eye.h"
#include "tools/amisim/analysis/eye.h"
#include "tools/amisim/analysis/model_reports.h"
#include "tools/amisim/channel/channel_stream.h"
#include "tools/amisim/run/ber_meters.h"
#include "tools/amisim/stimulus/jittered_source.h"

namespace amisim {

// An aggressor: its own symbols, through its own transmitter (a stage of
// run_link's) and its own channel to the victim's receiver.
struct AggressorPath {
    std::vector<double> taps;  // its channel's impulse response times the sample interval
    JitteredSourceSettings stimulus;
    std::size_t delay = 0;  // samples of its waveform left out at the start: its phase
};

// What a run asked for its error rate adds to the stream: the stimulus with
// the transmitter's jitter, aggressors and noise at the receiver's input,
// and the meters of the errors and the crossings' jitter.
struct StreamImpairments {
    JitteredSourceSettings stimulus;  // the victim's, in place of the plain PRBS
    std::vector<AggressorPath> aggressors;
    double noise = 0.0;  // volts rms, added to every sample at the receiver's input
    std::uint64_t noise_seed = 1;
    // A run of the model alone: its AMI_GetWave follows the channel and its
    // output is the receiver's input, where the aggressors and the noise go.
    bool after_model = false;
    BerMeterSetup meters;  // on the last waveform: the receiver's output, or its input
};

struct StreamSetup {
    std::vector<double> taps;  // the through channel's impulse response times the sample interval
    int samples_per_bit = 32;
    double sample_interval = 1e-12;
    int prbs_order = 7;
    // The symbols' levels (volts) and mapping: other than NRZ's two the
    // stimulus is a JitteredSource without jitter.
    std::vector<double> levels = {-0.5, 0.5};
    SymbolMapping mapping = SymbolMapping::kGray;
    std::int64_t bits = 0;  // unit intervals
    std::int64_t bits_per_call = 256;
    Convolution convolution = Convolution::kAuto;
    EyeLayout eye_before;      // of the waveform into the model
    EyeLayout eye_after;       // of the waveform the model returns
    bool clocked_eye = false;  // also the eye at the receiver's clock ticks
    ClockedEyeLayout eye_clocked;
    std::string wave_before_csv;  // every sample to these files; empty for none
    std::string wave_after_csv;
    bool progress = false;  // a progress bar on stderr (when it is a terminal)
    std::optional<StreamImpairments> impairments;
};

// Where a receiver's clock ticked in one block: times in seconds from the
// start of the waveform, ascending; none is fine.
struct BlockTicks {
    const double *times = nullptr;
    std::size_t count = 0;
    // The output parameters the model returned with the block (null for
    // none), valid until its next call.
    const char *report = nullptr;
};

// A model's AMI_GetWave as the stream calls it, in two steps: start() hands
// a block over, finish() takes the processed block back with the clock
// ticks. A model that runs in another process works on one block while the
// stream goes on with the previous one (overlaps() is true); the stream then
// keeps one block in flight. Either step returns false when the model
// failed.
class BlockStage {
  public:
    virtual ~BlockStage() = default;
    // The block stays as it is until finish().
    virtual bool start(const double *wave, std::size_t count) = 0;
    virtual bool finish(double *wave, BlockTicks &ticks) = 0;
    virtual bool overlaps() const = 0;
};

// Processes one block of the waveform in place, as AMI_GetWave does; false
// when the model fails.
using BlockModel = std::function<bool(double *wave, std::size_t count)>;
// A receiver's AMI_GetWave: one block in place, and its ticks.
using ReceiverModel = std::function<bool(double *wave, std::size_t count, BlockTicks &ticks)>;

struct StreamResult {
    std::unique_ptr<EyeAccumulator> before;
    std::unique_ptr<EyeAccumulator> after;  // null without a model
    std::unique_ptr<ClockedEye> clocked;    // null unless asked for
    std::unique_ptr<BerMeters> meters;      // null unless impairments were given
    Convolution convolution = Convolution::kDirect;
    std::size_t convolution_block = 0;  // inputs per convolution block
    std::uint64_t samples = 0;
    std::uint64_t calls = 0;
    std::chrono::steady_clock::duration in_model{};
    // The transmitter of a link, before the channel (which reads ahead).
    std::uint64_t transmitter_samples = 0;
    std::uint64_t transmitter_calls = 0;
    std::chrono::steady_clock::duration in_transmitter{};
    std::chrono::steady_clock::duration total{};
    bool model_failed = false;  // why run_stream returned false: the model, or a file
    // The aggressors' transmitters, together.
    std::uint64_t aggressor_calls = 0;
    std::chrono::steady_clock::duration in_aggressors{};
    // What the transmitter before the channel and the model after it
    // reported in their output parameters, call by call as the stream used
    // the blocks (so the same whether a model runs in this process or
    // another).
    ModelReports transmitter_reports;
    ModelReports receiver_reports;
};

// The link: the stimulus through the transmitter in blocks of bits_per_call
// bits, the channel, the receiver; either may be null (no AMI_GetWave). The
// eye before is the receiver's input, the eye after its output. False with
// a message when a model fails or a file cannot be written. With
// impairments, aggressor_transmitters holds each aggressor's transmitter
// (null where it has no AMI_GetWave).
bool run_link(const StreamSetup &setup, BlockStage *transmitter, BlockStage *receiver,
              StreamResult &result, std::string &error,
              const std::vector<BlockStage *> &aggressor_transmitters = {});

// The same with models that are plain functions, called in this thread
// (the aggressors' transmitters in the thread that works them out).
bool run_link(const StreamSetup &setup, const BlockModel &transmitter,
              const ReceiverModel &receiver, StreamResult &result, std::string &error,
              const std::vector<BlockModel> &aggressor_transmitters = {});
// The model alone after the channel; model may be empty.
bool run_stream(const StreamSetup &setup, const BlockModel &model, StreamResult &result,
                std::string &error);

}  // namespace amisim

#endif  // AMISIM_STREAM_H
