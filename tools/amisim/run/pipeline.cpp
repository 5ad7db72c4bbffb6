#include "tools/amisim/run/pipeline.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <functional>
#include <future>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tools/amisim/analysis/eye_openings.h"
#include "tools/amisim/analysis/symbol_error_rates.h"
#include "tools/amisim/stimulus/modulation.h"

namespace amisim {

std::int64_t fill_bits(const RunSetting &setting) {
    return static_cast<std::int64_t>(setting.channel.columns[0].size() /
                                     static_cast<std::size_t>(setting.spb)) +
           1;
}

namespace {

// AMI_Init with the impulse responses, one column after another; the
// responses as the model left them go to after.
bool initialise(ModelSession &session, ModelRecord &record,
                const std::vector<std::vector<double>> &columns, const RunSetting &setting,
                std::vector<std::vector<double>> &after, std::string &error) {
    InitRequest request;
    request.row_size = static_cast<long>(columns[0].size());
    request.aggressors = static_cast<long>(columns.size()) - 1;
    request.sample_interval = setting.dt;
    request.bit_time = setting.dt * setting.spb;
    request.parameters_in = record.parameters_sent;
    request.impulse_matrix.reserve(columns[0].size() * columns.size());
    for (const auto &column : columns) {
        request.impulse_matrix.insert(request.impulse_matrix.end(), column.begin(), column.end());
    }
    record.has_get_wave = session.has_get_wave();
    if (!session.init(request, record.init, error)) {
        return false;
    }
    record.initialised = true;
    const auto rows = static_cast<std::ptrdiff_t>(columns[0].size());
    after.resize(columns.size());
    for (std::size_t k = 0; k < after.size(); ++k) {
        const auto first = request.impulse_matrix.begin() + static_cast<std::ptrdiff_t>(k) * rows;
        after[k].assign(first, first + rows);
    }
    return true;
}

// The stream's settings: the through channel as taps, each eye centred on
// the main cursor of the response up to its place and scaled by that
// response's largest possible swing.
StreamSetup stream_setup(const RunSetting &setting, const std::vector<double> &through,
                         std::int64_t fill, const ResponseFigures &before,
                         const ResponseFigures &after) {
    StreamSetup setup;
    setup.taps.reserve(through.size());
    for (double h : through) {
        setup.taps.push_back(h * setting.dt);
    }
    setup.samples_per_bit = setting.spb;
    setup.sample_interval = setting.dt;
    setup.prbs_order = setting.prbs_order;
    setup.levels = setting.levels;
    setup.mapping = setting.mapping;
    setup.bits = setting.bits;
    setup.bits_per_call = setting.bits_per_call;
    setup.convolution = setting.convolution;
    const std::int64_t settle = std::min(fill, setting.bits / 2);
    for (auto [layout, figures] :
         {std::pair{&setup.eye_before, &before}, std::pair{&setup.eye_after, &after}}) {
        layout->samples_per_bit = setting.spb;
        layout->centre = figures->eye_centre;
        layout->settle_bits = settle;
        layout->prbs_order = setting.prbs_order;
        layout->expected_swing = figures->swing;
        layout->levels = static_cast<int>(setting.levels.size());
        layout->mapping = setting.mapping;
    }
    if (setting.waves) {
        setup.wave_before_csv = setting.output_folder + "/wave_before.csv";
        setup.wave_after_csv = setting.output_folder + "/wave_after.csv";
    }
    setup.progress = setting.progress;
    return setup;
}

// A session's AMI_GetWave as the stream calls it: a block, and the clock
// ticks it returned (up to the first that is not after time 0). A session
// that fails leaves its message in failure.
class SessionStage final : public BlockStage {
  public:
    SessionStage(ModelSession &session, std::size_t clock_room)
        : session_(session), clock_times_(clock_room, -1.0) {}

    bool start(const double *wave, std::size_t count) override {
        count_ = count;
        return session_.start_get_wave(wave, count, clock_times_.size(), failure);
    }

