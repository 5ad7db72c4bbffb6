#include "tools/amisim/analysis/level_mismatch.h"

#include <algorithm>
#include <cmath>

namespace amisim {

LevelMismatch level_mismatch(const std::vector<double> &means) {
    LevelMismatch mismatch;
    if (means.size() != 4 ||
        !std::all_of(means.begin(), means.end(), [](double v) { return std::isfinite(v); }) ||
        means[0] == means[3]) {
        return mismatch;
    }
    mismatch.v_mid = (means[0] + means[3]) / 2.0;
    mismatch.es1 = (means[1] - mismatch.v_mid) / (means[0] - mismatch.v_mid);
    mismatch.es2 = (means[2] - mismatch.v_mid) / (means[3] - mismatch.v_mid);
    mismatch.rlm = std::min({3.0 * mismatch.es1, 3.0 * mismatch.es2, 2.0 - 3.0 * mismatch.es1,
                             2.0 - 3.0 * mismatch.es2});
    mismatch.measured = true;
    return mismatch;
}

}  // namespace amisim
