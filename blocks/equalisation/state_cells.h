// Allocation of a record's heap members, all or none.
#ifndef AMI_BLOCKS_EQUALISATION_STATE_CELLS_H
#define AMI_BLOCKS_EQUALISATION_STATE_CELLS_H

#include <cstdint>
#include <cstdlib>

namespace ami {

// Hands out zeroed heap arrays (at least one element each) for the members
// of one record. If any of them cannot be allocated, complete() frees all
// that were handed out and reports false; the record's pointers must then
// be dropped. After success the record owns them.
class CellGroup {
  public:
    CellGroup() = default;
    CellGroup(const CellGroup &) = delete;
    CellGroup &operator=(const CellGroup &) = delete;

    template <typename T>
    T *take(int32_t count) {
        if (failed_ || taken_count_ == kMaxMembers) {
            failed_ = true;
            return nullptr;
        }
        const std::size_t elements = count > 0 ? static_cast<std::size_t>(count) : 1U;
        void *block = std::calloc(elements, sizeof(T));
        if (block == nullptr) {
            failed_ = true;
            return nullptr;
        }
        taken_[taken_count_++] = block;
        return static_cast<T *>(block);
    }

    bool complete() {
        if (failed_) {
            for (int i = 0; i < taken_count_; ++i) {
                std::free(taken_[i]);
            }
            taken_count_ = 0;
        }
        return !failed_;
    }

  private:
    static constexpr int kMaxMembers = 16;
    void *taken_[kMaxMembers] = {};
    int taken_count_ = 0;
    bool failed_ = false;
};

}  // namespace ami

#endif  // AMI_BLOCKS_EQUALISATION_STATE_CELLS_H