    bool finish(double *wave, BlockTicks &ticks) override {
        GetWaveReply reply;
        if (!session_.finish_get_wave(wave, clock_times_.data(), reply, failure)) {
            return false;
        }
        std::size_t n = 0;
        while (n <= count_ && n < clock_times_.size() && !(clock_times_[n] <= 0.0)) {
            ++n;
        }
        ticks.times = clock_times_.data();
        ticks.count = n;
        report_ = reply.parameters_out;
        ticks.report = report_.present ? report_.text.c_str() : nullptr;
        return reply.status != 0;
    }

    bool overlaps() const override { return session_.in_another_process(); }

    std::string failure;

  private:
    ModelSession &session_;
    std::vector<double> clock_times_;
    std::size_t count_ = 0;
    ModelText report_;  // the output parameters of the last call
};

// The receiver's noise gain: how much of noise added to every sample at
// its input reaches its output, the root of the sum of the squares of its
// own response's taps. That response is what a second instance with the
// same parameters returns from AMI_Init for a unit impulse alone: exact
// for a receiver whose AMI_Init applies a fixed linear filter; one that
// adapts to the channel is measured as it sets itself for no channel.
bool receiver_noise_gain(const RunSetting &setting, const ModelOpener &open, double &gain,
                         std::string &error) {
    std::unique_ptr<ModelSession> session = open(setting.rx_path, error);
    if (session == nullptr) {
        return false;
    }
    InitRequest request;
    request.row_size = static_cast<long>(setting.channel.columns[0].size());
    request.aggressors = 0;
    request.sample_interval = setting.dt;
    request.bit_time = setting.dt * setting.spb;
    request.parameters_in = setting.rx_parameters;
    request.impulse_matrix.assign(setting.channel.columns[0].size(), 0.0);
    request.impulse_matrix[0] = 1.0 / setting.dt;
    InitReply reply;
    if (!session->init(request, reply, error)) {
        return false;
    }
    std::string ignored;
    session->close(ignored);
    if (reply.status == 0) {
        error = "its AMI_Init returned 0 for a unit impulse";
        return false;
    }
    double sum = 0.0;
    for (double h : request.impulse_matrix) {
        sum += (h * setting.dt) * (h * setting.dt);
    }
    gain = std::sqrt(sum);
    return true;
}

// The phase slot p moved by an eye's offset (samples), round the unit
// interval.
std::size_t offset_slot(long p, int offset, int spb) {
    return static_cast<std::size_t>(((p + offset) % spb + spb) % spb);
}

int eye_offset(const RunSetting &setting, std::size_t e) {
    return e < setting.eye_offsets.size() ? setting.eye_offsets[e] : 0;
}

// The thresholds given, and where one is not given (NaN, or none at all)
// the one of others.
std::vector<double> given_or(const RunSetting &setting, const std::vector<double> &others) {
    ModulationSetting given;
    given.thresholds = setting.thresholds;
    return decision_thresholds(given, others);
}

// Until the eyes' own centres are known: half-way between the levels
// through the response's main cursor where none is given.
std::vector<double> provisional_thresholds(const RunSetting &setting,
                                           const ResponseFigures &through) {
    return given_or(setting, midpoint_thresholds(setting.levels, through.main_cursor));
}

// The statistical eye of the analysed responses (through first, then the
// aggressors) with the run's jitter and the noise at the decision point,
// read at the thresholds decided at: those given, else each eye's own
// centre; and the phase a receiver without ticks is sampled at, the lowest
// error rate at the thresholds, each eye at its offset (samples from the
// centre).
struct EyeOutcome {
    std::optional<StatisticalEye> eye;
    std::string error;
    int offset = 0;
    std::vector<double> thresholds;
};
EyeOutcome statistical_eye(const RunSetting &setting,
                           const std::vector<std::vector<double>> &columns,
                           const ResponseFigures &through, double noise) {
    StatisticalEyeSettings settings;
    settings.pulse = through.pulse;
    settings.centre = through.eye_centre;
    for (std::size_t k = 1; k < columns.size(); ++k) {
        settings.aggressors.push_back(measure_response(columns[k], setting.spb, setting.dt).pulse);
    }
    settings.samples_per_bit = setting.spb;
    settings.sample_interval = setting.dt;
    settings.levels = setting.levels;
    settings.thresholds = provisional_thresholds(setting, through);
    settings.noise_sigma = noise;
    settings.tx_jitter = setting.impairments.tx;
    settings.rx_jitter = setting.impairments.rx;
    settings.target_ber = setting.target_ber;
    EyeOutcome outcome;
    outcome.thresholds = settings.thresholds;
    StatisticalEye eye;
    if (!compute_statistical_eye(settings, eye, outcome.error)) {
        return outcome;
    }
    outcome.thresholds = given_or(setting, statistical_centre_thresholds(eye));
    if (outcome.thresholds != settings.thresholds) {
        set_eye_thresholds(outcome.thresholds, eye);
    }
    const int middle = setting.spb / 2;
    int best = 0;
    double lowest = 2.0;
    for (int p = 0; p < setting.spb; ++p) {
        double rate = 0.0;
        for (std::size_t e = 0; e < eye.time_bathtub.size(); ++e) {
            rate += eye.time_bathtub[e][offset_slot(p, eye_offset(setting, e), setting.spb)];
        }
        if (rate < lowest || (rate == lowest && std::abs(p - middle) < std::abs(best - middle))) {
            lowest = rate;
            best = p;
        }
    }
    outcome.offset = best - middle;
    outcome.eye = std::move(eye);
    return outcome;
}

// Each eye's statistical error rate (at its threshold and its offset) over
// the phases the decisions were taken at: between the eye's phases the
// rate is interpolated in its logarithm. The mean phase (UI from the
// centre) goes to mean_phase.
std::vector<double> statistical_rates(const RunSetting &setting, const StatisticalEye &eye,
                                      const std::vector<std::uint64_t> &phases,
                                      double &mean_phase) {
    const int spb = eye.samples_per_bit;
    auto rate_at = [&](std::size_t e, long p) {
        p = std::min(std::max(p, 0L), static_cast<long>(eye.phases.size()) - 1);
        return std::max(eye.time_bathtub[e][offset_slot(p, eye_offset(setting, e), spb)], 1e-300);
    };
    double total = 0.0;
    std::vector<double> sums(eye.time_bathtub.size(), 0.0);
    double phase_sum = 0.0;
    for (std::size_t b = 0; b < phases.size(); ++b) {
        if (phases[b] == 0) {
            continue;
        }
        const double at = static_cast<double>(b) / BerMeters::kPhaseBins;  // from -1/2 UI
        const auto below = static_cast<long>(std::floor(at));
        const double f = at - static_cast<double>(below);
        const auto n = static_cast<double>(phases[b]);
        total += n;
        for (std::size_t e = 0; e < sums.size(); ++e) {
            sums[e] += n * std::exp((1.0 - f) * std::log(rate_at(e, below)) +
                                    f * std::log(rate_at(e, below + 1)));
        }
        phase_sum += n * (at / spb - 0.5);
    }
    mean_phase = total > 0.0 ? phase_sum / total : 0.0;
    for (double &sum : sums) {
        sum = total > 0.0 ? sum / total : 0.0;
    }
    return sums;
}

// With more than two levels: a waveform's eyes, read at the thresholds
// given (none: each eye's own centre), at each eye's best phase or at the
// centre moved by the eyes' offsets; and the figures of the one least open
// where it is read go to figures.
PamEyes read_eyes(const EyeDensity &density, const std::vector<double> &thresholds,
                  const std::vector<int> *offsets, EyeFigures &figures) {
    PamEyeSettings settings;
    settings.thresholds = thresholds;
    if (offsets != nullptr) {
        settings.at_centre = true;
        settings.offsets = *offsets;
    }
    PamEyes eyes = read_pam_eyes(density, settings);
    const PamEye *least = nullptr;
    for (const PamEye &eye : eyes.eyes) {
        if (eye.measured && (least == nullptr || eye.height < least->height)) {
            least = &eye;
        }
    }
    figures = least != nullptr ? least->figures : eyes.eyes.front().figures;
    return eyes;
}

// The seeds of the run's random parts, each its own stream.
enum class Stream : std::uint64_t {
    kTxJitter = 1,
    kInputNoise,
    kDecisionNoise,
    kRxJitter,
    kAggressorPattern,
    kAggressorPhase = kAggressorPattern + 1000,
};
std::uint64_t seed_of(const RunSetting &setting, Stream stream, std::size_t index = 0) {
    return setting.seed * 0x10000u + static_cast<std::uint64_t>(stream) + index;
}

// The waveform run's impairments, aggressors and meters. columns are the
// responses the aggressors' waveforms go through after their transmitter
// (the channel's, or the transmitter's AMI_Init response when it has no
// AMI_GetWave).
StreamImpairments impairments_for(const RunSetting &setting, const RunResults &results,
                                  const std::vector<std::vector<double>> &columns,
                                  const ResponseFigures &through, bool after_model,
                                  const std::shared_future<EyeOutcome> &eye) {
    StreamImpairments impaired;
    impaired.stimulus.pattern.prbs_order = setting.prbs_order;
    impaired.stimulus.pattern.mapping = setting.mapping;
    impaired.stimulus.levels = setting.levels;
    impaired.stimulus.samples_per_bit = setting.spb;
    impaired.stimulus.sample_interval = setting.dt;
    impaired.stimulus.jitter = setting.impairments.tx;
    impaired.stimulus.seed = seed_of(setting, Stream::kTxJitter);
    for (std::size_t k = 1; k < columns.size(); ++k) {
        AggressorPath path;
        for (double h : columns[k]) {
            path.taps.push_back(h * setting.dt);
        }
        // Their own random bits, without jitter: the statistical eye takes
        // an aggressor's phase as uniform over the unit interval anyway.
        path.stimulus = impaired.stimulus;
        path.stimulus.pattern.prbs_order = 0;
        path.stimulus.pattern.seed = seed_of(setting, Stream::kAggressorPattern, k);
        path.stimulus.jitter = Jitter{};
        path.delay = static_cast<std::size_t>(
            RandomStream(seed_of(setting, Stream::kAggressorPhase, k)).next() %
            static_cast<std::uint64_t>(setting.spb));
        impaired.aggressors.push_back(std::move(path));
    }
    impaired.noise = setting.input_noise;
    impaired.noise_seed = seed_of(setting, Stream::kInputNoise);
    impaired.after_model = after_model;
    BerMeterSetup &meters = impaired.meters;
    meters.count.pattern = impaired.stimulus.pattern;
    meters.count.levels = setting.levels.size();
    // Where an eye's threshold is its own centre, it comes from the
    // statistical eye while the stream runs.
    meters.count.thresholds = setting.thresholds;
    meters.count.thresholds.resize(setting.levels.size() - 1, std::nan(""));
    meters.thresholds = [eye] { return eye.get().thresholds; };
    meters.thresholds_ready = [eye] {
        return eye.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
    };
    const std::vector<double> provisional = provisional_thresholds(setting, through);
    meters.crossing_threshold = provisional[provisional.size() / 2];
    meters.count.eye_offsets.assign(setting.eye_offsets.begin(), setting.eye_offsets.end());
    meters.count.samples_per_bit = setting.spb;
    meters.count.latency = static_cast<double>(through.eye_centre);
    meters.count.settle_bits = results.settle_bits;
    meters.count.noise_sigma = setting.impairments.rx_noise;
    meters.count.noise_seed = seed_of(setting, Stream::kDecisionNoise);
    meters.sample_interval = setting.dt;
    meters.fixed_offset = [eye] { return static_cast<double>(eye.get().offset); };
    meters.rx_jitter = setting.impairments.rx;
    meters.jitter_seed = seed_of(setting, Stream::kRxJitter);
    return impaired;
}

// Another instance of the transmitter for an aggressor: its own session,
// initialised as the victim's (the same parameters and impulse matrix).
struct AggressorTransmitter {
    std::unique_ptr<ModelSession> session;
    std::unique_ptr<SessionStage> stage;
};

}  // namespace

int run_pipeline(const RunSetting &setting, ModelSession &transmitter, ModelSession *receiver,
                 RunResults &results, PipelineObserver *observer, const ModelOpener &opener) {
    const bool link = receiver != nullptr;
    results.link = link;
    auto stop = [&results](int status, std::string why) {
        results.status = status;
        results.failure = std::move(why);
        return status;
    };
    // A model that did not answer: its failure's details go with the reason.
    auto lost = [&](const ModelSession &session, const std::string &role, std::string why) {
        results.failed_model = role;
        if (session.failure() != nullptr) {
            results.model_failure = *session.failure();
        }
        return stop(kModelFailed, std::move(why));
    };
    std::string error;
    ModelRecord &tx = results.transmitter;
    tx.role = "transmitter";
    tx.path = setting.model_path;
    tx.parameters_sent = setting.parameters;
    if (!initialise(transmitter, tx, setting.channel.columns, setting, results.after_tx_init,
                    error)) {
        return lost(transmitter, tx.role, error);
    }
    if (observer != nullptr) {
        observer->initialised(tx, link);
    }
    if (tx.init.status == 0) {
        return stop(kModelFailed, "the model's AMI_Init returned 0 (failure)");
    }
    if (link) {
        ModelRecord &rx = results.receiver.emplace();
        rx.role = "receiver";
        rx.path = setting.rx_path;
        rx.parameters_sent = setting.rx_parameters;
        if (!initialise(*receiver, rx, results.after_tx_init, setting, results.after_rx_init,
                        error)) {
            return lost(*receiver, rx.role, error);
        }
        if (observer != nullptr) {
            observer->initialised(rx, link);
        }
        if (rx.init.status == 0) {
            return stop(kModelFailed, "the receiver's AMI_Init returned 0 (failure)");
        }
    }

    results.channel = measure_response(setting.channel.columns[0], setting.spb, setting.dt);
    results.after_tx = measure_response(results.after_tx_init[0], setting.spb, setting.dt);
    if (link) {
        results.after_rx = measure_response(results.after_rx_init[0], setting.spb, setting.dt);
    }
    // The eyes before and after the last model's AMI_GetWave are centred on
    // the responses up to their places: the channel and the model alone,
    // or the transmitter and the whole link.
    const ResponseFigures &into_last = link ? results.after_tx : results.channel;
    const ResponseFigures &out_of_last = link ? *results.after_rx : results.after_tx;
    results.fill_bits = fill_bits(setting);
    // A transmitter of AMI_Init alone: the waveform goes through the
    // response it returned, as simulators do.
    const bool through_tx_response = link && !transmitter.has_get_wave();
    StreamSetup setup = stream_setup(
        setting, through_tx_response ? results.after_tx_init[0] : setting.channel.columns[0],
        results.fill_bits, into_last, out_of_last);
    results.settle_bits = setup.eye_before.settle_bits;

    // The statistical eye of the responses the last waveform went through,
    // with the noise referred to the decision point.
    const ModelOpener open = opener ? opener : ModelOpener(open_in_process);
    const bool last_has_get_wave = link ? receiver->has_get_wave() : transmitter.has_get_wave();
    const ResponseFigures &analysed = last_has_get_wave ? out_of_last : into_last;
    const std::vector<std::vector<double>> &analysed_columns =
        link ? (last_has_get_wave ? results.after_rx_init : results.after_tx_init)
             : (last_has_get_wave ? results.after_tx_init : setting.channel.columns);
    if (link && last_has_get_wave && setting.input_noise > 0.0 &&
        !receiver_noise_gain(setting, open, results.noise_gain, error)) {
        return stop(kBadInput, "the receiver measured alone for its noise gain: " + error);
    }
    const double referred = setting.input_noise * results.noise_gain;
    results.decision_noise = std::sqrt(setting.impairments.rx_noise * setting.impairments.rx_noise +
                                       referred * referred);
    // Worked out beside the stream: a receiver without ticks waits for its
    // best phase at the first block, one with them not at all.
    const std::shared_future<EyeOutcome> eye =
        std::async(std::launch::async, statistical_eye, std::cref(setting),
                   std::cref(analysed_columns), std::cref(analysed), results.decision_noise)
            .share();
    // The eye goes into the results however the run ends from here on.
    struct TakeEye {
        TakeEye(RunResults &into, const std::shared_future<EyeOutcome> &from)
            : results(into), eye(from) {}
        TakeEye(const TakeEye &) = delete;
        TakeEye &operator=(const TakeEye &) = delete;
        RunResults &results;
        const std::shared_future<EyeOutcome> &eye;
        ~TakeEye() {
            const EyeOutcome &outcome = eye.get();
            results.statistical = outcome.eye;
            results.statistical_error = outcome.error;
            results.sampling_offset = outcome.offset;
            results.thresholds = outcome.thresholds;
        }
    };
    std::optional<TakeEye> take_eye;
    take_eye.emplace(results, eye);

    // The aggressors' transmitters, each an instance of its own.
    std::vector<AggressorTransmitter> aggressors;
    std::vector<BlockStage *> aggressor_stages;
    const auto per_call = static_cast<std::size_t>(setting.bits_per_call);
    if (setting.ber) {
        const bool tx_waves = transmitter.has_get_wave();
        setup.impairments = impairments_for(
            setting, results, link && !tx_waves ? results.after_tx_init : setting.channel.columns,
            analysed, !link, eye);
        for (std::size_t k = 1; tx_waves && k < setting.channel.columns.size(); ++k) {
            AggressorTransmitter &aggressor = aggressors.emplace_back();
            aggressor.session = open(setting.model_path, error);
            if (aggressor.session == nullptr) {
                return stop(kBadInput,
                            "aggressor " + std::to_string(k) + "'s transmitter: " + error);
            }
            ModelRecord record;
            record.parameters_sent = setting.parameters;
            std::vector<std::vector<double>> ignored;
            if (!initialise(*aggressor.session, record, setting.channel.columns, setting, ignored,
                            error)) {
                return lost(*aggressor.session, tx.role,
                            "aggressor " + std::to_string(k) + "'s transmitter: " + error);
            }
            if (record.init.status == 0) {
                return stop(kModelFailed,
                            "the model's AMI_Init returned 0 (failure) for aggressor " +
                                std::to_string(k) + "'s instance");
            }
            aggressor.stage = std::make_unique<SessionStage>(*aggressor.session, per_call + 2);
            aggressor_stages.push_back(aggressor.stage.get());
        }
    }
    if (link) {
        setup.clocked_eye = true;
        setup.eye_clocked.samples_per_bit = setting.spb;
        setup.eye_clocked.sample_interval = setting.dt;
        setup.eye_clocked.centre = out_of_last.eye_centre;
        setup.eye_clocked.settle_bits = setup.eye_after.settle_bits;
        setup.eye_clocked.prbs_order = setting.prbs_order;
        setup.eye_clocked.expected_swing = out_of_last.swing;
        setup.eye_clocked.levels = static_cast<int>(setting.levels.size());
        setup.eye_clocked.mapping = setting.mapping;
    }

    // The transmitter gets room for a tick a bit; the receiver room for a
    // tick at every sample of a block and the -1 after the last.
    SessionStage tx_stage(transmitter, per_call + 2);
    std::unique_ptr<SessionStage> rx_stage;
    if (link) {
        rx_stage = std::make_unique<SessionStage>(
            *receiver, per_call * static_cast<std::size_t>(setting.spb) + 1);
    }
    // The model alone follows the channel; in a link the transmitter comes
    // before it and the receiver after it.
    BlockStage *before_channel = nullptr;
    BlockStage *after_channel = nullptr;
    if (link) {
        before_channel = transmitter.has_get_wave() ? &tx_stage : nullptr;
        after_channel = receiver->has_get_wave() ? rx_stage.get() : nullptr;
    } else if (transmitter.has_get_wave()) {
        after_channel = &tx_stage;
    }
    results.streamed = true;
    const bool streamed =
        run_link(setup, before_channel, after_channel, results.stream, error, aggressor_stages);

    // What the models reported: the transmitter's before the channel in a
    // link, the model's after it when it runs alone.
    auto keep_reports = [](const ModelReports &reports, ModelRecord &record) {
        record.reports = reports.series();
        record.report_texts = reports.texts();
        record.report_counts = reports.counts();
    };
    if (link) {
        keep_reports(results.stream.transmitter_reports, results.transmitter);
        keep_reports(results.stream.receiver_reports, *results.receiver);
    } else {
        keep_reports(results.stream.receiver_reports, results.transmitter);
    }
    take_eye.reset();
    const StreamResult &stream = results.stream;
    const bool pam = setting.levels.size() > 2;
    results.before_get_wave = eye_figures(*stream.before);
    if (pam) {
        // The receiver's input is read at each eye's own centre unless it
        // is where the decisions are taken.
        results.pam_before =
            read_eyes(stream.before->density(),
                      stream.after != nullptr ? std::vector<double>{} : results.thresholds, nullptr,
                      results.before_get_wave);
    }
    if (stream.after != nullptr) {
        results.after_get_wave = eye_figures(*stream.after);
        if (pam) {
            results.pam_after = read_eyes(stream.after->density(), results.thresholds, nullptr,
                                          *results.after_get_wave);
        }
    }
    if (stream.clocked != nullptr) {
        results.clock = stream.clocked->clock();
        if (results.clock.in_eye > 0) {
            results.at_clock = eye_figures(stream.clocked->density());
            if (pam) {
                results.pam_clock = read_eyes(stream.clocked->density(), results.thresholds,
                                              &setting.eye_offsets, *results.at_clock);
            }
        }
    }
    if (results.stream.meters != nullptr) {
        BerMeters &meters = *results.stream.meters;
        results.counted = true;
        results.receiver_clock = meters.receiver_clock();
        results.errors = meters.errors();
        if (results.statistical.has_value()) {
            results.statistical_by_eye = statistical_rates(
                setting, *results.statistical, meters.phases(), results.statistical_phase);
            const SymbolErrorRates rates =
                combine_eye_rates(results.statistical_by_eye, setting.mapping);
            results.statistical_ber = rates.ser;
            results.statistical_bit_error_rate = rates.ber;
        }
        results.tie = meters.histogram();
        results.jitter_fit = fit_dual_dirac(results.tie);
        results.total_jitter = total_jitter(results.jitter_fit, setting.target_ber);
    }
    if (!streamed) {
        if (!tx_stage.failure.empty()) {
            return lost(transmitter, "transmitter", tx_stage.failure);
        }
        for (const AggressorTransmitter &aggressor : aggressors) {
            if (!aggressor.stage->failure.empty()) {
                return lost(*aggressor.session, "transmitter", aggressor.stage->failure);
            }
        }
        if (rx_stage != nullptr && !rx_stage->failure.empty()) {
            return lost(*receiver, "receiver", rx_stage->failure);
        }
        return stop(results.stream.model_failed ? kModelFailed : kBadInput, error);
    }
    return 0;
}

}  // namespace amisim
