// Every block on one fixed scenario, its results reduced to a 64-bit
// fingerprint of their bits and compared with the fingerprint recorded on
// x86-64. The i386 build runs the same test, so both word sizes are held
// to the same bits.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "Kestrom_AMI_Model.h"
#include "blocks/equalisation/equalisation_test_support.h"
#include "tests/support/record_owner.h"

namespace {

// FNV-1a over the bytes of the doubles.
uint64_t fingerprint(const std::vector<double> &values) {
    uint64_t hash = 14695981039346656037ULL;
    for (uint64_t word : bits_of(values)) {
        for (int byte = 0; byte < 8; ++byte) {
            hash = (hash ^ ((word >> (8 * byte)) & 0xffU)) * 1099511628211ULL;
        }
    }
    return hash;
}

std::vector<double> stimulus() {
    return lossy_wave(prbs7_bits(400), 16, 7, 0.8);
}

std::vector<double> channel_impulse() {
    std::vector<double> impulse(160);
    for (std::size_t i = 0; i < impulse.size(); ++i) {
        // Rational, so that the test data itself is the same on both builds.
        const double t = static_cast<double>(i) / 6.0;
        impulse[i] = 3e10 * t / (1 + t * t * t);
    }
    return impulse;
}

TEST(EqualisationBits, TxFFE) {
    const double taps[] = {0.83, -0.271, 0.0937, -0.013};
    const Owned<TxFFE, DeleteTxFFE> ffe(SetupTxFFE(16, 4, 0, taps));
    std::vector<double> wave = stimulus();
    ApplyTxFFE(wave.data(), 3000, ffe.get(), 0, wave.data());
    const double max_gain[] = {0.9, 0.1, 0.2, 0.05};
    const double min_gain[] = {0.1, -0.3, -0.2, -0.05};
    const double steps[] = {0.03, 0.007, 0.011, 0.0013};
    AdvancedTxFFE(ffe.get(), max_gain, min_gain, steps, nullptr, 0);
    ApplyTxFFE(wave.data() + 3000, static_cast<int32_t>(wave.size()) - 3000, ffe.get(), 0,
               wave.data() + 3000);
    wave.insert(wave.end(), ffe->taps, ffe->taps + 4);
    EXPECT_EQ(fingerprint(wave), 0x976131ce016698c9ULL);
}

TEST(EqualisationBits, AGC) {
    const std::vector<double> impulse = channel_impulse();
    const Owned<AGC, DeleteAGC> agc(SetupAGC(0.35, impulse.data(), 160, 1e-12, 16));
    std::vector<double> wave = stimulus();
    std::vector<double> result{*agc->gain, *agc->level};
    for (std::size_t done = 0; done < wave.size(); done += 100) {
        ApplyAGC(wave.data() + done,
                 static_cast<int32_t>(std::min<std::size_t>(100, wave.size() - done)), agc.get(), 0,
                 wave.data() + done);
    }
    result.insert(result.end(), wave.begin(), wave.end());
    EXPECT_EQ(fingerprint(result), 0x9ff16509b8d16d1eULL);
}

TEST(EqualisationBits, DFE) {
    const double taps[] = {-0.113, 0.052, -0.0173};
    const Owned<DFE, DeleteDFE> dfe(
        SetupDFE(3, taps, 16, -0.2, 0.2, 0.0021, "adapt", 0.013, nullptr, 0));
    std::vector<double> wave = stimulus();
    std::vector<double> decisions{0.5, -0.5, 0.5};
    for (std::size_t done = 0; done < wave.size(); done += 16) {
        ApplyDFE(wave.data() + done,
                 static_cast<int32_t>(std::min<std::size_t>(16, wave.size() - done)), dfe.get(), 0,
                 0.0, decisions.data(), wave.data() + done);
        decisions.insert(decisions.begin(), wave[done] > 0 ? 0.5 : -0.5);
        decisions.pop_back();
    }
    const Owned<DFE, DeleteDFE> automatic(
        SetupDFE(3, nullptr, 16, -1, 1, 0.001, "auto", 0.0, nullptr, 0));
    std::vector<double> impulse = channel_impulse();
    ApplyDFE(impulse.data(), 160, automatic.get(), 1, 1e-12, nullptr, impulse.data());
    wave.insert(wave.end(), impulse.begin(), impulse.end());
    wave.insert(wave.end(), dfe->taps, dfe->taps + 3);
    wave.insert(wave.end(), automatic->taps, automatic->taps + 3);
    EXPECT_EQ(fingerprint(wave), 0x5ca58470cc16e241ULL);
}

TEST(EqualisationBits, CDR) {
    Owned<CDR, DeleteCDR> cdr(
        SetupCDR("auto", 1.0 / 16, 5, 0.0013, 4, 16, 0.07, 2.1e-9, nullptr, 0));
    EnableReferenceClk(cdr.mutable_record(), 1);
    *cdr->sample_index = 2147483647 - 2500;
    const std::vector<double> wave = stimulus();
    std::vector<double> clock(wave.size() + 1, 0.0);
    for (std::size_t k = 0; k < clock.size(); k += 3) {
        clock[k] = 1.7e-9 + 16.02e-12 * static_cast<double>(k);
    }
    int32_t index = 0;
    for (std::size_t done = 0; done < wave.size(); done += 777) {
        index = ApplyCDR(wave.data() + done,
                         static_cast<int32_t>(std::min<std::size_t>(777, wave.size() - done)),
                         cdr.get(), 1e-12, index, clock.data());
    }
    std::vector<double> result(clock.begin(), clock.begin() + index + 1);
    const std::vector<double> cells = cdr_cells(cdr.get());
    result.insert(result.end(), cells.begin(), cells.end());
    EXPECT_EQ(fingerprint(result), 0xf494fa3e5432d69dULL);
}

}  // namespace
