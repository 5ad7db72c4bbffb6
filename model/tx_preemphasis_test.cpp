// The pre-emphasis tables, the filter designed from them, and the model's
// use of it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "Halvorin_7314_Tx.h"
#include "common/reproducible_math.h"
#include "model/model_instance_test_support.h"
#include "model/preemphasis_blocks.h"
#include "tests/support/record_owner.h"

namespace {

using ::testing::Each;

constexpr int kPoles = 9;
constexpr int kCoefs = 10;
const double kSampleIntervals[] = {1e-12, 3.125e-12, 2.5e-11, 1e-10};

// Poles of a configuration up to its first zero residue.
int used_poles(int config) {
    int k = 0;
    while (k < kPoles && (TxTapPZF_pfract[kPoles * config + k].re != 0.0 ||
                          TxTapPZF_pfract[kPoles * config + k].im != 0.0)) {
        ++k;
    }
    return k;
}

// The design written out independently: each section r(1 - h) + r(h - f) z^-1
// over 1 - f z^-1 with h = e^(pT/2), f = e^(pT), added to N/D as
// (N (1 - f z^-1) + D n) / (D (1 - f z^-1)), every product and sum in the
// order the coefficients must be reproduced with.
struct Cx {
    double re;
    double im;
};
Cx mul(Cx a, Cx b) {
    return {a.re * b.re - a.im * b.im, a.re * b.im + a.im * b.re};
}
Cx plus(Cx a, Cx b) {
    return {a.re + b.re, a.im + b.im};
}
Cx over(Cx a, Cx b) {
    const double m = b.re * b.re + b.im * b.im;
    return {(a.re * b.re + a.im * b.im) / m, (a.im * b.re - a.re * b.im) / m};
}
// The library's own elementary functions, which give the same bits on every
// target (they are checked against long double in their own suite).
Cx ex(Cx z) {
    const double magnitude = ami::reproducible_exp(z.re);
    return {magnitude * ami::reproducible_cos(z.im), magnitude * ami::reproducible_sin(z.im)};
}
// (c0 + c1 z^-1) times a polynomial of kCoefs coefficients, truncated;
// the contributions to each coefficient arrive in increasing power of the
// polynomial, starting from zero.
void times_section(Cx *poly, Cx c0, Cx c1) {
    Cx result[kCoefs];
    for (int k = 0; k < kCoefs; ++k) {
        result[k] = Cx{0, 0};
        if (k > 0) {
            result[k] = plus(result[k], mul(poly[k - 1], c1));
        }
        result[k] = plus(result[k], mul(poly[k], c0));
    }
    std::memcpy(poly, result, sizeof result);
}

void reference_design(int config, double t, double *numer, double *denom) {
    Cx n[kCoefs] = {};
    Cx d[kCoefs] = {};
    d[0] = {1, 0};
    for (int k = 0; k < used_poles(config); ++k) {
        const Cx p{TxTapPZF_poles[kPoles * config + k].re, TxTapPZF_poles[kPoles * config + k].im};
        const Complex rc = TxTapPZF_pfract[kPoles * config + k];
        const Cx r = mul(Cx{rc.re, rc.im}, Cx{TxTapPZF_gain[config], 0});
        const Cx q = mul(p, Cx{-t, 0});
        const Cx h = ex(over(q, Cx{-2, 0}));
        const Cx f = ex(over(q, Cx{-1, 0}));
        const Cx minus_f = mul(Cx{-1, 0}, f);
        Cx s[kCoefs];
        std::memcpy(s, d, sizeof d);
        times_section(n, Cx{1, 0}, minus_f);
        times_section(d, Cx{1, 0}, minus_f);
        times_section(s, mul(r, Cx{1 - h.re, 0 - h.im}), mul(r, Cx{h.re - f.re, h.im - f.im}));
        for (int j = 0; j < kCoefs; ++j) {
            n[j] = plus(s[j], n[j]);
        }
    }
    for (int j = 0; j < kCoefs; ++j) {
        numer[j] = n[j].re;
        denom[j] = j + 1 < kCoefs ? -d[j + 1].re : 0;
    }
}

// The filter of the three corners, released at the end of the test.
struct CornerFilter : Owned<PeakingFilter, DeletePeakingFilter> {
    explicit CornerFilter(double sample_interval)
        : Owned(TxTapPZFGetFilter(sample_interval, nullptr, 0)) {}
};

// The kCoefs values of a coefficient row or history.
std::vector<double> row(const double *values) {
    return {values, values + kCoefs};
}

uint64_t bits(double x) {
    uint64_t b = 0;
    std::memcpy(&b, &x, sizeof b);
    return b;
}

TEST(TxTapPZF, CornersMapToConfigurations) {
    EXPECT_EQ(TxTapPZFGetIndex(-1), 0);
    EXPECT_EQ(TxTapPZFGetIndex(0), 1);
    EXPECT_EQ(TxTapPZFGetIndex(1), 2);
    for (int32_t corner : {2, -2, 100, INT32_MIN}) {
        EXPECT_EQ(TxTapPZFGetIndex(corner), -1);
    }
}

TEST(TxTapPZF, ZeroResiduesEndTheConfigurations) {
    EXPECT_EQ(used_poles(0), 3);
    EXPECT_EQ(used_poles(1), 2);
    EXPECT_EQ(used_poles(2), 2);
}

TEST(TxTapPZF, FilterHasThreeConfigurationsOfTheUsedDegree) {
    CornerFilter filter(1e-12);
    const PeakingFilter &f = filter.get();
    ASSERT_EQ(f.filter_count, 3);
    ASSERT_EQ(f.coef_count, kCoefs);
    for (int i = 0; i < 3; ++i) {
        const int degree = used_poles(i);
        EXPECT_EQ(f.configs[i].pole_count, kPoles);
        EXPECT_NE(f.numer[i][degree], 0.0);
        EXPECT_NE(f.denom[i][degree - 1], 0.0);
        for (int j = degree + 1; j < kCoefs; ++j) {
            EXPECT_EQ(f.numer[i][j], 0.0) << "config " << i << " numer " << j;
            EXPECT_EQ(f.denom[i][j - 1], 0.0) << "config " << i << " denom " << j - 1;
        }
        EXPECT_THAT(row(f.peak_in), Each(0.0));
        EXPECT_THAT(row(f.peak_out), Each(0.0));
    }
}

TEST(TxTapPZF, CoefficientsEqualAnIndependentDesignBitForBit) {
    for (double t : kSampleIntervals) {
        CornerFilter filter(t);
        for (int i = 0; i < 3; ++i) {
            double numer[kCoefs];
            double denom[kCoefs];
            reference_design(i, t, numer, denom);
            for (int j = 0; j < kCoefs; ++j) {
                EXPECT_EQ(bits(filter.get().numer[i][j]), bits(numer[j]))
                    << "T " << t << " config " << i << " numer " << j;
                if (j + 1 < kCoefs) {
                    EXPECT_EQ(bits(filter.get().denom[i][j]), bits(denom[j]))
                        << "T " << t << " config " << i << " denom " << j;
                }
            }
        }
    }
}

TEST(TxTapPZF, CoefficientsAreTheSameOnEveryTarget) {
    // Recorded from the x86-64 build; the i386 build must reproduce them.
    CornerFilter filter(1e-12);
    const PeakingFilter &f = filter.get();
    EXPECT_EQ(bits(f.numer[0][0]), 0x3fe97c2001b2342dULL);
    EXPECT_EQ(bits(f.numer[0][3]), 0x3fd16ab5c0f98989ULL);
    EXPECT_EQ(bits(f.denom[0][2]), 0x3fbfc052c4bf2ad3ULL);
    EXPECT_EQ(bits(f.numer[1][1]), 0x3f4c027499c977e0ULL);
    EXPECT_EQ(bits(f.denom[1][1]), 0xbfeed1df8d04d47fULL);
    EXPECT_EQ(bits(f.numer[2][2]), 0xbf9d7bbec91b3364ULL);
    EXPECT_EQ(bits(f.denom[2][0]), 0x3fff5a2a59ecb44cULL);
}

TEST(TxTapPZF, ZeroFrequencyGainIsTheSumOfTheUsedResidues) {
    for (double t : kSampleIntervals) {
        CornerFilter filter(t);
        for (int i = 0; i < 3; ++i) {
            long double numer_sum = 0;
            long double denom_sum = 0;
            for (int j = 0; j < kCoefs; ++j) {
                numer_sum += filter.get().numer[i][j];
                denom_sum += j + 1 < kCoefs ? filter.get().denom[i][j] : 0;
            }
            long double residues = 0;
            for (int k = 0; k < used_poles(i); ++k) {
                residues += TxTapPZF_pfract[kPoles * i + k].re;
            }
            EXPECT_NEAR(static_cast<double>(numer_sum / (1 - denom_sum)),
                        static_cast<double>(residues), 1e-9)
                << "T " << t << " config " << i;
        }
    }
}

TEST(TxTapPZF, ImpulseResponseStartsWithTheHalfCellIntegral) {
    const double t = 2.5e-11;
    CornerFilter filter(t);
    for (int i = 0; i < 3; ++i) {
        std::complex<long double> first = 0;
        for (int k = 0; k < used_poles(i); ++k) {
            const Complex p = TxTapPZF_poles[kPoles * i + k];
            const Complex r = TxTapPZF_pfract[kPoles * i + k];
            const std::complex<long double> half_step =
                std::exp(std::complex<long double>(p.re, p.im) * static_cast<long double>(t / 2));
            first += std::complex<long double>(r.re, r.im) * (1.0L - half_step);
        }
        std::vector<double> samples{1, 0, 0};
        ApplyPeakingFilter(samples.data(), 3, filter.get(), i, 1, samples.data());
        EXPECT_NEAR(samples[0], static_cast<double>(first.real()), 1e-14) << "config " << i;
        EXPECT_EQ(samples[0], filter.get().numer[i][0]);
    }
}

// Chunked runs, as the entry points make for sizes above 32 bits.
TEST(PreemphasisBlocks, ChunkedRunEqualsOneRun) {
    CornerFilter whole(1e-12);
    CornerFilter chunked(1e-12);
    std::vector<double> stream(40);
    for (std::size_t t = 0; t < stream.size(); ++t) {
        stream[t] = (t / 4) % 3 == 0 ? 0.5 : -0.5;
    }
    for (bool from_rest : {false, true, false}) {
        std::vector<double> expected = stream;
        std::vector<double> actual = stream;
        ami::filter_in_chunks(whole.get(), 2, expected.data(), 40, from_rest);
        ami::filter_in_chunks(chunked.get(), 2, actual.data(), 40, from_rest, 7);
        EXPECT_EQ(actual, expected);
        EXPECT_EQ(row(chunked->peak_in), row(whole->peak_in));
        EXPECT_EQ(row(chunked->peak_out), row(whole->peak_out));
    }
}

std::vector<double> test_wave(std::size_t samples) {
    std::vector<double> wave(samples);
    for (std::size_t t = 0; t < samples; ++t) {
        wave[t] = ((t * 7) / 16) % 2 == 0 ? 0.5 : -0.5;
    }
    return wave;
}

TEST(ModelPreemphasis, InstanceHoldsTheFilterOfTheThreeCorners) {
    ModelInstance model("");
    ASSERT_EQ(model.result(), 1);
    EXPECT_EQ(model.self().filter.filter_count, 3);
    EXPECT_EQ(model.self().filter.coef_count, kCoefs);
    CornerFilter reference(1e-12);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(row(model.self().filter.numer[i]), row(reference->numer[i]));
    }
}

