#include "tools/amisim/run/stream.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "tools/amisim/channel/summed_channels.h"
#include "tools/amisim/run/disturbance.h"
#include "tools/amisim/run/stage_worker.h"

namespace amisim {

namespace {

using Clock = std::chrono::steady_clock;

// The aggressors' transmitters take this many of the victim's blocks in a
// call, and the thread beside the stream works out as many at a time:
// their waveforms matter only at the receiver, and fewer calls to their
// hosts and fewer hand-overs cost the stream less.
constexpr std::size_t kAggressorCallBlocks = 8;

// A bar on stderr, shown once a run has taken a second, and only when
// stderr is a terminal; erased at the end.
class ProgressBar {
  public:
    explicit ProgressBar(bool wanted)
        : enabled_(wanted && isatty(STDERR_FILENO) == 1), start_(Clock::now()), last_(start_) {}
    ~ProgressBar() {
        if (shown_) {
            std::fprintf(stderr, "\r%79s\r", "");
            std::fflush(stderr);
        }
    }
    ProgressBar(const ProgressBar &) = delete;
    ProgressBar &operator=(const ProgressBar &) = delete;

    void update(std::uint64_t done, std::uint64_t total, std::uint64_t samples_per_bit) {
        if (!enabled_) {
            return;
        }
        const auto now = Clock::now();
        if (now - start_ < std::chrono::seconds(1) ||
            now - last_ < std::chrono::milliseconds(200)) {
            return;
        }
        last_ = now;
        shown_ = true;
        const double fraction = static_cast<double>(done) / static_cast<double>(total);
        const double elapsed = std::chrono::duration<double>(now - start_).count();
        constexpr int kWidth = 28;
        char bar[kWidth + 1];
        const int filled = static_cast<int>(fraction * kWidth);
        for (int i = 0; i < kWidth; ++i) {
            bar[i] = i < filled ? '#' : '.';
        }
        bar[kWidth] = '\0';
        std::fprintf(stderr, "\ramisim: [%s] %3.0f%%  %llu of %llu bits  %.0f s left ", bar,
                     100.0 * fraction, static_cast<unsigned long long>(done / samples_per_bit),
                     static_cast<unsigned long long>(total / samples_per_bit),
                     fraction > 0.0 ? elapsed * (1.0 - fraction) / fraction : 0.0);
        std::fflush(stderr);
    }

  private:
    bool enabled_;
    bool shown_ = false;
    Clock::time_point start_;
    Clock::time_point last_;
};

// Samples as "time_s,volts" lines, written as they stream by.
class WaveCsv {
  public:
    WaveCsv() = default;
    ~WaveCsv() {
        if (file_ != nullptr) {
            std::fclose(file_);
        }
    }
    WaveCsv(const WaveCsv &) = delete;
    WaveCsv &operator=(const WaveCsv &) = delete;

    bool open(const std::string &path, std::string &error) {
        path_ = path;
        if (path.empty()) {
            return true;
        }
        file_ = std::fopen(path.c_str(), "w");
        if (file_ == nullptr) {
            error = path + ": " + std::strerror(errno);
            return false;
        }
        std::fputs("time_s,volts\n", file_);
        return true;
    }
    void write(const double *wave, std::size_t count, std::uint64_t first, double dt) {
        if (file_ == nullptr) {
            return;
        }
        for (std::size_t i = 0; i < count; ++i) {
            std::fprintf(file_, "%.12g,%.17g\n", static_cast<double>(first + i) * dt, wave[i]);
        }
    }
    bool close(std::string &error) {
        if (file_ == nullptr) {
            return true;
        }
        const bool failed = std::ferror(file_) != 0;
        const bool closed = std::fclose(file_) == 0;
        file_ = nullptr;
        if (failed || !closed) {
            error = path_ + ": write failed";
            return false;
        }
        return true;
    }

