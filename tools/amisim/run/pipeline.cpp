#include "tools/amisim/run/pipeline.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

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
        return reply.status != 0;
    }

    bool overlaps() const override { return session_.in_another_process(); }

    std::string failure;

  private:
    ModelSession &session_;
    std::vector<double> clock_times_;
    std::size_t count_ = 0;
};

}  // namespace

int run_pipeline(const RunSetting &setting, ModelSession &transmitter, ModelSession *receiver,
                 RunResults &results, PipelineObserver *observer) {
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
    if (link) {
        setup.clocked_eye = true;
        setup.eye_clocked.samples_per_bit = setting.spb;
        setup.eye_clocked.sample_interval = setting.dt;
        setup.eye_clocked.centre = out_of_last.eye_centre;
        setup.eye_clocked.settle_bits = setup.eye_after.settle_bits;
        setup.eye_clocked.prbs_order = setting.prbs_order;
        setup.eye_clocked.expected_swing = out_of_last.swing;
    }

    // The transmitter gets room for a tick a bit; the receiver room for a
    // tick at every sample of a block and the -1 after the last.
    const auto per_call = static_cast<std::size_t>(setting.bits_per_call);
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
    const bool streamed = run_link(setup, before_channel, after_channel, results.stream, error);

    results.before_get_wave = eye_figures(*results.stream.before);
    if (results.stream.after != nullptr) {
        results.after_get_wave = eye_figures(*results.stream.after);
    }
    if (results.stream.clocked != nullptr) {
        results.clock = results.stream.clocked->clock();
        if (results.clock.in_eye > 0) {
            results.at_clock = eye_figures(results.stream.clocked->density());
        }
    }
    if (!streamed) {
        if (!tx_stage.failure.empty()) {
            return lost(transmitter, "transmitter", tx_stage.failure);
        }
        if (rx_stage != nullptr && !rx_stage->failure.empty()) {
            return lost(*receiver, "receiver", rx_stage->failure);
        }
        return stop(results.stream.model_failed ? kModelFailed : kBadInput, error);
    }
    return 0;
}

}  // namespace amisim
