// Overlap-add through FFTW where the build has it. Plans are made with
// FFTW_ESTIMATE, which chooses by a fixed rule rather than by timing, so
// that every run computes the same sums and gives the same bits.
#include "tools/amisim/channel/channel_stream.h"
#include "tools/amisim/channel/summed_channels.h"

#ifdef AMISIM_HAVE_FFTW

#include <fftw3.h>

#include <algorithm>

namespace amisim {

namespace {

// An fftw_malloc'd array (aligned for FFTW's vector code).
template <typename T>
class FftwArray {
  public:
    explicit FftwArray(std::size_t count)
        : data_(static_cast<T *>(fftw_malloc(sizeof(T) * count))), count_(count) {
        std::fill(data_, data_ + count_, T{});
    }
    ~FftwArray() { fftw_free(data_); }
    FftwArray(const FftwArray &) = delete;
    FftwArray &operator=(const FftwArray &) = delete;
    T *get() const { return data_; }

  private:
    T *data_;
    std::size_t count_;
};

struct Bin {
    double re;
    double im;
};
static_assert(sizeof(Bin) == sizeof(fftw_complex), "FFTW complex layout");

// Several inputs, each through its own channel (all padded to the longest,
// M taps): each block's transform is multiplied by its channel's spectrum
// and added to the sum, which one inverse transform turns into the outputs.
class FftSumConvolver final : public SumConvolver {
  public:
    FftSumConvolver(const std::vector<std::vector<double>> &taps, std::size_t longest,
                    std::size_t n)
        : n_(n),
          overlap_(longest - 1),
          block_(n - overlap_),
          bins_(n / 2 + 1),
          time_(n),
          spectrum_(bins_),
          sum_(bins_),
          tail_(overlap_, 0.0) {
        auto *spectrum = reinterpret_cast<fftw_complex *>(spectrum_.get());
        auto *sum = reinterpret_cast<fftw_complex *>(sum_.get());
        forward_ = fftw_plan_dft_r2c_1d(static_cast<int>(n_), time_.get(), spectrum, FFTW_ESTIMATE);
        inverse_ = fftw_plan_dft_c2r_1d(static_cast<int>(n_), sum, time_.get(), FFTW_ESTIMATE);
        // Each channel's spectrum, with the inverse transform's 1/N folded in.
        const double scale = 1.0 / static_cast<double>(n_);
        double *time = time_.get();
        for (const auto &channel : taps) {
            std::fill(time, time + n_, 0.0);
            std::copy(channel.begin(), channel.end(), time);
            fftw_execute(forward_);
            std::vector<Bin> bins(bins_);
            for (std::size_t j = 0; j < bins_; ++j) {
                bins[j] = Bin{spectrum_.get()[j].re * scale, spectrum_.get()[j].im * scale};
            }
            channels_.push_back(std::move(bins));
        }
    }
    ~FftSumConvolver() override {
        fftw_destroy_plan(forward_);
        fftw_destroy_plan(inverse_);
    }
    FftSumConvolver(const FftSumConvolver &) = delete;
    FftSumConvolver &operator=(const FftSumConvolver &) = delete;

    std::size_t block_size() const override { return block_; }

    void convolve(const std::vector<const double *> &inputs, double *output) override {
        double *time = time_.get();
        Bin *sum = sum_.get();
        const Bin *x = spectrum_.get();
        std::fill(sum, sum + bins_, Bin{0.0, 0.0});
        for (std::size_t k = 0; k < channels_.size() && k < inputs.size(); ++k) {
            std::copy(inputs[k], inputs[k] + block_, time);
            std::fill(time + block_, time + n_, 0.0);
            fftw_execute(forward_);
            const Bin *h = channels_[k].data();
            for (std::size_t j = 0; j < bins_; ++j) {
                const Bin a = x[j];
                const Bin product{a.re * h[j].re - a.im * h[j].im, a.re * h[j].im + a.im * h[j].re};
                sum[j] = k == 0 ? product : Bin{sum[j].re + product.re, sum[j].im + product.im};
            }
        }
        fftw_execute(inverse_);
        // N >= 2M keeps the previous block's tail inside this block's outputs.
        for (std::size_t i = 0; i < overlap_; ++i) {
            output[i] = time[i] + tail_[i];
        }
        std::copy(time + overlap_, time + block_, output + overlap_);
        std::copy(time + block_, time + n_, tail_.begin());
    }

