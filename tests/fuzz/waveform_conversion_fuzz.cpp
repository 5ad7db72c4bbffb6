// The waveform conversions (impulse, pulse, step, PRBS7) on fuzzed sizes,
// samples per bit, sample intervals and samples. The first byte picks the
// conversion. Every array is exactly as long as the function may touch, so
// a read or write outside it is caught; the documented edge cases are
// checked: n <= 0 writes nothing (the folds give a period of zeros),
// samples_per_bit < 1 makes the folds write nothing and the unfolds zeros.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "Kestrom_AMI_Model.h"
#include "tests/fuzz/fuzz_input.h"

namespace {

constexpr double kUnwritten = -1234.5;
constexpr int32_t kPatternBits = 127;

bool all_equal(const std::vector<double> &v, double value) {
    for (double x : v) {
        if (!(x == value)) {
            return false;
        }
    }
    return true;
}

std::size_t size_of(int32_t n) {
    return n > 0 ? static_cast<std::size_t>(n) : 0;
}

// An array of at least one element, so that a function given no samples
// still gets a pointer it must not use.
std::vector<double> unwritten(std::size_t count) {
    return std::vector<double>(count > 0 ? count : 1, kUnwritten);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size) {
    FuzzInput input(data, size);
    const int conversion = input.byte() % 13;  // the table and tanh functions too
    // Responses of up to 400 samples; bits of up to 12 samples, and of up
    // to 2 for the PRBS7 conversions, whose work grows with the period (127
    // bits) times itself: long enough for every branch (a response longer
    // than the period, several bits a response), short enough to run
    // thousands of times a second. Also no bit and, for the conversions
    // that write no period into the caller's array, bits beyond any period.
    const int32_t n = input.int32_in(-2, 400);
    static const int32_t kHugeBits[] = {5636441, INT32_MAX, INT32_MIN, -7};
    const uint8_t bits_choice = input.byte();
    const bool folds = conversion == 4 || conversion == 6;
    const bool prbs7 = conversion >= 4 && conversion != 9;
    int32_t spb = bits_choice % (prbs7 ? 4 : 14) - 1;
    if (bits_choice >= 0xf8 && !folds) {
        spb = kHugeBits[bits_choice % 4];
    }
    static const double kIntervals[] = {3.125e-12, 1e-12, 1.0, 0.0, -1e-12};
    const uint8_t interval = input.byte();
    const double T = interval < 0xf0 ? kIntervals[interval % 5] : input.raw_double();
    const std::size_t count = size_of(n);
    const std::size_t period =
        spb > 0 && spb < 1000 ? kPatternBits * static_cast<std::size_t>(spb) : 0;

    switch (conversion) {
        case 0: {  // I2S
            const std::vector<double> impulse = input.samples(count);
            std::vector<double> step = unwritten(2 * count);
            I2S(step.data(), impulse.data(), n, T);
            FUZZ_CHECK(n > 0 || all_equal(step, kUnwritten));
            break;
        }
        case 1: {  // I2P
            const std::vector<double> impulse = input.samples(count);
            std::vector<double> pulse = unwritten(count);
            I2P(pulse.data(), impulse.data(), n, spb, T);
            FUZZ_CHECK(n > 0 || all_equal(pulse, kUnwritten));
            break;
        }
        case 2: {  // S2I reads the second half of the step only
            std::vector<double> step(count, kUnwritten);
            const std::vector<double> second = input.samples(count);
            step.insert(step.end(), second.begin(), second.end());
            std::vector<double> impulse = unwritten(count);
            S2I(impulse.data(), step.empty() ? nullptr : step.data(), n, T);
            FUZZ_CHECK(n > 0 || all_equal(impulse, kUnwritten));
            break;
        }
        case 3: {  // P2I
            const std::vector<double> pulse = input.samples(count);
            std::vector<double> impulse = unwritten(count);
            P2I(impulse.data(), pulse.data(), n, spb, T);
            FUZZ_CHECK(n > 0 || all_equal(impulse, kUnwritten));
            FUZZ_CHECK(n <= 0 || spb >= 1 || all_equal(impulse, 0.0));
            break;
        }
        case 4:    // P2PRBS
        case 6: {  // I2PRBS
            const std::vector<double> response = input.samples(count);
            std::vector<double> waveform = unwritten(period);
            if (conversion == 4) {
                P2PRBS(waveform.data(), response.data(), n, spb, T);
            } else {
                I2PRBS(waveform.data(), response.data(), n, spb, T);
            }
            FUZZ_CHECK(spb >= 1 || all_equal(waveform, kUnwritten));
            FUZZ_CHECK(spb < 1 || n > 0 || all_equal(waveform, 0.0));
            break;
        }
        case 5:    // PRBS2P
        case 7: {  // PRBS2I
            const std::vector<double> waveform = input.samples(period);
            std::vector<double> response = unwritten(count);
            if (conversion == 5) {
                PRBS2P(response.data(), waveform.empty() ? nullptr : waveform.data(), n, spb, T);
            } else {
                PRBS2I(response.data(), waveform.empty() ? nullptr : waveform.data(), n, spb, T);
            }
            FUZZ_CHECK(n > 0 || all_equal(response, kUnwritten));
            FUZZ_CHECK(n <= 0 || period > 0 || all_equal(response, 0.0));
            break;
        }
        case 10:    // PulseTablePRBS
        case 11: {  // ApplyTablePRBS
            // A table of strictly increasing points (anything else aborts
            // by contract).
            const int32_t points = input.int32_in(2, 8);
            std::vector<double> x(static_cast<std::size_t>(points));
            std::vector<double> y(x.size());
            for (std::size_t k = 0; k < x.size(); ++k) {
                x[k] = (k == 0 ? -1.0 : x[k - 1]) + static_cast<double>(input.byte() + 1) / 64.0;
                y[k] = input.sample();
            }
            const Table table = SetTable(points, x.data(), y.data());
            std::vector<double> response = input.samples(count);
            response.resize(count > 0 ? count : 1, kUnwritten);
            // In place, as the functions allow.
            if (conversion == 10) {
                PulseTablePRBS(response.data(), n, spb, T, table, response.data());
            } else {
                ApplyTablePRBS(response.data(), n, spb, T, table, response.data());
            }
            DeleteTable(table);
            FUZZ_CHECK(n > 0 || all_equal(response, kUnwritten));
            FUZZ_CHECK(n <= 0 || period > 0 || all_equal(response, 0.0));
            break;
        }
        case 12: {  // Apply_tanh
            static const double kLimits[] = {0.5, 0.0, -0.25, 1e-300};
            const uint8_t limit_choice = input.byte();
            const double limit =
                limit_choice < 0xf0 ? kLimits[limit_choice % 4] : input.raw_double();
            const std::vector<double> impulse = input.samples(count);
            std::vector<double> output = unwritten(count);
            Apply_tanh(impulse.data(), n, spb, T, limit, output.data());
            FUZZ_CHECK(n > 0 || all_equal(output, kUnwritten));
            FUZZ_CHECK(n <= 0 || period > 0 || all_equal(output, 0.0));
            break;
        }
        case 9: {  // the eye and error metrics
            const std::vector<double> impulse = input.samples(count);
            const double measures[] = {MAX(impulse.data(), n, spb, T),
                                       PDA(impulse.data(), n, spb, T),
                                       SNR(impulse.data(), n, spb, T, input.sample())};
            for (double measure : measures) {
                FUZZ_CHECK((n > 0 && spb >= 1) || measure == 0.0);
            }
            const double reference = input.sample();
            const double energy = ErrEnergy(impulse.data(), n, reference);
            FUZZ_CHECK(n > 0 || energy == 0.0 || std::isnan(reference));  // a sum of 0 over a / a
            FUZZ_CHECK(std::isnan(energy) || energy >= 0.0);
            break;
        }
        default: {  // I2PRBS7, then PRBS72I, which frees the waveform
            const std::vector<double> impulse = input.samples(count);
            double *waveform = reinterpret_cast<double *>(&input);  // must be replaced
            int32_t length = -1;
            int32_t shift = -1;
            I2PRBS7(&waveform, impulse.data(), n, spb, &length, &shift, T);
            if (period == 0) {
                FUZZ_CHECK(waveform == nullptr && length == 0);
            } else {
                FUZZ_CHECK(waveform != nullptr);
                FUZZ_CHECK(static_cast<std::size_t>(length) == 3 * period);
                FUZZ_CHECK(shift >= 0 && (n <= 0 || shift < n));
            }
            std::vector<double> back = unwritten(count);
            PRBS72I(back.data(), &waveform, n, spb, &shift, T);
            FUZZ_CHECK(n > 0 || all_equal(back, kUnwritten));
            FUZZ_CHECK(n <= 0 || period > 0 || all_equal(back, 0.0));
            break;
        }
    }
    return 0;
}
