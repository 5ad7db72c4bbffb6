// Several sources, each through a channel of its own, summed: a victim and
// its aggressors as they meet at the receiver's input. Through FFTs each
// input block is transformed and multiplied by its channel's spectrum, and
// the products are summed before one inverse transform for all; the direct
// method sums each channel's exact convolution. With one source the sums
// are those of ChannelStream.
#ifndef AMISIM_SUMMED_CHANNELS_H
#define AMISIM_SUMMED_CHANNELS_H

#include <cstddef>
#include <memory>
#include <vector>

#include "tools/amisim/channel/channel_stream.h"

namespace amisim {

// Convolves one block of each input with its own channel and sums.
class SumConvolver {
  public:
    virtual ~SumConvolver() = default;
    virtual std::size_t block_size() const = 0;
    // inputs[k] holds block_size() samples for channel k; a channel
    // without an input counts as silent.
    virtual void convolve(const std::vector<const double *> &inputs, double *output) = 0;
};

// Through FFTs of fft_size points (0 chooses one for the longest channel);
// null where the build has no FFT.
std::unique_ptr<SumConvolver> make_fft_sum_convolver(const std::vector<std::vector<double>> &taps,
                                                     std::size_t fft_size);

class SummedChannelStream {
  public:
    // taps[k] (impulse response times the sample interval) carries
    // sources[k]; the method is resolve_convolution for the longest.
    SummedChannelStream(const std::vector<std::vector<double>> &taps,
                        const std::vector<SampleSource *> &sources, Convolution method);
    void read(double *out, std::size_t count);

    Convolution method() const { return method_; }
    std::size_t block_size() const { return block_; }

  private:
    std::vector<SampleSource *> sources_;
    Convolution method_ = Convolution::kDirect;
    std::unique_ptr<SumConvolver> fft_;
    std::vector<std::unique_ptr<BlockConvolver>> direct_;  // without an FFT
    std::size_t block_ = 0;
    std::vector<std::vector<double>> inputs_;
    std::vector<double> output_;
    std::vector<double> part_;  // one channel's share, for the direct sums
    std::size_t next_ = 0;
};

}  // namespace amisim

#endif  // AMISIM_SUMMED_CHANNELS_H
