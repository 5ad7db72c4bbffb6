// The peak of a response: the smallest index whose magnitude is the largest.
// Samples are offered in increasing index order; a later one replaces the
// candidate only when strictly larger in magnitude, and the candidate is
// index 0 while no magnitude exceeds 0 (NaN never replaces it).
#ifndef AMI_BLOCKS_WAVEFORMS_PEAK_SEARCH_H
#define AMI_BLOCKS_WAVEFORMS_PEAK_SEARCH_H

#include <cmath>
#include <cstdint>

namespace ami {

class PeakSearch {
  public:
    void offer(std::int64_t index, double sample) {
        const double magnitude = std::fabs(sample);
        if (magnitude > magnitude_) {
            magnitude_ = magnitude;
            index_ = index;
        }
    }
    void offer_all(const double *samples, std::int64_t first_index, std::int64_t count) {
        for (std::int64_t q = 0; q < count; ++q) {
            offer(first_index + q, samples[q]);
        }
    }
    std::int64_t index() const { return index_; }

  private:
    std::int64_t index_ = 0;
    double magnitude_ = 0.0;
};

// The peak of samples[0 .. count - 1]; 0 when count < 1.
inline std::int64_t peak_index(const double *samples, std::int64_t count) {
    PeakSearch search;
    search.offer_all(samples, 0, count);
    return search.index();
}

}  // namespace ami

#endif  // AMI_BLOCKS_WAVEFORMS_PEAK_SEARCH_H
