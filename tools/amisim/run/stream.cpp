#include "tools/amisim/run/stream.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace amisim {

namespace {

using Clock = std::chrono::steady_clock;

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

// The stimulus through a transmitter's AMI_GetWave, called on blocks of a
// fixed size (as in a run without a channel before it) whatever pieces the
// channel asks for. After a failure it gives zeros and says so.
class TransmitterSource final : public SampleSource {
  public:
    TransmitterSource(SampleSource &stimulus, const BlockModel &model, std::size_t block,
                      StreamResult &result)
        : stimulus_(stimulus), model_(model), block_(block), next_(block), result_(result) {}

    void fill(double *out, std::size_t count) override {
        while (count > 0) {
            if (next_ == block_.size()) {
                refill();
            }
            const std::size_t n = std::min(count, block_.size() - next_);
            std::copy_n(block_.data() + next_, n, out);
            next_ += n;
            out += n;
            count -= n;
        }
    }

    bool failed() const { return failed_; }
    std::uint64_t failed_at() const { return failed_at_; }

  private:
    void refill() {
        stimulus_.fill(block_.data(), block_.size());
        next_ = 0;
        if (failed_) {
            std::fill(block_.begin(), block_.end(), 0.0);
            return;
        }
        const auto t0 = Clock::now();
        const bool ok = model_(block_.data(), block_.size());
        result_.in_transmitter += Clock::now() - t0;
        ++result_.transmitter_calls;
        if (!ok) {
            failed_ = true;
            failed_at_ = result_.transmitter_samples;
            std::fill(block_.begin(), block_.end(), 0.0);
        }
        result_.transmitter_samples += block_.size();
    }

    SampleSource &stimulus_;
    const BlockModel &model_;
    std::vector<double> block_;
    std::size_t next_;
    StreamResult &result_;
    bool failed_ = false;
    std::uint64_t failed_at_ = 0;
};

}  // namespace

bool run_stream(const StreamSetup &setup, const BlockModel &model, StreamResult &result,
                std::string &error) {
    ReceiverModel receiver;
    if (model) {
        receiver = [&model](double *wave, std::size_t count, BlockTicks &) {
            return model(wave, count);
        };
    }
    return run_link(setup, {}, receiver, result, error);
}

bool run_link(const StreamSetup &setup, const BlockModel &transmitter,
              const ReceiverModel &receiver, StreamResult &result, std::string &error) {
    const auto start = Clock::now();
    const auto spb = static_cast<std::uint64_t>(std::max(setup.samples_per_bit, 1));
    const std::uint64_t total =
        static_cast<std::uint64_t>(std::max<std::int64_t>(setup.bits, 0)) * spb;
    const std::size_t block =
        static_cast<std::size_t>(std::max<std::int64_t>(setup.bits_per_call, 1)) *
        static_cast<std::size_t>(spb);

    NrzSource stimulus(setup.prbs_order, setup.samples_per_bit);
    std::unique_ptr<TransmitterSource> transmitted;
    SampleSource *source = &stimulus;
    if (transmitter) {
        transmitted = std::make_unique<TransmitterSource>(stimulus, transmitter, block, result);
        source = transmitted.get();
    }
    ChannelStream channel(setup.taps, *source, setup.convolution);
    result.convolution = channel.method();
    result.convolution_block = channel.block_size();
    result.before = std::make_unique<EyeAccumulator>(setup.eye_before);
    result.after = receiver ? std::make_unique<EyeAccumulator>(setup.eye_after) : nullptr;
    result.clocked =
        receiver && setup.clocked_eye ? std::make_unique<ClockedEye>(setup.eye_clocked) : nullptr;
    WaveCsv before_csv;
    WaveCsv after_csv;
    if (!before_csv.open(setup.wave_before_csv, error) ||
        !(receiver ? after_csv.open(setup.wave_after_csv, error) : true)) {
        return false;
    }

    std::vector<double> wave(static_cast<std::size_t>(std::min<std::uint64_t>(block, total)));
    ProgressBar progress(setup.progress);
    for (std::uint64_t done = 0; done < total;) {
        const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(block, total - done));
        channel.read(wave.data(), count);
        if (transmitted && transmitted->failed()) {
            result.model_failed = true;
            error = "the transmitter's AMI_GetWave returned 0 at sample " +
                    std::to_string(transmitted->failed_at());
            return false;
        }
        result.before->add(wave.data(), count);
        before_csv.write(wave.data(), count, done, setup.sample_interval);
        if (receiver) {
            const auto t0 = Clock::now();
            BlockTicks ticks;
            const bool ok = receiver(wave.data(), count, ticks);
            result.in_model += Clock::now() - t0;
            ++result.calls;
            if (!ok) {
                result.model_failed = true;
                error = std::string(transmitter ? "the receiver's" : "the model's") +
                        " AMI_GetWave returned 0 at sample " + std::to_string(done);
                return false;
            }
            result.after->add(wave.data(), count);
            if (result.clocked) {
                result.clocked->add(wave.data(), count, ticks.times, ticks.count);
            }
            after_csv.write(wave.data(), count, done, setup.sample_interval);
        }
        done += count;
        result.samples = done;
        progress.update(done, total, spb);
    }
    result.total = Clock::now() - start;
    return before_csv.close(error) && after_csv.close(error);
}

}  // namespace amisim
