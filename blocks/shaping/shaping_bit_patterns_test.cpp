// The same bits on i386 and x86-64: every shaping block's coefficients and
// output for a fixed stimulus, reduced to a 64-bit digest of their bit
// patterns and compared with the digest recorded on x86-64. The stimulus
// is built from integers alone, so it is the same on both; the blocks use
// the library's own exp and tanh, so their results must be too.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "Kestrom_AMI_Model.h"
#include "common/reproducible_math.h"

namespace {

using Samples = std::vector<double>;

// FNV-1a over the bytes of each double, least significant first.
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

// 600 samples: pseudo-random levels of +-0.5 plus a small sawtooth.
Samples stimulus() {
    Samples x(600);
    uint32_t state = 12345U;
    for (std::size_t t = 0; t < x.size(); ++t) {
        state = t % 7 == 0 ? state * 1664525U + 1013904223U : state;
        x[t] = ((state >> 31) != 0 ? 0.5 : -0.5) + static_cast<double>(t % 13) / 97.0;
    }
    return x;
}

// The coefficients, then the stimulus filtered in two calls.
template <typename Record>
Samples filtered(Record record, void (*apply)(const double *, int32_t, Record, int32_t, double *),
                 void (*remove)(Record), Samples values) {
    const Samples x = stimulus();
    Samples out(x.size());
    apply(x.data(), 250, record, 0, out.data());
    apply(x.data() + 250, 350, record, 0, out.data() + 250);
    remove(record);
    values.insert(values.end(), out.begin(), out.end());
    return values;
}

// A channel impulse response rising over 9 samples and falling over 40,
// through the nonlinearities: 0 for the limiter, 1 for the impulse
// response's table, 2 for the pulse response's.
Samples through_prbs7(int which) {
    constexpr int32_t kSamplesPerBit = 3;
    constexpr int32_t kN = 127 * kSamplesPerBit + 30;
    Samples h(kN, 0.0);
    for (int i = 0; i < 49; ++i) {
        h[static_cast<std::size_t>(i)] = (i < 9 ? i / 9.0 : (49 - i) / 40.0) * 4e9;
    }
    const double x[] = {-1.0, -0.25, 0.0, 0.4, 1.0};
    const double y[] = {-0.5, -0.2, 0.0, 0.3, 0.55};
    const Table table = SetTable(5, x, y);
    Samples out(kN);
    if (which == 0) {
        Apply_tanh(h.data(), kN, kSamplesPerBit, 1e-11, 0.4, out.data());
    } else if (which == 1) {
        ApplyTablePRBS(h.data(), kN, kSamplesPerBit, 1e-11, table, out.data());
    } else {
        Samples pulse(kN);
        I2P(pulse.data(), h.data(), kN, kSamplesPerBit, 1e-11);
        PulseTablePRBS(pulse.data(), kN, kSamplesPerBit, 1e-11, table, out.data());
    }
    DeleteTable(table);
    return out;
}

// cppcheck-suppress passedByValue
void apply_curve(const double *in, int32_t count, Table table, int32_t /*reset*/, double *out) {
    ApplyTable(in, count, table, out);
}

struct PatternCase {
    std::string name;
    std::function<Samples()> values;
    uint64_t recorded;
    friend void PrintTo(const PatternCase &row, std::ostream *os) { *os << row.name; }
};

class SameBitsOnBothTargets : public ::testing::TestWithParam<PatternCase> {};

TEST_P(SameBitsOnBothTargets, DigestMatchesTheRecordedOne) {
    const uint64_t found = digest(GetParam().values());
    EXPECT_EQ(found, GetParam().recorded) << std::hex << "0x" << found;
}

INSTANTIATE_TEST_SUITE_P(
    Shaping, SameBitsOnBothTargets,
    ::testing::ValuesIn(std::vector<PatternCase>{
        {"Delay", [] { return filtered(SetupDelay(37e-12, 3e-12), ApplyDelay, DeleteDelay, {}); },
         0x4461831b6848bc3aULL},
        {"Slope",
         [] {
             const Slope f = SetupSlope(17.3e-12, 1.1e-12);
             return filtered(f, ApplySlope, DeleteSlope, {f.coef_in, f.coef_tail, f.coef_out});
         },
         0xec3cc6912f1a748bULL},
        {"Sawtooth",
         [] {
             const Sawtooth f = SetSawtooth(1.1e-12, 0.7, 23.9e-12);
             return filtered(f, ApplySawtooth, DeleteSawtooth,
                             {f.coef_in, f.coef_tail, f.coef_out, f.coef_drop});
         },
         0x6626b155fbdafa10ULL},
        {"RiseFall",
         [] {
             const RiseFall f = SetRiseFall(1e-12, 7.7e-12);
             return filtered(f, ApplyRiseFall, DeleteRiseFall, {f.b0, f.b1, f.b2, f.a1, f.a2});
         },
         0xad45de7048480799ULL},
        {"Rayleigh",
         [] {
             const Rayleigh f = SetRayleigh(1e-12, 1.3, 9.1e-12);
             return filtered(f, ApplyRayleigh, DeleteRayleigh,
                             {f.b0, f.b1, f.b2, f.b3, f.a1, f.a2, f.a3});
         },
         0xf60dceffcfcfd107ULL},
        {"Triangle",
         [] {
             const Triangle f = SetTriangle(1e-12, 0.9, 3.3e-12);
             return filtered(f, ApplyTriangle, DeleteTriangle, {f.b0, f.b1, f.a1});
         },
         0x9a2f916ca6d41ed6ULL},
        {"Table",
         [] {
             const double x[] = {-0.7, -0.1, 0.05, 0.3, 0.65};
             const double y[] = {-1.0, -0.3, 0.1, 0.2, 1.7};
             return filtered(SetTable(5, x, y), apply_curve, DeleteTable, {});
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
        {"Apply_tanh", [] { return through_prbs7(0); }, 0x226e2899fad1d986ULL},
        {"ApplyTablePRBS", [] { return through_prbs7(1); }, 0xebb456c1a712b4ccULL},
        {"PulseTablePRBS", [] { return through_prbs7(2); }, 0x061d592942e61121ULL},
    }),
    [](const auto &row) { return row.param.name; });

}  // namespace