TEST(ModelPreemphasis, GetWaveInUnevenBlocksEqualsOneContinuousRun) {
    const std::vector<double> stream = test_wave(1000);
    for (int32_t corner : {-1, 0, 1}) {
        ModelInstance model("");
        model.self().tx_corner = corner;
        model.self().tx_preemph = 1;
        std::vector<double> blocks = stream;
        std::size_t done = 0;
        for (long size : {1L, 0L, 13L, 500L, 486L}) {
            char *params_out = nullptr;
            EXPECT_EQ(AMI_GetWave(blocks.data() + done, size, nullptr, &params_out, model.handle()),
                      1);
            done += static_cast<std::size_t>(size);
        }
        CornerFilter reference(1e-12);
        std::vector<double> expected(stream.size());
        ApplyPeakingFilter(stream.data(), 1000, reference.get(), TxTapPZFGetIndex(corner), 0,
                           expected.data());
        EXPECT_EQ(blocks, expected) << "corner " << corner;
        EXPECT_NE(blocks, stream);
    }
}

// Each response is filtered from rest with the selected corner's
// configuration exactly when the instance reports pre-emphasis on.
// An invalid corner falls back to corner 0 (configuration 1) before any
// filtering; an invalid pre-emphasis switch turns filtering off.
TEST(ModelPreemphasis, InvalidValuesFallBackBeforeFiltering) {
    constexpr long kRow = 48;
    const std::vector<double> original = test_wave(kRow);
    std::vector<double> impulse = original;
    ModelInstance corner("(Halvorin_7314_Tx (TX_Corner 5) (TX_Preemph 1))", &impulse, kRow, 0);
    ASSERT_EQ(corner.self().tx_corner, 0);
    CornerFilter fresh(1e-12);
    std::vector<double> expected = original;
    ApplyPeakingFilter(expected.data(), kRow, fresh.get(), 1, 0, expected.data());
    EXPECT_EQ(impulse, expected);

    for (const char *text : {"(Halvorin_7314_Tx (TX_Corner 1) (TX_Preemph 2))",
                             "(Halvorin_7314_Tx (TX_Corner 1) (TX_Preemph -1))"}) {
        impulse = original;
        ModelInstance off(text, &impulse, kRow, 0);
        EXPECT_EQ(off.self().tx_preemph, 0) << text;
        EXPECT_EQ(impulse, original) << text;
    }
}