  private:
    std::size_t n_;
    std::size_t overlap_;
    std::size_t block_;
    std::size_t bins_;
    FftwArray<double> time_;
    FftwArray<Bin> spectrum_;
    FftwArray<Bin> sum_;
    std::vector<std::vector<Bin>> channels_;
    std::vector<double> tail_;
    fftw_plan forward_ = nullptr;
    fftw_plan inverse_ = nullptr;
};

// One channel: each block of L = N - M + 1 inputs, padded to N, is
// transformed, multiplied by the channel's spectrum, transformed back; its
// first L outputs are final once the previous block's last M - 1 are added.
class FftConvolver final : public BlockConvolver {
  public:
    FftConvolver(const std::vector<double> &taps, std::size_t n)
        : sum_(std::vector<std::vector<double>>{taps}, taps.size(), n) {}
    std::size_t block_size() const override { return sum_.block_size(); }
    void convolve(const double *input, double *output) override { sum_.convolve({input}, output); }

  private:
    FftSumConvolver sum_;
};

}  // namespace

bool fft_available() {
    return true;
}

void release_fft_tables() {
    fftw_cleanup();
}

std::unique_ptr<BlockConvolver> make_fft_convolver(const std::vector<double> &taps,
                                                   std::size_t fft_size) {
    if (taps.empty()) {
        return nullptr;
    }
    std::size_t n = fft_size == 0 ? default_fft_size(taps.size()) : fft_size;
    if (n < 2 * taps.size() || (n & (n - 1)) != 0) {
        return nullptr;
    }
    return std::make_unique<FftConvolver>(taps, n);
}

std::unique_ptr<SumConvolver> make_fft_sum_convolver(const std::vector<std::vector<double>> &taps,
                                                     std::size_t fft_size) {
    std::size_t longest = 0;
    for (const auto &channel : taps) {
        longest = std::max(longest, channel.size());
    }
    if (longest == 0) {
        return nullptr;
    }
    const std::size_t n = fft_size == 0 ? default_fft_size(longest) : fft_size;
    if (n < 2 * longest || (n & (n - 1)) != 0) {
        return nullptr;
    }
    return std::make_unique<FftSumConvolver>(taps, longest, n);
}

}  // namespace amisim

#else  // no FFTW in this build: the direct sums always

namespace amisim {

bool fft_available() {
    return false;
}

void release_fft_tables() {}

std::unique_ptr<BlockConvolver> make_fft_convolver(const std::vector<double> &, std::size_t) {
    return nullptr;
}

std::unique_ptr<SumConvolver> make_fft_sum_convolver(const std::vector<std::vector<double>> &,
                                                     std::size_t) {
    return nullptr;
}

}  // namespace amisim

#endif

namespace amisim {

std::size_t default_fft_size(std::size_t taps) {
    // Doubling the transform costs more per transform but makes more of each
    // block new samples: the cost per output sample is N log N / (N - M + 1).
    // Double while that falls by more than 5%; past that the blocks only
    // outgrow the caches (4096 taps: 32768 points, 7.8 ns a sample here,
    // against 8.4 ns at 65536).
    std::size_t best = 16;
    int log2n = 4;
    while (best < 2 * taps) {
        best *= 2;
        ++log2n;
    }
    auto cost = [taps](std::size_t n, int bits) {
        return static_cast<double>(n) * bits / static_cast<double>(n - taps + 1);
    };
    while (cost(2 * best, log2n + 1) < 0.95 * cost(best, log2n)) {
        best *= 2;
        ++log2n;
    }
    return best;
}

}  // namespace amisim
