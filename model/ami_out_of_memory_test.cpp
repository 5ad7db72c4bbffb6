// AMI_Init under allocation failure: every allocation it makes is refused in
// turn. Whatever fails, the simulator gets either a complete instance or a
// clear failure, and nothing leaks.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "Halvorin_7314_Tx.h"
#include "tests/support/heap_accounting.h"

namespace {

struct InitOutcome {
    long result = -1;
    void *memory = nullptr;
    std::string message;
    std::string echo;
    HeapTally tally;
};

InitOutcome run_cycle(long fail_at, const char *parameters) {
    std::vector<double> impulse(3 * 64, 0.0);
    impulse[0] = impulse[64] = impulse[128] = 1.0;
    std::vector<double> wave(256, 0.5);
    std::string input = parameters;
    char *params_out = nullptr;
    char *msg = nullptr;
    InitOutcome outcome;

    heap_accounting_start(fail_at);
    outcome.result = AMI_Init(impulse.data(), 64, 2, 1e-12, 1e-10, input.data(), &params_out,
                              &outcome.memory, &msg);
    const HeapTally init_tally = heap_accounting_stop();
    outcome.message = msg == nullptr ? "<null>" : msg;
    outcome.echo = params_out == nullptr ? "<null>" : params_out;

    heap_accounting_start();
    char *getwave_out = params_out;
    AMI_GetWave(wave.data(), 256, nullptr, &getwave_out, outcome.memory);
    AMI_Close(outcome.memory);
    const HeapTally close_tally = heap_accounting_stop();

    outcome.tally.allocations = init_tally.allocations + close_tally.allocations;
    outcome.tally.releases = init_tally.releases + close_tally.releases;
    outcome.tally.failures = init_tally.failures;
    return outcome;
}

void expect_every_failure_handled(const char *parameters) {
    const InitOutcome healthy = run_cycle(0, parameters);
    ASSERT_EQ(healthy.result, 1);
    ASSERT_EQ(healthy.tally.live(), 0);
    ASSERT_GT(healthy.tally.allocations, 2);

    for (long fail_at = 1;; ++fail_at) {
        SCOPED_TRACE("allocation " + std::to_string(fail_at) + " refused");
        const InitOutcome outcome = run_cycle(fail_at, parameters);
        EXPECT_EQ(outcome.tally.live(), 0);
        if (outcome.tally.failures == 0) {
            EXPECT_EQ(outcome.result, 1);
            break;  // every allocation of AMI_Init has been refused once
        }
        if (outcome.result == 0) {
            EXPECT_EQ(outcome.memory, nullptr);
            EXPECT_EQ(outcome.message,
                      "**Error** Halvorin_7314_Tx: out of memory in AMI_Init; the model is not "
                      "initialised.\n");
            EXPECT_EQ(outcome.echo, "");
        } else {
            // Only a message may be lost; the instance itself is complete.
            EXPECT_EQ(outcome.result, 1);
            EXPECT_NE(outcome.memory, nullptr);
            EXPECT_EQ(outcome.echo, healthy.echo);
        }
    }
}

TEST(AmiInitOutOfMemory, EveryAllocationFailureIsHandled) {
    expect_every_failure_handled("(Halvorin_7314_Tx (TX_Corner 1) (TX_Preemph 1))");
    expect_every_failure_handled("(Halvorin_7314_Tx (TX_Corner 7) (TX_Preemph 1) (x \"y)");
}

TEST(AmiInitOutOfMemory, FullCycleReturnsEveryBlock) {
    const InitOutcome outcome = run_cycle(0, "(Halvorin_7314_Tx (TX_Preemph 1))");
    EXPECT_EQ(outcome.result, 1);
    EXPECT_EQ(outcome.tally.live(), 0);
}

}  // namespace