// Instances share nothing: three corners filtered at once on separate
// threads give the samples each gives alone.
TEST(ModelPreemphasis, InstancesRunIndependentlyOnSeparateThreads) {
    const char *parameters[] = {"(Halvorin_7314_Tx (TX_Corner -1) (TX_Preemph 1))",
                                "(Halvorin_7314_Tx (TX_Corner 0) (TX_Preemph 1))",
                                "(Halvorin_7314_Tx (TX_Corner 1) (TX_Preemph 1))"};
    auto run = [](const char *text) {
        std::vector<double> impulse = test_wave(256);
        ModelInstance model(text, &impulse, 256, 0);
        std::vector<double> wave = test_wave(20000);
        for (std::size_t start = 0; start < wave.size(); start += 500) {
            char *out = nullptr;
            AMI_GetWave(wave.data() + start, 500, nullptr, &out, model.handle());
        }
        wave.insert(wave.end(), impulse.begin(), impulse.end());
        return wave;
    };
    std::vector<std::vector<double>> alone;
    for (const char *text : parameters) {
        alone.push_back(run(text));
    }
    std::vector<std::vector<double>> together(3);
    std::vector<std::thread> threads;
    for (int round = 0; round < 4; ++round) {
        for (std::size_t i = 0; i < 3; ++i) {
            threads.emplace_back([&, i] { together[i] = run(parameters[i]); });
        }
        for (std::thread &thread : threads) {
            thread.join();
        }
        threads.clear();
        for (std::size_t i = 0; i < 3; ++i) {
            EXPECT_EQ(together[i], alone[i]) << "corner " << static_cast<int>(i) - 1;
        }
    }
    EXPECT_NE(alone[0], alone[1]);
    EXPECT_NE(alone[1], alone[2]);
}

