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

std::string own_directory() {
    char path[4096] = {};
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    std::string self = length > 0 ? std::string(path, static_cast<std::size_t>(length)) : ".";
    const auto slash = self.rfind('/');
    return slash == std::string::npos ? "." : self.substr(0, slash);
}

std::string default_model() {
    return own_directory() +
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

int run(const Options &options, const std::string &model_path) {
    std::string error;
    if (amisim::inspect_elf(model_path, error) != amisim::ElfClass::k32 &&
        amisim::inspect_elf(model_path, error) != amisim::ElfClass::k64) {
        return fail(kBadInput, error);
    }
    amisim::ModelLibrary model;
    if (!model.open(model_path, error)) {
        return fail(kBadInput, error);
    }

    // The channel.
    amisim::Channel channel;
    double dt = options.sample_interval;
    const int spb = options.samples_per_bit;
    if (options.channel_file.empty()) {
        channel = amisim::default_channel(amisim::DefaultChannelShape{}, dt,
                                          static_cast<std::size_t>(options.channel_bits) * spb);
    } else {
        if (!amisim::read_channel_file(options.channel_file, channel, error)) {
            return fail(kBadInput, error);
        }
        if (channel.sample_interval > 0.0) {
            if (!options.sample_interval_given) {
                dt = channel.sample_interval;
            } else if (std::fabs(channel.sample_interval - dt) > 1e-6 * dt) {
                return fail(kBadInput, options.channel_file + ": its time step " +
                                           std::to_string(channel.sample_interval) +
                                           " s differs from --sample-interval " +
                                           std::to_string(dt) + " s");
            }
        }
    }
    const std::size_t row_size = channel.columns[0].size();
    const long aggressors = static_cast<long>(channel.columns.size()) - 1;

    // The parameter string.
    std::string parameters = options.parameter_string;
    if (!options.have_parameter_string) {
        std::string root;
        if (!learn_root_name(model, dt, spb, root, error)) {
            return fail(kModelFailed, error);
        }
        parameters = amisim::parameter_string_for(root, options.settings);
    }

    std::printf("model:      %s\n", model_path.c_str());
    std::printf("channel:    %s\n", channel.description.c_str());
    std::printf(
        "simulation: %g s per sample, %d samples per bit (%g Gb/s), %ld bits of PRBS%d, "
        "%ld bits per AMI_GetWave call\n",
        dt, spb, 1e-9 / (dt * spb), options.bits, options.prbs_order, options.bits_per_call);
    std::printf("parameters: %s\n\n", parameters.c_str());

    // AMI_Init with the impulse responses, one column after another.
    std::vector<double> matrix;
    matrix.reserve(row_size * channel.columns.size());
    for (const auto &column : channel.columns) {
        matrix.insert(matrix.end(), column.begin(), column.end());
    }
    std::vector<char> parameters_in(parameters.begin(), parameters.end());
    parameters_in.push_back('\0');
    char *params_out = nullptr;
    char *msg = nullptr;
    void *memory = nullptr;
    const long init_ok = model.init(matrix.data(), static_cast<long>(row_size), aggressors, dt,
                                    dt * spb, parameters_in.data(), &params_out, &memory, &msg);
    print_model_text("AMI_Init message", msg);
    print_model_text("AMI_Init output parameters", params_out);
    if (init_ok == 0) {
        if (memory != nullptr) {
            model.close(memory);
        }
        return fail(kModelFailed, "the model's AMI_Init returned 0 (failure)");
    }
    std::vector<std::vector<double>> after(channel.columns.size());
    for (std::size_t k = 0; k < after.size(); ++k) {
        after[k].assign(matrix.begin() + static_cast<std::ptrdiff_t>(k * row_size),
                        matrix.begin() + static_cast<std::ptrdiff_t>((k + 1) * row_size));
    }

    // AMI_GetWave on the PRBS waveform through the channel, block by block.
    const std::vector<double> pulse = amisim::pulse_response(channel.columns[0], spb, dt);
    const std::vector<std::uint8_t> bits =
        amisim::prbs_bits(options.prbs_order, static_cast<std::size_t>(options.bits));
    const std::vector<double> wave_before = amisim::bits_through_channel(bits, pulse, spb);
    std::vector<double> wave = wave_before;
    const std::size_t block = static_cast<std::size_t>(options.bits_per_call) * spb;
    std::vector<double> clock_times(block / static_cast<std::size_t>(spb) + 2, -1.0);
    Clock::duration in_getwave{};
    {
        Progress progress;
        for (std::size_t start = 0; model.get_wave != nullptr && start < wave.size();
             start += block) {
            const std::size_t count = std::min(block, wave.size() - start);
            char *wave_params_out = nullptr;
            const auto t0 = Clock::now();
            const long ok = model.get_wave(wave.data() + start, static_cast<long>(count),
                                           clock_times.data(), &wave_params_out, memory);
            in_getwave += Clock::now() - t0;
            if (ok == 0) {
                model.close(memory);
                return fail(kModelFailed, "the model's AMI_GetWave returned 0 at sample " +
                                              std::to_string(start));
            }
            progress.update("AMI_GetWave", start + count, wave.size());
        }
    }

    // What the model did.
    const auto before_figures = amisim::measure_response(channel.columns[0], spb, dt);
    const auto after_figures = amisim::measure_response(after[0], spb, dt);
    std::printf("\nthrough channel            before AMI_Init   after AMI_Init\n");
    std::printf("  impulse peak (1/s)       %16.6g %16.6g\n", before_figures.peak,
                after_figures.peak);
    std::printf("  impulse area (DC gain)   %16.6g %16.6g\n", before_figures.area,
                after_figures.area);
    std::printf("  pulse main cursor        %16.6g %16.6g\n", before_figures.main_cursor,
                after_figures.main_cursor);
    std::printf("  first post-cursor        %16.6g %16.6g\n", before_figures.first_post,
                after_figures.first_post);
    std::printf("  post/main cursor (dB)    %16.2f %16.2f\n", before_figures.first_post_db,
                after_figures.first_post_db);
    std::printf("  change in first post-cursor relative to the main cursor: %+.2f dB\n",
                after_figures.first_post_db - before_figures.first_post_db);
    if (model.get_wave != nullptr) {
        // Each waveform sampled at its own pulse response's main cursor, once
        // the channel's memory has filled with bits.
        const std::size_t settle =
            std::min(row_size / static_cast<std::size_t>(spb) + 1, bits.size() / 2);
        const double eye_before =
            amisim::eye_height(wave_before, bits, spb, before_figures.cursor, settle);
        const double eye_after = amisim::eye_height(wave, bits, spb, after_figures.cursor, settle);
        std::printf("\nwaveform                   before GetWave    after GetWave\n");
        if (std::isnan(eye_before) || std::isnan(eye_after)) {
            std::printf(
                "  eye height at cursor (V)   n/a: too few bits after the channel settles\n");
        } else {
            std::printf("  eye height at cursor (V) %16.6g %16.6g\n", eye_before, eye_after);
        }
    }
    if (model.get_wave == nullptr) {
        std::printf("\nAMI_GetWave: the model has none; the waveform was not processed\n");
    } else {
        const double ns = std::chrono::duration<double, std::nano>(in_getwave).count();
        std::printf("\nAMI_GetWave: %zu samples in %zu calls, %.2f ns/sample\n", wave.size(),
                    (wave.size() + block - 1) / block, ns / static_cast<double>(wave.size()));
    }
    model.close(memory);

    // The CSV files.
    if (mkdir(options.output_folder.c_str(), 0755) != 0 && errno != EEXIST) {
        return fail(kBadInput, options.output_folder + ": " + std::strerror(errno));
    }
    std::vector<const std::vector<double> *> before_columns;
    std::vector<const std::vector<double> *> after_columns;
    for (std::size_t k = 0; k < channel.columns.size(); ++k) {
        before_columns.push_back(&channel.columns[k]);
        after_columns.push_back(&after[k]);
    }
    const std::string folder = options.output_folder + "/";
    const std::string header = impulse_header(channel.columns.size());
    if (!write_columns(folder + "impulse_before.csv", header, dt, before_columns, error) ||
        !write_columns(folder + "impulse_after.csv", header, dt, after_columns, error) ||
        !write_columns(folder + "wave_before.csv", "time_s,volts", dt, {&wave_before}, error) ||
        !write_columns(folder + "wave_after.csv", "time_s,volts", dt, {&wave}, error)) {
        return fail(kBadInput, error);
    }
    std::printf(
        "CSV files:   %simpulse_before.csv, impulse_after.csv, wave_before.csv, "
        "wave_after.csv\n",
        folder.c_str());
    return 0;
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
    amisim::hand_over_if_other_architecture(model_path, argc, argv);
    return run(options, model_path);
}
