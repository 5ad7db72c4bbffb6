#include "tools/amisim/channel/channel_stream.h"

#include <algorithm>
#include <utility>

namespace amisim {

NrzSource::NrzSource(int prbs_order, int samples_per_bit)
    : generator_(prbs_order), samples_per_bit_(std::max(samples_per_bit, 1)) {}

void NrzSource::fill(double *out, std::size_t count) {
    std::size_t done = 0;
    while (done < count) {
        if (left_in_bit_ == 0) {
            level_ = generator_.next() != 0 ? 0.5 : -0.5;
            left_in_bit_ = samples_per_bit_;
        }
        const std::size_t run = std::min(count - done, static_cast<std::size_t>(left_in_bit_));
        std::fill(out + done, out + done + run, level_);
        done += run;
        left_in_bit_ -= static_cast<int>(run);
    }
}

namespace {

// Direct sums over a window that holds the last taps - 1 inputs of the
// previous block followed by the new block.
class DirectConvolver final : public BlockConvolver {
  public:
    DirectConvolver(std::vector<double> taps, std::size_t block_size)
        : taps_(std::move(taps)),
          block_(std::max<std::size_t>(block_size, 1)),
          history_(taps_.empty() ? 0 : taps_.size() - 1),
          window_(history_ + block_, 0.0) {}

    std::size_t block_size() const override { return block_; }

    void convolve(const double *input, double *output) override {
        std::copy(input, input + block_, window_.begin() + static_cast<std::ptrdiff_t>(history_));
        const double *taps = taps_.data();
        const std::size_t count = taps_.size();
        const double *newest = window_.data() + history_;  // x[i] for this block's i = 0
        // Four outputs at a time, each summed with k ascending in its own
        // accumulator: the same sums as one output at a time, with four
        // independent chains of additions in flight.
        std::size_t i = 0;
        for (; i + 4 <= block_; i += 4) {
            double a0 = 0.0;
            double a1 = 0.0;
            double a2 = 0.0;
            double a3 = 0.0;
            const double *x = newest + i;
            for (std::size_t k = 0; k < count; ++k) {
                const double t = taps[k];
                const double *at = x - k;
                a0 += t * at[0];
                a1 += t * at[1];
                a2 += t * at[2];
                a3 += t * at[3];
            }
            output[i] = a0;
            output[i + 1] = a1;
            output[i + 2] = a2;
            output[i + 3] = a3;
        }
        for (; i < block_; ++i) {
            double a = 0.0;
            const double *x = newest + i;
            for (std::size_t k = 0; k < count; ++k) {
                a += taps[k] * *(x - k);
            }
            output[i] = a;
        }
        // Keep the newest taps - 1 inputs for the next block.
        std::copy(window_.end() - static_cast<std::ptrdiff_t>(history_), window_.end(),
                  window_.begin());
    }

  private:
    std::vector<double> taps_;
    std::size_t block_;
    std::size_t history_;
    std::vector<double> window_;
};

// Inputs per block of the direct sums: long enough that keeping the history
// costs little beside the sums.
constexpr std::size_t kDirectBlock = 4096;

}  // namespace

std::unique_ptr<BlockConvolver> make_direct_convolver(std::vector<double> taps,
                                                      std::size_t block_size) {
    return std::make_unique<DirectConvolver>(std::move(taps), block_size);
}

Convolution resolve_convolution(Convolution wanted, std::size_t taps) {
    const bool fft =
        wanted == Convolution::kFft || (wanted == Convolution::kAuto && taps > kDirectTapLimit);
    return fft && fft_available() && taps > 0 ? Convolution::kFft : Convolution::kDirect;
}

ChannelStream::ChannelStream(std::vector<double> taps, SampleSource &source, Convolution method,
                             std::size_t fft_size)
    : source_(source), method_(Convolution::kDirect) {
    if (resolve_convolution(method, taps.size()) == Convolution::kFft) {
        convolver_ = make_fft_convolver(taps, fft_size);
        method_ = Convolution::kFft;
    }
    if (convolver_ == nullptr) {
        convolver_ = make_direct_convolver(std::move(taps), kDirectBlock);
        method_ = Convolution::kDirect;
    }
    input_.resize(convolver_->block_size());
    output_.resize(convolver_->block_size());
    next_ = output_.size();
}

void ChannelStream::read(double *out, std::size_t count) {
    while (count > 0) {
        if (next_ == output_.size()) {
            source_.fill(input_.data(), input_.size());
            convolver_->convolve(input_.data(), output_.data());
            next_ = 0;
        }
        const std::size_t run = std::min(count, output_.size() - next_);
        std::copy(output_.begin() + static_cast<std::ptrdiff_t>(next_),
                  output_.begin() + static_cast<std::ptrdiff_t>(next_ + run), out);
        next_ += run;
        out += run;
        count -= run;
    }
}

}  // namespace amisim
