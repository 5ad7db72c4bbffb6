// The waveform conversions and the PRBS7 fold and unfold transcribed
// literally, one output sample at a time with modulo indexing, for the tests
// that check the library bit for bit against them and the benchmarks that
// time the library beside them. They hold for the sizes where the literal
// reading stays inside the arrays: n >= 6 for the differentiator, n >= L
// for the unfold, samples per bit >= 1.
#ifndef AMI_BLOCKS_WAVEFORMS_WAVEFORMS_LITERAL_H
#define AMI_BLOCKS_WAVEFORMS_WAVEFORMS_LITERAL_H

#include <cmath>
#include <cstdint>
#include <vector>

namespace literal {

// d0 .. d6 = 1, dk = d(k-1) XOR d(k-7).
inline std::vector<int> prbs7_bits() {
    std::vector<int> d(127);
    for (int k = 0; k < 127; ++k) {
        d[k] = k < 7 ? 1 : d[k - 1] ^ d[k - 7];
    }
    return d;
}

inline void I2P(double *pulse, const double *h, int32_t n, int32_t spb, double T) {
    for (int32_t i = 0; i < n; ++i) {
        double sum = 0.0;
        for (int32_t j = 0; j < spb && i - j >= 0; ++j) {
            sum += h[i - j];
        }
        pulse[i] = T * sum;
    }
}

inline void S2I(double *impulse, const double *step, int32_t n, double T) {
    const double *s = step + n;
    auto c = [n](int32_t k) { return k < 0 ? 0 : (k > n - 1 ? n - 1 : k); };
    for (int32_t i = 0; i < n; ++i) {
        impulse[i] = (0.59 * (s[c(i + 1)] - s[c(i - 1)]) - 0.03 * (s[c(i + 3)] - s[c(i - 3)])) / T;
    }
}

inline void P2I(double *impulse, const double *p, int32_t n, int32_t spb, double T) {
    std::vector<double> scratch(2 * static_cast<std::size_t>(n));
    for (int32_t i = 0; i < n; ++i) {
        double sum = 0.0;
        for (int32_t m = 0; i - m * spb >= 0; ++m) {
            sum += p[i - m * spb];
        }
        scratch[n + i] = sum;
    }
    S2I(impulse, scratch.data(), n, T);
}

inline void P2PRBS(double *wave, const double *pulse, int32_t n, int32_t spb) {
    const std::vector<int> d = prbs7_bits();
    const int32_t L = 127 * spb;
    for (int32_t t = 0; t < L; ++t) {
        wave[t] = 0.0;
    }
    for (int32_t k = 0; k < 127; ++k) {
        const double a = d[k] != 0 ? 0.5 : -0.5;
        for (int32_t j = 0; j < n; ++j) {
            wave[(j + k * spb) % L] += a * pulse[j];
        }
    }
}

inline double parabolic_weight(int32_t x, int32_t H) {
    return 1.0 - static_cast<double>(x) * static_cast<double>(x) / static_cast<double>(H);
}

// Requires n >= 127 spb.
inline void PRBS2P(double *pulse, const double *wave, int32_t n, int32_t spb) {
    const std::vector<int> d = prbs7_bits();
    const int32_t L = 127 * spb;
    std::vector<double> corr(L, 0.0);
    std::vector<double> correction(n, 0.0);
    for (int32_t k = 0; k < 127; ++k) {
        const double sk = d[k] != 0 ? 1.0 : -1.0;
        for (int32_t s = 0; s < L; ++s) {
            corr[s] += sk * wave[(k * spb + s) % L];
        }
    }
    for (int32_t j = 0; j < L; ++j) {
        pulse[j] = corr[j] * 0.03125;
        for (int32_t m = 1; m <= 126; ++m) {
            pulse[j] += corr[(j + m * spb) % L] * 0.015625;
        }
    }
    int32_t peak = 0;
    double largest = 0.0;
    for (int32_t i = 0; i < L; ++i) {
        if (std::fabs(pulse[i]) > largest) {
            largest = std::fabs(pulse[i]);
            peak = i;
        }
    }
    if (peak > 12 * spb) {
        const int32_t D = peak - 12 * spb;
        for (int32_t s = 0; s < D; ++s) {
            pulse[(L + s) % n] = pulse[s];
        }
        for (int32_t t = L + D; t <= n + D - 1; ++t) {
            pulse[t % n] = pulse[D + (t % spb)];
        }
    } else if (n > L) {
        for (int32_t i = L; i < n; ++i) {
            pulse[i] = pulse[126 * spb + (i % spb)];
        }
    }
    const int32_t H = 289 * spb * spb / 4;
    const int32_t E = 17 * spb / 2;
    double S1 = 0.0;
    for (int32_t i = -8; i <= 8; ++i) {
        S1 += parabolic_weight(i * spb, H);
    }
    double S2 = 0.0;
    for (int32_t l = -(E - 1); l <= E - 1; ++l) {
        S2 += parabolic_weight(l, H);
    }
    auto wrap = [n](int32_t k) { return ((k % n) + n) % n; };
    for (int32_t k = 0; k < n; ++k) {
        double bit = 0.0;
        for (int32_t i = -8; i <= 8; ++i) {
            bit += parabolic_weight(i * spb, H) * pulse[wrap(k + i * spb)] / S1;
        }
        double all = 0.0;
        for (int32_t l = -(E - 1); l <= E - 1; ++l) {
            all += parabolic_weight(l, H) * pulse[wrap(k + l)] / S2;
        }
        correction[k] = bit - all;
    }
    double B = 0.0;
    for (int32_t i = n - 16 * spb; i < n; ++i) {
        B += pulse[i];
    }
    B = B / (16 * spb);
    for (int32_t k = 0; k < n; ++k) {
        pulse[k] = pulse[k] - B - correction[k];
    }
}

}  // namespace literal

#endif  // AMI_BLOCKS_WAVEFORMS_WAVEFORMS_LITERAL_H
