// The equalisation and clock-recovery blocks under the shared block
// contract.
#include <algorithm>
#include <cmath>
#include <vector>

#include "Kestrom_AMI_Model.h"
#include "blocks/equalisation/equalisation_test_support.h"
#include "tests/support/block_contract.h"

namespace {

std::vector<double> channel_stream() {
    return lossy_wave(prbs7_bits(80), 8, 3, 0.5);
}

}  // namespace

// Five taps two samples apart; the reset clears the history after its block.
struct TxFFEBlock {
    using Record = TxFFE;
    static constexpr ResetRule kReset = ResetRule::kAfterBlock;
    static constexpr bool kSplitRunsEqualOneRun = true;

    static Record setup() {
        const double taps[] = {1.2, -0.3, 0.15, -0.05, 0.01};
        return SetupTxFFE(2, 5, 0, taps);
    }
    static void remove(const Record &record) { DeleteTxFFE(record); }
    static std::vector<double> input() { return channel_stream(); }
    static void apply(const Record &record, const double *in, int32_t count, int32_t reset,
                      double *out, std::vector<double> & /*side*/) {
        ApplyTxFFE(in, count, record, reset, out);
    }
};

// Level estimated from an impulse response; every call measures its own
// block, so cutting the stream changes the result.
struct AGCBlock {
    using Record = AGC;
    static constexpr ResetRule kReset = ResetRule::kNone;
    static constexpr bool kSplitRunsEqualOneRun = false;

    static Record setup() {
        double impulse[64];  // on the stack: the setup's allocations are counted
        for (int i = 0; i < 64; ++i) {
            impulse[i] = 1e11 * std::exp(-0.2 * i);
        }
        return SetupAGC(0.4, impulse, 64, 1e-12, 8);
    }
    static void remove(const Record &record) { DeleteAGC(record); }
    static std::vector<double> input() { return channel_stream(); }
    static void apply(const Record &record, const double *in, int32_t count, int32_t /*reset*/,
                      double *out, std::vector<double> & /*side*/) {
        ApplyAGC(in, count, record, 0, out);
    }
};

// The waveform path adapting its eight taps sample by sample, with one
// decisions array for every call.
struct DFEBlock {
    using Record = DFE;
    static constexpr ResetRule kReset = ResetRule::kNone;
    static constexpr bool kSplitRunsEqualOneRun = true;

    static Record setup() {
        const double taps[] = {-0.1, 0.04, -0.02, 0.01, 0.0, -0.005, 0.003, 0.0};
        return SetupDFE(8, taps, 8, -0.2, 0.2, 0.001, "adapt", 0.01, nullptr, 0);
    }
    static void remove(const Record &record) { DeleteDFE(record); }
    static std::vector<double> input() { return channel_stream(); }
    static void apply(const Record &record, const double *in, int32_t count, int32_t /*reset*/,
                      double *out, std::vector<double> & /*side*/) {
        const double decisions[] = {0.5, -0.5, -0.5, 0.5, 0.5, 0.5, -0.5, 0.5};
        ApplyDFE(in, count, record, 0, 0.0, decisions, out);
    }
};

// The CDR writes no waveform: its output is the input, unchanged, and
// what it does goes to side: for every tick, its time and the data decision
// it shifted into the history (found there after the call, newest first).
// Every call writes from clock index 0 into an array with room for a tick
// per sample.
struct CDRBlock {
    using Record = CDR;
    static constexpr ResetRule kReset = ResetRule::kNone;
    static constexpr bool kSplitRunsEqualOneRun = true;
    static constexpr int32_t kDecisions = 128;

    static Record setup() {
        return SetupCDR("auto", 1.0 / 16, 4, 0.001, kDecisions, 8, 0.1, 0.0, nullptr, 0);
    }
    static void remove(const Record &record) { DeleteCDR(record); }
    static std::vector<double> input() { return channel_stream(); }
    static void apply(const Record &record, const double *in, int32_t count, int32_t /*reset*/,
                      double *out, std::vector<double> &side) {
        std::vector<double> clock(static_cast<std::size_t>(std::max(count, 0)) + 1, 0.0);
        const int32_t ticks = ApplyCDR(in, count, record, 1e-12, 0, clock.data());
        ASSERT_LE(ticks, kDecisions) << "the adapter's history is too short for one call";
        for (int32_t i = 0; i < ticks; ++i) {
            side.push_back(clock[static_cast<std::size_t>(i)]);
            side.push_back(record.decisions[ticks - 1 - i]);
        }
        if (out != in) {
            std::copy(in, in + std::max(count, 0), out);
        }
    }
};

using EqualisationBlocks = ::testing::Types<TxFFEBlock, AGCBlock, DFEBlock, CDRBlock>;
INSTANTIATE_TYPED_TEST_SUITE_P(Equalisation, BlockContract, EqualisationBlocks);
