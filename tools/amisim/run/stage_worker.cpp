#include "tools/amisim/run/stage_worker.h"

#include <algorithm>

namespace amisim {

StageWorker::StageWorker(BlockStage &stage, std::size_t block, std::size_t depth)
    : stage_(stage), slots_(std::max<std::size_t>(depth, 1)) {
    for (Block &slot : slots_) {
        slot.samples.resize(block);
    }
    worker_ = std::thread([this] { work(); });
}

StageWorker::~StageWorker() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    submitted_.notify_all();
    worker_.join();
}

bool StageWorker::submit(const double *wave, std::size_t count) {
    std::size_t index = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (queued_ == slots_.size()) {
            return false;
        }
        index = (first_ + queued_) % slots_.size();
    }
    // The slot is the main thread's until it is counted as queued.
    Block &slot = slots_[index];
    std::copy_n(wave, count, slot.samples.data());
    slot.count = count;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++queued_;
    }
    submitted_.notify_one();
    return true;
}

std::size_t StageWorker::queued() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return queued_;
}

const StageWorker::Block &StageWorker::take() {
    std::unique_lock<std::mutex> lock(mutex_);
    done_.wait(lock, [this] { return working_ > 0; });
    return slots_[first_];
}

void StageWorker::release() {
    std::lock_guard<std::mutex> lock(mutex_);
    first_ = (first_ + 1) % slots_.size();
    --queued_;
    --working_;
}

void StageWorker::work() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        submitted_.wait(lock, [this] { return stop_ || working_ < queued_; });
        if (stop_) {
            return;
        }
        Block &slot = slots_[(first_ + working_) % slots_.size()];
        const bool call = !failed_;
        lock.unlock();
        slot.ok = false;
        slot.ticks.clear();
        if (call) {
            const auto t0 = std::chrono::steady_clock::now();
            BlockTicks ticks;
            slot.ok = stage_.start(slot.samples.data(), slot.count) &&
                      stage_.finish(slot.samples.data(), ticks);
            slot.time = std::chrono::steady_clock::now() - t0;
            if (slot.ok) {
                slot.ticks.assign(ticks.times, ticks.times + ticks.count);
            }
            slot.has_report = slot.ok && ticks.report != nullptr;
            slot.report = slot.has_report ? ticks.report : "";
        }
        lock.lock();
        failed_ = failed_ || !slot.ok;
        ++working_;
        done_.notify_all();
    }
}

}  // namespace amisim
