#include "tools/amisim/channel/channel.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace amisim {

namespace {

constexpr double kPi = 3.14159265358979323846;

// Step response of the skin-effect line exp(-k sqrt(s)).
double skin_step(double k, double t) {
    return t <= 0.0 ? 0.0 : std::erfc(k / (2.0 * std::sqrt(t)));
}

std::string trim(const std::string &text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) {
        return "";
    }
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

// Splits a data line into numbers; false with the offending field otherwise.
bool parse_numbers(const std::string &line, std::vector<double> &values, std::string &bad) {
    values.clear();
    std::string field;
    std::string normalised = line;
    for (char &c : normalised) {
        if (c == ',' || c == '\t' || c == ';') {
            c = ' ';
        }
    }
    std::istringstream in(normalised);
    while (in >> field) {
        errno = 0;
        char *end = nullptr;
        const double value = std::strtod(field.c_str(), &end);
        if (end == field.c_str() || *end != '\0' || errno == ERANGE || !std::isfinite(value)) {
            bad = field;
            return false;
        }
        values.push_back(value);
    }
    return true;
}

// A first column that rises in equal steps is a time axis.
bool looks_like_time(const std::vector<std::vector<double>> &rows, double &step) {
    if (rows.size() < 2 || rows[0].size() < 2) {
        return false;
    }
    step = rows[1][0] - rows[0][0];
    if (!(step > 0.0)) {
        return false;
    }
    for (std::size_t i = 1; i < rows.size(); ++i) {
        const double d = rows[i][0] - rows[i - 1][0];
        if (std::fabs(d - step) > 1e-6 * step) {
            return false;
        }
    }
    return true;
}

}  // namespace

double default_channel_loss_db(const DefaultChannelShape &shape, double frequency) {
    // |exp(-k sqrt(j w))| = exp(-k sqrt(w/2)); the pole adds 10 log10(1 + (f/fp)^2).
    const double skin_db = 20.0 / std::log(10.0) * shape.skin_k * std::sqrt(kPi * frequency);
    const double ratio = frequency / shape.pole_hz;
    return skin_db + 10.0 * std::log10(1.0 + ratio * ratio);
}

Channel default_channel(const DefaultChannelShape &shape, double sample_interval,
                        std::size_t samples) {
    Channel channel;
    std::vector<double> h(samples, 0.0);
    // Skin effect, averaged over each sample interval through its step response.
    for (std::size_t n = 0; n < samples; ++n) {
        const double t0 = static_cast<double>(n) * sample_interval;
        h[n] = (skin_step(shape.skin_k, t0 + sample_interval) - skin_step(shape.skin_k, t0)) /
               sample_interval;
    }
    // First-order pole, step-invariant: y[n] = a y[n-1] + (1 - a) x[n].
    const double a = std::exp(-2.0 * kPi * shape.pole_hz * sample_interval);
    double state = 0.0;
    for (double &sample : h) {
        state = a * state + (1.0 - a) * sample;
        sample = state;
    }
    channel.columns.push_back(std::move(h));
    std::ostringstream description;
    description << "built-in: skin-effect line (k = " << shape.skin_k << " s^0.5) with a pole at "
                << shape.pole_hz / 1e9 << " GHz, " << samples << " samples";
    channel.description = description.str();
    return channel;
}

bool read_channel_file(const std::string &path, Channel &channel, std::string &error) {
    std::ifstream in(path);
    if (!in) {
        error = path + ": cannot open the channel file";
        return false;
    }
    return read_channel_file(in, path, channel, error);
}

bool read_channel_file(std::istream &in, const std::string &path, Channel &channel,
                       std::string &error) {
    std::vector<std::vector<double>> rows;
    std::vector<double> values;
    std::string line;
    std::size_t line_number = 0;
    while (std::getline(in, line)) {
        ++line_number;
        const auto comment = line.find('#');
        if (comment != std::string::npos) {
            line.erase(comment);
        }
        line = trim(line);
        if (line.empty()) {
            continue;
        }
        std::string bad;
        if (!parse_numbers(line, values, bad)) {
            error = path + ":" + std::to_string(line_number) + ": '" + bad + "' is not a number";
            return false;
        }
        if (values.empty()) {
            continue;  // separators only: a blank line
        }
        if (!rows.empty() && values.size() != rows[0].size()) {
            error = path + ":" + std::to_string(line_number) + ": " +
                    std::to_string(values.size()) + " columns where the first data line has " +
                    std::to_string(rows[0].size());
            return false;
        }
        rows.push_back(values);
    }
    if (in.bad()) {
        error = path + ": read error";
        return false;
    }
    if (rows.empty()) {
        error = path + ": no samples (only comments or blank lines)";
        return false;
    }
    double step = 0.0;
    const bool timed = looks_like_time(rows, step);
    const std::size_t first = timed ? 1 : 0;
    const std::size_t width = rows[0].size();
    channel.columns.assign(width - first, std::vector<double>(rows.size()));
    for (std::size_t r = 0; r < rows.size(); ++r) {
        for (std::size_t c = first; c < width; ++c) {
            channel.columns[c - first][r] = rows[r][c];
        }
    }
    channel.sample_interval = timed ? step : 0.0;
    channel.start_time = timed ? rows[0][0] : 0.0;
    std::ostringstream description;
    description << path << ": " << rows.size() << " samples" << (timed ? ", time column" : "")
                << ", " << channel.columns.size() - 1 << " aggressor(s)";
    channel.description = description.str();
    return true;
}

}  // namespace amisim
