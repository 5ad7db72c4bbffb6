// amisim: runs an IBIS-AMI model the way a channel simulator does.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tools/amisim/channel.h"
#include "tools/amisim/model_library.h"
#include "tools/amisim/options.h"
#include "tools/amisim/prbs.h"
#include "tools/amisim/waveforms.h"

namespace {

using Clock = std::chrono::steady_clock;
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

class Progress {
  public:
    Progress() : enabled_(isatty(STDERR_FILENO) == 1), start_(Clock::now()), last_(start_) {}
    void update(const char *stage, std::size_t done, std::size_t total) {
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
        std::fprintf(stderr, "\ramisim: %s %3.0f%% (%zu of %zu samples)", stage,
                     100.0 * static_cast<double>(done) / static_cast<double>(total), done, total);
        std::fflush(stderr);
    }
    ~Progress() {
        if (shown_) {
            std::fprintf(stderr, "\r%60s\r", "");
        }
    }
    Progress(const Progress &) = delete;
    Progress &operator=(const Progress &) = delete;

  private:
    bool enabled_;
    bool shown_ = false;
    Clock::time_point start_;
    Clock::time_point last_;
};

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
    if (options.channel_file.empty()) {
        setting.channel =
            amisim::default_channel(amisim::DefaultChannelShape{}, setting.dt,
                                    static_cast<std::size_t>(options.channel_bits) * setting.spb);
        return true;
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
        "simulation: %g s per sample, %d samples per bit (%g Gb/s), %ld bits of PRBS%d, "
        "%ld bits per AMI_GetWave call\n",
        setting.dt, setting.spb, 1e-9 / (setting.dt * setting.spb), options.bits,
        options.prbs_order, options.bits_per_call);
    std::printf("parameters: %s\n\n", setting.parameters.c_str());
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

// AMI_GetWave over the waveform in blocks of bits_per_call bits; returns the
// time spent inside the model.
bool drive_get_wave(const amisim::ModelLibrary &model, const Options &options,
                    const Setting &setting, Instance &instance, std::vector<double> &wave,
                    Clock::duration &in_getwave, std::string &error) {
    const std::size_t block = static_cast<std::size_t>(options.bits_per_call) * setting.spb;
    std::vector<double> clock_times(block / static_cast<std::size_t>(setting.spb) + 2, -1.0);
    Progress progress;
    for (std::size_t start = 0; start < wave.size(); start += block) {
        const std::size_t count = std::min(block, wave.size() - start);
        char *wave_params_out = nullptr;
        const auto t0 = Clock::now();
        const long ok = model.get_wave(wave.data() + start, static_cast<long>(count),
                                       clock_times.data(), &wave_params_out, instance.memory);
        in_getwave += Clock::now() - t0;
        if (ok == 0) {
            error = "the model's AMI_GetWave returned 0 at sample " + std::to_string(start);
            return false;
        }
        progress.update("AMI_GetWave", start + count, wave.size());
    }
    return true;
}

void print_response_summary(const amisim::ResponseFigures &before,
                            const amisim::ResponseFigures &after) {
    std::printf("\nthrough channel            before AMI_Init   after AMI_Init\n");
    std::printf("  impulse peak (1/s)       %16.6g %16.6g\n", before.peak, after.peak);
    std::printf("  impulse area (DC gain)   %16.6g %16.6g\n", before.area, after.area);
    std::printf("  pulse main cursor        %16.6g %16.6g\n", before.main_cursor,
                after.main_cursor);
    std::printf("  first post-cursor        %16.6g %16.6g\n", before.first_post, after.first_post);
    std::printf("  post/main cursor (dB)    %16.2f %16.2f\n", before.first_post_db,
                after.first_post_db);
    std::printf("  change in first post-cursor relative to the main cursor: %+.2f dB\n",
                after.first_post_db - before.first_post_db);
}

// Each waveform sampled at its own pulse response's main cursor, once the
// channel's memory has filled with bits.
void print_eye_summary(const Setting &setting, const std::vector<std::uint8_t> &bits,
                       const std::vector<double> &wave_before, const std::vector<double> &wave,
                       const amisim::ResponseFigures &before,
                       const amisim::ResponseFigures &after) {
    const std::size_t row_size = setting.channel.columns[0].size();
    const std::size_t settle =
        std::min(row_size / static_cast<std::size_t>(setting.spb) + 1, bits.size() / 2);
    const double eye_before =
        amisim::eye_height(wave_before, bits, setting.spb, before.cursor, settle);
    const double eye_after = amisim::eye_height(wave, bits, setting.spb, after.cursor, settle);
    std::printf("\nwaveform                   before GetWave    after GetWave\n");
    if (std::isnan(eye_before) || std::isnan(eye_after)) {
        std::printf("  eye height at cursor (V)   n/a: too few bits after the channel settles\n");
    } else {
        std::printf("  eye height at cursor (V) %16.6g %16.6g\n", eye_before, eye_after);
    }
}

bool write_files(const Options &options, const Setting &setting,
                 const std::vector<std::vector<double>> &after,
                 const std::vector<double> &wave_before, const std::vector<double> &wave,
                 std::string &error) {
    if (mkdir(options.output_folder.c_str(), 0755) != 0 && errno != EEXIST) {
        error = options.output_folder + ": " + std::strerror(errno);
        return false;
    }
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
        !write_columns(folder + "wave_before.csv", "time_s,volts", setting.dt, {&wave_before},
                       error) ||
        !write_columns(folder + "wave_after.csv", "time_s,volts", setting.dt, {&wave}, error)) {
        return false;
    }
    std::printf(
        "CSV files:   %simpulse_before.csv, impulse_after.csv, wave_before.csv, "
        "wave_after.csv\n",
        folder.c_str());
    return true;
}

