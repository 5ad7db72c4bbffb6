// The kit's example receiver as a simulator drives it: timing values it
// must refuse, the clock ticks it may write, the statistical DFE on
// channels it was not tuned on, and PAM4 links with what the receiver
// reports while it runs.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "Kestrom_AMI_Model.h"
#include "tools/amisim/analysis/model_reports.h"
#include "tools/amisim/channel/channel.h"
#include "tools/amisim/channel/channel_stream.h"
#include "tools/amisim/channel/touchstone_channel.h"
#include "tools/amisim/models/parameter_lists.h"
#include "tools/amisim/stimulus/gaussian_noise.h"
#include "tools/amisim/stimulus/jittered_source.h"

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
// the main cursor, whatever the channel, the number of taps and the
// modulation.
TEST_F(ExampleRx, DfeCancelsThePostCursorsOfThePulseResponse) {
    for (const DfeChannel &channel : kDfeChannels) {
        const std::vector<double> original = channel.impulse();
        ASSERT_FALSE(original.empty()) << channel.name;
        for (const char *modulation : {"NRZ", "PAM4"}) {
            for (int taps : {1, 4, 8, 16}) {
                SCOPED_TRACE(std::string(channel.name) + ", " + modulation + ", " +
                             std::to_string(taps) + " taps");
                std::vector<double> impulse = original;
                ASSERT_EQ(init(impulse, kDt, kSpb * kDt,
                               std::string("(Example_Rx (Rx_Modulation ") + modulation +
                                   ") (DFE_Taps " + std::to_string(taps) + "))"),
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
}

// --- PAM4, and what the receiver reports ---------------------------------

// The stimulus's levels for the symbols a SymbolStream gives (two bits, the
// first the more significant), Gray-mapped: 00 -1, 01 -1/3, 11 +1/3, 10 +1
// times the half swing of 1/2 V; and the rank of each level, lowest first.
const std::vector<double> kPam4Levels = {-0.5, -1.0 / 6.0, 0.5, 1.0 / 6.0};
constexpr int kPam4Rank[] = {0, 1, 3, 2};
const std::vector<double> kNrzLevels = {-0.5, 0.5};
constexpr int kNrzRank[] = {0, 1};
constexpr int kBlock = 4096;

// A link through the example: its output, its ticks with the call that
// returned each, and each call's output parameters.
struct LinkRun {
    std::vector<double> impulse;  // as AMI_Init returned it
    std::vector<double> wave;
    std::vector<double> ticks;
    std::vector<std::size_t> tick_call;
    std::vector<std::string> reports;
};

amisim::BitPattern link_pattern() {
    amisim::BitPattern pattern;
    pattern.prbs_order = 15;
    return pattern;
}

// What one call reported, read with the toolkit's own reader.
struct Reported {
    int32_t values = 0;
    std::string messages;
    std::vector<double> taps;
    double phase = kNaN;
    std::vector<double> thresholds;
};

Reported read_report(const std::string &text) {
    ParamArray taps{PARAM_DOUBLE_ARRAY, 0, nullptr};
    ParamArray thresholds{PARAM_DOUBLE_ARRAY, 0, nullptr};
    Param entries[] = {{"DFE_Taps_Now", PARAM_DOUBLE_ARRAY, {}},
                       {"CDR_Phase", PARAM_DOUBLE, {}},
                       {"PAM4_Thresholds", PARAM_DOUBLE_ARRAY, {}}};
    entries[0].value.array = &taps;
    entries[1].value.as_double = kNaN;
    entries[2].value.array = &thresholds;
    Reported r;
    char *msg = nullptr;
    r.values = ParseTree(text.c_str(), "Example_Rx", 3, entries, &msg);
    if (msg != nullptr) {
        r.messages = msg;
        std::free(msg);
    }
    const auto *tap_items = static_cast<const double *>(taps.items);
    const auto *threshold_items = static_cast<const double *>(thresholds.items);
    r.taps.assign(tap_items, tap_items + taps.count);
    r.phase = entries[1].value.as_double;
    r.thresholds.assign(threshold_items, threshold_items + thresholds.count);
    FreeTree("Example_Rx", 3, entries);
    return r;
}

// The eyes at the receiver's sampling instants (its ticks + 1/2 UI) from
// `settle` symbols on: symbol k's pulse peaks at k spb + c, c the main
// cursor of the pulse response AMI_Init returned. Each sample is decided
// with the thresholds of the call that returned its tick.
struct Eyes {
    std::size_t decided = 0;
    std::size_t errors = 0;
    std::vector<double> height;  // eye by eye, lowest first, at the instants
    double centre = kNaN;  // UI from the instants to the middle of the phases where all are open
};

Eyes measure(const LinkRun &run, const std::vector<double> &levels, const int *rank,
             std::size_t symbols, std::size_t settle) {
    const auto eyes = static_cast<int>(levels.size()) - 1;
    std::vector<double> pulse(run.impulse.size());
    I2P(pulse.data(), run.impulse.data(), static_cast<int32_t>(pulse.size()), kSpb, kDt);
    std::size_t c = 0;
    for (std::size_t i = 1; i < pulse.size(); ++i) {
        if (std::fabs(pulse[i]) > std::fabs(pulse[c])) {
            c = i;
        }
    }
    amisim::SymbolStream stream(link_pattern(), static_cast<int>(levels.size()));
    std::vector<int> sent(symbols);
    for (int &s : sent) {
        s = rank[stream.next()];
    }
    // Per phase offset from the instants: each level's lowest and highest sample.
    constexpr int kHalf = kSpb / 2;
    std::vector<std::vector<double>> lowest(kSpb, std::vector<double>(levels.size(), kInf));
    std::vector<std::vector<double>> highest(kSpb, std::vector<double>(levels.size(), -kInf));
    Eyes e;
    for (std::size_t i = 0; i < run.ticks.size(); ++i) {
        const long n = std::lround(run.ticks[i] / kDt) + kHalf;
        const long k = std::lround(static_cast<double>(n - static_cast<long>(c)) / kSpb);
        if (k < static_cast<long>(settle) || k >= static_cast<long>(symbols) ||
            n + kHalf >= static_cast<long>(run.wave.size())) {
            continue;
        }
        const int level = sent[static_cast<std::size_t>(k)];
        const Reported reported = read_report(run.reports[run.tick_call[i]]);
        const double v = run.wave[static_cast<std::size_t>(n)];
        int decided = 0;
        if (reported.thresholds.empty()) {
            decided = v > 0.0 ? 1 : 0;
        } else {
            for (double threshold : reported.thresholds) {
                decided += v > threshold ? 1 : 0;
            }
        }
        ++e.decided;
        e.errors += decided != level ? 1 : 0;
        for (int d = -kHalf; d < kHalf; ++d) {
            const double x = run.wave[static_cast<std::size_t>(n + d)];
            auto &low =
                lowest[static_cast<std::size_t>(d + kHalf)][static_cast<std::size_t>(level)];
            auto &high =
                highest[static_cast<std::size_t>(d + kHalf)][static_cast<std::size_t>(level)];
            low = std::min(low, x);
            high = std::max(high, x);
        }
    }
    int first_open = kSpb;
    int last_open = -1;
    for (int d = 0; d < kSpb; ++d) {
        double worst = kInf;
        for (int eye = 0; eye < eyes; ++eye) {
            const double h =
                lowest[static_cast<std::size_t>(d)][static_cast<std::size_t>(eye + 1)] -
                highest[static_cast<std::size_t>(d)][static_cast<std::size_t>(eye)];
            worst = std::min(worst, h);
            if (d == kHalf) {
                e.height.push_back(h);
            }
        }
        if (worst > 0.0) {
            first_open = std::min(first_open, d);
            last_open = std::max(last_open, d);
        }
    }
    if (last_open >= 0) {
        e.centre = (0.5 * (first_open + last_open) - kHalf) / kSpb;
    }
    return e;
}

// The link: PRBS15 symbols at the given levels through the channel, with
// Gaussian noise of sigma volts, into the example in blocks of kBlock
// samples, as a simulator runs it. Without impulse_to_init AMI_Init gets no
// impulse response (as from a simulator that only runs AMI_GetWave), and
// run.impulse stays the channel's, which places the symbols closely enough.
LinkRun run_link(InitFunction init, GetWaveFunction get_wave, CloseFunction close,
                 const std::vector<double> &channel, const std::vector<double> &levels,
                 std::size_t symbols, double sigma, std::string parameters,
                 bool impulse_to_init = true) {
    LinkRun run;
    run.impulse = channel;
    char *params_out = nullptr;
    char *msg = nullptr;
    void *memory = nullptr;
    if (init(impulse_to_init ? run.impulse.data() : nullptr,
             impulse_to_init ? static_cast<long>(run.impulse.size()) : 0, 0, kDt, kSpb * kDt,
             &parameters[0], &params_out, &memory, &msg) != 1) {
        ADD_FAILURE() << msg;
        return run;
    }
    amisim::JitteredSourceSettings settings;
    settings.pattern = link_pattern();
    settings.levels = levels;
    settings.samples_per_bit = kSpb;
    settings.sample_interval = kDt;
    amisim::JitteredSource source(settings);
    std::vector<double> taps = channel;
    for (double &t : taps) {
        t *= kDt;
    }
    amisim::ChannelStream stream(taps, source, amisim::Convolution::kAuto);
    amisim::GaussianNoise noise(sigma, 11);
    run.wave.resize(symbols * kSpb);
    for (std::size_t start = 0; start < run.wave.size(); start += kBlock) {
        const std::size_t count = std::min<std::size_t>(kBlock, run.wave.size() - start);
        double *block = &run.wave[start];
        stream.read(block, count);
        noise.add(block, count);
        std::vector<double> clock(count / kSpb + 2, -1.0);
        char *report = nullptr;
        EXPECT_EQ(get_wave(block, static_cast<long>(count), clock.data(), &report, memory), 1);
        for (std::size_t i = 0; i < clock.size() && clock[i] >= 0.0; ++i) {
            run.ticks.push_back(clock[i]);
            run.tick_call.push_back(run.reports.size());
        }
        run.reports.emplace_back(report == nullptr ? "" : report);
    }
    close(memory);
    return run;
}

// After the clock has locked, a PAM4 link at a comfortable noise (5 mV) is
// decided without a symbol error, the three eyes are open where the clock
// samples, and the clock sits within 0.1 UI of the middle of the phases
// where all three are open. Without the impulse response the DFE starts
// from no taps and the slicer from an outer level of 1/2 V, here two and a
// half times too high.
TEST_F(ExampleRx, Pam4LinkIsDecidedWithoutErrorsWithTheClockInTheEyes) {
    constexpr std::size_t kSymbols = 12000;
    struct Case {
        const char *name;
        std::vector<double> (*impulse)();
        bool impulse_to_init;
    };
    const Case cases[] = {
        {"built-in line", [] { return builtin(1.0, 128); }, true},
        {"built-in line at 40% gain, AMI_GetWave alone",
         [] {
             std::vector<double> impulse = builtin(1.0, 128);
             for (double &h : impulse) {
                 h *= 0.4;
             }
             return impulse;
         },
         false},
#ifdef AMISIM_TOUCHSTONE_EXAMPLE
        {"line_pair.s4p", [] { return from_touchstone(AMISIM_TOUCHSTONE_EXAMPLE); }, true},
#endif
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const LinkRun run = run_link(init_, get_wave_, close_, c.impulse(), kPam4Levels, kSymbols,
                                     5e-3, "(Example_Rx (Rx_Modulation PAM4))", c.impulse_to_init);
        const Eyes eyes = measure(run, kPam4Levels, kPam4Rank, kSymbols, kSymbols / 2);
        EXPECT_GE(eyes.decided, kSymbols / 2 - 20);
        EXPECT_EQ(eyes.errors, 0u);
        ASSERT_EQ(eyes.height.size(), 3u);
        for (double h : eyes.height) {
            EXPECT_GT(h, 0.0);
        }
        EXPECT_LE(std::fabs(eyes.centre), 0.1);
    }
}

// Every call's output parameters read cleanly with the toolkit's reader:
// the taps, the clock phase and (PAM4) the thresholds. Adapting once a
// symbol on the sample the clock decides from, the taps settle near those
// AMI_Init took from the pulse response's post-cursors at its peak (they
// differ by the ISI between the peak and the clock's instant); the
// thresholds are 0 and +-2/3 of the outer level, half the main cursor.
TEST_F(ExampleRx, ReportsTapsThatSettleNearThoseOfAmiInit) {
    constexpr std::size_t kSymbols = 12000;
    struct Case {
        const char *modulation;
        const std::vector<double> *levels;
    };
    const std::vector<double> channel = builtin(1.0, 128);
    for (const Case &c : {Case{"NRZ", &kNrzLevels}, Case{"PAM4", &kPam4Levels}}) {
        SCOPED_TRACE(c.modulation);
        const bool pam4 = c.levels->size() == 4;
        // The taps AMI_Init took: the negated post-cursors of the pulse
        // response through the CTLE alone.
        std::vector<double> ctle_only = channel;
        ASSERT_EQ(init(ctle_only, kDt, kSpb * kDt, "(Example_Rx (DFE_Mode off))"), 1);
        close_(memory_);
        memory_ = nullptr;
        const Cursors before = cursors(ctle_only, 4);

        const LinkRun run =
            run_link(init_, get_wave_, close_, channel, *c.levels, kSymbols, 5e-3,
                     std::string("(Example_Rx (Rx_Modulation ") + c.modulation + "))");
        amisim::ModelReports reports;
        for (std::size_t call = 0; call < run.reports.size(); ++call) {
            const Reported r = read_report(run.reports[call]);
            ASSERT_EQ(r.messages, "") << run.reports[call];
            ASSERT_EQ(r.values, pam4 ? 4 + 1 + 3 : 4 + 1) << run.reports[call];
            reports.add(call, static_cast<double>((call + 1) * kBlock) * kDt,
                        run.reports[call].c_str());
        }
        const std::vector<amisim::ReportSeries> series = reports.series();
        ASSERT_EQ(series.size(), pam4 ? 8u : 5u);
        for (int k = 0; k < 4; ++k) {
            const amisim::ReportSeries &tap = series[static_cast<std::size_t>(k)];
            EXPECT_EQ(tap.name, "DFE_Taps_Now[" + std::to_string(k) + "]");
            EXPECT_NEAR(tap.summary.settled, -before.post[static_cast<std::size_t>(k)],
                        0.025 * before.main)
                << tap.name;
            EXPECT_LE(tap.summary.spread, 0.015 * before.main) << tap.name;
        }
        const amisim::ReportSeries &phase = series[4];
        EXPECT_EQ(phase.name, "CDR_Phase");
        EXPECT_TRUE(phase.summary.has_settled);
        if (pam4) {
            EXPECT_EQ(series[6].name, "PAM4_Thresholds[1]");
            EXPECT_EQ(series[6].summary.settled, 0.0);
            EXPECT_NEAR(series[7].summary.settled, before.main / 3.0, 0.05 * before.main);
            EXPECT_DOUBLE_EQ(series[5].summary.settled, -series[7].summary.settled);
        }
    }
}

// The report holds what the mode has: no taps with the DFE off, the
// thresholds for PAM4 only; a modulation the model does not know is NRZ,
// with a warning.
TEST_F(ExampleRx, ReportsWhatItsModeHas) {
    struct Case {
        const char *name;
        const char *parameters;
        std::vector<const char *> reported;
        std::vector<const char *> not_reported;
        const char *warning;
    };
    const Case cases[] = {
        {"NRZ", "(Example_Rx)", {"(DFE_Taps_Now ", "(CDR_Phase "}, {"PAM4_Thresholds"}, nullptr},
        {"DFE off", "(Example_Rx (DFE_Mode off))", {"(CDR_Phase "}, {"DFE_Taps_Now"}, nullptr},
        {"PAM4",
         "(Example_Rx (Rx_Modulation PAM4))",
         {"(DFE_Taps_Now ", "(CDR_Phase ", "(PAM4_Thresholds "},
         {},
         nullptr},
        {"an unknown modulation",
         "(Example_Rx (Rx_Modulation PAM5))",
         {"(CDR_Phase "},
         {"PAM4_Thresholds"},
         "**Warning** Rx_Modulation must be NRZ or PAM4; using NRZ"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<double> impulse;
        ASSERT_EQ(init(impulse, kDt, kSpb * kDt, c.parameters), 1);
        const std::string message = msg_;
        EXPECT_EQ(message.find("**Warning**") == std::string::npos, c.warning == nullptr)
            << message;
        if (c.warning != nullptr) {
            EXPECT_NE(message.find(c.warning), std::string::npos) << message;
            EXPECT_NE(std::string(params_out_).find("(Rx_Modulation \"NRZ\")"), std::string::npos);
        }
        std::vector<double> wave(4 * kSpb, 0.25);
        std::vector<double> clock(6, -1.0);
        char *report = nullptr;
        ASSERT_EQ(
            get_wave_(wave.data(), static_cast<long>(wave.size()), clock.data(), &report, memory_),
            1);
        ASSERT_NE(report, nullptr);
        const std::string text = report;
        EXPECT_EQ(text.rfind("(Example_Rx", 0), 0u) << text;
        for (const char *name : c.reported) {
            EXPECT_NE(text.find(name), std::string::npos) << text;
        }
        for (const char *name : c.not_reported) {
            EXPECT_EQ(text.find(name), std::string::npos) << text;
        }
        close_(memory_);
        memory_ = nullptr;
    }
}

// The names directly inside the outermost list of a parameter string.
std::set<std::string> names_in(const std::string &text) {
    std::string error;
    const auto lists = amisim::read_parameter_lists(text, error);
    EXPECT_EQ(error, "") << text;
    std::set<std::string> names;
    for (const auto &list : lists->children.at(0)->children) {
        names.insert(list->name);
    }
    return names;
}

// The parameter file, read with the project's own reader, declares the
// parameters the model reads (echoed by AMI_Init) as In and those it
// reports from AMI_GetWave as Out, and offers the same modulations in the
// reserved Modulation and in Rx_Modulation.
TEST_F(ExampleRx, ParameterFileDeclaresWhatTheModelReadsAndReports) {
    std::ifstream in(EXAMPLE_RX_AMI);
    std::stringstream text;
    text << in.rdbuf();
    std::string error;
    const auto file = amisim::read_parameter_lists(text.str(), error);
    ASSERT_EQ(error, "");
    ASSERT_EQ(file->children.size(), 1u);
    const amisim::ParameterList &root = *file->children[0];
    EXPECT_EQ(root.name, "Example_Rx");
    const amisim::ParameterList *specific = root.child("Model_Specific");
    const amisim::ParameterList *reserved = root.child("Reserved_Parameters");
    ASSERT_TRUE(specific != nullptr && reserved != nullptr);
    std::set<std::string> declared_in;
    std::set<std::string> declared_out;
    for (const auto &parameter : specific->children) {
        const amisim::ParameterList *usage = parameter->child("Usage");
        ASSERT_TRUE(usage != nullptr && usage->values.size() == 1) << parameter->name;
        (usage->values[0] == "Out" ? declared_out : declared_in).insert(parameter->name);
    }

    std::vector<double> impulse;
    ASSERT_EQ(init(impulse, kDt, kSpb * kDt, "(Example_Rx (Rx_Modulation PAM4))"), 1);
    EXPECT_EQ(names_in(params_out_), declared_in);
    std::vector<double> wave(4 * kSpb, 0.25);
    std::vector<double> clock(6, -1.0);
    char *report = nullptr;
    ASSERT_EQ(
        get_wave_(wave.data(), static_cast<long>(wave.size()), clock.data(), &report, memory_), 1);
    EXPECT_EQ(names_in(report), declared_out);

    const amisim::ParameterList *modulation = reserved->child("Modulation");
    const amisim::ParameterList *rx_modulation = specific->child("Rx_Modulation");
    ASSERT_TRUE(modulation != nullptr && rx_modulation != nullptr);
    ASSERT_TRUE(modulation->child("List") != nullptr && rx_modulation->child("List") != nullptr);
    EXPECT_EQ(modulation->child("Usage")->values, std::vector<std::string>{"Info"});
    EXPECT_EQ(modulation->child("List")->values, (std::vector<std::string>{"NRZ", "PAM4"}));
    EXPECT_EQ(rx_modulation->child("List")->values, modulation->child("List")->values);
}

}  // namespace
