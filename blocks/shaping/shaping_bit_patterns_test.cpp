// The same bits on i386 and x86-64: every shaping block's coefficients and
// output for a fixed stimulus, reduced to a 64-bit digest of their bit
// patterns and compared with the digest recorded on x86-64. The stimulus
// is built from integers alone, so it is the same on both; the blocks use
// the library's own exp and tanh, so their results must be too.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "Kestrom_AMI_Model.h"
#include "common/reproducible_math.h"

namespace {

using Samples = std::vector<double>;

// FNV-1a over the bytes of each double, in little-endian order on both
// targets.
uint64_t digest(const Samples &values) {
    uint64_t hash = 0xcbf29ce484222325ULL;
    for (double v : values) {
        uint64_t bits = 0;
        std::memcpy(&bits, &v, sizeof bits);
        for (int byte = 0; byte < 8; ++byte) {
            hash = (hash ^ ((bits >> (8 * byte)) & 0xffU)) * 0x100000001b3ULL;
        }
    }
    return hash;
}

// Steps of a pseudo-random bit stream plus a small ramp, from integers.
Samples stimulus(std::size_t count) {
    Samples x(count);
    uint32_t state = 12345U;
    for (std::size_t t = 0; t < count; ++t) {
        if (t % 7 == 0) {
            state = state * 1664525U + 1013904223U;
        }
        x[t] = ((state >> 31) != 0 ? 0.5 : -0.5) + static_cast<double>(t % 13) / 97.0;
    }
    return x;
}

// A channel impulse response from integers: a triangle rising over 9
// samples, falling over 40.
Samples impulse_response(std::size_t count) {
    Samples h(count, 0.0);
    for (std::size_t i = 0; i < 49 && i < count; ++i) {
        h[i] = (i < 9 ? static_cast<double>(i) / 9.0 : static_cast<double>(49 - i) / 40.0) * 4e9;
    }
    return h;
}

template <typename Record, typename Apply>
Samples run(const Record &record, Apply apply, Samples head) {
    Samples out(600);
    const Samples x = stimulus(out.size());
    apply(x.data(), 250, record, 0, out.data());
    apply(x.data() + 250, 350, record, 0, out.data() + 250);
    head.insert(head.end(), out.begin(), out.end());
    return head;
}

struct PatternCase {
    std::string name;
    std::function<Samples()> values;
    uint64_t recorded;
};

class SameBitsOnBothTargets : public ::testing::TestWithParam<PatternCase> {};

TEST_P(SameBitsOnBothTargets, DigestMatchesTheRecordedOne) {
    EXPECT_EQ(digest(GetParam().values()), GetParam().recorded)
        << std::hex << "0x" << digest(GetParam().values());
}

constexpr int32_t kSamplesPerBit = 3;
constexpr int32_t kResponse = 127 * kSamplesPerBit + 30;

Samples through_prbs7(double limit, bool use_table, bool pulse) {
    const Samples h = impulse_response(kResponse);
    Samples out(kResponse);
    const double x[] = {-1.0, -0.25, 0.0, 0.4, 1.0};
    const double y[] = {-0.5, -0.2, 0.0, 0.3, 0.55};
    const Table table = SetTable(5, x, y);
    if (!use_table) {
        Apply_tanh(h.data(), kResponse, kSamplesPerBit, 1e-11, limit, out.data());
    } else if (pulse) {
        Samples p(kResponse);
        I2P(p.data(), h.data(), kResponse, kSamplesPerBit, 1e-11);
        PulseTablePRBS(p.data(), kResponse, kSamplesPerBit, 1e-11, table, out.data());
    } else {
        ApplyTablePRBS(h.data(), kResponse, kSamplesPerBit, 1e-11, table, out.data());
    }
    DeleteTable(table);
    return out;
}

INSTANTIATE_TEST_SUITE_P(
    Shaping, SameBitsOnBothTargets,
    ::testing::ValuesIn(std::vector<PatternCase>{
        {"Delay",
         [] {
             const DelayLine d = SetupDelay(37e-12, 3e-12);
             const Samples s = run(d, ApplyDelay, {});
             DeleteDelay(d);
             return s;
         },
         0x4461831b6848bc3aULL},
        {"Slope",
         [] {
             const Slope f = SetupSlope(17.3e-12, 1.1e-12);
             const Samples s = run(f, ApplySlope, {f.coef_in, f.coef_tail, f.coef_out});
             DeleteSlope(f);
             return s;
         },
         0xec3cc6912f1a748bULL},
        {"Sawtooth",
         [] {
             const Sawtooth f = SetSawtooth(1.1e-12, 0.7, 23.9e-12);
             const Samples s =
                 run(f, ApplySawtooth, {f.coef_in, f.coef_tail, f.coef_out, f.coef_drop});
             DeleteSawtooth(f);
             return s;
         },
         0x6626b155fbdafa10ULL},
        {"RiseFall",
         [] {
             const RiseFall f = SetRiseFall(1e-12, 7.7e-12);
             const Samples s = run(f, ApplyRiseFall, {f.b0, f.b1, f.b2, f.a1, f.a2});
             DeleteRiseFall(f);
             return s;
         },
         0xad45de7048480799ULL},
        {"Rayleigh",
         [] {
             const Rayleigh f = SetRayleigh(1e-12, 1.3, 9.1e-12);
             const Samples s = run(f, ApplyRayleigh, {f.b0, f.b1, f.b2, f.b3, f.a1, f.a2, f.a3});
             DeleteRayleigh(f);
             return s;
         },
         0xf60dceffcfcfd107ULL},
        {"Triangle",
         [] {
             const Triangle f = SetTriangle(1e-12, 0.9, 3.3e-12);
             const Samples s = run(f, ApplyTriangle, {f.b0, f.b1, f.a1});
             DeleteTriangle(f);
             return s;
         },
         0x9a2f916ca6d41ed6ULL},
        {"Table",
         [] {
             const double x[] = {-0.7, -0.1, 0.05, 0.3, 0.65};
             const double y[] = {-1.0, -0.3, 0.1, 0.2, 1.7};
             const Table curve = SetTable(5, x, y);
             const Samples s = run(curve,
                                   [](const double *in, int32_t n, const Table &table, int32_t,
                                      double *out) { ApplyTable(in, n, table, out); },
                                   {});
             DeleteTable(curve);
             return s;
         },
         0x6b1b187c57918394ULL},
        {"Tanh",
         [] {
             Samples s;
             for (int i = -4000; i <= 4000; ++i) {
                 s.push_back(ami::reproducible_tanh(i / 173.0));
             }
             return s;
         },
         0x006db26143bd924dULL},
        {"Apply_tanh", [] { return through_prbs7(0.4, false, false); }, 0x226e2899fad1d986ULL},
        {"ApplyTablePRBS", [] { return through_prbs7(0.0, true, false); }, 0xebb456c1a712b4ccULL},
        {"PulseTablePRBS", [] { return through_prbs7(0.0, true, true); }, 0x061d592942e61121ULL},
    }),
    [](const auto &row) { return row.param.name; });

}  // namespace
