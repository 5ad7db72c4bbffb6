// amisim: runs an IBIS-AMI model the way a channel simulator does.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tools/amisim/analysis/response_figures.h"
#include "tools/amisim/channel/channel.h"
#include "tools/amisim/channel/channel_stream.h"
#include "tools/amisim/channel/touchstone.h"
#include "tools/amisim/channel/touchstone_channel.h"
#include "tools/amisim/cli/options.h"
#include "tools/amisim/models/channel_hand_over.h"
#include "tools/amisim/models/model_library.h"
#include "tools/amisim/report/figure_tables.h"
#include "tools/amisim/report/pictures.h"
#include "tools/amisim/report/report_page.h"
#include "tools/amisim/report/summary.h"
#include "tools/amisim/run/link_run.h"
#include "tools/amisim/run/simulation.h"
#include "tools/amisim/run/stream.h"

namespace {

using amisim::fail;
using amisim::impulse_header;
using amisim::Instance;
using amisim::kBadInput;
using amisim::kModelFailed;
using amisim::Options;
using amisim::Setting;
using amisim::write_columns;

std::string default_model() {
    return amisim::own_directory() +
           (sizeof(void *) == 8 ? "/Halvorin_7314_Tx_64.so" : "/Halvorin_7314_Tx_32.so");
}

const char *word_size(amisim::ElfClass elf) {
    return elf == amisim::ElfClass::k32 ? "32" : "64";
}

// The kit's example receiver of the transmitter's word size, which the
// build puts beside both stand-in programs.
std::string default_receiver(amisim::ElfClass transmitter) {
    return amisim::own_directory() + "/Example_Rx_" + word_size(transmitter) + ".so";
}

// The receiver's library: it must exist and be of the transmitter's word
// size, since a simulator loads both into one process. False with the
// message.
bool check_receiver(const std::string &rx_path, bool is_default, amisim::ElfClass transmitter,
                    const std::string &model_path, std::string &error) {
    if (is_default && access(rx_path.c_str(), R_OK) != 0) {
        error = "--rx without a file runs the kit's example receiver, but " + rx_path +
                " is missing; build it (cmake --build, which puts it into dist/) or give --rx "
                "FILE";
        return false;
    }
    const amisim::ElfClass receiver = amisim::inspect_elf(rx_path, error);
    if (receiver != amisim::ElfClass::k32 && receiver != amisim::ElfClass::k64) {
        error = "the receiver " + error;
        return false;
    }
    if (receiver != transmitter) {
        error = std::string("the transmitter ") + model_path + " is a " + word_size(transmitter) +
                "-bit library and the receiver " + rx_path + " a " + word_size(receiver) +
                "-bit one; a simulator loads both into one process, so they must have one word "
                "size: give the receiver's " +
                word_size(transmitter) + "-bit build, or the transmitter's " + word_size(receiver) +
                "-bit build (e.g. Halvorin_7314_Tx_" + word_size(receiver) +
                ".so with Example_Rx_" + word_size(receiver) + ".so)";
        return false;
    }
    return true;
}

// Calls AMI_Init with an empty parameter string to read the model's root name
// from its echo. The echo itself holds the values the model takes by default.
bool learn_root_name(const amisim::ModelLibrary &model, double sample_interval, int spb,
                     std::string &root, std::string &echo, std::string &error) {
    std::vector<double> impulse(static_cast<std::size_t>(spb) * 4, 0.0);
    impulse[0] = 1.0 / sample_interval;
    char empty[] = "";
    char *params_out = nullptr;
    char *msg = nullptr;
    void *memory = nullptr;
    const long ok =
        model.init(impulse.data(), static_cast<long>(impulse.size()), 0, sample_interval,
                   sample_interval * spb, empty, &params_out, &memory, &msg);
    root = params_out == nullptr ? "" : amisim::root_name_of(params_out);
    echo = params_out == nullptr ? "" : params_out;
    if (ok != 0 || memory != nullptr) {
        model.close(memory);
    }
    if (ok == 0) {
        error =
            "the model's AMI_Init returned 0 (failure) when asked for its root name with an "
            "empty parameter string; its message: " +
            std::string(msg == nullptr ? "(none)" : msg);
        return false;
    }
    if (root.empty()) {
        error = "the model's echo names no root to put --set parameters under; use --params";
        return false;
    }
    return true;
}

// The channel: built in, or read from a file whose time column may set the
// sample interval.
bool load_channel(const Options &options, Setting &setting, std::string &error) {
    setting.dt = options.sample_interval;
    setting.spb = options.samples_per_bit;
    const bool touchstone =
        !options.channel_file.empty() && amisim::looks_like_touchstone(options.channel_file);
    if (!options.channel_ports.empty() && !touchstone) {
        error = "--ports applies to Touchstone channels only";
        return false;
    }
    if (options.channel_file.empty()) {
        setting.channel =
            amisim::default_channel(amisim::DefaultChannelShape{}, setting.dt,
                                    static_cast<std::size_t>(options.channel_bits) * setting.spb);
        return true;
    }
    if (touchstone) {
        return amisim::read_touchstone_channel(options.channel_file, options.channel_ports,
                                               setting.dt, setting.channel, error);
    }
    if (!amisim::read_channel_file(options.channel_file, setting.channel, error)) {
        return false;
    }
    const double file_dt = setting.channel.sample_interval;
    if (file_dt > 0.0) {
        if (!options.sample_interval_given) {
            setting.dt = file_dt;
        } else if (std::fabs(file_dt - setting.dt) > 1e-6 * setting.dt) {
            error = options.channel_file + ": its time step " + std::to_string(file_dt) +
                    " s differs from --sample-interval " + std::to_string(setting.dt) + " s";
            return false;
        }
    }
    return true;
}

void print_setting(const Options &options, const Setting &setting, const std::string &model_path) {
    std::printf("model:      %s\n", model_path.c_str());
    std::printf("channel:    %s\n", setting.channel.description.c_str());
    std::printf(
        "simulation: %g s per sample, %d samples per bit (%g Gb/s), %lld bits of PRBS%d, "
        "%ld bits per AMI_GetWave call\n",
        setting.dt, setting.spb, 1e-9 / (setting.dt * setting.spb),
        static_cast<long long>(options.bits), options.prbs_order, options.bits_per_call);
    std::printf("parameters: %s\n", setting.parameters.c_str());
    if (!setting.rx_path.empty()) {
        std::printf("receiver:   %s\n", setting.rx_path.c_str());
        std::printf("rx parameters: %s\n", setting.rx_parameters.c_str());
    }
}

void print_convolution(const Options &options, const Setting &setting) {
    const std::size_t taps = setting.channel.columns[0].size();
    if (amisim::resolve_convolution(options.convolution, taps) == amisim::Convolution::kFft) {
        const std::size_t n = amisim::default_fft_size(taps);
        std::printf("convolution: FFT overlap-add, %zu-point transforms, %zu samples a block\n\n",
                    n, n - taps + 1);
    } else {
        std::printf("convolution: direct sums over %zu taps\n\n", taps);
    }
}

// The impulse CSVs, the bathtub and the pictures.
bool write_files(const Options &options, const Setting &setting,
                 const std::vector<std::vector<double>> &after,
                 const amisim::ResponseFigures &before_figures,
                 const amisim::ResponseFigures &after_figures, const amisim::StreamResult &stream,
                 const amisim::EyeFigures &eye_before, const amisim::EyeFigures *eye_after,
                 std::string &error) {
    const auto &columns = setting.channel.columns;
    std::vector<const std::vector<double> *> before_columns;
    std::vector<const std::vector<double> *> after_columns;
    for (std::size_t k = 0; k < columns.size(); ++k) {
        before_columns.push_back(&columns[k]);
        after_columns.push_back(&after[k]);
    }
    const std::string folder = options.output_folder + "/";
    const std::string header = impulse_header(columns.size());
    if (!write_columns(folder + "impulse_before.csv", header, setting.dt, before_columns, error) ||
        !write_columns(folder + "impulse_after.csv", header, setting.dt, after_columns, error) ||
        !amisim::write_bathtub_csv(folder + "bathtub.csv", eye_before, eye_after, setting.spb,
                                   error)) {
        return false;
    }
    char rate[64];
    std::snprintf(rate, sizeof rate, "%lld bits of PRBS%d at %g Gb/s, %d samples per bit",
                  static_cast<long long>(options.bits), options.prbs_order,
                  1e-9 / (setting.dt * setting.spb), setting.spb);
    auto eye_title = [&](const amisim::EyeFigures &figures) {
        char text[160];
        if (!figures.measured) {
            std::snprintf(text, sizeof text, "%s; too few bits for an eye", rate);
        } else {
            std::snprintf(text, sizeof text, "%s; height %.4g V, width %.3f UI at %+.3f UI", rate,
                          figures.height, figures.width / setting.spb,
                          amisim::slot_ui(figures.best_slot, setting.spb));
        }
        return std::string(text);
    };
    std::string written = "impulse_before.csv, impulse_after.csv, bathtub.csv, eye_before.svg";
    if (!amisim::eye_picture(*stream.before, eye_before, "Eye before AMI_GetWave",
                             eye_title(eye_before))
             .write(folder + "eye_before.svg", error)) {
        return false;
    }
    if (eye_after != nullptr) {
        written += ", eye_after.svg";
        if (!amisim::eye_picture(*stream.after, *eye_after, "Eye after AMI_GetWave",
                                 eye_title(*eye_after))
                 .write(folder + "eye_after.svg", error)) {
            return false;
        }
    }
    written += ", pulse.svg, bathtub.svg";
    if (!amisim::pulse_picture(before_figures, after_figures, setting.spb, setting.dt)
             .write(folder + "pulse.svg", error) ||
        !amisim::bathtub_picture(eye_before, eye_after, setting.spb, setting.dt)
             .write(folder + "bathtub.svg", error)) {
        return false;
    }
    if (options.waves) {
        written += eye_after != nullptr ? ", wave_before.csv, wave_after.csv" : ", wave_before.csv";
    }
    std::printf("files:       %s%s\n", folder.c_str(), written.c_str());
    return true;
}

bool write_page(const Options &options, amisim::ReportContent &content, std::string &error) {
    return amisim::report_page(content).write(options.output_folder + "/report.svg", error);
}

// The simulation as a channel simulator runs it with the model alone: call
// AMI_Init, stream the waveform through the channel into AMI_GetWave and
// the eyes, summarise, write the files.
int run_model(const Options &options, const std::string &model_path, Setting &setting,
              const amisim::ModelLibrary &model) {
    std::string error;
    Instance instance(model);
    std::vector<std::vector<double>> after;
    if (!call_init(model, "", setting.channel.columns, setting.parameters, setting, instance, after,
                   error)) {
        return fail(kModelFailed, error);
    }
    const auto before_figures =
        amisim::measure_response(setting.channel.columns[0], setting.spb, setting.dt);
    const auto after_figures = amisim::measure_response(after[0], setting.spb, setting.dt);

    const amisim::StreamSetup setup = stream_setup(options, setting, before_figures, after_figures);
    std::vector<double> clock_times(static_cast<std::size_t>(options.bits_per_call) + 2, -1.0);
    amisim::BlockModel get_wave;
    if (model.get_wave != nullptr) {
        get_wave = [&](double *wave, std::size_t count) {
            char *wave_params_out = nullptr;
            return model.get_wave(wave, static_cast<long>(count), clock_times.data(),
                                  &wave_params_out, instance.memory) != 0;
        };
    }
    amisim::StreamResult stream;
    if (!amisim::run_stream(setup, get_wave, stream, error)) {
        return fail(stream.model_failed ? kModelFailed : kBadInput, error);
    }

    const amisim::EyeFigures eye_before = amisim::eye_figures(*stream.before);
    amisim::EyeFigures eye_after;
    if (stream.after != nullptr) {
        eye_after = amisim::eye_figures(*stream.after);
    }
    const amisim::EyeFigures *eye_after_or_none = stream.after != nullptr ? &eye_after : nullptr;
    amisim::print_response_summary(before_figures, after_figures);
    amisim::print_eye_summary(eye_before, eye_after_or_none, setting.spb, setting.dt, options.bits,
                              setup.eye_before.settle_bits, fill_bits(setting));
    amisim::print_run_summary(stream, model.get_wave != nullptr);
    if (!write_files(options, setting, after, before_figures, after_figures, stream, eye_before,
                     eye_after_or_none, error)) {
        return fail(kBadInput, error);
    }
    amisim::ReportContent page;
    page.title = "amisim: the model over the channel";
    page.setting = page_setting(options, setting, model_path);
    page.pulse = amisim::pulse_picture(before_figures, after_figures, setting.spb, setting.dt);
    const bool after_shown = eye_after_or_none != nullptr;
    page.eye = amisim::eye_picture(
        after_shown ? stream.after->density() : stream.before->density(),
        after_shown ? eye_after : eye_before,
        after_shown ? "Eye after AMI_GetWave" : "Eye before AMI_GetWave (the model has none)",
        eye_subtitle(options, setting, after_shown ? eye_after : eye_before, "the cursor"));
    page.bathtub = amisim::bathtub_picture(eye_before, eye_after_or_none, setting.spb, setting.dt);
    page.statistical = amisim::response_table(
        "pulse response",
        {{"before AMI_Init", &before_figures}, {"after AMI_Init", &after_figures}});
    page.time_domain = amisim::eye_table(
        "eye over 2 UI", {{"before GetWave", &eye_before}, {"after GetWave", eye_after_or_none}},
        setting.spb, setting.dt);
    page.notes.push_back(
        "phases from the main cursor of each waveform's pulse response; the first " +
        std::to_string(setup.eye_before.settle_bits) + " bits left out");
    if (!write_page(options, page, error)) {
        return fail(kBadInput, error);
    }
    std::printf("report:      %s/report.svg\n", options.output_folder.c_str());
    return 0;
}

// Loads the models and the channel and runs the model alone or the link.
int run(const Options &options, const std::string &model_path, const std::string &rx_path) {
    std::string error;
    amisim::ModelLibrary model;
    if (!model.open(model_path, error)) {
        return fail(kBadInput, error);
    }
    Setting setting;
    if (!load_channel(options, setting, error)) {
        return fail(kBadInput, error);
    }
    setting.parameters = options.parameter_string;
    if (!options.have_parameter_string) {
        std::string root;
        std::string defaults;
        if (!learn_root_name(model, setting.dt, setting.spb, root, defaults, error)) {
            return fail(kModelFailed, error);
        }
        setting.parameters = amisim::parameter_string_for(root, defaults, options.settings);
    }
    amisim::ModelLibrary rx;
    const amisim::ModelLibrary *receiver = nullptr;  // null: the model alone
    if (!rx_path.empty()) {
        if (!rx.open(rx_path, error)) {
            return fail(kBadInput, "the receiver " + error);
        }
        receiver = &rx;
        setting.rx_path = rx_path;
        setting.rx_parameters = options.rx_parameter_string;
        if (!options.have_rx_parameter_string) {
            std::string root;
            std::string defaults;
            if (!learn_root_name(rx, setting.dt, setting.spb, root, defaults, error)) {
                return fail(kModelFailed, "the receiver: " + error);
            }
            setting.rx_parameters =
                amisim::parameter_string_for(root, defaults, options.rx_settings);
        }
    }
    if (mkdir(options.output_folder.c_str(), 0755) != 0 && errno != EEXIST) {
        return fail(kBadInput, options.output_folder + ": " + std::strerror(errno));
    }
    print_setting(options, setting, model_path);
    print_convolution(options, setting);
    return receiver == nullptr
               ? run_model(options, model_path, setting, model)
               : amisim::simulate_link(options, model_path, setting, model, *receiver);
}

}  // namespace