  private:
    std::string path_;
    std::FILE *file_ = nullptr;
};

// Blocks queued for a model in another process: enough to keep it busy
// while the channel takes a transform's worth of samples at once.
constexpr std::size_t kQueuedBlocks = 4;

// The stimulus through a transmitter's AMI_GetWave, called on blocks of a
// fixed size (as in a run without a channel before it) whatever pieces the
// channel asks for. A transmitter in another process works through the
// next blocks while this one is served. After a failure it gives zeros and
// says so.
class TransmitterSource final : public SampleSource {
  public:
    // Counts its samples, calls and time into those given, and its reports
    // (at dt a sample) into reports unless that is null.
    TransmitterSource(SampleSource &stimulus, BlockStage &model, std::size_t block,
                      std::uint64_t &samples, std::uint64_t &calls,
                      std::chrono::steady_clock::duration &time, ModelReports *reports = nullptr,
                      double dt = 0.0)
        : stimulus_(stimulus),
          model_(model),
          current_(block),
          next_(block),
          samples_(samples),
          calls_(calls),
          time_(time),
          reports_(reports),
          dt_(dt) {
        if (model.overlaps()) {
            worker_ = std::make_unique<StageWorker>(model, block, kQueuedBlocks);
            scratch_.resize(block);
        }
    }

    void fill(double *out, std::size_t count) override {
        while (count > 0) {
            if (next_ == current_.size()) {
                refill();
            }
            const std::size_t n = std::min(count, current_.size() - next_);
            std::copy_n(current_.data() + next_, n, out);
            next_ += n;
            out += n;
            count -= n;
        }
    }

    bool failed() const { return failed_; }
    std::uint64_t failed_at() const { return failed_at_; }

  private:
    // Keeps the worker's queue full of the stimulus's next blocks.
    void top_up() {
        while (worker_->queued() < kQueuedBlocks) {
            stimulus_.fill(scratch_.data(), scratch_.size());
            worker_->submit(scratch_.data(), scratch_.size());
        }
    }

    void refill() {
        next_ = 0;
        if (failed_) {
            std::fill(current_.begin(), current_.end(), 0.0);
            return;
        }
        bool ok = false;
        const char *report = nullptr;
        if (worker_ != nullptr) {
            top_up();
            const StageWorker::Block &block = worker_->take();
            ok = block.ok;
            std::copy_n(block.samples.data(), current_.size(), current_.data());
            time_ += block.time;
            report_ = block.report;
            report = block.has_report ? report_.c_str() : nullptr;
            worker_->release();
            top_up();
        } else {
            stimulus_.fill(current_.data(), current_.size());
            const auto t0 = Clock::now();
            BlockTicks ticks;
            ok = model_.start(current_.data(), current_.size()) &&
                 model_.finish(current_.data(), ticks);
            time_ += Clock::now() - t0;
            report = ticks.report;
        }
        ++calls_;
        if (reports_ != nullptr && ok) {
            reports_->add(calls_, static_cast<double>(served_ + current_.size()) * dt_, report);
        }
        if (!ok) {
            failed_ = true;
            failed_at_ = served_;
            std::fill(current_.begin(), current_.end(), 0.0);
        }
        served_ += current_.size();
        samples_ += current_.size();
    }

    SampleSource &stimulus_;
    BlockStage &model_;
    std::unique_ptr<StageWorker> worker_;  // for a model in another process
    std::vector<double> current_;          // served to the channel
    std::vector<double> scratch_;          // the stimulus's next block, for the worker
    std::size_t next_;
    std::uint64_t &samples_;
    std::uint64_t &calls_;
    std::chrono::steady_clock::duration &time_;
    ModelReports *reports_;
    double dt_;
    std::string report_;  // the last one the worker handed over
    std::uint64_t served_ = 0;
    bool failed_ = false;
    std::uint64_t failed_at_ = 0;
};

// Plain functions as stages: the call runs in finish().
class FunctionStage final : public BlockStage {
  public:
    explicit FunctionStage(ReceiverModel function) : function_(std::move(function)) {}
    bool start(const double *wave, std::size_t count) override {
        wave_ = wave;
        count_ = count;
        return true;
    }
    bool finish(double *wave, BlockTicks &ticks) override {
        if (wave != wave_) {
            std::copy_n(wave_, count_, wave);
        }
        return function_(wave, count_, ticks);
    }
    bool overlaps() const override { return false; }