// The simulation as a channel simulator runs it: load the model and the
// channel, call AMI_Init, drive AMI_GetWave, summarise, write the files.
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
    print_setting(options, setting, model_path);

    Instance instance(model);
    std::vector<std::vector<double>> after;
    if (!call_init(model, setting, instance, after, error)) {
        return fail(kModelFailed, error);
    }

    const std::vector<double> pulse =
        amisim::pulse_response(setting.channel.columns[0], setting.spb, setting.dt);
    const std::vector<std::uint8_t> bits =
        amisim::prbs_bits(options.prbs_order, static_cast<std::size_t>(options.bits));
    const std::vector<double> wave_before = amisim::bits_through_channel(bits, pulse, setting.spb);
    std::vector<double> wave = wave_before;
    Clock::duration in_getwave{};
    if (model.get_wave != nullptr &&
        !drive_get_wave(model, options, setting, instance, wave, in_getwave, error)) {
        return fail(kModelFailed, error);
    }

    const auto before_figures =
        amisim::measure_response(setting.channel.columns[0], setting.spb, setting.dt);
    const auto after_figures = amisim::measure_response(after[0], setting.spb, setting.dt);
    print_response_summary(before_figures, after_figures);
    if (model.get_wave == nullptr) {
        std::printf("\nAMI_GetWave: the model has none; the waveform was not processed\n");
    } else {
        print_eye_summary(setting, bits, wave_before, wave, before_figures, after_figures);
        const std::size_t block = static_cast<std::size_t>(options.bits_per_call) * setting.spb;
        const double ns = std::chrono::duration<double, std::nano>(in_getwave).count();
        std::printf("\nAMI_GetWave: %zu samples in %zu calls, %.2f ns/sample\n", wave.size(),
                    (wave.size() + block - 1) / block, ns / static_cast<double>(wave.size()));
    }
    return write_files(options, setting, after, wave_before, wave, error) ? 0
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
    amisim::hand_over_if_other_architecture(model_class, model_path, argc, argv);
    return run(options, model_path);
}
