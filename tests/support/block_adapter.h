// A block adapter: the one description of a block that both the block
// contract (tests/support/block_contract.h) and the block-stream fuzzer
// (tests/fuzz/block_stream_fuzz.cpp) run. Each subsystem keeps the adapters
// of its blocks in one header beside them (<subsystem>_test_adapters.h) and
// lists them there in one BlockList; the contract and the fuzzer take every
// block of those lists.
//
//   struct MyBlock {
//       using Record = ...;
//       static constexpr ResetRule kReset = ResetRule::kAfterBlock;
//       static constexpr int kFuzzId = 12;
//       struct Args { ... };                      // what Setup and Apply take
//       static Args contract_args();              // representative arguments
//       static Args fuzz_args(FuzzInput &input);  // any, read from fuzzer bytes
//       static std::vector<double> contract_stream();  // a representative stream
//       static Record setup(const Args &args);
//       // One block of the stream. out receives the block's output samples;
//       // a block that also writes elsewhere (tick times, decisions) appends
//       // what it wrote to side.
//       static void apply(const Record &record, const Args &args, const double *in,
//                         int32_t count, int32_t reset, double *out,
//                         std::vector<double> &side);
//       static void remove(const Record &record);  // the block's Delete
//       // Whether the stream cut into blocks gives what one block gives.
//       static bool splits_like_one_run(const Args &args);
//   };
//
// kFuzzId is the first byte of a fuzz input that picks the block (modulo
// the number of blocks). The ids are 0 .. N-1, each once, which the fuzzer
// checks when it compiles; a new block takes N. An id never changes, so the
// kept corpus keeps its meaning. Adapters stand outside any namespace, so
// that the contract's tests carry their names.
#ifndef AMI_TESTS_SUPPORT_BLOCK_ADAPTER_H
#define AMI_TESTS_SUPPORT_BLOCK_ADAPTER_H

#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <vector>

#include "tests/fuzz/fuzz_input.h"

// What a block's reset flag does.
enum class ResetRule {
    kNone,            // the block has no reset
    kAfterBlock,      // the block sees the old state; the state is cleared after it
    kBeforeAndAfter,  // the block runs from rest and leaves the state at rest
};

// The adapters of one subsystem.
template <typename... Blocks>
struct BlockList {};

// What one stretch of calls produced: output samples and side effects.
struct BlockRun {
    std::vector<double> output;
    std::vector<double> side;
};

// ---- Fuzzed arguments several blocks share -----------------------------------

// A sample interval: the usual ones, none, negative, or any double.
inline double fuzz_sample_interval(FuzzInput &input) {
    static const double kIntervals[] = {1e-12, 3.125e-12, 1e-10, 1.0, 0.0, -1e-12};
    const uint8_t choice = input.byte();
    return choice < 0xf0 ? kIntervals[choice % 6] : input.raw_double();
}

// A duration of a few hundred sample intervals at most (in quarters of one,
// so halves and roundings occur), or one of the edge values; a state of
// billions of samples is not what a fuzzer can afford to run.
inline double fuzz_duration(FuzzInput &input, double interval) {
    static const double kEdges[] = {0.0, -0.0, -1e-12, 1e300, -1e300};
    const uint8_t choice = input.byte();
    if (choice >= 0xf8) {
        return kEdges[choice % 5];
    }
    if (choice >= 0xf0) {
        return std::nan("");
    }
    return interval * static_cast<double>(input.int32_in(-8, 1200)) / 4.0;
}

// A keyword of the control modes, or one that is none of them.
inline const char *fuzz_mode_keyword(FuzzInput &input) {
    static const char *const kModes[] = {"off", "Off",   "fixed", "Fixed",   "auto", "Auto", "on",
                                         "On",  "adapt", "Adapt", "adapted", "",     nullptr};
    return kModes[input.byte() % 13];
}

// Values for a list of up to kMax entries, or none (null).
template <int32_t kMax>
struct Values {
    bool given = false;
    double values[kMax] = {};
    void read(FuzzInput &input, int32_t count, double scale) {
        given = (input.byte() & 3) != 0;
        for (int32_t k = 0; given && k < count && k < kMax; ++k) {
            values[k] = input.sample() * scale;
        }
    }
    void set(std::initializer_list<double> list) {
        given = true;
        int32_t k = 0;
        for (double v : list) {
            values[k++] = v;
        }
    }
    const double *get() const { return given ? values : nullptr; }
};

#endif  // AMI_TESTS_SUPPORT_BLOCK_ADAPTER_H
