// What the receiver's input gets besides the victim's waveform: the
// aggressors' waveforms, each through its own channel, summed, and the
// noise. It is worked out ahead, a few blocks at a time, in a thread of its
// own while the stream works on the victim, so that the aggressors'
// stimuli, their transmitters' calls, their transforms and the noise cost
// the stream little more than an addition. The same seed gives the same
// samples however the reads are cut.
#ifndef AMISIM_DISTURBANCE_H
#define AMISIM_DISTURBANCE_H

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tools/amisim/channel/summed_channels.h"
#include "tools/amisim/stimulus/gaussian_noise.h"

namespace amisim {

class Disturbance {
  public:
    // aggressors may be null (noise alone); failed tells, after each block,
    // why the aggressors' waveform is no longer right (empty while it is),
    // and is called in the worker's thread. total samples are made in
    // blocks of block.
    Disturbance(std::unique_ptr<SummedChannelStream> aggressors, double noise,
                std::uint64_t noise_seed, std::size_t block, std::uint64_t total,
                std::function<std::string()> failed);
    ~Disturbance();
    Disturbance(const Disturbance &) = delete;
    Disturbance &operator=(const Disturbance &) = delete;

    // Adds the next count samples to wave.
    void add(double *wave, std::size_t count);
    // Why the aggressors failed, once a block they spoiled has been added.
    std::string failure() const;

  private:
    void work();

    std::unique_ptr<SummedChannelStream> aggressors_;
    GaussianNoise noise_;
    std::size_t block_;
    std::uint64_t total_;
    std::function<std::string()> failed_;

    static constexpr std::size_t kSlots = 4;
    std::vector<std::vector<double>> slots_;
    std::vector<std::string> slot_failure_;
    mutable std::mutex mutex_;
    std::condition_variable ready_;  // a slot was filled
    std::condition_variable freed_;  // a slot was emptied
    std::size_t filled_ = 0;         // slots made and not yet used up
    std::size_t next_fill_ = 0;      // the slot the worker fills next
    std::size_t reading_ = 0;        // the slot add() reads
    std::size_t read_at_ = 0;        // samples of it used
    bool holding_ = false;           // add() holds slot reading_
    bool stop_ = false;
    std::string failure_;
    std::thread worker_;
};

}  // namespace amisim

#endif  // AMISIM_DISTURBANCE_H
