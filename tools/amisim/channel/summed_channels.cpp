#include "tools/amisim/channel/summed_channels.h"

#include <algorithm>

namespace amisim {

namespace {

// Inputs per block of the direct sums, as ChannelStream's.
constexpr std::size_t kDirectBlock = 4096;

}  // namespace

SummedChannelStream::SummedChannelStream(const std::vector<std::vector<double>> &taps,
                                         const std::vector<SampleSource *> &sources,
                                         Convolution method)
    : sources_(sources) {
    std::size_t longest = 0;
    for (const auto &channel : taps) {
        longest = std::max(longest, channel.size());
    }
    if (resolve_convolution(method, longest) == Convolution::kFft) {
        fft_ = make_fft_sum_convolver(taps, 0);
    }
    if (fft_ != nullptr) {
        method_ = Convolution::kFft;
        block_ = fft_->block_size();
    } else {
        block_ = kDirectBlock;
        for (const auto &channel : taps) {
            direct_.push_back(make_direct_convolver(channel, block_));
        }
        part_.resize(block_);
    }
    inputs_.assign(sources_.size(), std::vector<double>(block_));
    output_.resize(block_);
    next_ = block_;
}

void SummedChannelStream::read(double *out, std::size_t count) {
    while (count > 0) {
        if (next_ == output_.size()) {
            std::vector<const double *> inputs;
            for (std::size_t k = 0; k < sources_.size(); ++k) {
                sources_[k]->fill(inputs_[k].data(), block_);
                inputs.push_back(inputs_[k].data());
            }
            if (fft_ != nullptr) {
                fft_->convolve(inputs, output_.data());
            } else {
                for (std::size_t k = 0; k < direct_.size(); ++k) {
                    double *into = k == 0 ? output_.data() : part_.data();
                    direct_[k]->convolve(inputs[k], into);
                    if (k > 0) {
                        for (std::size_t i = 0; i < block_; ++i) {
                            output_[i] += part_[i];
                        }
                    }
                }
            }
            next_ = 0;
        }
        const std::size_t run = std::min(count, output_.size() - next_);
        std::copy_n(output_.begin() + static_cast<std::ptrdiff_t>(next_), run, out);
        next_ += run;
        out += run;
        count -= run;
    }
}

}  // namespace amisim
