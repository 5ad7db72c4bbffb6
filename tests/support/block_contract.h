// The contract every block of the library keeps, tested once for all of
// them through their adapters (tests/support/block_adapter.h), on the
// adapter's contract arguments and stream. A subsystem's contract test is one
// line over the list of its adapters:
//   INSTANTIATE_TYPED_TEST_SUITE_P(Folder, BlockContract, ContractTypes<FolderBlocks>::type);
#ifndef AMI_TESTS_SUPPORT_BLOCK_CONTRACT_H
#define AMI_TESTS_SUPPORT_BLOCK_CONTRACT_H

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/block_adapter.h"
#ifdef AMI_HEAP_ACCOUNTING
#include "tests/support/heap_accounting.h"
#endif

// The GoogleTest type list of a subsystem's adapters.
template <typename List>
struct ContractTypes;
template <typename... Blocks>
struct ContractTypes<BlockList<Blocks...>> {
    using type = ::testing::Types<Blocks...>;
};

// Bit-for-bit equality, NaN included, for comparing runs.
MATCHER_P(SameBitsAs, expected, "") {
    return arg.size() == expected.size() &&
           (arg.empty() ||
            std::memcmp(arg.data(), expected.data(), arg.size() * sizeof(double)) == 0);
}

template <typename Block>
class BlockContract : public ::testing::Test {
  protected:
    using Record = typename Block::Record;
    using Args = typename Block::Args;
    static constexpr double kUnwritten = -1234.5;

    // Runs consecutive pieces of the stream (given by their sizes; the last
    // piece takes the rest) through the record, one call each.
    static BlockRun run(Record record, const std::vector<double> &stream,
                        const std::vector<int32_t> &sizes,
                        const std::vector<int32_t> &resets = {}) {
        const Args args = Block::contract_args();
        BlockRun result;
        std::size_t done = 0;
        for (std::size_t k = 0; k <= sizes.size() && done <= stream.size(); ++k) {
            const std::size_t left = stream.size() - done;
            const std::size_t size =
                k < sizes.size() ? std::min<std::size_t>(static_cast<std::size_t>(sizes[k]), left)
                                 : left;
            std::vector<double> out(size, kUnwritten);
            const int32_t reset = k < resets.size() ? resets[k] : 0;
            Block::apply(record, args, stream.data() + done, static_cast<int32_t>(size), reset,
                         out.data(), result.side);
            result.output.insert(result.output.end(), out.begin(), out.end());
            done += size;
            if (k == sizes.size()) {
                break;
            }
        }
        return result;
    }

    // The same pieces through a fresh record.
    static BlockRun fresh_run(const std::vector<double> &stream, const std::vector<int32_t> &sizes,
                              const std::vector<int32_t> &resets = {}) {
        Record record = Block::setup(Block::contract_args());
        BlockRun result = run(record, stream, sizes, resets);
        Block::remove(record);
        return result;
    }

    static std::vector<double> slice(const std::vector<double> &v, std::size_t from,
                                     std::size_t to) {
        return {v.begin() + static_cast<std::ptrdiff_t>(from),
                v.begin() + static_cast<std::ptrdiff_t>(std::min(to, v.size()))};
    }
};

TYPED_TEST_SUITE_P(BlockContract);

TYPED_TEST_P(BlockContract, StreamCutIntoBlocksEqualsOneRun) {
    if (!TypeParam::splits_like_one_run(TypeParam::contract_args())) {
        GTEST_SKIP() << "this block measures each call as a whole";
    }
    const std::vector<double> stream = TypeParam::contract_stream();
    const BlockRun whole = this->fresh_run(stream, {});
    const std::vector<std::vector<int32_t>> cuts{
        {1, 1, 1, 1},
        {0, 3, 0, 5, 2},
        {7, 64, 1},
        {31, 32, 33, 100},
        {2, 3, 5, 7, 11, 13, 17, 19, 23, 29},
    };
    for (const auto &cut : cuts) {
        SCOPED_TRACE(::testing::PrintToString(cut));
        const BlockRun pieces = this->fresh_run(stream, cut);
        EXPECT_THAT(pieces.output, SameBitsAs(whole.output));
        EXPECT_THAT(pieces.side, SameBitsAs(whole.side));
    }
}

