// Every block of the library with fuzzed Setup arguments and a fuzzed
// stream cut into fuzzed blocks, some run with reset. The first byte picks
// the block. Checks: nothing crashes or leaks; where the block promises it,
// the cut run equals the stream run in one block per stretch between
// resets (as the block's reset rule draws those stretches), and a block run
// in place equals the same block into a separate array.
#include <cmath>
#include <cstdint>
#include <cstring>
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
    if (Block::splits_like_one_run(args)) {
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

// ---- Arguments shared by several blocks ---------------------------------------

// A sample interval: the usual ones, none, negative, or any double.
double sample_interval(FuzzInput &input) {
    static const double kIntervals[] = {1e-12, 3.125e-12, 1e-10, 1.0, 0.0, -1e-12};
    const uint8_t choice = input.byte();
    return choice < 0xf0 ? kIntervals[choice % 6] : input.raw_double();
}

// A duration of a few hundred sample intervals at most (in quarters of one,
// so halves and roundings occur), or one of the edge values; a state of
// billions of samples is not what a fuzzer can afford to run.
double duration(FuzzInput &input, double interval) {
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
const char *mode_keyword(FuzzInput &input) {
    static const char *const kModes[] = {"off", "Off",   "fixed", "Fixed",   "auto", "Auto", "on",
                                         "On",  "adapt", "Adapt", "adapted", "",     nullptr};
    return kModes[input.byte() % 13];
}

// Values for a list of count entries (at most kMax), or none (null).
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
    const double *get() const { return given ? values : nullptr; }
};

// ---- The blocks -------------------------------------------------------------

struct PeakingFilterBlock {
    static constexpr Reset kReset = Reset::kBeforeAndAfter;
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
    static bool splits_like_one_run(const Args & /*args*/) { return true; }
};

// ---- Equalisation -------------------------------------------------------------

struct TxFFEBlock {
    static constexpr Reset kReset = Reset::kAfterBlock;
    static constexpr int32_t kMaxTaps = 12;
    struct Args {
        int32_t samples_per_bit;
        int32_t tap_count;
        int32_t tag;
        Values<kMaxTaps> taps;
        bool advanced;
        double max_gain[kMaxTaps];
        double min_gain[kMaxTaps];
        double gain_step[kMaxTaps];
        uint32_t msg_size;
    };
    static Args read_args(FuzzInput &input) {
        Args args{};
        args.samples_per_bit = input.int32_in(-1, 16);
        args.tap_count = input.int32_in(-1, kMaxTaps);
        args.tag = input.int32_in(INT32_MIN, INT32_MAX);
        args.taps.read(input, args.tap_count, 1.0);
        args.advanced = (input.byte() & 1) != 0;
        for (int32_t k = 0; args.advanced && k < args.tap_count; ++k) {
            args.max_gain[k] = input.sample();
            args.min_gain[k] = input.sample();
            args.gain_step[k] = input.sample() / 16.0;
        }
        args.msg_size = static_cast<uint32_t>(input.int32_in(0, 256));
        return args;
    }
    static TxFFE setup(const Args &args) {
        TxFFE ffe = SetupTxFFE(args.samples_per_bit, args.tap_count, args.tag, args.taps.get());
        if (args.advanced) {
            char msg[257] = {};
            AdvancedTxFFE(ffe, args.max_gain, args.min_gain, args.gain_step, msg, args.msg_size);
            FUZZ_CHECK(std::strlen(msg) < (args.msg_size > 0 ? args.msg_size : 1));
        }
        return ffe;
    }
    static void apply(const TxFFE &record, const Args & /*args*/, const double *in, int32_t count,
                      int32_t reset, double *out, std::vector<double> & /*side*/) {
        ApplyTxFFE(in, count, record, reset, out);
    }
    static void remove(const TxFFE &record) { DeleteTxFFE(record); }
    static bool splits_like_one_run(const Args & /*args*/) { return true; }
};

// Every call measures its own block: no promise about cuts. The reset
// slot carries hold.
struct AGCBlock {
    static constexpr Reset kReset = Reset::kNone;
    static constexpr int32_t kMaxLength = 64;
    struct Args {
        double target;
        int32_t length;
        double impulse[kMaxLength];
        double sample_interval;
        int32_t samples_per_bit;
    };
    static Args read_args(FuzzInput &input) {
        Args args{};
        args.target = input.sample();
        args.length = input.int32_in(-1, kMaxLength);
        for (int32_t k = 0; k < args.length; ++k) {
            args.impulse[k] = input.sample() * 1e11;
        }
        args.sample_interval = sample_interval(input);
        args.samples_per_bit = input.int32_in(-1, 16);
        return args;
    }
    static AGC setup(const Args &args) {
        return SetupAGC(args.target, args.impulse, args.length, args.sample_interval,
                        args.samples_per_bit);
    }
    static void apply(const AGC &record, const Args & /*args*/, const double *in, int32_t count,
                      int32_t hold, double *out, std::vector<double> & /*side*/) {
        ApplyAGC(in, count, record, hold, out);
    }
    static void remove(const AGC &record) { DeleteAGC(record); }
    static bool splits_like_one_run(const Args & /*args*/) { return false; }
};

// On waveforms the taps adapt sample by sample, so cuts do not matter; an
// impulse response is measured as a whole.
struct DFEBlock {
    static constexpr Reset kReset = Reset::kNone;
    static constexpr int32_t kMaxTaps = 10;
    struct Args {
        int32_t tap_count;
        Values<kMaxTaps> taps;
        int32_t samples_per_bit;
        double min_tap, max_tap, tap_resolution, adapt_step;
        const char *mode;
        int32_t impulse;
        double sample_interval;
        Values<kMaxTaps> decisions;
    };
    static Args read_args(FuzzInput &input) {
        Args args{};
        args.tap_count = input.int32_in(-1, kMaxTaps);
        args.taps.read(input, args.tap_count, 0.25);
        args.samples_per_bit = input.int32_in(-1, 8);
        args.min_tap = input.sample() / 4.0;
        args.max_tap = input.sample() / 4.0;
        args.tap_resolution = input.sample() / 256.0;
        args.adapt_step = input.sample() / 16.0;
        args.mode = mode_keyword(input);
        args.impulse = input.byte() & 1;
        args.sample_interval = sample_interval(input);
        args.decisions.read(input, kMaxTaps, 1.0);
        return args;
    }
    static DFE setup(const Args &args) {
        char msg[257] = {};
        return SetupDFE(args.tap_count, args.taps.get(), args.samples_per_bit, args.min_tap,
                        args.max_tap, args.tap_resolution, args.mode, args.adapt_step, msg, 256);
    }
    static void apply(const DFE &record, const Args &args, const double *in, int32_t count,
                      int32_t /*reset*/, double *out, std::vector<double> & /*side*/) {
        ApplyDFE(in, count, record, args.impulse, args.sample_interval, args.decisions.get(), out);
    }
    static void remove(const DFE &record) { DeleteDFE(record); }
    static bool splits_like_one_run(const Args &args) { return args.impulse == 0; }
};

// The CDR writes no waveform (its output is the input): its tick times go
// to side. Each call writes from clock index 0 into room for a tick per
// sample and one more.
struct CDRBlock {
    static constexpr Reset kReset = Reset::kNone;
    struct Args {
        const char *mode;
        double phase_step;
        int32_t max_threshold;
        double freq_offset;
        int32_t decision_count;
        int32_t samples_per_bit;
        double dfe_tap;
        double invert_time;
        int32_t reference_clock;
        double sample_interval;
    };
    static Args read_args(FuzzInput &input) {
        Args args{};
        args.mode = mode_keyword(input);
        args.phase_step = input.sample() / 8.0;
        args.max_threshold = input.int32_in(-2, 16);
        args.freq_offset = input.sample() / 64.0;
        args.decision_count = input.int32_in(-1, 64);
        args.samples_per_bit = input.int32_in(-1, 16);
        args.dfe_tap = input.sample() / 4.0;
        args.invert_time = input.sample() * 1e-9;
        args.reference_clock = input.byte() & 1;
        args.sample_interval = sample_interval(input);
        return args;
    }
    static CDR setup(const Args &args) {
        char msg[257] = {};
        CDR cdr = SetupCDR(args.mode, args.phase_step, args.max_threshold, args.freq_offset,
                           args.decision_count, args.samples_per_bit, args.dfe_tap,
                           args.invert_time, msg, 256);
        EnableReferenceClk(&cdr, args.reference_clock);
        return cdr;
    }
    static void apply(const CDR &record, const Args &args, const double *in, int32_t count,
                      int32_t /*reset*/, double *out, std::vector<double> &side) {
        const std::size_t room = static_cast<std::size_t>(count > 0 ? count : 0) + 1;
        std::vector<double> clock(room, 0.0);
        const int32_t ticks = ApplyCDR(in, count, record, args.sample_interval, 0, clock.data());
        FUZZ_CHECK(ticks >= 0 && static_cast<std::size_t>(ticks) < room);
        side.insert(side.end(), clock.begin(), clock.begin() + ticks);
        for (int32_t t = 0; t < count; ++t) {
            out[t] = in[t];
        }
    }
    static void remove(const CDR &record) { DeleteCDR(record); }
    static bool splits_like_one_run(const Args & /*args*/) { return true; }
};

// ---- Channel shaping ----------------------------------------------------------

// The blocks set up from a sample interval and up to two more values, each
// a duration or a gain, with a reset that clears the state after its block.
template <typename Record, void (*Apply)(const double *, int32_t, Record, int32_t, double *),
          void (*Delete)(Record)>
struct ShapingBlock {
    static constexpr Reset kReset = Reset::kAfterBlock;
    struct Args {
        double sample_interval;
        double gain;
        double duration;
    };
    static Args read_args(FuzzInput &input) {
        Args args{};
        args.sample_interval = sample_interval(input);
        args.gain = input.sample();
        args.duration = duration(input, args.sample_interval);
        return args;
    }
    static void apply(const Record &record, const Args & /*args*/, const double *in, int32_t count,
                      int32_t reset, double *out, std::vector<double> & /*side*/) {
        Apply(in, count, record, reset, out);
    }
    static void remove(const Record &record) { Delete(record); }
    static bool splits_like_one_run(const Args & /*args*/) { return true; }
};

struct DelayBlock : ShapingBlock<DelayLine, ApplyDelay, DeleteDelay> {
    static DelayLine setup(const Args &args) {
        return SetupDelay(args.duration, args.sample_interval);
    }
};
struct SlopeBlock : ShapingBlock<Slope, ApplySlope, DeleteSlope> {
    static Slope setup(const Args &args) { return SetupSlope(args.duration, args.sample_interval); }
};
struct SawtoothBlock : ShapingBlock<Sawtooth, ApplySawtooth, DeleteSawtooth> {
    static Sawtooth setup(const Args &args) {
        return SetSawtooth(args.sample_interval, args.gain, args.duration);
    }
};
struct RiseFallBlock : ShapingBlock<RiseFall, ApplyRiseFall, DeleteRiseFall> {
    static RiseFall setup(const Args &args) {
        return SetRiseFall(args.sample_interval, args.duration);
    }
};
struct RayleighBlock : ShapingBlock<Rayleigh, ApplyRayleigh, DeleteRayleigh> {
    static Rayleigh setup(const Args &args) {
        return SetRayleigh(args.sample_interval, args.gain, args.duration);
    }
};
struct TriangleBlock : ShapingBlock<Triangle, ApplyTriangle, DeleteTriangle> {
    static Triangle setup(const Args &args) {
        return SetTriangle(args.sample_interval, args.gain, args.duration);
    }
};

// A table of strictly increasing points (anything else aborts by contract);
// no state, no reset.
struct TableBlock {
    static constexpr Reset kReset = Reset::kNone;
    static constexpr int32_t kMaxPoints = 40;
    struct Args {
        int32_t npts;
        double x[kMaxPoints];
        double y[kMaxPoints];
    };
    static Args read_args(FuzzInput &input) {
        Args args{};
        args.npts = input.int32_in(2, kMaxPoints);
        // Steps of 1/32 to 8 from a start on the grid of 1/64: never lost
        // to rounding, so the axis always increases.
        double x = (static_cast<double>(input.byte()) - 128.0) / 64.0;
        for (int32_t k = 0; k < args.npts; ++k) {
            args.x[k] = x;
            args.y[k] = input.sample();
            x += static_cast<double>(input.byte() + 1) / 32.0;
        }
        return args;
    }
    static Table setup(const Args &args) { return SetTable(args.npts, args.x, args.y); }
    static void apply(const Table &record, const Args & /*args*/, const double *in, int32_t count,
                      int32_t /*reset*/, double *out, std::vector<double> & /*side*/) {
        ApplyTable(in, count, record, out);
    }
    static void remove(const Table &record) { DeleteTable(record); }
    static bool splits_like_one_run(const Args & /*args*/) { return true; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size) {
    FuzzInput input(data, size);
    constexpr int kBlocks = 12;
    switch (input.byte() % kBlocks) {
        case 0:
            fuzz_block<PeakingFilterBlock>(input);
            break;
        case 1:
            fuzz_block<TxFFEBlock>(input);
            break;
        case 2:
            fuzz_block<AGCBlock>(input);
            break;
        case 3:
            fuzz_block<DFEBlock>(input);
            break;
        case 5:
            fuzz_block<DelayBlock>(input);
            break;
        case 6:
            fuzz_block<SlopeBlock>(input);
            break;
        case 7:
            fuzz_block<SawtoothBlock>(input);
            break;
        case 8:
            fuzz_block<RiseFallBlock>(input);
            break;
        case 9:
            fuzz_block<RayleighBlock>(input);
            break;
        case 10:
            fuzz_block<TriangleBlock>(input);
            break;
        case 11:
            fuzz_block<TableBlock>(input);
            break;
        default:
            fuzz_block<CDRBlock>(input);
            break;
    }
    return 0;
}