TEST(ModelPreemphasis, InitFiltersEveryResponseFromRestWhenPreemphasisIsOn) {
    constexpr long kRow = 64;
    std::vector<double> impulse = test_wave(4 * kRow);
    const std::vector<double> original = impulse;
    ModelInstance model("(Halvorin_7314_Tx (TX_Corner 1) (TX_Preemph 1))", &impulse, kRow, 3);
    ASSERT_EQ(model.result(), 1);
    ASSERT_EQ(model.self().tx_corner, 1);
    ASSERT_EQ(model.self().tx_preemph, 1);
    // Each column as if it were the only one: configuration 2 of a fresh filter.
    for (long k = 0; k < 4; ++k) {
        CornerFilter fresh(1e-12);
        std::vector<double> expected(original.begin() + k * kRow,
                                     original.begin() + (k + 1) * kRow);
        ApplyPeakingFilter(expected.data(), kRow, fresh.get(), 2, 0, expected.data());
        const std::vector<double> column(impulse.begin() + k * kRow,
                                         impulse.begin() + (k + 1) * kRow);
        EXPECT_EQ(column, expected) << "column " << k;
        EXPECT_NE(column, std::vector<double>(original.begin() + k * kRow,
                                              original.begin() + (k + 1) * kRow));
    }
    // The waveform that follows starts from rest.
    EXPECT_THAT(row(model.self().filter.peak_in), Each(0.0));
    EXPECT_THAT(row(model.self().filter.peak_out), Each(0.0));
}

}  // namespace