TYPED_TEST_P(BlockContract, InPlaceEqualsSeparateOutput) {
    const std::vector<double> stream = TypeParam::contract_stream();
    const BlockRun separate = this->fresh_run(stream, {});
    const auto args = TypeParam::contract_args();
    typename TypeParam::Record record = TypeParam::setup(args);
    std::vector<double> samples = stream;
    std::vector<double> side;
    TypeParam::apply(record, args, samples.data(), static_cast<int32_t>(samples.size()), 0,
                     samples.data(), side);
    TypeParam::remove(record);
    EXPECT_THAT(samples, SameBitsAs(separate.output));
    EXPECT_THAT(side, SameBitsAs(separate.side));
}

TYPED_TEST_P(BlockContract, CopiesOfTheRecordShareOneState) {
    const std::vector<double> stream = TypeParam::contract_stream();
    const std::size_t half = stream.size() / 2;
    const BlockRun expected = this->fresh_run(stream, {static_cast<int32_t>(half)});

    typename TypeParam::Record original = TypeParam::setup(TypeParam::contract_args());
    const typename TypeParam::Record copy = original;  // taken before any call
    BlockRun first = this->run(original, this->slice(stream, 0, half), {});
    const BlockRun second = this->run(copy, this->slice(stream, half, stream.size()), {});
    TypeParam::remove(original);
    first.output.insert(first.output.end(), second.output.begin(), second.output.end());
    first.side.insert(first.side.end(), second.side.begin(), second.side.end());
    EXPECT_THAT(first.output, SameBitsAs(expected.output));
    EXPECT_THAT(first.side, SameBitsAs(expected.side));
}

TYPED_TEST_P(BlockContract, ResetActsAsTheBlockDocuments) {
    if (TypeParam::kReset == ResetRule::kNone) {
        GTEST_SKIP() << "this block has no reset";
    }
    const std::vector<double> stream = TypeParam::contract_stream();
    const int32_t third = static_cast<int32_t>(stream.size() / 3);
    const std::size_t a = static_cast<std::size_t>(third);
    const std::size_t b = 2 * a;
    // Three pieces, the middle one run with reset.
    const BlockRun with_reset = this->fresh_run(stream, {third, third}, {0, 1, 0});
    const BlockRun continuous = this->fresh_run(stream, {third, third});
    EXPECT_THAT(this->slice(with_reset.output, 0, a),
                SameBitsAs(this->slice(continuous.output, 0, a)));
    const std::vector<double> middle = this->slice(stream, a, b);
    if (TypeParam::kReset == ResetRule::kAfterBlock) {
        // The middle piece still sees the state the first one left.
        EXPECT_THAT(this->slice(with_reset.output, a, b),
                    SameBitsAs(this->slice(continuous.output, a, b)));
    } else {
        EXPECT_THAT(this->slice(with_reset.output, a, b),
                    SameBitsAs(this->fresh_run(middle, {}).output));
    }
    // The piece after the reset starts from rest.
    const std::vector<double> last = this->slice(stream, b, stream.size());
    EXPECT_THAT(this->slice(with_reset.output, b, stream.size()),
                SameBitsAs(this->fresh_run(last, {}).output));
}

TYPED_TEST_P(BlockContract, EmptyAndNegativeCountsWriteNothingAndKeepTheState) {
    const std::vector<double> stream = TypeParam::contract_stream();
    const BlockRun whole = this->fresh_run(stream, {});
    const auto args = TypeParam::contract_args();
    typename TypeParam::Record record = TypeParam::setup(args);
    const std::size_t half = stream.size() / 2;
    BlockRun pieces = this->run(record, this->slice(stream, 0, half), {});
    for (int32_t count : {0, -1, -1000}) {
        double out = this->kUnwritten;
        std::vector<double> side;
        TypeParam::apply(record, args, stream.data(), count, 0, &out, side);
        EXPECT_EQ(out, this->kUnwritten) << "count " << count;
        pieces.side.insert(pieces.side.end(), side.begin(), side.end());
    }
    const BlockRun rest = this->run(record, this->slice(stream, half, stream.size()), {});
    TypeParam::remove(record);
    pieces.output.insert(pieces.output.end(), rest.output.begin(), rest.output.end());
    pieces.side.insert(pieces.side.end(), rest.side.begin(), rest.side.end());
    if (TypeParam::splits_like_one_run(args)) {
        EXPECT_THAT(pieces.output, SameBitsAs(whole.output));
        EXPECT_THAT(pieces.side, SameBitsAs(whole.side));
    } else {
        EXPECT_THAT(pieces.output,
                    SameBitsAs(this->fresh_run(stream, {static_cast<int32_t>(half)}).output));
    }
}

