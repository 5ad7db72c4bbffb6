// amisim: runs an IBIS-AMI model the way a channel simulator does.
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tools/amisim/channel.h"
#include "tools/amisim/channel_hand_over.h"
#include "tools/amisim/channel_stream.h"
#include "tools/amisim/model_library.h"
#include "tools/amisim/options.h"
#include "tools/amisim/pictures.h"
#include "tools/amisim/report.h"
#include "tools/amisim/stream.h"
#include "tools/amisim/touchstone.h"
#include "tools/amisim/touchstone_channel.h"
#include "tools/amisim/waveforms.h"

namespace {

using amisim::Options;

constexpr int kBadInput = 2;
constexpr int kModelFailed = 1;

int fail(int status, const std::string &message) {
    std::fprintf(stderr, "amisim: error: %s\n", message.c_str());
    return status;
}

std::string default_model() {
    return amisim::own_directory() +
           (sizeof(void *) == 8 ? "/Halvorin_7314_Tx_64.so" : "/Halvorin_7314_Tx_32.so");
}

// Prints a text the model returned, or says that it returned none.
void print_model_text(const char *label, const char *text) {
    std::printf("%s:\n", label);
    if (text == nullptr) {
        std::printf("  (none)\n");
        return;
    }
    std::string body = text;
    while (!body.empty() && body.back() == '\n') {
        body.pop_back();
    }
    if (body.empty()) {
        body = "(empty)";
    }
    std::string indented = "  ";
    for (char c : body) {
        indented += c;
        if (c == '\n') {
            indented += "  ";
        }
    }
    std::printf("%s\n", indented.c_str());
}

// Calls AMI_Init with an empty parameter string to read the model's root name
// from its echo.
bool learn_root_name(const amisim::ModelLibrary &model, double sample_interval, int spb,
                     std::string &root, std::string &error) {
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

bool write_columns(const std::string &path, const std::string &header, double sample_interval,
                   const std::vector<const std::vector<double> *> &columns, std::string &error) {
    std::FILE *file = std::fopen(path.c_str(), "w");
    if (file == nullptr) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    std::fprintf(file, "%s\n", header.c_str());
    const std::size_t rows = columns.empty() ? 0 : columns[0]->size();
    for (std::size_t r = 0; r < rows; ++r) {
        std::fprintf(file, "%.12g", static_cast<double>(r) * sample_interval);
        for (const auto *column : columns) {
            std::fprintf(file, ",%.17g", (*column)[r]);
        }
        std::fputc('\n', file);
    }
    if (std::fclose(file) != 0) {
        error = path + ": write failed";
        return false;
    }
    return true;
}

std::string impulse_header(std::size_t columns) {
    std::string header = "time_s,through";
    for (std::size_t k = 1; k < columns; ++k) {
        header += ",aggressor_" + std::to_string(k);
    }
    return header;
}

// The simulation's setting: the channel and the model's parameter string.
struct Setting {
    amisim::Channel channel;
    double dt = 0.0;
    int spb = 0;
    std::string parameters;
};

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
}

// One model instance from a successful AMI_Init to AMI_Close.
class Instance {
  public:
    explicit Instance(const amisim::ModelLibrary &model) : model_(model) {}
    ~Instance() {
        if (memory != nullptr) {
            model_.close(memory);
        }
    }
    Instance(const Instance &) = delete;
    Instance &operator=(const Instance &) = delete;

    void *memory = nullptr;

