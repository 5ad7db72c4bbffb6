// The release of what a CellGroup handed out, when one of its allocations
// failed.
#include "common/cell_group.h"

#include <cstdlib>

namespace ami {

void CellGroup::release() {
    for (int i = 0; i < taken_count_; ++i) {
        std::free(taken_[i].block);
        taken_[i].forget(taken_[i].member);
    }
    taken_count_ = 0;
}

}  // namespace ami