// Separate records share nothing: several run at once on separate threads,
// each in its own cut of the stream, and give what each gives alone.
TYPED_TEST_P(BlockContract, SeparateRecordsRunConcurrently) {
    const std::vector<double> stream = TypeParam::contract_stream();
    const std::vector<std::vector<int32_t>> cuts{{}, {1, 2, 3}, {16, 16}, {5, 0, 50}};
    std::vector<BlockRun> alone;
    for (const auto &cut : cuts) {
        alone.push_back(this->fresh_run(stream, cut));
    }
    for (int round = 0; round < 3; ++round) {
        std::vector<BlockRun> together(cuts.size());
        std::vector<std::thread> threads;
        for (std::size_t i = 0; i < cuts.size(); ++i) {
            threads.emplace_back(
                [&, i] { together[i] = BlockContract<TypeParam>::fresh_run(stream, cuts[i]); });
        }
        for (std::thread &thread : threads) {
            thread.join();
        }
        for (std::size_t i = 0; i < cuts.size(); ++i) {
            EXPECT_THAT(together[i].output, SameBitsAs(alone[i].output)) << "cut " << i;
            EXPECT_THAT(together[i].side, SameBitsAs(alone[i].side)) << "cut " << i;
        }
    }
}

#ifdef AMI_HEAP_ACCOUNTING
// Each allocation of the setup refused in turn: the record that comes back
// runs and is deleted without a crash, gives finite samples for a finite
// stream, and nothing leaks. The test's own buffers exist before counting.
TYPED_TEST_P(BlockContract, SetupSurvivesEveryRefusedAllocation) {
    const std::vector<double> stream = TypeParam::contract_stream();
    const auto args = TypeParam::contract_args();
    const auto count = static_cast<int32_t>(stream.size());
    std::vector<double> out(stream.size());
    std::vector<double> side;
    for (long fail_at = 1;; ++fail_at) {
        SCOPED_TRACE("allocation " + std::to_string(fail_at) + " refused");
        side.clear();
        side.reserve(4 * stream.size() + 64);
        heap_accounting_start(fail_at);
        typename TypeParam::Record record = TypeParam::setup(args);
        const HeapTally setup = heap_accounting_stop();
        heap_accounting_start();
        TypeParam::apply(record, args, stream.data(), 5, 0, out.data(), side);
        TypeParam::apply(record, args, stream.data() + 5, count - 5, 0, out.data() + 5, side);
        TypeParam::remove(record);
        const HeapTally lifecycle = heap_accounting_stop();
        EXPECT_EQ(setup.live() + lifecycle.live(), 0);
        for (double sample : out) {
            ASSERT_TRUE(std::isfinite(sample));
        }
        if (setup.failures == 0) {
            EXPECT_GT(fail_at, 1) << "the setup allocates nothing";
            break;
        }
    }
}

REGISTER_TYPED_TEST_SUITE_P(BlockContract, StreamCutIntoBlocksEqualsOneRun,
                            InPlaceEqualsSeparateOutput, CopiesOfTheRecordShareOneState,
                            ResetActsAsTheBlockDocuments,
                            EmptyAndNegativeCountsWriteNothingAndKeepTheState,
                            SeparateRecordsRunConcurrently, SetupSurvivesEveryRefusedAllocation);
#else
REGISTER_TYPED_TEST_SUITE_P(BlockContract, StreamCutIntoBlocksEqualsOneRun,
                            InPlaceEqualsSeparateOutput, CopiesOfTheRecordShareOneState,
                            ResetActsAsTheBlockDocuments,
                            EmptyAndNegativeCountsWriteNothingAndKeepTheState,
                            SeparateRecordsRunConcurrently);
#endif

#endif  // AMI_TESTS_SUPPORT_BLOCK_CONTRACT_H