  private:
    ReceiverModel function_;
    const double *wave_ = nullptr;
    std::size_t count_ = 0;
};

}  // namespace

bool run_link(const StreamSetup &setup, const BlockModel &transmitter,
              const ReceiverModel &receiver, StreamResult &result, std::string &error,
              const std::vector<BlockModel> &aggressor_transmitters) {
    std::unique_ptr<FunctionStage> tx;
    std::unique_ptr<FunctionStage> rx;
    std::vector<std::unique_ptr<FunctionStage>> aggressors;
    std::vector<BlockStage *> aggressor_stages;
    for (const BlockModel &model : aggressor_transmitters) {
        aggressors.push_back(
            std::make_unique<FunctionStage>([&model](double *wave, std::size_t count,
                                                     BlockTicks &) { return model(wave, count); }));
        aggressor_stages.push_back(aggressors.back().get());
    }
    if (transmitter) {
        tx = std::make_unique<FunctionStage>(
            [&transmitter](double *wave, std::size_t count, BlockTicks &) {
                return transmitter(wave, count);
            });
    }
    if (receiver) {
        rx = std::make_unique<FunctionStage>(receiver);
    }
    return run_link(setup, tx.get(), rx.get(), result, error, aggressor_stages);
}

bool run_stream(const StreamSetup &setup, const BlockModel &model, StreamResult &result,
                std::string &error) {
    ReceiverModel receiver;
    if (model) {
        receiver = [&model](double *wave, std::size_t count, BlockTicks &) {
            return model(wave, count);
        };
    }
    return run_link(setup, BlockModel{}, receiver, result, error);
}

bool run_link(const StreamSetup &setup, BlockStage *transmitter, BlockStage *receiver,
              StreamResult &result, std::string &error,
              const std::vector<BlockStage *> &aggressor_transmitters) {
    // The time taken, also when a model stops the run.
    struct Timer {
        StreamResult &result;
        Clock::time_point start = Clock::now();
        ~Timer() { result.total = Clock::now() - start; }
    } timer{result};
    const auto spb = static_cast<std::uint64_t>(std::max(setup.samples_per_bit, 1));
    const std::uint64_t total =
        static_cast<std::uint64_t>(std::max<std::int64_t>(setup.bits, 0)) * spb;
    const std::size_t block =
        static_cast<std::size_t>(std::max<std::int64_t>(setup.bits_per_call, 1)) *
        static_cast<std::size_t>(spb);
    const StreamImpairments *impaired =
        setup.impairments.has_value() ? &*setup.impairments : nullptr;

    std::unique_ptr<SampleSource> stimulus;
    if (impaired != nullptr) {
        stimulus = std::make_unique<JitteredSource>(impaired->stimulus);
    } else if (setup.levels.size() != 2) {
        JitteredSourceSettings symbols;
        symbols.pattern.prbs_order = setup.prbs_order;
        symbols.pattern.mapping = setup.mapping;
        symbols.levels = setup.levels;
        symbols.samples_per_bit = setup.samples_per_bit;
        symbols.sample_interval = setup.sample_interval;
        stimulus = std::make_unique<JitteredSource>(symbols);
    } else {
        stimulus = std::make_unique<NrzSource>(setup.prbs_order, setup.samples_per_bit);
    }
    std::unique_ptr<TransmitterSource> transmitted;
    SampleSource *source = stimulus.get();
    if (transmitter != nullptr) {
        transmitted = std::make_unique<TransmitterSource>(
            *stimulus, *transmitter, block, result.transmitter_samples, result.transmitter_calls,
            result.in_transmitter, &result.transmitter_reports, setup.sample_interval);
        source = transmitted.get();
    }
    // The aggressors, each from its symbols through its transmitter.
    std::vector<std::unique_ptr<SampleSource>> aggressor_stimuli;
    std::vector<std::unique_ptr<TransmitterSource>> aggressor_transmitted;
    std::vector<SampleSource *> aggressor_sources;
    std::vector<std::vector<double>> aggressor_taps;
    std::uint64_t aggressor_samples = 0;
    if (impaired != nullptr) {
        for (std::size_t k = 0; k < impaired->aggressors.size(); ++k) {
            const AggressorPath &path = impaired->aggressors[k];
            auto &stimulus_k =
                aggressor_stimuli.emplace_back(std::make_unique<JitteredSource>(path.stimulus));
            std::vector<double> skipped(path.delay);
            stimulus_k->fill(skipped.data(), skipped.size());
            SampleSource *source_k = stimulus_k.get();
            BlockStage *stage =
                k < aggressor_transmitters.size() ? aggressor_transmitters[k] : nullptr;
            if (stage != nullptr) {
                source_k = aggressor_transmitted
                               .emplace_back(std::make_unique<TransmitterSource>(
                                   *stimulus_k, *stage, block * kAggressorCallBlocks,
                                   aggressor_samples, result.aggressor_calls, result.in_aggressors))
                               .get();
            }
            aggressor_sources.push_back(source_k);
            aggressor_taps.push_back(path.taps);
        }
    }
    const bool impair_input =
        impaired != nullptr && (!impaired->after_model || receiver == nullptr);
    const bool impair_output = impaired != nullptr && !impair_input;
    ChannelStream channel(setup.taps, *source, setup.convolution);
    result.convolution = channel.method();
    result.convolution_block = channel.block_size();
    // The aggressors and the noise, worked out in a thread of their own.
    std::unique_ptr<Disturbance> disturbance;
    if (impaired != nullptr && (!aggressor_sources.empty() || impaired->noise > 0.0)) {
        std::unique_ptr<SummedChannelStream> aggressors;
        if (!aggressor_sources.empty()) {
            aggressors = std::make_unique<SummedChannelStream>(aggressor_taps, aggressor_sources,
                                                               setup.convolution);
        }
        auto failed = [&aggressor_transmitted]() -> std::string {
            for (std::size_t k = 0; k < aggressor_transmitted.size(); ++k) {
                if (aggressor_transmitted[k]->failed()) {
                    return "the transmitter's AMI_GetWave (aggressor " + std::to_string(k + 1) +
                           "'s instance) returned 0 at sample " +
                           std::to_string(aggressor_transmitted[k]->failed_at());
                }
            }
            return "";
        };
        disturbance = std::make_unique<Disturbance>(std::move(aggressors), impaired->noise,
                                                    impaired->noise_seed,
                                                    block * kAggressorCallBlocks, total, failed);
    }
    auto impair = [&](double *wave, std::size_t count) {
        if (disturbance != nullptr) {
            disturbance->add(wave, count);
        }
    };
    result.before = std::make_unique<EyeAccumulator>(setup.eye_before);
    result.after =
        receiver != nullptr ? std::make_unique<EyeAccumulator>(setup.eye_after) : nullptr;
    result.clocked = receiver != nullptr && setup.clocked_eye
                         ? std::make_unique<ClockedEye>(setup.eye_clocked)
                         : nullptr;
    result.meters = impaired != nullptr ? std::make_unique<BerMeters>(impaired->meters) : nullptr;
    WaveCsv before_csv;
    WaveCsv after_csv;
    if (!before_csv.open(setup.wave_before_csv, error) ||
        !(receiver != nullptr ? after_csv.open(setup.wave_after_csv, error) : true)) {
        return false;
    }

    // A receiver in another process works through the blocks queued for it
    // while the stream reads and analyses the next ones.
    const auto buffer = static_cast<std::size_t>(std::min<std::uint64_t>(block, total));
    std::vector<double> wave(buffer);
    std::unique_ptr<StageWorker> worker;
    std::vector<std::uint64_t> queued_at;  // where each queued block starts, oldest first
    if (receiver != nullptr && receiver->overlaps()) {
        worker = std::make_unique<StageWorker>(*receiver, buffer, kQueuedBlocks);
    }
    // The receiver's output of a block into the eyes and the files, and its
    // report.
    auto analyse = [&](double *out, std::size_t count, const double *ticks, std::size_t tick_count,
                       std::uint64_t at, const char *report) {
        result.receiver_reports.add(
            result.calls, static_cast<double>(at + count) * setup.sample_interval, report);
        if (impair_output) {
            impair(out, count);
        }
        result.after->add(out, count);
        if (result.clocked) {
            result.clocked->add(out, count, ticks, tick_count);
        }
        if (result.meters) {
            result.meters->add(out, count, ticks, tick_count);
        }
        after_csv.write(out, count, at, setup.sample_interval);
    };
    auto receiver_failed = [&](std::uint64_t at) {
        result.model_failed = true;
        error = std::string(transmitter != nullptr ? "the receiver's" : "the model's") +
                " AMI_GetWave returned 0 at sample " + std::to_string(at);
        return false;
    };
    // The oldest block queued for the receiver, when it is done.
    std::vector<double> landed(worker != nullptr ? buffer : 0);
    std::vector<double> landed_ticks;
    std::string landed_report;
    auto land = [&]() {
        const StageWorker::Block &done = worker->take();
        const std::uint64_t at = queued_at.front();
        queued_at.erase(queued_at.begin());
        result.in_model += done.time;
        ++result.calls;
        const bool ok = done.ok;
        const std::size_t count = done.count;
        std::copy_n(done.samples.data(), count, landed.data());
        landed_ticks.assign(done.ticks.begin(), done.ticks.end());
        landed_report = done.report;
        const bool has_report = done.has_report;
        worker->release();
        if (!ok) {
            return receiver_failed(at);
        }
        analyse(landed.data(), count, landed_ticks.data(), landed_ticks.size(), at,
                has_report ? landed_report.c_str() : nullptr);
        return true;
    };
    // A receiver in this process: the call runs at once.
    auto call = [&](std::size_t count, std::uint64_t at) {
        const auto t0 = Clock::now();
        BlockTicks ticks;
        const bool ok = receiver->start(wave.data(), count) && receiver->finish(wave.data(), ticks);
        result.in_model += Clock::now() - t0;
        ++result.calls;
        if (!ok) {
            return receiver_failed(at);
        }
        analyse(wave.data(), count, ticks.times, ticks.count, at, ticks.report);
        return true;
    };
    // A transmitter that failed: which, and where.
    auto transmitter_failed = [&]() -> std::string {
        if (transmitted && transmitted->failed()) {
            return "the transmitter's AMI_GetWave returned 0 at sample " +
                   std::to_string(transmitted->failed_at());
        }
        return disturbance != nullptr ? disturbance->failure() : std::string();
    };

    ProgressBar progress(setup.progress);
    for (std::uint64_t done = 0; done < total;) {
        const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(block, total - done));
        channel.read(wave.data(), count);
        if (impair_input) {
            impair(wave.data(), count);
        }
        const std::string failed = transmitter_failed();
        if (!failed.empty()) {
            // What the receiver was given before the failure still counts.
            while (worker != nullptr && !queued_at.empty() && land()) {
            }
            result.model_failed = true;
            error = failed;
            return false;
        }
        result.before->add(wave.data(), count);
        before_csv.write(wave.data(), count, done, setup.sample_interval);
        if (receiver == nullptr && result.meters) {
            result.meters->add(wave.data(), count, nullptr, 0);
        }
        if (worker != nullptr) {
            if (queued_at.size() == kQueuedBlocks && !land()) {
                return false;
            }
            worker->submit(wave.data(), count);
            queued_at.push_back(done);
        } else if (receiver != nullptr && !call(count, done)) {
            return false;
        }
        done += count;
        result.samples = done;
        progress.update(done, total, spb);
    }
    while (!queued_at.empty()) {
        if (!land()) {
            return false;
        }
    }
    return before_csv.close(error) && after_csv.close(error);
}

}  // namespace amisim