  private:
    const amisim::ModelLibrary &model_;
};

// AMI_Init with the impulse responses, one column after another; returns
// the responses as the model left them.
bool call_init(const amisim::ModelLibrary &model, const Setting &setting, Instance &instance,
               std::vector<std::vector<double>> &after, std::string &error) {
    const auto &columns = setting.channel.columns;
    const std::size_t row_size = columns[0].size();
    std::vector<double> matrix;
    matrix.reserve(row_size * columns.size());
    for (const auto &column : columns) {
        matrix.insert(matrix.end(), column.begin(), column.end());
    }
    std::vector<char> parameters_in(setting.parameters.begin(), setting.parameters.end());
    parameters_in.push_back('\0');
    char *params_out = nullptr;
    char *msg = nullptr;
    const long ok =
        model.init(matrix.data(), static_cast<long>(row_size),
                   static_cast<long>(columns.size()) - 1, setting.dt, setting.dt * setting.spb,
                   parameters_in.data(), &params_out, &instance.memory, &msg);
    print_model_text("AMI_Init message", msg);
    print_model_text("AMI_Init output parameters", params_out);
    if (ok == 0) {
        error = "the model's AMI_Init returned 0 (failure)";
        return false;
    }
    after.resize(columns.size());
    for (std::size_t k = 0; k < after.size(); ++k) {
        after[k].assign(matrix.begin() + static_cast<std::ptrdiff_t>(k * row_size),
                        matrix.begin() + static_cast<std::ptrdiff_t>((k + 1) * row_size));
    }
    return true;
}

// The channel's memory fills after as many bits as it is long.
std::int64_t fill_bits(const Setting &setting) {
    return static_cast<std::int64_t>(setting.channel.columns[0].size() /
                                     static_cast<std::size_t>(setting.spb)) +
           1;
}

// The stream's settings: the through channel as taps, each eye centred on
// its own pulse response's main cursor and scaled by its largest possible
// swing.
amisim::StreamSetup stream_setup(const Options &options, const Setting &setting,
                                 const amisim::ResponseFigures &before,
                                 const amisim::ResponseFigures &after) {
    amisim::StreamSetup setup;
    const std::vector<double> &through = setting.channel.columns[0];
    setup.taps.reserve(through.size());
    for (double h : through) {
        setup.taps.push_back(h * setting.dt);
    }
    setup.samples_per_bit = setting.spb;
    setup.sample_interval = setting.dt;
    setup.prbs_order = options.prbs_order;
    setup.bits = options.bits;
    setup.bits_per_call = options.bits_per_call;
    setup.convolution = options.convolution;
    const std::int64_t settle = std::min(fill_bits(setting), options.bits / 2);
    for (auto [layout, figures] :
         {std::pair{&setup.eye_before, &before}, std::pair{&setup.eye_after, &after}}) {
        layout->samples_per_bit = setting.spb;
        layout->centre = figures->eye_centre;
        layout->settle_bits = settle;
        layout->prbs_order = options.prbs_order;
        layout->expected_swing = figures->swing;
    }
    if (options.waves) {
        setup.wave_before_csv = options.output_folder + "/wave_before.csv";
        setup.wave_after_csv = options.output_folder + "/wave_after.csv";
    }
    setup.progress = true;
    return setup;
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

// The simulation as a channel simulator runs it: load the model and the
// channel, call AMI_Init, stream the waveform through AMI_GetWave into the
// eyes, summarise, write the files.
int run(const Options &options, const std::string &model_path) {
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
        if (!learn_root_name(model, setting.dt, setting.spb, root, error)) {
            return fail(kModelFailed, error);
        }
        setting.parameters = amisim::parameter_string_for(root, options.settings);
    }
    if (mkdir(options.output_folder.c_str(), 0755) != 0 && errno != EEXIST) {
        return fail(kBadInput, options.output_folder + ": " + std::strerror(errno));
    }
    print_setting(options, setting, model_path);
    print_convolution(options, setting);

    Instance instance(model);
    std::vector<std::vector<double>> after;
    if (!call_init(model, setting, instance, after, error)) {
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
    return write_files(options, setting, after, before_figures, after_figures, stream, eye_before,
                       eye_after_or_none, error)
               ? 0
               : fail(kBadInput, error);
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
    if (amisim::needs_converted_channel(model_class, options)) {
        return amisim::hand_over_with_converted_channel(model_class, model_path, options, argc,
                                                        argv);
    }
    amisim::hand_over_if_other_architecture(model_class, model_path, argc, argv);
    const int status = run(options, model_path);
    amisim::release_fft_tables();
    return status;
}
