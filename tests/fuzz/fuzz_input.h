// Reading a fuzzer's input bytes as the arguments of a call: integers in a
// range, doubles, texts. Past the end every read gives its smallest value,
// so any input, the empty one included, is a complete set of arguments.
// The same reader serves libFuzzer and the corpus replay of the test builds.
#ifndef AMI_TESTS_FUZZ_FUZZ_INPUT_H
#define AMI_TESTS_FUZZ_FUZZ_INPUT_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

class FuzzInput {
  public:
    FuzzInput(const uint8_t *data, std::size_t size) : data_(data), size_(size) {}

    std::size_t left() const { return size_ - pos_; }

    uint8_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }

    // An integer in lo .. hi from as few bytes as the range needs.
    int64_t in_range(int64_t lo, int64_t hi) {
        const uint64_t span = static_cast<uint64_t>(hi - lo);
        uint64_t value = 0;
        for (uint64_t reach = 0; reach < span && left() > 0; reach = (reach << 8) | 0xff) {
            value = (value << 8) | byte();
        }
        return lo + static_cast<int64_t>(span == UINT64_MAX ? value : value % (span + 1));
    }
    int32_t int32_in(int32_t lo, int32_t hi) { return static_cast<int32_t>(in_range(lo, hi)); }

    // Any double, NaN and infinities included: eight raw bytes.
    double raw_double() {
        uint64_t bits = 0;
        for (int k = 0; k < 8; ++k) {
            bits |= static_cast<uint64_t>(byte()) << (8 * k);
        }
        double value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }

    // A sample value: mostly small numbers a stream carries (one byte, in
    // steps of 1/64 from -2), sometimes raw doubles (one byte of 0xff first).
    double sample() {
        const uint8_t b = byte();
        return b == 0xff ? raw_double() : (static_cast<double>(b) - 128.0) / 64.0;
    }

    // One of the given values, chosen by one byte.
    template <typename T, std::size_t N>
    T pick(const T (&values)[N]) {
        return values[byte() % N];
    }

    // The rest of the input as a text (bytes up to the end; a NUL ends it).
    std::string rest_as_text() {
        std::string text(reinterpret_cast<const char *>(data_ + pos_), left());
        pos_ = size_;
        return text.substr(0, text.find('\0'));
    }

    // count samples.
    std::vector<double> samples(std::size_t count) {
        std::vector<double> values(count);
        for (double &v : values) {
            v = sample();
        }
        return values;
    }

  private:
    const uint8_t *data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

// A broken promise: says which and stops, so that libFuzzer keeps the input
// and the corpus replay fails.
#define FUZZ_CHECK(condition)                                                                  \
    do {                                                                                       \
        if (!(condition)) {                                                                    \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                      \
        }                                                                                      \
    } while (0)

// Bit-for-bit equality of two runs, NaN included.
inline bool same_bits(const std::vector<double> &a, const std::vector<double> &b) {
    return a.size() == b.size() &&
           (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0);
}

#endif  // AMI_TESTS_FUZZ_FUZZ_INPUT_H
