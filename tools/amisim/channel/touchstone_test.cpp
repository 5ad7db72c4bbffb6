// Touchstone channels against networks known in closed form: the built-in
// line written as S parameters from its Laplace transform and read back,
// the same line as a differential pair, an attenuator; and malformed files.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "tools/amisim/channel/channel.h"
#include "tools/amisim/channel/channel_stream.h"
#include "tools/amisim/channel/touchstone.h"
#include "tools/amisim/channel/touchstone_channel.h"

namespace {

using Complex = std::complex<double>;
using ::testing::HasSubstr;
using ::testing::Not;

constexpr double kPi = 3.14159265358979323846;
constexpr double kDt = 3.125e-12;
constexpr int kSpb = 32;

std::string write_file(const std::string &name, const std::string &content) {
    const std::string path = ::testing::TempDir() + name;
    std::ofstream(path) << content;
    return path;
}

// The built-in channel's discrete-time frequency response, from closed
// forms: the line's Laplace transform exp(-k sqrt(s)); averaging over each
// sample interval (a box of width dt, read at its end: sinc(f dt) and half
// a sample of advance); the step-invariant pole (1 - a) / (1 - a z^-1).
Complex builtin_response(double f) {
    const amisim::DefaultChannelShape shape;
    const Complex s(0.0, 2.0 * kPi * f);
    const Complex line = std::exp(-shape.skin_k * std::sqrt(s));
    const double x = f * kDt;
    const double sinc = x == 0.0 ? 1.0 : std::sin(kPi * x) / (kPi * x);
    const double a = std::exp(-2.0 * kPi * shape.pole_hz * kDt);
    const Complex z_inverse = std::polar(1.0, -2.0 * kPi * f * kDt);
    return line * sinc * std::polar(1.0, kPi * x) * (1.0 - a) / (1.0 - a * z_inverse);
}

struct FileFormat {
    const char *format;  // RI, MA, DB
    const char *unit;    // Hz, GHz
    double scale;
};

std::string pair_text(Complex v, const std::string &format) {
    char text[80];
    if (format == "RI") {
        std::snprintf(text, sizeof text, " %.15g %.15g", v.real(), v.imag());
    } else {
        // A zero in dB is written as -300 dB, as writers of such files do.
        const double magnitude =
            format == "DB" ? std::max(-300.0, 20.0 * std::log10(std::abs(v))) : std::abs(v);
        std::snprintf(text, sizeof text, " %.15g %.15g", magnitude, std::arg(v) * 180.0 / kPi);
    }
    return text;
}

// A version 1 Touchstone file of a network given by its S matrix at each
// frequency (row-major S_ij, i the port out).
std::string touchstone_text(int ports, const FileFormat &file, const std::vector<double> &f,
                            const std::function<std::vector<Complex>(double)> &matrix) {
    std::ostringstream text;
    text << "! written from closed forms by amisim_touchstone_test\n";
    text << "# " << file.unit << " S " << file.format << " R 50\n";
    for (double frequency : f) {
        const std::vector<Complex> s = matrix(frequency);
        char head[40];
        std::snprintf(head, sizeof head, "%.15g", frequency / file.scale);
        text << head;
        if (ports == 2) {  // S11 S21 S12 S22 on one line
            text << pair_text(s[0], file.format) << pair_text(s[2], file.format)
                 << pair_text(s[1], file.format) << pair_text(s[3], file.format) << "\n";
            continue;
        }
        for (int row = 0; row < ports; ++row) {
            text << (row == 0 ? "" : "    ");
            for (int col = 0; col < ports; ++col) {
                text << pair_text(s[static_cast<std::size_t>(row * ports + col)], file.format);
            }
            text << "\n";
        }
    }
    return text.str();
}

std::vector<double> grid(double first, double step, double last) {
    std::vector<double> f;
    for (int i = 0; first + step * i <= last * (1 + 1e-12); ++i) {
        f.push_back(first + step * i);
    }
    return f;
}

std::vector<Complex> line_2port(double f) {
    const Complex h = builtin_response(f);
    return {0.0, h, h, 0.0};
}

// Two uncoupled lines, 1 -> 2 and 3 -> 4 (or 1 -> 3 and 2 -> 4), with far-end
// crosstalk c H between them (into the other line's far end).
std::function<std::vector<Complex>(double)> pair_4port(bool odd_even, double c) {
    return [odd_even, c](double f) {
        const Complex h = builtin_response(f);
        std::vector<Complex> s(16, 0.0);
        auto set = [&](int i, int j, Complex v) {
            s[static_cast<std::size_t>((i - 1) * 4 + (j - 1))] = v;
            s[static_cast<std::size_t>((j - 1) * 4 + (i - 1))] = v;
        };
        const int a_in = 1;
        const int a_out = odd_even ? 2 : 3;
        const int b_in = odd_even ? 3 : 2;
        const int b_out = 4;
        set(a_out, a_in, h);
        set(b_out, b_in, h);
        set(b_out, a_in, c * h);
        set(a_out, b_in, c * h);
        set(a_in, a_in, 0.05);  // reflections leave Sdd21 alone
        set(b_out, b_out, -0.05);
        return s;
    };
}

// The pulse response of one bit: the running sum of kSpb samples times dt.
std::vector<double> pulse(const std::vector<double> &h, std::size_t from, std::size_t count) {
    std::vector<double> p(count, 0.0);
    for (std::size_t n = 0; n < count; ++n) {
        for (std::size_t m = n + 1 >= kSpb ? n + 1 - kSpb : 0; m <= n; ++m) {
            p[n] += from + m < h.size() ? h[from + m] * kDt : 0.0;
        }
    }
    return p;
}

// Largest difference of two pulse responses over their first 64 bits,
// relative to the reference's main cursor.
double pulse_error(const amisim::Channel &read, const std::vector<double> &reference,
                   std::size_t lead) {
    const std::size_t count = 64 * kSpb;
    const std::vector<double> expected = pulse(reference, 0, count);
    const std::vector<double> actual = pulse(read.columns[0], lead, count);
    double main = 0.0;
    double worst = 0.0;
    for (std::size_t n = 0; n < count; ++n) {
        main = std::max(main, std::fabs(expected[n]));
        worst = std::max(worst, std::fabs(actual[n] - expected[n]));
    }
    return worst / main;
}

std::size_t lead_of(const std::string &description) {
    const auto at = description.find("the first ");
    return at == std::string::npos ? 0 : std::stoul(description.substr(at + 10));
}

// Tests of the conversion, which the i386 build does not have.
template <typename Base>
class NeedsFft : public Base {
  protected:
    void SetUp() override {
        if (!amisim::fft_available()) {
            GTEST_SKIP() << "the i386 build reads no Touchstone channels";
        }
    }
};

class TouchstoneConversion : public NeedsFft<::testing::Test> {};

// --- 1. The built-in line, written in every format and unit, read back ---

struct LineCase {
    const char *name;
    FileFormat file;
    double first;  // Hz
    double tolerance;
};

void PrintTo(const LineCase &c, std::ostream *out) {
    *out << c.name;
}

class BuiltinLineAsTouchstone : public NeedsFft<::testing::TestWithParam<LineCase>> {};

// The file ends at 50 GHz, where the line has lost 48 dB; the taper from
// 40 GHz and the cut there are what the conversion changes, by 0.22% of the
// main cursor at most over the first 64 bits. Cursors must agree within
// 0.5% of the main cursor over those bits. From 10 MHz up, the
// extrapolation to DC misses the line's sqrt(f) loss below 10 MHz (0.45 dB),
// which lives in the tail beyond 64 bits, so the same bound holds.
const LineCase kLineCases[] = {
    {"RI_GHz_from_DC", {"RI", "GHz", 1e9}, 0.0, 0.005},
    {"MA_Hz_from_DC", {"MA", "Hz", 1.0}, 0.0, 0.005},
    {"DB_GHz_from_DC", {"DB", "GHz", 1e9}, 0.0, 0.005},
    {"DB_Hz_from_10MHz", {"DB", "Hz", 1.0}, 10e6, 0.005},
    {"RI_Hz_from_10MHz", {"RI", "Hz", 1.0}, 10e6, 0.005},
    {"MA_GHz_from_10MHz", {"MA", "GHz", 1e9}, 10e6, 0.005},
};

TEST_P(BuiltinLineAsTouchstone, RecoversTheBuiltinPulseResponse) {
    const LineCase &c = GetParam();
    const std::string path =
        write_file(std::string("line_") + c.name + ".s2p",
                   touchstone_text(2, c.file, grid(c.first, 10e6, 50e9), line_2port));
    amisim::Channel read;
    std::string error;
    ASSERT_TRUE(amisim::read_touchstone_channel(path, "", kDt, read, error)) << error;
    const amisim::Channel builtin = amisim::default_channel({}, kDt, 64 * kSpb);
    EXPECT_LT(pulse_error(read, builtin.columns[0], lead_of(read.description)), c.tolerance)
        << read.description;
    EXPECT_THAT(read.description, Not(HasSubstr("warning")));
}

INSTANTIATE_TEST_SUITE_P(Formats, BuiltinLineAsTouchstone, ::testing::ValuesIn(kLineCases),
                         [](const auto &row) { return std::string(row.param.name); });

// --- 2. The same line as a differential pair, in both port numberings ---

struct PairCase {
    const char *name;
    bool odd_even;      // lines 1 -> 2 and 3 -> 4, else 1 -> 3 and 2 -> 4
    const char *ports;  // the --ports that names them
    double crosstalk;   // Sdd21 = (1 - c) H
};

void PrintTo(const PairCase &c, std::ostream *out) {
    *out << c.name;
}

class DifferentialPair : public NeedsFft<::testing::TestWithParam<PairCase>> {};

const PairCase kPairCases[] = {
    {"odd_even_default", true, "", 0.0},
    {"odd_even_named", true, "1,3,2,4", 0.0},
    {"in_out_sides", false, "1,2,3,4", 0.0},
    {"odd_even_with_crosstalk", true, "1,3,2,4", 0.2},
    {"in_out_sides_with_crosstalk", false, "1,2,3,4", 0.2},
    {"swapped_output_pair_inverts", true, "1,3,4,2", 0.0},
};

TEST_P(DifferentialPair, GivesTheLinesResponseScaledByTheCrosstalk) {
    const PairCase &c = GetParam();
    const FileFormat file{"MA", "GHz", 1e9};
    const std::string path = write_file(
        std::string("pair_") + c.name + ".s4p",
        touchstone_text(4, file, grid(0.0, 10e6, 50e9), pair_4port(c.odd_even, c.crosstalk)));
    amisim::Channel read;
    std::string error;
    ASSERT_TRUE(amisim::read_touchstone_channel(path, c.ports, kDt, read, error)) << error;
    amisim::Channel expected = amisim::default_channel({}, kDt, 64 * kSpb);
    const double gain = std::string(c.ports) == "1,3,4,2" ? -1.0 : 1.0 - c.crosstalk;
    for (double &h : expected.columns[0]) {
        h *= gain;
    }
    EXPECT_LT(pulse_error(read, expected.columns[0], lead_of(read.description)), 0.005)
        << read.description;
}

INSTANTIATE_TEST_SUITE_P(PortOrders, DifferentialPair, ::testing::ValuesIn(kPairCases),
                         [](const auto &row) { return std::string(row.param.name); });

TEST(DifferentialPair, WrongNumberingIsFlaggedOrRefused) {
    if (!amisim::fft_available()) {
        GTEST_SKIP();
    }
    // Lines 1 -> 3 and 2 -> 4 read with the default 1,3 -> 2,4: with
    // crosstalk c the pair's Sdd21 is -c H, 0.2 at DC where 1,2,3,4 gives
    // 0.8; without it, zero at every frequency.
    amisim::Channel read;
    std::string error;
    const std::string coupled = write_file(
        "pair_misnumbered.s4p",
        touchstone_text(4, {"RI", "GHz", 1e9}, grid(0.0, 50e6, 20e9), pair_4port(false, 0.2)));
    ASSERT_TRUE(amisim::read_touchstone_channel(coupled, "", kDt, read, error)) << error;
    EXPECT_THAT(read.description,
                HasSubstr("ports: |Sdd21| at 0 Hz is 0.2 but 0.8 with --ports 1,2,3,4; check the "
                          "file's port numbering"));
    const std::string uncoupled = write_file(
        "pair_misnumbered_uncoupled.s4p",
        touchstone_text(4, {"RI", "GHz", 1e9}, grid(0.0, 50e6, 20e9), pair_4port(false, 0.0)));
    EXPECT_FALSE(amisim::read_touchstone_channel(uncoupled, "", kDt, read, error));
    EXPECT_THAT(error, HasSubstr(uncoupled + ": the through response with --ports 1,3,2,4 is zero "
                                             "at every frequency"));
}

// --- 3. An attenuator and an active network ---

TEST_F(TouchstoneConversion, ThreeDecibelAttenuatorPassesItsGain) {
    const double gain = std::pow(10.0, -3.0 / 20.0);
    const std::string path =
        write_file("attenuator.s2p",
                   touchstone_text(2, {"DB", "MHz", 1e6}, grid(10e6, 10e6, 40e9), [](double) {
                       const Complex t = std::pow(10.0, -3.0 / 20.0);
                       return std::vector<Complex>{0.0, t, t, 0.0};
                   }));
    amisim::Channel read;
    std::string error;
    ASSERT_TRUE(amisim::read_touchstone_channel(path, "", kDt, read, error)) << error;
    double area = 0.0;
    for (double h : read.columns[0]) {
        area += h * kDt;
    }
    EXPECT_NEAR(area, gain, 1e-4);
    EXPECT_NEAR(area, 0.708, 0.0005);
    EXPECT_THAT(read.description, HasSubstr("DC:        0.707946"));
    EXPECT_THAT(read.description, Not(HasSubstr("passivity")));
}

TEST_F(TouchstoneConversion, ActiveNetworkIsWarnedAbout) {
    // |S21| rises above 1 from 2 GHz: 1.05 at 5 GHz.
    const std::string path = write_file(
        "active.s2p", touchstone_text(2, {"MA", "GHz", 1e9}, grid(0.0, 100e6, 10e9), [](double f) {
            const Complex t = 0.9 + 0.03 * f / 1e9;
            return std::vector<Complex>{0.1, t, t, 0.1};
        }));
    amisim::Channel read;
    std::string error;
    ASSERT_TRUE(amisim::read_touchstone_channel(path, "", kDt, read, error)) << error;
    EXPECT_THAT(read.description,
                HasSubstr("passivity: |S21| exceeds 1 at 67 of 101 frequencies (3.4 GHz to 10 "
                          "GHz), at most 1.2 at 10 GHz"));
    // Both columns exceed 1 from 3.2 GHz: each frequency counts once.
    EXPECT_THAT(read.description,
                HasSubstr("sum over i of |S_ij|^2, exceeds 1 at 69 of 101 frequencies (3.2 GHz"));
}

TEST_F(TouchstoneConversion, NonCausalDataAreWarnedAbout) {
    // A response that arrives 1 ns before it was sent.
    const std::string path = write_file(
        "early.s2p", touchstone_text(2, {"RI", "GHz", 1e9}, grid(0.0, 10e6, 20e9), [](double f) {
            const Complex t = 0.5 * std::polar(1.0, 2.0 * kPi * f * 1e-9);
            return std::vector<Complex>{0.0, t, t, 0.0};
        }));
    amisim::Channel read;
    std::string error;
    ASSERT_TRUE(amisim::read_touchstone_channel(path, "", kDt, read, error)) << error;
    EXPECT_THAT(read.description, HasSubstr("warning:   causality:"));
}

TEST_F(TouchstoneConversion, PhaseExtrapolatedToDcAtAQuarterTurnIsWarnedAbout) {
    const std::string path =
        write_file("quadrature.s2p",
                   touchstone_text(2, {"MA", "GHz", 1e9}, grid(100e6, 100e6, 10e9), [](double) {
                       const Complex t(0.0, 0.5);
                       return std::vector<Complex>{0.0, t, t, 0.0};
                   }));
    amisim::Channel read;
    std::string error;
    ASSERT_TRUE(amisim::read_touchstone_channel(path, "", kDt, read, error)) << error;
    EXPECT_THAT(read.description, HasSubstr("the phase line meets DC at 90.0 deg"));
}

TEST_F(TouchstoneConversion, SparseGridForTheDelayIsWarnedAbout) {
    // 1 ns of delay sampled every 400 MHz: 144 degrees a step.
    const std::string path = write_file(
        "sparse.s2p", touchstone_text(2, {"RI", "GHz", 1e9}, grid(0.0, 400e6, 20e9), [](double f) {
            const Complex t = 0.8 * std::polar(1.0, -2.0 * kPi * f * 1e-9);
            return std::vector<Complex>{0.0, t, t, 0.0};
        }));
    amisim::Channel read;
    std::string error;
    ASSERT_TRUE(amisim::read_touchstone_channel(path, "", kDt, read, error)) << error;
    EXPECT_THAT(read.description,
                HasSubstr("sparse grid: the phase turns by 144 deg between points"));
}

// --- 4. Inverted networks, data far above DC, the band's top, the period ---

struct InvertedCase {
    const char *name;
    int ports;
    const char *upright_ports;
    const char *inverted_ports;  // the same file's pair read the other way round
    double first;                // Hz
    double step;                 // Hz
};

void PrintTo(const InvertedCase &c, std::ostream *out) {
    *out << c.name;
}

class InvertedNetwork : public NeedsFft<::testing::TestWithParam<InvertedCase>> {};

// A 0 Hz point of -|H| must not put a turn of phase between DC and the
// next point (with 1 GHz steps that delayed the response by 1 ns).
const InvertedCase kInvertedCases[] = {
    {"from_DC_in_1GHz_steps", 2, "", "", 0.0, 1e9},
    {"from_DC_in_10MHz_steps", 2, "", "", 0.0, 10e6},
    {"from_10MHz", 2, "", "", 10e6, 10e6},
    {"pair_read_in_the_other_polarity", 4, "1,3,2,4", "1,3,4,2", 0.0, 1e9},
};

// The inverted copy converts to exactly the negated response, and its
// description says the same with the DC value negated.
TEST_P(InvertedNetwork, GivesExactlyTheNegatedResponse) {
    const InvertedCase &c = GetParam();
    const std::vector<double> f = grid(c.first, c.step, 40e9);
    const std::string extension = c.ports == 2 ? ".s2p" : ".s4p";
    const auto upright = c.ports == 2 ? line_2port : pair_4port(true, 0.0);
    const std::string upright_path =
        write_file(std::string("upright_") + c.name + extension,
                   touchstone_text(c.ports, {"RI", "GHz", 1e9}, f, upright));
    std::string inverted_path = upright_path;
    if (c.ports == 2) {
        inverted_path =
            write_file(std::string("inverted_") + c.name + extension,
                       touchstone_text(c.ports, {"RI", "GHz", 1e9}, f, [](double frequency) {
                           std::vector<Complex> s = line_2port(frequency);
                           s[1] = -s[1];
                           s[2] = -s[2];
                           return s;
                       }));
    }
    amisim::Channel up;
    amisim::Channel down;
    std::string error;
    ASSERT_TRUE(amisim::read_touchstone_channel(upright_path, c.upright_ports, kDt, up, error))
        << error;
    ASSERT_TRUE(amisim::read_touchstone_channel(inverted_path, c.inverted_ports, kDt, down, error))
        << error;
    ASSERT_EQ(up.columns[0].size(), down.columns[0].size());
    for (std::size_t i = 0; i < up.columns[0].size(); ++i) {
        ASSERT_EQ(down.columns[0][i], -up.columns[0][i]) << "sample " << i;
    }
    const auto dc_line = [](const std::string &text) {
        const auto at = text.find("DC:        ");
        return text.substr(at, text.find('\n', at) - at);
    };
    std::string negated = dc_line(up.description);
    negated.insert(11, "-");
    EXPECT_EQ(dc_line(down.description).substr(0, 20), negated.substr(0, 20));
    EXPECT_EQ(lead_of(down.description), lead_of(up.description));
}

INSTANTIATE_TEST_SUITE_P(Lines, InvertedNetwork, ::testing::ValuesIn(kInvertedCases),
                         [](const auto &row) { return std::string(row.param.name); });

// A flat 0.5 delayed by 0.3 ns, known from 1 GHz up only: the phase line
// meets DC at 0, so DC is 0.5, the area 0.5 and the peak at 0.3 ns.
TEST_F(TouchstoneConversion, DataFarAboveDcKeepTheirDelayAndGain) {
    constexpr double kDelay = 0.3e-9;
    const std::string path =
        write_file("delay_from_1GHz.s2p",
                   touchstone_text(2, {"RI", "GHz", 1e9}, grid(1e9, 100e6, 40e9), [](double f) {
                       const Complex t = 0.5 * std::polar(1.0, -2.0 * kPi * f * kDelay);
                       return std::vector<Complex>{0.0, t, t, 0.0};
                   }));
    amisim::Channel read;
    std::string error;
    ASSERT_TRUE(amisim::read_touchstone_channel(path, "", kDt, read, error)) << error;
    EXPECT_THAT(read.description, HasSubstr("DC:        0.5 "));
    const std::vector<double> &h = read.columns[0];
    double area = 0.0;
    for (double sample : h) {
        area += sample * kDt;
    }
    EXPECT_NEAR(area, 0.5, 1e-3);
    const auto peak = static_cast<std::size_t>(
        std::max_element(h.begin(), h.end(), [](double a, double b) { return a < b; }) - h.begin());
    EXPECT_EQ(peak, lead_of(read.description) + 96);  // 0.3 ns is 96 samples
}

// A flat through up to the band's top (80 GHz, half of Nyquist) delayed by
// 64 samples: what comes out is the taper's own impulse response, the
// raised-cosine pulse 2 fc sinc(2 fc t) cos(2 pi w t) / (1 - (4 w t)^2),
// fc the taper's middle (72 GHz) and w its half-width (8 GHz).
TEST_F(TouchstoneConversion, FlatThroughGivesTheTapersRaisedCosinePulse) {
    constexpr int kDelaySamples = 64;
    const std::string path =
        write_file("flat_to_80GHz.s2p",
                   touchstone_text(2, {"RI", "GHz", 1e9}, grid(0.0, 100e6, 80e9), [](double f) {
                       const Complex t = std::polar(1.0, -2.0 * kPi * f * kDelaySamples * kDt);
                       return std::vector<Complex>{0.0, t, t, 0.0};
                   }));
    amisim::Channel read;
    std::string error;
    ASSERT_TRUE(amisim::read_touchstone_channel(path, "", kDt, read, error)) << error;
    EXPECT_THAT(read.description, HasSubstr("raised-cosine taper from 64 GHz"));
    const double fc = 72e9;
    const double w = 8e9;
    const auto raised_cosine = [&](double t) {
        const double x = 2.0 * fc * t;
        const double sinc = x == 0.0 ? 1.0 : std::sin(kPi * x) / (kPi * x);
        const double d = 4.0 * w * t;
        const double shaping =
            std::fabs(d) == 1.0 ? kPi / 4.0 : std::cos(2.0 * kPi * w * t) / (1.0 - d * d);
        return 2.0 * fc * sinc * shaping;
    };
    const std::vector<double> &h = read.columns[0];
    const auto lead = static_cast<long>(lead_of(read.description));
    double worst = 0.0;
    for (long i = 0; i < static_cast<long>(h.size()); ++i) {
        const double t = static_cast<double>(i - lead - kDelaySamples) * kDt;
        worst = std::max(worst, std::fabs(h[static_cast<std::size_t>(i)] - raised_cosine(t)));
    }
    EXPECT_LT(worst, 1e-3 * 2.0 * fc);
}

// Steps too fine for the largest FFT at this sample interval: the period
// falls short of 1 / step and the response wraps, which the run says.
TEST_F(TouchstoneConversion, PeriodShorterThanTheDataNeedIsWarnedAbout) {
    const std::string path =
        write_file("fine_steps.s2p",
                   touchstone_text(2, {"RI", "GHz", 1e9}, grid(0.0, 10e6, 20e9), line_2port));
    amisim::Channel read;
    std::string error;
    ASSERT_TRUE(amisim::read_touchstone_channel(path, "", 5e-14, read, error)) << error;
    EXPECT_THAT(read.description,
                HasSubstr("period: the FFT is at its largest, 1048576 points, a period of 52.43 "
                          "ns, shorter than the 100 ns (1 / frequency step) the data resolve"));
}

// --- The reader: version 2 keywords, line continuations, options ---

TEST(TouchstoneReader, ByteOrderMarkBeforeTheFirstLineIsSkipped) {
    const std::string content =
        "\xEF\xBB\xBF# GHz S RI R 50\n1 0 0 1 0 1 0 0 0\n2 0 0 1 0 1 0 0 0\n";
    EXPECT_TRUE(amisim::looks_like_touchstone(write_file("bom.txt", content)));
    amisim::Network network;
    std::string error;
    ASSERT_TRUE(amisim::read_touchstone(write_file("bom.s2p", content), network, error)) << error;
    EXPECT_THAT(network.frequencies, ::testing::ElementsAre(1e9, 2e9));
}

TEST(TouchstoneReader, ReadsVersion2WithEitherTwoPortOrder) {
    for (const char *order : {"12_21", "21_12"}) {
        SCOPED_TRACE(order);
        const std::string path =
            write_file(std::string("v2_") + order + ".ts",
                       std::string("[Version] 2.0\n# mhz s ri r 75\n[Number of Ports] 2\n") +
                           "[Two-Port Data Order] " + order +
                           "\n[Number of Frequencies] 2\n[Reference] 75\n  60\n"
                           "[Network Data]\n100 0.1 0 0.2 0 0.3 0 0.4 0\n"
                           "200 0.1 0 0.2 0 0.3 0 0.4 0 ! comment\n[End]\n");
        ASSERT_TRUE(amisim::looks_like_touchstone(path));
        amisim::Network network;
        std::string error;
        ASSERT_TRUE(amisim::read_touchstone(path, network, error)) << error;
        EXPECT_EQ(network.version, 2);
        EXPECT_THAT(network.frequencies, ::testing::ElementsAre(100e6, 200e6));
        EXPECT_THAT(network.reference_ohms, ::testing::ElementsAre(75.0, 60.0));
        const bool s12_first = std::string(order) == "12_21";
        EXPECT_DOUBLE_EQ(network.at(1, 1, 2).real(), s12_first ? 0.2 : 0.3);
        EXPECT_DOUBLE_EQ(network.at(1, 2, 1).real(), s12_first ? 0.3 : 0.2);
    }
}

TEST(TouchstoneReader, DefaultsToGigahertzMagnitudeAngleAnd50Ohm) {
    const std::string path =
        write_file("defaults.s2p", "#\n1 0 0 0.5 90 0.5 90 0 0\n2 0 0 0.5 180 0.5 0 0 0\n");
    amisim::Network network;
    std::string error;
    ASSERT_TRUE(amisim::read_touchstone(path, network, error)) << error;
    EXPECT_THAT(network.frequencies, ::testing::ElementsAre(1e9, 2e9));
    EXPECT_NEAR(network.at(0, 2, 1).imag(), 0.5, 1e-15);
    EXPECT_NEAR(network.at(1, 2, 1).real(), -0.5, 1e-15);
    EXPECT_THAT(network.reference_ohms, ::testing::ElementsAre(50.0, 50.0));
}

TEST(TouchstoneReader, ContentTellsATouchstoneFileFromAChannelFile) {
    EXPECT_TRUE(amisim::looks_like_touchstone(write_file("a.txt", "\n# GHz S RI R 50\n")));
    EXPECT_TRUE(amisim::looks_like_touchstone(write_file("b.txt", "[version] 2.0\n")));
    EXPECT_TRUE(amisim::looks_like_touchstone(write_file("c.S4P", "1 2 3\n")));
    EXPECT_FALSE(amisim::looks_like_touchstone(write_file("d.txt", "# time, impulse\n0 1\n")));
    EXPECT_FALSE(amisim::looks_like_touchstone(write_file("e.txt", "0 1e9\n")));
}

TEST(PortOrder, RejectsListsThatDoNotNameDistinctPorts) {
    amisim::PortOrder order;
    std::string error;
    for (const char *bad : {"1,2,3", "1,1,2,3", "1,2,3,5", "a,b,c,d", "1,2,3,4,"}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(amisim::parse_port_order(bad, 4, order, error));
        EXPECT_THAT(error, HasSubstr("P1+,P1-,P2+,P2-, four different ports from 1 to 4"));
    }
    EXPECT_FALSE(amisim::parse_port_order("1,3", 2, order, error));
    EXPECT_TRUE(amisim::parse_port_order("2,1", 2, order, error));
    EXPECT_EQ(order.in_plus, 2);
    EXPECT_EQ(order.out_plus, 1);
}

// --- 5. Malformed files: each a clear FILE:LINE message ---

struct MalformedCase {
    const char *name;
    const char *extension;
    const char *content;
    const char *message;  // after "FILE:"
};

void PrintTo(const MalformedCase &c, std::ostream *out) {
    *out << c.name;
}

const MalformedCase kMalformed[] = {
    {"truncated_2port_line", ".s2p", "# GHz S RI R 50\n1 0 0 1 0 1 0 0 0\n2 0 0 1 0\n",
     ":3: 5 values where a 2-port line holds 9"},
    {"truncated_4port_record", ".s4p",
     "# GHz S RI R 50\n1 0 0 0 0 0 0 0 0\n 0 0 0 0 0 0 0 0\n 0 0 0 0 0 0 0 0\n",
     ":4: the file ends inside the record for 1 GHz begun on line 2: 25 of 33 values"},
    {"too_many_values", ".s4p",
     "# GHz S RI R 50\n1 0 0 0 0 0 0 0 0\n0 0 0 0 0 0 0 0\n0 0 0 0 0 0 0 0\n0 0 0 0 0 0 0 0 9\n",
     ":5: 34 values for the frequency on line 2, where a 4-port record holds 33"},
    {"nan", ".s2p", "# GHz S RI R 50\n1 0 0 nan 0 1 0 0 0\n", ":2: 'nan' is not a finite number"},
    {"infinity", ".s2p", "# GHz S RI R 50\n1 0 0 1 0 1 0 0 0\n2 0 0 1 inf 1 0 0 0\n",
     ":3: 'inf' is not a finite number"},
    {"huge_ri", ".s2p", "# GHz S RI R 50\n1 0 0 1e308 1e308 1 0 0 0\n",
     ":2: S21 at 1 GHz has a magnitude that is not a finite number up to 1e6"},
    {"huge_db", ".s2p", "# GHz S DB R 50\n1 0 0 0 0 0 0 400 0\n",
     ":2: S22 at 1 GHz has a magnitude that is not a finite number up to 1e6"},
    {"word", ".s2p", "# GHz S RI R 50\n1 0 0 1 0 1 0 0 zero\n", ":2: 'zero' is not a number"},
    {"falling_frequency", ".s2p",
     "# GHz S RI R 50\n1 0 0 1 0 1 0 0 0\n3 0 0 1 0 1 0 0 0\n2 0 0 1 0 1 0 0 0\n",
     ":4: frequency 2 GHz is not above the one before it, 3 GHz (frequencies must rise)"},
    {"repeated_frequency", ".s2p", "# GHz S RI R 50\n1 0 0 1 0 1 0 0 0\n1 0 0 1 0 1 0 0 0\n",
     ":3: frequency 1 GHz is not above the one before it"},
    {"frequency_beyond_hz", ".s2p", "# GHz S RI R 50\n1e300 0 0 1 0 1 0 0 0\n",
     ":2: frequency 1e+300 GHz is beyond any finite number of Hz"},
    {"negative_frequency", ".s2p", "# GHz S RI R 50\n-1 0 0 1 0 1 0 0 0\n0 0 0 1 0 1 0 0 0\n",
     ":2: negative frequency -1 GHz"},
    {"second_option_line", ".s2p", "! x\n# GHz S RI R 50\n# MHz S MA R 50\n",
     ":3: a second option line (the first is on line 2)"},
    {"unknown_format", ".s2p", "# GHz S XY R 50\n",
     ":1: option line: 'XY' is none of the units Hz, kHz, MHz, GHz"},
    {"y_parameters", ".s2p", "# GHz Y RI R 50\n", ":1: option line: Y parameters; only S"},
    {"resistance_missing", ".s2p", "# GHz S RI R\n", ":1: option line: R needs a reference"},
    {"no_option_line", ".s2p", "! only data\n1 0 0 1 0 1 0 0 0\n",
     ":2: data before the option line"},
    {"one_frequency", ".s2p", "# GHz S RI R 50\n1 0 0 1 0 1 0 0 0\n",
     ":2: one frequency only; a response needs at least two"},
    {"no_data", ".s2p", "! nothing\n# GHz S RI R 50\n", ":2: no network data"},
    {"three_ports", ".s3p", "# GHz S RI R 50\n", ": a 3-port file; only 2-port and 4-port"},
    {"ports_unknown", ".txt", "# GHz S RI R 50\n1 0 0 1 0 1 0 0 0\n",
     ":2: a version 1 file says its number of ports by its extension"},
    {"v2_ports_missing", ".ts", "[Version] 2.0\n# GHz S RI R 50\n[Network Data]\n",
     ":3: [Network Data] without [Number of Ports] before it"},
    {"v2_three_ports", ".ts", "[Version] 2.0\n[Number of Ports] 3\n",
     ":2: [Number of Ports] 3: only 2-port and 4-port networks are read"},
    {"v2_order_missing", ".ts",
     "[Version] 2.0\n# GHz S RI R 50\n[Number of Ports] 2\n[Network Data]\n",
     ":4: [Network Data] of a 2-port without [Two-Port Data Order]"},
    {"v2_lower_matrix", ".ts",
     "[Version] 2.0\n# GHz S RI R 50\n[Number of Ports] 4\n[Matrix Format] Lower\n",
     ":4: [Matrix Format] Lower: only Full matrices are read"},
    {"v2_count_differs", ".ts",
     "[Version] 2.0\n# GHz S RI R 50\n[Number of Ports] 2\n[Two-Port Data Order] 21_12\n"
     "[Number of Frequencies] 3\n[Network Data]\n1 0 0 1 0 1 0 0 0\n2 0 0 1 0 1 0 0 0\n[End]\n",
     ":9: [Number of Frequencies] says 3 and the network data holds 2"},
    {"v2_record_cut_by_noise_data", ".ts",
     "[Version] 2.0\n# MHz S RI R 50\n[Number of Ports] 2\n[Two-Port Data Order] 12_21\n"
     "[Network Data]\n100 4.4 0\n[Noise Data]\n",
     ":7: the record for 100 MHz begun on line 6 ends here with 3 of 9 values"},
    {"v2_unknown_keyword", ".ts", "[Version] 2.0\n[Colour] blue\n", ":2: unknown keyword [Colour]"},
    {"v1_with_keyword", ".s2p", "# GHz S RI R 50\n[Number of Ports] 2\n",
     ":2: [Number of Ports] in a file without [Version] 2.0"},
    {"v2_bad_reference", ".ts", "[Version] 2.0\n[Number of Ports] 2\n[Reference] 50 -1\n",
     ":3: [Reference]: '-1' is not an impedance in ohms above 0"},
};

class MalformedTouchstone : public ::testing::TestWithParam<MalformedCase> {};

TEST_P(MalformedTouchstone, IsRefusedWithFileAndLine) {
    const MalformedCase &c = GetParam();
    const std::string path = write_file(std::string("bad_") + c.name + c.extension, c.content);
    amisim::Network network;
    std::string error;
    EXPECT_FALSE(amisim::read_touchstone(path, network, error));
    EXPECT_THAT(error, HasSubstr(path + c.message));
}

INSTANTIATE_TEST_SUITE_P(Files, MalformedTouchstone, ::testing::ValuesIn(kMalformed),
                         [](const auto &row) { return std::string(row.param.name); });

}  // namespace
