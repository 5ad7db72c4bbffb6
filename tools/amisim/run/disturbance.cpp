#include "tools/amisim/run/disturbance.h"

#include <algorithm>

namespace amisim {

Disturbance::Disturbance(std::unique_ptr<SummedChannelStream> aggressors, double noise,
                         std::uint64_t noise_seed, std::size_t block, std::uint64_t total,
                         std::function<std::string()> failed)
    : aggressors_(std::move(aggressors)),
      noise_(noise, noise_seed),
      block_(std::max<std::size_t>(block, 1)),
      total_(total),
      failed_(std::move(failed)),
      slots_(kSlots, std::vector<double>(block_)),
      slot_failure_(kSlots) {
    worker_ = std::thread([this] { work(); });
}

Disturbance::~Disturbance() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    freed_.notify_all();
    worker_.join();
}

void Disturbance::work() {
    for (std::uint64_t made = 0; made < total_;) {
        std::size_t slot = 0;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            freed_.wait(lock, [this] { return stop_ || filled_ < kSlots; });
            if (stop_) {
                return;
            }
            slot = next_fill_;
        }
        const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(block_, total_ - made));
        std::vector<double> &samples = slots_[slot];
        if (aggressors_ != nullptr) {
            aggressors_->read(samples.data(), count);
        } else {
            std::fill_n(samples.begin(), count, 0.0);
        }
        noise_.add(samples.data(), count);
        std::string failure = failed_ ? failed_() : std::string();
        made += count;
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            slot_failure_[slot] = std::move(failure);
            next_fill_ = (next_fill_ + 1) % kSlots;
            ++filled_;
        }
        ready_.notify_one();
    }
}

void Disturbance::add(double *wave, std::size_t count) {
    while (count > 0) {
        std::unique_lock<std::mutex> lock(mutex_);
        if (holding_ && read_at_ == block_) {
            holding_ = false;
            reading_ = (reading_ + 1) % kSlots;
            --filled_;
            freed_.notify_one();
        }
        if (!holding_) {
            ready_.wait(lock, [this] { return filled_ > 0; });
            holding_ = true;
            read_at_ = 0;
            if (failure_.empty()) {
                failure_ = slot_failure_[reading_];
            }
        }
        lock.unlock();
        const std::size_t n = std::min(count, block_ - read_at_);
        const double *from = slots_[reading_].data() + read_at_;
        for (std::size_t i = 0; i < n; ++i) {
            wave[i] += from[i];
        }
        read_at_ += n;
        wave += n;
        count -= n;
    }
}

std::string Disturbance::failure() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return failure_;
}

}  // namespace amisim
