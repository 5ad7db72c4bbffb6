// A model that runs in a process of its own, called from a thread of this
// one with a few blocks queued ahead: the model works through them one
// after another while the stream convolves, adds noise and fills the eyes.
// The calls are the calls of a run without the queue, in the same order, so
// the samples are the same; only the waiting goes.
#ifndef AMISIM_STAGE_WORKER_H
#define AMISIM_STAGE_WORKER_H

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tools/amisim/run/stream.h"

namespace amisim {

class StageWorker {
  public:
    // One block processed: its samples, the clock ticks the model returned
    // with it, and the time its calls took.
    struct Block {
        std::vector<double> samples;
        std::size_t count = 0;
        std::vector<double> ticks;
        bool has_report = false;  // the model's output parameters, when it gave some
        std::string report;
        bool ok = false;
        std::chrono::steady_clock::duration time{};
    };

    // Up to depth blocks of at most block samples queued or in the model.
    StageWorker(BlockStage &stage, std::size_t block, std::size_t depth);
    // Finishes the call in the model, if any, and leaves the rest.
    ~StageWorker();
    StageWorker(const StageWorker &) = delete;
    StageWorker &operator=(const StageWorker &) = delete;

    // Queues a copy of count samples; false when depth blocks are already
    // queued (take one first).
    bool submit(const double *wave, std::size_t count);
    // Blocks queued and not taken yet.
    std::size_t queued() const;
    // Waits for the oldest queued block and hands it over until release().
    const Block &take();
    void release();

  private:
    void work();

    BlockStage &stage_;
    std::vector<Block> slots_;
    mutable std::mutex mutex_;
    std::condition_variable submitted_;
    std::condition_variable done_;
    std::size_t first_ = 0;    // the oldest slot not released
    std::size_t queued_ = 0;   // slots submitted and not released
    std::size_t working_ = 0;  // slots the worker has finished, counted from first_
    bool failed_ = false;      // a call failed: the blocks after it are not called
    bool stop_ = false;
    std::thread worker_;
};

}  // namespace amisim

#endif  // AMISIM_STAGE_WORKER_H
