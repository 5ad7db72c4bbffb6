// The stimulus streamed through the channel: a PRBS sent as +0.5 / -0.5,
// convolved with the channel block by block (overlap-add), so that a run of
// any length holds only a few blocks in memory.
#ifndef AMISIM_CHANNEL_STREAM_H
#define AMISIM_CHANNEL_STREAM_H

#include <cstddef>
#include <memory>
#include <vector>

#include "tools/amisim/stimulus/prbs.h"

namespace amisim {

// A stream of input samples, produced on demand.
class SampleSource {
  public:
    virtual ~SampleSource() = default;
    virtual void fill(double *out, std::size_t count) = 0;
};

// PRBS<order> bits held for samples_per_bit samples each, 1 as +0.5 and 0
// as -0.5.
class NrzSource final : public SampleSource {
  public:
    NrzSource(int prbs_order, int samples_per_bit);
    void fill(double *out, std::size_t count) override;

  private:
    PrbsGenerator generator_;
    int samples_per_bit_;
    int left_in_bit_ = 0;  // samples of the current bit still to send
    double level_ = 0.0;
};

enum class Convolution { kAuto, kDirect, kFft };

// True where this build has an FFT (the x86-64 build, through FFTW); the
// i386 build of the stand-in's library always convolves directly.
bool fft_available();

// Releases what the FFT library keeps for the whole process (its planner's
// tables), once no convolver is left; the stand-in calls it before exiting.
void release_fft_tables();

// Channels of more taps than this go through the FFT (where there is one).
// Up to it the direct sums cost at most about 14 ns a sample on the
// development machine, four times the FFT's 3.5 ns, but they are exact: the
// same bits as a full convolution, on both word sizes.
inline constexpr std::size_t kDirectTapLimit = 64;

// The method a stream of this many taps uses: kAuto takes the FFT for more
// than kDirectTapLimit taps, and the direct sums wherever there is no FFT.
Convolution resolve_convolution(Convolution wanted, std::size_t taps);

// Convolves one block of inputs with the channel, carrying its state to the
// next block.
class BlockConvolver {
  public:
    virtual ~BlockConvolver() = default;
    // Inputs per block.
    virtual std::size_t block_size() const = 0;
    // block_size() inputs in, as many outputs out.
    virtual void convolve(const double *input, double *output) = 0;
};

// out[n] = sum over k = 0 .. M-1, k ascending, of taps[k] * x[n - k], with x
// taken as 0 before the first sample: the exact sums of a full convolution,
// whatever the block size.
std::unique_ptr<BlockConvolver> make_direct_convolver(std::vector<double> taps,
                                                      std::size_t block_size);

// The same convolution through FFTs of fft_size points (a power of two of
// at least twice the taps; 0 chooses one), equal to the direct sums within
// rounding. Null where the build has no FFT.
std::unique_ptr<BlockConvolver> make_fft_convolver(const std::vector<double> &taps,
                                                   std::size_t fft_size);

// The FFT size the FFT convolver chooses for a channel of taps taps.
std::size_t default_fft_size(std::size_t taps);

// The source's samples through the channel, read in pieces of any size.
class ChannelStream {
  public:
    // Taps are the channel's impulse response times the sample interval;
    // the method is resolve_convolution(method, taps.size()). fft_size 0
    // lets the FFT convolver choose.
    ChannelStream(std::vector<double> taps, SampleSource &source, Convolution method,
                  std::size_t fft_size = 0);
    void read(double *out, std::size_t count);

    Convolution method() const { return method_; }
    std::size_t block_size() const { return convolver_->block_size(); }

  private:
    SampleSource &source_;
    Convolution method_;
    std::unique_ptr<BlockConvolver> convolver_;
    std::vector<double> input_;
    std::vector<double> output_;
    std::size_t next_ = 0;  // first unread sample of output_
};

}  // namespace amisim

#endif  // AMISIM_CHANNEL_STREAM_H
