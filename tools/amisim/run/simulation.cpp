#include "tools/amisim/run/simulation.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "tools/amisim/report/summary.h"

namespace amisim {

int fail(int status, const std::string &message) {
    std::fprintf(stderr, "amisim: error: %s\n", message.c_str());
    return status;
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

// AMI_Init with the impulse responses, one column after another; returns
// the responses as the model left them. who ("" or "Tx ", "Rx ") heads the
// model's texts.
bool call_init(const amisim::ModelLibrary &model, const std::string &who,
               const std::vector<std::vector<double>> &columns, const std::string &parameters,
               const Setting &setting, Instance &instance, std::vector<std::vector<double>> &after,
               std::string &error) {
    const std::size_t row_size = columns[0].size();
    std::vector<double> matrix;
    matrix.reserve(row_size * columns.size());
    for (const auto &column : columns) {
        matrix.insert(matrix.end(), column.begin(), column.end());
    }
    std::vector<char> parameters_in(parameters.begin(), parameters.end());
    parameters_in.push_back('\0');
    char *params_out = nullptr;
    char *msg = nullptr;
    const long ok =
        model.init(matrix.data(), static_cast<long>(row_size),
                   static_cast<long>(columns.size()) - 1, setting.dt, setting.dt * setting.spb,
                   parameters_in.data(), &params_out, &instance.memory, &msg);
    print_model_text((who + "AMI_Init message").c_str(), msg);
    print_model_text((who + "AMI_Init output parameters").c_str(), params_out);
    if (ok == 0) {
        error = std::string(who == "Rx " ? "the receiver's" : "the model's") +
                " AMI_Init returned 0 (failure)";
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

// The rate line of the pictures' subtitles.
std::string rate_text(const Options &options, const Setting &setting) {
    char rate[64];
    std::snprintf(rate, sizeof rate, "%lld bits of PRBS%d at %g Gb/s, %d samples per bit",
                  static_cast<long long>(options.bits), options.prbs_order,
                  1e-9 / (setting.dt * setting.spb), setting.spb);
    return rate;
}

std::string eye_subtitle(const Options &options, const Setting &setting,
                         const amisim::EyeFigures &figures, const char *reference) {
    char text[200];
    if (!figures.measured) {
        std::snprintf(text, sizeof text, "%s; too few bits for an eye",
                      rate_text(options, setting).c_str());
    } else {
        std::snprintf(text, sizeof text, "%s; height %.4g V, width %.3f UI at %+.3f UI from %s",
                      rate_text(options, setting).c_str(), figures.height,
                      figures.width / setting.spb, amisim::slot_ui(figures.best_slot, setting.spb),
                      reference);
    }
    return text;
}

// The lines of the setting at the head of the report page.
std::vector<std::string> page_setting(const Options &options, const Setting &setting,
                                      const std::string &model_path) {
    std::vector<std::string> lines{"transmitter: " + model_path + "  " + setting.parameters};
    if (!setting.rx_path.empty()) {
        lines.push_back("receiver: " + setting.rx_path + "  " + setting.rx_parameters);
    }
    lines.push_back("channel: " + setting.channel.description);
    lines.push_back("simulation: " + rate_text(options, setting));
    return lines;
}

}  // namespace amisim
