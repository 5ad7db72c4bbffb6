// Every block of the library, through the adapters the block contract runs
// too (tests/support/block_adapter.h), with fuzzed Setup arguments and a
// fuzzed stream cut into fuzzed blocks, some run with reset. The first byte
// picks the block by its fuzz id. Checks: nothing crashes or leaks; where
// the block promises it, the cut run equals the stream run in one block per
// stretch between resets (as the block's reset rule draws those stretches),
// and a block run in place equals the same block into a separate array.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "blocks/equalisation/equalisation_test_adapters.h"
#include "blocks/filter_math/filter_math_test_adapters.h"
#include "blocks/shaping/shaping_test_adapters.h"
#include "tests/fuzz/fuzz_input.h"
#include "tests/support/block_adapter.h"

namespace {

// One piece of the stream: its sample count (negative counts are blocks of
// nothing) and its reset flag.
struct Piece {
    int32_t count;
    int32_t reset;
};

// Runs the pieces through one record; a piece's samples follow the last
// sample of the previous piece.
template <typename Block>
BlockRun run_pieces(const typename Block::Args &args, const std::vector<double> &stream,
                    const std::vector<Piece> &pieces) {
    BlockRun result;
    auto record = Block::setup(args);
    std::size_t done = 0;
    for (const Piece &piece : pieces) {
        const std::size_t size = piece.count > 0 ? static_cast<std::size_t>(piece.count) : 0;
        std::vector<double> out(size > 0 ? size : 1, -1234.5);
        Block::apply(record, args, stream.data() + done, piece.count, piece.reset, out.data(),
                     result.side);
        if (size == 0) {
            FUZZ_CHECK(out[0] == -1234.5);  // nothing written
        }
        result.output.insert(result.output.end(), out.begin(),
                             out.begin() + static_cast<std::ptrdiff_t>(size));
        done += size;
    }
    Block::remove(record);
    return result;
}

// What the block promises for the cut run: each stretch between resets in
// one block on a fresh record.
template <typename Block>
BlockRun expected_run(const typename Block::Args &args, const std::vector<double> &stream,
                      const std::vector<Piece> &pieces) {
    BlockRun expected;
    std::size_t from = 0;
    std::size_t to = 0;
    auto flush = [&] {
        const std::vector<double> stretch(stream.begin() + static_cast<std::ptrdiff_t>(from),
                                          stream.begin() + static_cast<std::ptrdiff_t>(to));
        const BlockRun part =
            run_pieces<Block>(args, stretch, {Piece{static_cast<int32_t>(stretch.size()), 0}});
        expected.output.insert(expected.output.end(), part.output.begin(), part.output.end());
        expected.side.insert(expected.side.end(), part.side.begin(), part.side.end());
        from = to;
    };
    for (const Piece &piece : pieces) {
        const std::size_t size = piece.count > 0 ? static_cast<std::size_t>(piece.count) : 0;
        if (piece.reset != 0 && Block::kReset == ResetRule::kBeforeAndAfter) {
            flush();
        }
        to += size;
        if (piece.reset != 0 && Block::kReset != ResetRule::kNone) {
            flush();
        }
    }
    flush();
    return expected;
}

template <typename Block>
void fuzz_block(FuzzInput &input) {
    const typename Block::Args args = Block::fuzz_args(input);
    std::vector<Piece> pieces(static_cast<std::size_t>(input.int32_in(0, 12)));
    for (Piece &piece : pieces) {
        piece.count = input.int32_in(-2, 253);
        // Resets only on blocks of samples (what a reset does to an empty
        // block is not promised alike by every block).
        piece.reset = piece.count > 0 && (input.byte() & 1) != 0 ? 1 : 0;
    }
    std::size_t total = 0;
    for (const Piece &piece : pieces) {
        total += piece.count > 0 ? static_cast<std::size_t>(piece.count) : 0;
    }
    // The stream's samples; the last piece takes what the input has left.
    const std::size_t tail = input.left() < 2048 ? input.left() : 2048;
    const std::vector<double> stream = input.samples(total + tail);
    pieces.push_back(Piece{static_cast<int32_t>(tail), 0});

    const BlockRun cut = run_pieces<Block>(args, stream, pieces);
    FUZZ_CHECK(cut.output.size() == stream.size());
    const BlockRun again = run_pieces<Block>(args, stream, pieces);
    FUZZ_CHECK(same_bits(cut.output, again.output) && same_bits(cut.side, again.side));
    if (Block::splits_like_one_run(args)) {
        const BlockRun expected = expected_run<Block>(args, stream, pieces);
        FUZZ_CHECK(same_bits(cut.output, expected.output));
        FUZZ_CHECK(same_bits(cut.side, expected.side));
    }

    // In place, against the separate output of one block.
    const BlockRun separate =
        run_pieces<Block>(args, stream, {Piece{static_cast<int32_t>(stream.size()), 0}});
    auto record = Block::setup(args);
    std::vector<double> samples = stream;
    std::vector<double> side;
    Block::apply(record, args, samples.data(), static_cast<int32_t>(samples.size()), 0,
                 samples.data(), side);
    Block::remove(record);
    FUZZ_CHECK(same_bits(samples, separate.output) && same_bits(side, separate.side));
}

// Every block's adapter, from the lists of the subsystems.
template <typename... Lists>
struct Joined;
template <typename... A, typename... B, typename... Rest>
struct Joined<BlockList<A...>, BlockList<B...>, Rest...> : Joined<BlockList<A..., B...>, Rest...> {
};
template <typename... Blocks>
struct Joined<BlockList<Blocks...>> {
    static constexpr int kCount = sizeof...(Blocks);
    // The ids are 0 .. kCount - 1, each once.
    static constexpr bool ids_are_dense() {
        const int ids[] = {Blocks::kFuzzId...};
        for (int id = 0; id < kCount; ++id) {
            int found = 0;
            for (int listed : ids) {
                found += listed == id ? 1 : 0;
            }
            if (found != 1) {
                return false;
            }
        }
        return true;
    }
    static void fuzz(int id, FuzzInput &input) {
        ((Blocks::kFuzzId == id ? fuzz_block<Blocks>(input) : void()), ...);
    }
};
using AllBlocks = Joined<FilterMathBlocks, EqualisationBlocks, ShapingBlocks>;
static_assert(AllBlocks::ids_are_dense(), "fuzz ids must be 0 .. N-1, each once");

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size) {
    FuzzInput input(data, size);
    AllBlocks::fuzz(input.byte() % AllBlocks::kCount, input);
    return 0;
}