int main(int argc, char **argv) {
    Options options;
    std::string error;
    if (!amisim::parse_options(argc, argv, options, error)) {
        std::fprintf(stderr, "amisim: error: %s\nTry 'amisim --help'.\n", error.c_str());
        return kBadInput;
    }
    if (options.help) {
        std::fputs(amisim::usage().c_str(), stdout);
        return 0;
    }
    const std::string model_path = options.model.empty() ? default_model() : options.model;
    const amisim::ElfClass model_class = amisim::inspect_elf(model_path, error);
    if (model_class != amisim::ElfClass::k32 && model_class != amisim::ElfClass::k64) {
        return fail(kBadInput, error);
    }
    std::string rx_path;
    if (options.rx) {
        rx_path = options.rx_model.empty() ? default_receiver(model_class) : options.rx_model;
        if (!check_receiver(rx_path, options.rx_model.empty(), model_class, model_path, error)) {
            return fail(kBadInput, error);
        }
    }
    if (amisim::needs_converted_channel(model_class, options)) {
        return amisim::hand_over_with_converted_channel(model_class, model_path, options, argc,
                                                        argv);
    }
    // Both models of the other word size: the other build runs the whole
    // link, with the same arguments (so the same --rx options).
    amisim::hand_over_if_other_architecture(model_class, model_path, argc, argv);
    const int status = run(options, model_path, rx_path);
    amisim::release_fft_tables();
    return status;
}
