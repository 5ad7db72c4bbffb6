// amisim_line_touchstone: writes the built-in channel's line as a Touchstone
// file from its closed-form frequency response, exp(-k sqrt(s)) / (1 + s/wp)
// (the skin-effect line and the pole of channel.h), so that the stand-in's
// Touchstone reader can be tried on a network known exactly.
//
//   amisim_line_touchstone FILE.s2p|FILE.s4p STEP_HZ TOP_HZ [RI|MA|DB]
//
// A .s2p holds one line (S21 = S12 = H, no reflection); a .s4p two such
// lines side by side, 1 -> 2 and 3 -> 4, whose differential response
// Sdd21 is H again. Frequencies run from 0 Hz to TOP_HZ in steps of STEP_HZ.
#include <cmath>
#include <complex>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tools/amisim/channel/channel.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

std::complex<double> line_response(const amisim::DefaultChannelShape &shape, double f) {
    const std::complex<double> s(0.0, 2.0 * kPi * f);
    return std::exp(-shape.skin_k * std::sqrt(s)) / (1.0 + s / (2.0 * kPi * shape.pole_hz));
}

void write_pair(std::FILE *file, std::complex<double> v, const std::string &format) {
    if (format == "RI") {
        std::fprintf(file, " %.7g %.7g", v.real(), v.imag());
        return;
    }
    const double magnitude =
        format == "DB" ? (v == 0.0 ? -300.0 : 20.0 * std::log10(std::abs(v))) : std::abs(v);
    std::fprintf(file, " %.7g %.6g", magnitude, std::arg(v) * 180.0 / kPi);
}

bool positive(const char *text, double &value) {
    char *end = nullptr;
    value = std::strtod(text, &end);
    return *end == '\0' && std::isfinite(value) && value > 0.0;
}

}  // namespace

int main(int argc, char **argv) {
    double step = 0.0;
    double top = 0.0;
    const std::string format = argc > 4 ? argv[4] : "MA";
    const std::string path = argc > 1 ? argv[1] : "";
    const bool four = path.size() > 4 && path.substr(path.size() - 4) == ".s4p";
    const bool two = path.size() > 4 && path.substr(path.size() - 4) == ".s2p";
    if (argc < 4 || argc > 5 || !(two || four) || !positive(argv[2], step) ||
        !positive(argv[3], top) || top < step ||
        (format != "RI" && format != "MA" && format != "DB")) {
        std::fprintf(stderr,
                     "usage: amisim_line_touchstone FILE.s2p|FILE.s4p STEP_HZ TOP_HZ [RI|MA|DB]\n");
        return 2;
    }
    std::FILE *file = std::fopen(path.c_str(), "w");
    if (file == nullptr) {
        std::perror(path.c_str());
        return 2;
    }
    const amisim::DefaultChannelShape shape;
    std::fprintf(file,
                 "! The stand-in's built-in line, exp(-k sqrt(s)) / (1 + s / (2 pi fp)),\n"
                 "! k = %g s^0.5, fp = %g GHz: %s\n"
                 "! written by amisim_line_touchstone %s %s %s %s\n"
                 "# GHz S %s R 50\n",
                 shape.skin_k, shape.pole_hz / 1e9,
                 four ? "two uncoupled lines, 1 -> 2 and 3 -> 4" : "one line, 1 -> 2", path.c_str(),
                 argv[2], argv[3], format.c_str(), format.c_str());
    const int ports = four ? 4 : 2;
    const auto points = static_cast<long>(std::floor(top / step + 1e-9));
    for (long k = 0; k <= points; ++k) {
        const double f = static_cast<double>(k) * step;
        const std::complex<double> h = line_response(shape, f);
        std::vector<std::complex<double>> s(static_cast<std::size_t>(ports * ports), 0.0);
        auto set = [&](int i, int j) {
            s[static_cast<std::size_t>((i - 1) * ports + j - 1)] = h;
            s[static_cast<std::size_t>((j - 1) * ports + i - 1)] = h;
        };
        set(2, 1);
        if (four) {
            set(4, 3);
        }
        std::fprintf(file, "%.9g", f / 1e9);
        if (!four) {  // version 1 order: S11 S21 S12 S22
            for (std::size_t m : {0u, 2u, 1u, 3u}) {
                write_pair(file, s[m], format);
            }
            std::fputc('\n', file);
            continue;
        }
        for (std::size_t row = 0; row < 4; ++row) {
            std::fputs(row == 0 ? "" : "         ", file);
            for (std::size_t col = 0; col < 4; ++col) {
                write_pair(file, s[row * 4 + col], format);
            }
            std::fputc('\n', file);
        }
    }
    if (std::fclose(file) != 0) {
        std::perror(path.c_str());
        return 2;
    }
    return 0;
}
