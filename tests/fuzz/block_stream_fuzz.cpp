// Every block of the library with fuzzed Setup arguments and a fuzzed
// stream cut into fuzzed blocks, some run with reset. The first byte picks
// the block. Checks: nothing crashes or leaks; where the block promises it,
// the cut run equals the stream run in one block per stretch between
// resets (as the block's reset rule draws those stretches), and a block run
// in place equals the same block into a separate array.
#include <cstdint>
#include <vector>

#include "Kestrom_AMI_Model.h"
#include "tests/fuzz/fuzz_input.h"

namespace {

enum class Reset { kNone, kAfterBlock, kBeforeAndAfter };

struct Run {
    std::vector<double> output;
    std::vector<double> side;
};

// One piece of the stream: its sample count (negative counts are blocks of
// nothing) and its reset flag.
struct Piece {
    int32_t count;
    int32_t reset;
};

// Runs the pieces through one record; a piece's samples follow the last
// sample of the previous piece.
template <typename Block>
Run run_pieces(const typename Block::Args &args, const std::vector<double> &stream,
               const std::vector<Piece> &pieces) {
    Run result;
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
Run expected_run(const typename Block::Args &args, const std::vector<double> &stream,
                 const std::vector<Piece> &pieces) {
    Run expected;
    std::size_t from = 0;
    std::size_t to = 0;
    auto flush = [&] {
        const std::vector<double> stretch(stream.begin() + static_cast<std::ptrdiff_t>(from),
                                          stream.begin() + static_cast<std::ptrdiff_t>(to));
        const Run part =
            run_pieces<Block>(args, stretch, {Piece{static_cast<int32_t>(stretch.size()), 0}});
        expected.output.insert(expected.output.end(), part.output.begin(), part.output.end());
        expected.side.insert(expected.side.end(), part.side.begin(), part.side.end());
        from = to;
    };
    for (const Piece &piece : pieces) {
        const std::size_t size = piece.count > 0 ? static_cast<std::size_t>(piece.count) : 0;
        if (piece.reset != 0 && Block::kReset == Reset::kBeforeAndAfter) {
            flush();
        }
        to += size;
        if (piece.reset != 0 && Block::kReset != Reset::kNone) {
            flush();
        }
    }
    flush();
    return expected;
}

template <typename Block>
void fuzz_block(FuzzInput &input) {
    const typename Block::Args args = Block::read_args(input);
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

    const Run cut = run_pieces<Block>(args, stream, pieces);
    FUZZ_CHECK(cut.output.size() == stream.size());
    const Run again = run_pieces<Block>(args, stream, pieces);
    FUZZ_CHECK(same_bits(cut.output, again.output) && same_bits(cut.side, again.side));
    if (Block::kSplitRunsEqualOneRun) {
        const Run expected = expected_run<Block>(args, stream, pieces);
        FUZZ_CHECK(same_bits(cut.output, expected.output));
        FUZZ_CHECK(same_bits(cut.side, expected.side));
    }

    // In place, against the separate output of one block.
    const Run separate =
        run_pieces<Block>(args, stream, {Piece{static_cast<int32_t>(stream.size()), 0}});
    auto record = Block::setup(args);
    std::vector<double> samples = stream;
    std::vector<double> side;
    Block::apply(record, args, samples.data(), static_cast<int32_t>(samples.size()), 0,
                 samples.data(), side);
    Block::remove(record);
    FUZZ_CHECK(same_bits(samples, separate.output) && same_bits(side, separate.side));
}

// ---- The blocks -------------------------------------------------------------

struct PeakingFilterBlock {
    static constexpr Reset kReset = Reset::kBeforeAndAfter;
    static constexpr bool kSplitRunsEqualOneRun = true;
    static constexpr int32_t kMaxConfigs = 4;
    static constexpr int32_t kMaxPoles = 14;  // beyond the specialised kernels
    struct Args {
        double sample_interval;
        int32_t pole_count;
        int32_t filter_count;
        int32_t index;
        Complex poles[kMaxConfigs][kMaxPoles];
        Complex residues[kMaxConfigs][kMaxPoles];
        double gains[kMaxConfigs];
    };
    static Args read_args(FuzzInput &input) {
        static const double kIntervals[] = {1e-10, 3.125e-12, 1e-12, 0.0};
        Args args{};
        const uint8_t interval = input.byte();
        args.sample_interval = interval < 0xf0 ? kIntervals[interval % 4] : input.raw_double();
        args.pole_count = input.int32_in(-1, kMaxPoles);
        args.filter_count = input.int32_in(-1, kMaxConfigs);
        args.index = input.int32_in(-2, kMaxConfigs + 1);
        for (int32_t i = 0; i < args.filter_count; ++i) {
            args.gains[i] = input.sample();
            for (int32_t k = 0; k < args.pole_count; ++k) {
                // Poles of up to about 1e10 rad/s either side, residues of
                // a few units, zero among them (it ends a pole list).
                args.poles[i][k] = cmplx(input.sample() * 5e9, input.sample() * 5e9);
                args.residues[i][k] = cmplx(input.sample(), input.sample());
            }
        }
        return args;
    }
    static PeakingFilter setup(const Args &args) {
        Complex *poles[kMaxConfigs];
        Complex *residues[kMaxConfigs];
        for (int32_t i = 0; i < kMaxConfigs; ++i) {
            poles[i] = const_cast<Complex *>(args.poles[i]);
            residues[i] = const_cast<Complex *>(args.residues[i]);
        }
        return SetupPeakingFilter(args.sample_interval, args.pole_count, args.filter_count, poles,
                                  residues, args.gains, nullptr, 0);
    }
    static void apply(const PeakingFilter &record, const Args &args, const double *in,
                      int32_t count, int32_t reset, double *out, std::vector<double> & /*side*/) {
        ApplyPeakingFilter(in, count, record, args.index, reset, out);
    }
    static void remove(const PeakingFilter &record) { DeletePeakingFilter(record); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size) {
    FuzzInput input(data, size);
    switch (input.byte() % 1) {
        default:
            fuzz_block<PeakingFilterBlock>(input);
            break;
    }
    return 0;
}
