// AMI_Init, AMI_GetWave and AMI_Close with fuzzed arguments: the impulse
// matrix's shape, the sample interval, the waveform and its cut into
// blocks, and the parameter string (the rest of the input; a first byte 0
// passes none). Checks what the entry points promise: Init succeeds for a
// finite sample interval above 0 and refuses any other, echoes valid values
// and keeps its message within 64 KiB; the responses are untouched with
// pre-emphasis off or a refused interval, and otherwise each is filtered
// from rest as a fresh instance filters its first block; a waveform cut into
// blocks gives the samples of one block.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "Halvorin_7314_Tx.h"
#include "tests/fuzz/fuzz_input.h"

namespace {

// One instance from AMI_Init to AMI_Close.
class Instance {
  public:
    Instance(std::vector<double> &matrix, long row_size, long aggressors, double sample_interval,
             const std::string *params) {
        std::string text = params != nullptr ? *params : std::string();
        result_ = AMI_Init(matrix.empty() ? nullptr : matrix.data(), row_size, aggressors,
                           sample_interval, 1e-10, params != nullptr ? &text[0] : nullptr,
                           &params_out_, &memory_, &msg_);
    }
    ~Instance() { FUZZ_CHECK(AMI_Close(memory_) == 1); }
    Instance(const Instance &) = delete;
    Instance &operator=(const Instance &) = delete;

    void get_wave(double *wave, long size) {
        char *out = params_out_;  // anything but null
        FUZZ_CHECK(AMI_GetWave(wave, size, nullptr, &out, memory_) == 1);
        FUZZ_CHECK(out == nullptr);
    }

    long result_ = 0;
    char *params_out_ = nullptr;
    char *msg_ = nullptr;
    void *memory_ = nullptr;
};

double stimulus(uint8_t seed, std::size_t t) {
    return static_cast<double>(static_cast<long>((seed * 31u + t * 17u) % 97u) - 48) / 32.0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size) {
    FuzzInput input(data, size);
    static const double kIntervals[] = {3.125e-12, 1e-12, 1e-10, 2.5e-11, 1e-15, 1e-9, 0.0, -1e-12};
    const long row_size = input.int32_in(-2, 48);
    const long aggressors = input.int32_in(-2, 3);
    const uint8_t interval_choice = input.byte();
    const double sample_interval =
        interval_choice < 0xf0 ? kIntervals[interval_choice % 8] : input.raw_double();
    const std::size_t wave_size = static_cast<std::size_t>(input.int32_in(0, 600));
    const uint8_t seed = input.byte();
    std::vector<long> cuts(static_cast<std::size_t>(input.int32_in(0, 8)));
    for (long &cut : cuts) {
        cut = input.int32_in(-1, 300);
    }
    const bool with_params = input.byte() != 0;
    const std::string params = input.rest_as_text();

    const std::size_t responses =
        row_size > 0 && aggressors >= 0 ? static_cast<std::size_t>((aggressors + 1) * row_size) : 0;
    std::vector<double> matrix(responses);
    for (std::size_t t = 0; t < responses; ++t) {
        matrix[t] = stimulus(seed ^ 0x5a, t);
    }
    const std::vector<double> original_matrix = matrix;

    Instance cut_run(matrix, row_size, aggressors, sample_interval,
                     with_params ? &params : nullptr);
    const bool usable = std::isfinite(sample_interval) && sample_interval > 0.0;
    FUZZ_CHECK(cut_run.result_ == (usable ? 1 : 0));
    FUZZ_CHECK(cut_run.memory_ != nullptr && cut_run.msg_ != nullptr);
    FUZZ_CHECK(std::strlen(cut_run.msg_) <= 64 * 1024);
    FUZZ_CHECK(std::strstr(cut_run.msg_, "**Info** Configured ") != nullptr);
    FUZZ_CHECK(usable ||
               std::strstr(cut_run.msg_, "**Error** Halvorin_7314_Tx: sample_interval") != nullptr);
    int corner = 99;
    int preemph = 99;
    FUZZ_CHECK(std::sscanf(cut_run.params_out_, "(Halvorin_7314_Tx(TX_Corner %d)(TX_Preemph %d))",
                           &corner, &preemph) == 2);
    FUZZ_CHECK(corner >= -1 && corner <= 1 && (preemph == 0 || preemph == 1));

    // The responses: untouched, or each filtered from rest.
    std::vector<double> dummy;
    if (preemph == 0 || !usable) {
        FUZZ_CHECK(same_bits(matrix, original_matrix));
    } else {
        for (long k = 0; k <= aggressors && row_size > 0; ++k) {
            const auto from = static_cast<std::ptrdiff_t>(k * row_size);
            std::vector<double> response(original_matrix.begin() + from,
                                         original_matrix.begin() + from + row_size);
            Instance fresh(dummy, 0, -1, sample_interval, with_params ? &params : nullptr);
            fresh.get_wave(response.data(), row_size);
            FUZZ_CHECK(same_bits(response, std::vector<double>(matrix.begin() + from,
                                                               matrix.begin() + from + row_size)));
        }
    }

    // The waveform in blocks, against one block through a second instance.
    std::vector<double> wave(wave_size);
    for (std::size_t t = 0; t < wave_size; ++t) {
        wave[t] = stimulus(seed, t);
    }
    std::vector<double> whole = wave;
    Instance one_run(dummy, 0, -1, sample_interval, with_params ? &params : nullptr);
    one_run.get_wave(whole.data(), static_cast<long>(whole.size()));
    std::size_t done = 0;
    for (long cut : cuts) {
        const std::size_t piece =
            cut < 0 ? 0 : std::min(static_cast<std::size_t>(cut), wave_size - done);
        // A negative size is a block of nothing.
        cut_run.get_wave(wave.data() + done, cut < 0 ? cut : static_cast<long>(piece));
        done += piece;
    }
    cut_run.get_wave(wave.data() + done, static_cast<long>(wave_size - done));
    FUZZ_CHECK(same_bits(wave, whole));
    if (preemph == 0 || !usable) {
        for (std::size_t t = 0; t < wave_size; ++t) {
            FUZZ_CHECK(wave[t] == stimulus(seed, t));
        }
    }
    return 0;
}
