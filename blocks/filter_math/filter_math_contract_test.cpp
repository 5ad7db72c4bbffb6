// The blocks of the filter mathematics under the shared block contract.
#include <cmath>
#include <vector>

#include "Kestrom_AMI_Model.h"
#include "tests/support/block_contract.h"

// Two configurations of three poles, run with the second, which has a
// complex-conjugate pair.
struct PeakingFilterBlock {
    using Record = PeakingFilter;
    static constexpr ResetRule kReset = ResetRule::kBeforeAndAfter;
    static constexpr bool kSplitRunsEqualOneRun = true;

    static Record setup() {
        Complex poles[2][3] = {{cmplx(-1e9, 0), cmplx(-5e8, 0), cmplx(-3e9, 0)},
                               {cmplx(-2e9, 4e9), cmplx(-2e9, -4e9), cmplx(-7e8, 0)}};
        Complex residues[2][3] = {{cmplx(1, 0), cmplx(-0.4, 0), cmplx(0.7, 0)},
                                  {cmplx(0.5, 0.25), cmplx(0.5, -0.25), cmplx(-0.2, 0)}};
        Complex *pole_rows[2] = {poles[0], poles[1]};
        Complex *residue_rows[2] = {residues[0], residues[1]};
        const double gains[2] = {1.0, 1.5};
        return SetupPeakingFilter(1e-10, 3, 2, pole_rows, residue_rows, gains, nullptr, 0);
    }
    static void remove(const Record &record) { DeletePeakingFilter(record); }
    static std::vector<double> input() {
        std::vector<double> stream(300);
        for (std::size_t t = 0; t < stream.size(); ++t) {
            stream[t] = std::sin(0.7 * static_cast<double>(t)) + (t % 5 == 0 ? 1.0 : 0.0);
        }
        return stream;
    }
    static void apply(const Record &record, const double *in, int32_t count, int32_t reset,
                      double *out, std::vector<double> & /*side*/) {
        ApplyPeakingFilter(in, count, record, 1, reset, out);
    }
};

using FilterMathBlocks = ::testing::Types<PeakingFilterBlock>;
INSTANTIATE_TYPED_TEST_SUITE_P(FilterMath, BlockContract, FilterMathBlocks);
