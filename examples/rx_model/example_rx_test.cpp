// The kit's example receiver as a simulator drives it: timing values it
// must refuse, the clock ticks it may write, and the statistical DFE on
// channels it was not tuned on.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cmath>
#include <complex>
#include <cstdio>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

#include "Kestrom_AMI_Model.h"
#include "tools/amisim/channel/channel.h"
#include "tools/amisim/channel/touchstone_channel.h"

namespace {

constexpr double kDt = 3.125e-12;
constexpr int kSpb = 32;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

using InitFunction = long (*)(double *, long, long, double, double, char *, char **, void **,
                              char **);
using GetWaveFunction = long (*)(double *, long, double *, char **, void *);
using CloseFunction = long (*)(void *);

// The example's library, loaded as a simulator loads it.
class ExampleRx : public ::testing::Test {
  protected:
    void SetUp() override {
        library_ = dlopen(EXAMPLE_RX_LIBRARY, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(library_, nullptr) << dlerror();
        init_ = reinterpret_cast<InitFunction>(dlsym(library_, "AMI_Init"));
        get_wave_ = reinterpret_cast<GetWaveFunction>(dlsym(library_, "AMI_GetWave"));
        close_ = reinterpret_cast<CloseFunction>(dlsym(library_, "AMI_Close"));
        ASSERT_TRUE(init_ != nullptr && get_wave_ != nullptr && close_ != nullptr);
    }
    void TearDown() override {
        if (memory_ != nullptr) {
            close_(memory_);
        }
        if (library_ != nullptr) {
            dlclose(library_);
        }
    }

    long init(std::vector<double> &impulse, double sample_interval, double bit_time,
              std::string parameters = "") {
        return init_(impulse.empty() ? nullptr : impulse.data(), static_cast<long>(impulse.size()),
                     0, sample_interval, bit_time, &parameters[0], &params_out_, &memory_, &msg_);
    }

    void *library_ = nullptr;
    InitFunction init_ = nullptr;
    GetWaveFunction get_wave_ = nullptr;
    CloseFunction close_ = nullptr;
    void *memory_ = nullptr;
    char *params_out_ = nullptr;
    char *msg_ = nullptr;
};

// Timing the blocks would divide by, or that makes bits of billions of
// samples: no instance, the failure result and the reason.
TEST_F(ExampleRx, RefusesTimingThatIsNotAFiniteTimeAboveZero) {
    struct Case {
        const char *name;
        double sample_interval;
        double bit_time;
        const char *named;
    };
    const Case cases[] = {
        {"zero interval", 0.0, 1e-10, "sample_interval"},
        {"NaN interval", kNaN, 1e-10, "sample_interval"},
        {"negative interval", -1e-12, 1e-10, "sample_interval"},
        {"infinite interval", kInf, 1e-10, "sample_interval"},
        {"zero bit", 1e-12, 0.0, "bit_time"},
        {"NaN bit", 1e-12, kNaN, "bit_time"},
        {"infinite bit", 1e-12, kInf, "bit_time"},
        {"bit of 2^31 samples", 1e-12, 2147483648e-12, "bit_time"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<double> impulse(64, 1e9);
        memory_ = &impulse;  // anything but null: Init must clear it
        EXPECT_EQ(init(impulse, c.sample_interval, c.bit_time), 0);
        EXPECT_EQ(memory_, nullptr);
        ASSERT_NE(msg_, nullptr);
        EXPECT_EQ(std::string(msg_).rfind("**Error** Example_Rx: ", 0), 0u) << msg_;
        EXPECT_NE(std::string(msg_).find(c.named), std::string::npos) << msg_;
        EXPECT_EQ(impulse, std::vector<double>(64, 1e9));
    }
}

TEST_F(ExampleRx, SaysWhenItIsGivenNoMemoryHandle) {
    char *msg = nullptr;
    EXPECT_EQ(init_(nullptr, 0, 0, kDt, kSpb * kDt, nullptr, nullptr, nullptr, &msg), 0);
    ASSERT_NE(msg, nullptr);
    EXPECT_NE(std::string(msg).find("no memory handle"), std::string::npos) << msg;
}

// The simulator sizes clock_times for the bits of the block and the
// terminator. Bits sent 3% short keep the clock pulling early, so that
// ticks come closer than a bit and drift through every place in the
// blocks: blocks of 1, 32 and 33 samples never get more than that room.
TEST_F(ExampleRx, WritesNoMoreTicksThanTheBlockHoldsBits) {
    constexpr double kGuard = 12345.0;
    for (long size : {1L, 32L, 33L}) {
        SCOPED_TRACE("blocks of " + std::to_string(size));
        std::vector<double> impulse;
        ASSERT_EQ(init(impulse, kDt, kSpb * kDt, "(Example_Rx (CDR_Mode adapt))"), 1);
        const long room = (size + kSpb - 1) / kSpb + 1;
        uint32_t state = 1;
        long sent = 0;
        double level = 0.5;
        long ticks = 0;
        for (long block = 0; block < 200000 / size; ++block) {
            std::vector<double> wave(static_cast<std::size_t>(size));
            for (double &v : wave) {
                if (sent++ % 31 == 0) {
                    state = state * 1103515245u + 12345u;
                    level = (state >> 30) % 2 == 0 ? -0.5 : 0.5;
                }
                v = level;
            }
            std::vector<double> clock(static_cast<std::size_t>(room + 4), kGuard);
            ASSERT_EQ(get_wave_(wave.data(), size, clock.data(), nullptr, memory_), 1);
            long k = 0;
            while (k < room && clock[static_cast<std::size_t>(k)] >= 0.0) {
                ++k;
            }
            ASSERT_LT(k, room) << "no terminator within the room, block " << block;
            ASSERT_EQ(clock[static_cast<std::size_t>(k)], -1.0);
            for (std::size_t g = static_cast<std::size_t>(room); g < clock.size(); ++g) {
                ASSERT_EQ(clock[g], kGuard) << "written past the room, block " << block;
            }
            ticks += k;
        }
        close_(memory_);
        memory_ = nullptr;
        // Nearly every bit of the waveform has its tick in the caller's array.
        EXPECT_GT(static_cast<double>(ticks), 0.95 * 200000.0 / kSpb);
    }
}

// --- The statistical DFE ------------------------------------------------

#ifdef AMISIM_TOUCHSTONE_EXAMPLE
constexpr double kPi = 3.14159265358979323846;

// A lossier line than the built-in one, written as a Touchstone file from
// its closed form: the skin effect of a line twice as long, exp(-2k sqrt(s)),
// a dielectric-like pole at 5 GHz, 10 MHz to 40 GHz.
std::string lossy_line_file() {
    const std::string path = ::testing::TempDir() + "example_rx_lossy_line.s2p";
    std::ofstream file(path);
    file << "# GHz S RI R 50\n";
    const amisim::DefaultChannelShape shape;
    char line[200];
    for (int k = 1; k <= 4000; ++k) {
        const double f = 1e7 * k;
        const std::complex<double> s(0.0, 2.0 * kPi * f);
        const std::complex<double> h =
            std::exp(-2.0 * shape.skin_k * std::sqrt(s)) / (1.0 + s / (2.0 * kPi * 5e9));
        std::snprintf(line, sizeof line, "%.9g 0 0 %.12g %.12g %.12g %.12g 0 0\n", f / 1e9,
                      h.real(), h.imag(), h.real(), h.imag());
        file << line;
    }
    return path;
}

std::vector<double> from_touchstone(const std::string &path) {
    amisim::Channel channel;
    std::string error;
    if (!amisim::read_touchstone_channel(path, "", kDt, channel, error)) {
        ADD_FAILURE() << error;
        return {};
    }
    return channel.columns[0];
}
#endif

// The pulse response's cursors: the main cursor (largest magnitude) and the
// post-cursors whole bits after it.
struct Cursors {
    double main = 0.0;
    std::vector<double> post;
};

Cursors cursors(const std::vector<double> &impulse, int taps) {
    std::vector<double> pulse(impulse.size());
    I2P(pulse.data(), impulse.data(), static_cast<int32_t>(impulse.size()), kSpb, kDt);
    std::size_t peak = 0;
    for (std::size_t i = 1; i < pulse.size(); ++i) {
        if (std::fabs(pulse[i]) > std::fabs(pulse[peak])) {
            peak = i;
        }
    }
    Cursors c{pulse[peak], {}};
    for (int k = 1; k <= taps; ++k) {
        const std::size_t at = peak + static_cast<std::size_t>(k * kSpb);
        c.post.push_back(at < pulse.size() ? pulse[at] : 0.0);
    }
    return c;
}

struct DfeChannel {
    const char *name;
    std::vector<double> (*impulse)();
};

std::vector<double> builtin(double skin_scale, std::size_t bits) {
    amisim::DefaultChannelShape shape;
    shape.skin_k *= skin_scale;
    return amisim::default_channel(shape, kDt, bits * kSpb).columns[0];
}

const DfeChannel kDfeChannels[] = {
    {"built-in line, half as long", [] { return builtin(0.5, 64); }},
    {"built-in line", [] { return builtin(1.0, 128); }},
    {"built-in line, twice as long", [] { return builtin(2.0, 256); }},
#ifdef AMISIM_TOUCHSTONE_EXAMPLE
    {"line_pair.s4p", [] { return from_touchstone(AMISIM_TOUCHSTONE_EXAMPLE); }},
    {"lossier line (Touchstone)", [] { return from_touchstone(lossy_line_file()); }},
#endif
};

// After AMI_Init every post-cursor the DFE has a tap for is within 1% of
// the main cursor, whatever the channel and the number of taps.
TEST_F(ExampleRx, DfeCancelsThePostCursorsOfThePulseResponse) {
    for (const DfeChannel &channel : kDfeChannels) {
        const std::vector<double> original = channel.impulse();
        ASSERT_FALSE(original.empty()) << channel.name;
        for (int taps : {1, 4, 8, 16}) {
            SCOPED_TRACE(std::string(channel.name) + ", " + std::to_string(taps) + " taps");
            std::vector<double> impulse = original;
            ASSERT_EQ(init(impulse, kDt, kSpb * kDt,
                           "(Example_Rx (DFE_Taps " + std::to_string(taps) + "))"),
                      1);
            close_(memory_);
            memory_ = nullptr;
            const Cursors after = cursors(impulse, taps);
            for (int k = 0; k < taps; ++k) {
                EXPECT_LE(std::fabs(after.post[static_cast<std::size_t>(k)]),
                          0.01 * std::fabs(after.main))
                    << "post-cursor " << k + 1;
            }
        }
    }
}

}  // namespace
