// The counts behind an eye picture: a density over two unit intervals
// (phase by voltage) and, for each sampling phase of the middle unit
// interval and each symbol sent, the lowest and the highest sample; and the
// mean of each symbol's samples at the centre slot. Whoever fills it decides which sample belongs
// to which column, phase slot and symbol: the symbol grid of the stimulus (EyeAccumulator) or the
// receiver's clock (ClockedEye). Its size is fixed by the samples per unit interval and the levels
// alone.
//
// The lowest symbol keeps no lowest sample and the highest no highest one:
// the eyes need only the inner edges of each level's band (see
// eye_figures in eye.h); with two levels that is the lowest sample of a 1
// and the highest of a 0.
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
    // expected_swing, the largest |sample| expected (volts), sets the first
    // range; levels (2 .. kMaxLevels) the symbols.
    EyeDensity(int samples_per_bit, double expected_swing, int levels = 2);

    // run samples into consecutive columns from column (all below
    // columns()). With slot >= 0 also into the extremes of consecutive
    // slots from slot (all below samples_per_bit()), as samples of symbol
    // symbol (with two levels, true for a 1).
    void add(const double *wave, std::size_t run, int column, int slot, int symbol);

    int samples_per_bit() const { return spb_; }
    int levels() const { return levels_; }
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
    // Per phase slot, of symbol s: the lowest sample (+inf where none was
    // seen, and for symbol 0) and the highest (-inf where none was seen,
    // and for the highest symbol).
    const std::vector<double> &lowest(int symbol) const {
        return lowest_[static_cast<std::size_t>(symbol)];
    }
    const std::vector<double> &highest(int symbol) const {
        return highest_[static_cast<std::size_t>(symbol)];
    }
    // The centre slot, samples_per_bit() / 2 (the main cursor, or the
    // receiver's sampling instant): each symbol's mean sample there (NaN
    // where none was seen), and how many there were.
    std::vector<double> centre_means() const;
    const std::vector<std::uint64_t> &centre_counts() const { return centre_counts_; }
    // With two levels: the lowest sample of a 1 and the highest of a 0.
    const std::vector<double> &lowest_one() const { return lowest_.back(); }
    const std::vector<double> &highest_zero() const { return highest_.front(); }
    // Samples in the density, and those left out for being NaN or infinite.
    std::uint64_t samples() const { return samples_; }
    std::uint64_t non_finite() const { return non_finite_; }

  private:
    enum class Extreme { kNone, kLowest, kHighest, kBoth };
    template <Extreme kExtreme>
    void add_run(const double *wave, std::size_t run, int column, int slot, int symbol);
    void widen_to(double value);

    int spb_;
    int columns_;
    int levels_;
    double range_;
    double scale_;  // kEyeRows / (2 range), a power of two
    std::vector<std::uint64_t> histogram_;
    std::vector<std::vector<double>> lowest_;  // [symbol][slot]
    std::vector<std::vector<double>> highest_;
    std::vector<double> centre_sums_;  // [symbol]
    std::vector<std::uint64_t> centre_counts_;
    std::uint64_t samples_ = 0;
    std::uint64_t non_finite_ = 0;
};

}  // namespace amisim

#endif  // AMISIM_EYE_DENSITY_H
