// The counts behind an eye picture: a density over two unit intervals
// (phase by voltage) and, for each sampling phase of the middle unit
// interval, the lowest sample of the bits sent as 1 and the highest of the
// bits sent as 0. Whoever fills it decides which sample belongs to which
// column and phase slot: the bit grid of the stimulus (EyeAccumulator) or
// the receiver's clock (ClockedEye). Its size is fixed by the samples per
// bit alone.
#ifndef AMISIM_EYE_DENSITY_H
#define AMISIM_EYE_DENSITY_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace amisim {

// Voltage rows of the density.
inline constexpr int kEyeRows = 256;

class EyeDensity {
  public:
    // expected_swing, the largest |sample| expected (volts), sets the first range.
    EyeDensity(int samples_per_bit, double expected_swing);

    // run samples into consecutive columns from column (all below
    // columns()). With slot >= 0 also into the extremes of consecutive
    // slots from slot (all below samples_per_bit()), as samples of a bit
    // sent as 1 (one) or as 0.
    void add(const double *wave, std::size_t run, int column, int slot, bool one);

    int samples_per_bit() const { return spb_; }
    int columns() const { return columns_; }
    // The density spans [-range, range) volts in kEyeRows rows; row r holds
    // samples v with floor(v * kEyeRows / (2 range)) = r - kEyeRows / 2.
    // range is a power of two; it doubles whenever a sample falls outside,
    // merging rows in pairs, which gives the counts that binning at the
    // final range from the start would have given.
    double range() const { return range_; }
    // Counts, column after column: histogram()[column * kEyeRows + row].
    const std::vector<std::uint64_t> &histogram() const { return histogram_; }
    std::uint64_t count(int column, int row) const {
        return histogram_[static_cast<std::size_t>(column) * kEyeRows +
                          static_cast<std::size_t>(row)];
    }
    // Per phase slot: the lowest sample of a 1 and the highest of a 0
    // (+inf / -inf where none was seen).
    const std::vector<double> &lowest_one() const { return lowest_one_; }
    const std::vector<double> &highest_zero() const { return highest_zero_; }
    // Samples in the density, and those left out for being NaN or infinite.
    std::uint64_t samples() const { return samples_; }
    std::uint64_t non_finite() const { return non_finite_; }

  private:
    enum class Extreme { kNone, kLowest, kHighest };
    template <Extreme kExtreme>
    void add_run(const double *wave, std::size_t run, int column, double *extreme);
    void widen_to(double value);

    int spb_;
    int columns_;
    double range_;
    double scale_;  // kEyeRows / (2 range), a power of two
    std::vector<std::uint64_t> histogram_;
    std::vector<double> lowest_one_;
    std::vector<double> highest_zero_;
    std::uint64_t samples_ = 0;
    std::uint64_t non_finite_ = 0;
};

}  // namespace amisim

#endif  // AMISIM_EYE_DENSITY_H
