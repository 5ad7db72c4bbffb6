// Every waveform function on fixed inputs, against the bits the x86-64 build
// recorded: the i386 build (run by the same suite) must give the same bits.
// The inputs are built from integers and products only, so both builds
// start from the same doubles.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "Kestrom_AMI_Model.h"
#include "blocks/waveforms/waveform_test_support.h"

namespace {

constexpr int32_t kSpb = 3;
constexpr int32_t kPeriod = 127 * kSpb;
constexpr double T = 3.125e-12;

// A decaying, ringing response: LCG noise times 0.97^i around a peak.
Samples channel(std::size_t n) {
    Samples h(n);
    uint32_t state = 12345U;
    double decay = 1.0;
    for (std::size_t i = 0; i < n; ++i) {
        state = state * 1664525U + 1013904223U;
        const double noise = static_cast<double>(state >> 8) / 16777216.0 - 0.5;
        h[i] = (i == 20 ? 4e11 : 0.0) + 1e11 * decay * noise;
        decay *= 0.97;
    }
    return h;
}

// FNV-1a over the bytes of the doubles.
uint64_t fingerprint(const Samples &x) {
    uint64_t hash = 14695981039346656037ULL;
    for (double v : x) {
        unsigned char bytes[sizeof v];
        std::memcpy(bytes, &v, sizeof v);
        for (unsigned char b : bytes) {
            hash = (hash ^ b) * 1099511628211ULL;
        }
    }
    return hash;
}

struct Recorded {
    std::string name;
    std::function<Samples()> run;
    uint64_t bits;
};

void PrintTo(const Recorded &r, std::ostream *os) {
    *os << r.name;
}

Samples convert(void (*f)(double *, const double *, int32_t, int32_t, double), std::size_t out_size,
                const Samples &in, int32_t n) {
    Samples out(out_size);
    f(out.data(), in.data(), n, kSpb, T);
    return out;
}

const Samples h = channel(500);

Samples folded() {
    return convert(I2PRBS, kPeriod, h, size_of(h));
}

Samples three_periods(bool back) {
    double *waveform = nullptr;
    int32_t length = 0;
    int32_t shift = 0;
    I2PRBS7(&waveform, h.data(), size_of(h), kSpb, &length, &shift, T);
    Samples result(waveform, waveform + length);
    result.push_back(shift);
    if (back) {
        result.assign(h.size(), 0.0);
        PRBS72I(result.data(), &waveform, size_of(h), kSpb, &shift, T);
    } else {
        std::free(waveform);
    }
    return result;
}

std::vector<Recorded> recorded() {
    return {
        {"I2S",
         [] {
             Samples step(2 * h.size());
             I2S(step.data(), h.data(), size_of(h), T);
             return step;
         },
         0x5d149e2a34fa309bULL},
        {"I2P", [] { return convert(I2P, h.size(), h, size_of(h)); }, 0xe06da8b725a6c80ULL},
        {"S2I",
         [] {
             Samples impulse(h.size() / 2);
             S2I(impulse.data(), h.data(), size_of(h) / 2, T);
             return impulse;
         },
         0xd52eb988d5bb2241ULL},
        {"P2I", [] { return convert(P2I, h.size(), h, size_of(h)); }, 0x8e6a0fb87ce818e9ULL},
        {"P2PRBS", [] { return convert(P2PRBS, kPeriod, h, size_of(h)); }, 0xcb1664c8719d9d13ULL},
        {"I2PRBS", [] { return folded(); }, 0x2fe219f8d0460453ULL},
        {"PRBS2P", [] { return convert(PRBS2P, h.size(), folded(), size_of(h)); },
         0xafa128a2bc92691ULL},
        {"PRBS2PShort", [] { return convert(PRBS2P, 100, folded(), 100); }, 0xaae1b55a677afca2ULL},
        {"PRBS2I", [] { return convert(PRBS2I, h.size(), folded(), size_of(h)); },
         0x8806653fa98b2351ULL},
        {"I2PRBS7", [] { return three_periods(false); }, 0xff4c3e4515e8fad4ULL},
        {"PRBS72I", [] { return three_periods(true); }, 0xfad28d1d25c3bf1bULL},
        {"Metrics",
         [] {
             return Samples{ErrEnergy(h.data(), size_of(h), 3e11),
                            MAX(h.data(), size_of(h), kSpb, T), PDA(h.data(), size_of(h), kSpb, T),
                            SNR(h.data(), size_of(h), kSpb, T, 0.1)};
         },
         0xf2751c0e559e36caULL},
        {"string2DoubleArray",
         [] {
             int32_t count = 0;
             double *values = string2DoubleArray(
                 "0.1 2.5e-13 -7.25e300 0x1.234p-3 1e-310 3.14159265358979", &count);
             Samples result(values, values + count);
             std::free(values);
             return result;
         },
         0x34df58ecefdaefacULL},
    };
}

class RecordedBits : public ::testing::TestWithParam<Recorded> {};

TEST_P(RecordedBits, SameOnBothWordSizes) {
    const Recorded &r = GetParam();
    EXPECT_EQ(fingerprint(r.run()), r.bits) << std::hex << "0x" << fingerprint(r.run());
}

INSTANTIATE_TEST_SUITE_P(Waveforms, RecordedBits, ::testing::ValuesIn(recorded()),
                         [](const ::testing::TestParamInfo<Recorded> &row) {
                             return row.param.name;
                         });

}  // namespace
