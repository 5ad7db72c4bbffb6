#include "tools/amisim/run/link_run.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "tools/amisim/report/figure_tables.h"
#include "tools/amisim/report/pictures.h"
#include "tools/amisim/report/report_page.h"
#include "tools/amisim/report/summary.h"
#include "tools/amisim/run/stream.h"

namespace amisim {

int simulate_link(const Options &options, const std::string &model_path, Setting &setting,
                  const ModelLibrary &tx, const ModelLibrary &rx) {
    std::string error;
    Instance tx_instance(tx);
    std::vector<std::vector<double>> after_tx;
    if (!call_init(tx, "Tx ", setting.channel.columns, setting.parameters, setting, tx_instance,
                   after_tx, error)) {
        return fail(kModelFailed, error);
    }
    Instance rx_instance(rx);
    std::vector<std::vector<double>> after_rx;
    if (!call_init(rx, "Rx ", after_tx, setting.rx_parameters, setting, rx_instance, after_rx,
                   error)) {
        return fail(kModelFailed, error);
    }
    const auto channel =
        amisim::measure_response(setting.channel.columns[0], setting.spb, setting.dt);
    const auto transmitted = amisim::measure_response(after_tx[0], setting.spb, setting.dt);
    const auto link = amisim::measure_response(after_rx[0], setting.spb, setting.dt);

    // The receiver's input is the link up to the channel: it is centred on
    // the transmitted response; its output on the whole link's.
    amisim::StreamSetup setup = stream_setup(options, setting, transmitted, link);
    if (tx.get_wave == nullptr) {
        // A transmitter of AMI_Init alone: the waveform goes through the
        // response it returned, as simulators do.
        setup.taps.clear();
        for (double h : after_tx[0]) {
            setup.taps.push_back(h * setting.dt);
        }
    }
    setup.clocked_eye = true;
    setup.eye_clocked.samples_per_bit = setting.spb;
    setup.eye_clocked.sample_interval = setting.dt;
    setup.eye_clocked.centre = link.eye_centre;
    setup.eye_clocked.settle_bits = setup.eye_after.settle_bits;
    setup.eye_clocked.prbs_order = options.prbs_order;
    setup.eye_clocked.expected_swing = link.swing;

    std::vector<double> tx_clock_times(static_cast<std::size_t>(options.bits_per_call) + 2, -1.0);
    amisim::BlockModel transmitter;
    if (tx.get_wave != nullptr) {
        transmitter = [&](double *wave, std::size_t count) {
            char *wave_params_out = nullptr;
            return tx.get_wave(wave, static_cast<long>(count), tx_clock_times.data(),
                               &wave_params_out, tx_instance.memory) != 0;
        };
    }
    // Room for a tick at every sample of a block and the -1 after the last.
    std::vector<double> clock_times(static_cast<std::size_t>(options.bits_per_call) *
                                        static_cast<std::size_t>(setting.spb) +
                                    1);
    amisim::ReceiverModel receiver;
    if (rx.get_wave != nullptr) {
        receiver = [&](double *wave, std::size_t count, amisim::BlockTicks &ticks) {
            std::fill_n(clock_times.begin(), count + 1, -1.0);
            char *wave_params_out = nullptr;
            if (rx.get_wave(wave, static_cast<long>(count), clock_times.data(), &wave_params_out,
                            rx_instance.memory) == 0) {
                return false;
            }
            // The ticks end at the first -1 (or 0, or anything not after time 0).
            std::size_t n = 0;
            while (n <= count && !(clock_times[n] <= 0.0)) {
                ++n;
            }
            ticks.times = clock_times.data();
            ticks.count = n;
            return true;
        };
    }
    amisim::StreamResult stream;
    if (!amisim::run_link(setup, transmitter, receiver, stream, error)) {
        return fail(stream.model_failed ? kModelFailed : kBadInput, error);
    }

    const amisim::EyeFigures input = amisim::eye_figures(*stream.before);
    amisim::EyeFigures output;
    amisim::EyeFigures at_clock;
    amisim::ClockFigures clock;
    if (stream.after != nullptr) {
        output = amisim::eye_figures(*stream.after);
        clock = stream.clocked->clock();
        if (clock.in_eye > 0) {
            at_clock = amisim::eye_figures(stream.clocked->density());
        }
    }
    const amisim::EyeFigures *output_or_none = stream.after != nullptr ? &output : nullptr;
    const amisim::EyeFigures *clock_or_none = clock.in_eye > 0 ? &at_clock : nullptr;

    const amisim::ReportTable responses = amisim::response_table(
        "pulse response",
        {{"channel", &channel}, {"after Tx Init", &transmitted}, {"after Rx Init", &link}});
    const amisim::ReportTable eyes = amisim::eye_table(
        "eye over 2 UI",
        {{"Rx input", &input}, {"Rx output", output_or_none}, {"at Rx clock", clock_or_none}},
        setting.spb, setting.dt);
    std::vector<std::string> notes =
        amisim::link_notes(clock, rx.get_wave != nullptr, tx.get_wave != nullptr,
                           setup.eye_before.settle_bits, fill_bits(setting), options.bits);
    amisim::print_table(responses);
    amisim::print_table(eyes);
    for (const std::string &note : notes) {
        std::printf("  %s\n", note.c_str());
    }
    amisim::print_link_run_summary(stream, tx.get_wave != nullptr, rx.get_wave != nullptr);

    // Files: the three responses, the bathtubs, the pictures, the page.
    const std::string folder = options.output_folder + "/";
    const std::string header = impulse_header(setting.channel.columns.size());
    auto pointers = [](const std::vector<std::vector<double>> &columns) {
        std::vector<const std::vector<double> *> out;
        out.reserve(columns.size());
        for (const auto &column : columns) {
            out.push_back(&column);
        }
        return out;
    };
    if (!write_columns(folder + "impulse_before.csv", header, setting.dt,
                       pointers(setting.channel.columns), error) ||
        !write_columns(folder + "impulse_after.csv", header, setting.dt, pointers(after_tx),
                       error) ||
        !write_columns(folder + "impulse_rx.csv", header, setting.dt, pointers(after_rx), error) ||
        !amisim::write_bathtub_csv(folder + "bathtub.csv", input, output_or_none, setting.spb,
                                   error, clock_or_none)) {
        return fail(kBadInput, error);
    }
    std::string written = "impulse_before.csv, impulse_after.csv, impulse_rx.csv, bathtub.csv";
    auto picture = [&](const amisim::Svg &svg, const std::string &name) {
        written += ", " + name;
        return svg.write(folder + name, error);
    };
    const amisim::Svg pulse =
        amisim::pulse_picture({{&channel, "channel", amisim::kCurveColours[0]},
                               {&transmitted, "after Tx AMI_Init", amisim::kCurveColours[1]},
                               {&link, "after Rx AMI_Init", amisim::kCurveColours[2]}},
                              setting.spb, setting.dt);
    std::vector<amisim::Curve<amisim::EyeFigures>> tubs{
        {&input, "Rx input, from cursor", amisim::kCurveColours[0]}};
    if (output_or_none != nullptr) {
        tubs.push_back({output_or_none, "Rx output, from cursor", amisim::kCurveColours[1]});
    }
    if (clock_or_none != nullptr) {
        tubs.push_back({clock_or_none, "Rx output, from clock", amisim::kCurveColours[2]});
    }
    const amisim::Svg bathtub = amisim::bathtub_picture(
        tubs, setting.spb, setting.dt, "sampling phase from the cursor or the Rx clock (UI)");
    amisim::Svg eye_shown = amisim::eye_picture(
        stream.before->density(), input, "Eye at the receiver's input (after Tx and channel)",
        eye_subtitle(options, setting, input, "the cursor"));
    if (!picture(eye_shown, "eye_before.svg") || !picture(pulse, "pulse.svg") ||
        !picture(bathtub, "bathtub.svg")) {
        return fail(kBadInput, error);
    }
    if (output_or_none != nullptr) {
        eye_shown = amisim::eye_picture(stream.after->density(), output,
                                        "Eye after the receiver's AMI_GetWave, best phase",
                                        eye_subtitle(options, setting, output, "the cursor"));
        if (!picture(eye_shown, "eye_after.svg")) {
            return fail(kBadInput, error);
        }
    }
    if (clock_or_none != nullptr) {
        eye_shown = amisim::eye_picture(stream.clocked->density(), at_clock,
                                        "Eye at the receiver's sampling instants",
                                        eye_subtitle(options, setting, at_clock, "the clock"),
                                        "time from the receiver's sampling instant (UI)");
        if (!picture(eye_shown, "eye_clock.svg")) {
            return fail(kBadInput, error);
        }
    }
    if (options.waves) {
        written +=
            output_or_none != nullptr ? ", wave_before.csv, wave_after.csv" : ", wave_before.csv";
    }
    amisim::ReportContent page;
    page.title = "amisim: the link, transmitter, channel and receiver";
    page.setting = page_setting(options, setting, model_path);
    page.pulse = pulse;
    page.eye = eye_shown;
    page.bathtub = bathtub;
    page.statistical = responses;
    page.time_domain = eyes;
    page.notes = notes;
    if (!picture(amisim::report_page(page), "report.svg")) {
        return fail(kBadInput, error);
    }
    std::printf("files:       %s%s\n", folder.c_str(), written.c_str());
    return 0;
}

}  // namespace amisim
