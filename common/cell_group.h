// Allocation of a record's heap members, every one or none.
#ifndef AMI_COMMON_CELL_GROUP_H
#define AMI_COMMON_CELL_GROUP_H

#include <cstdint>
#include <cstdlib>

namespace ami {

// Points members of one record at zeroed heap arrays (at least one element
// each). Once one of them cannot be allocated, later ones are not tried, and
// complete() frees all that were handed out, sets every member given to
// take() to null and reports false. After success the record owns them.
class CellGroup {
  public:
    CellGroup() = default;
    CellGroup(const CellGroup &) = delete;
    CellGroup &operator=(const CellGroup &) = delete;

    template <typename T>
    void take(T *&member, int32_t count) {
        member = nullptr;
        if (failed_ || taken_count_ == kMaxMembers) {
            failed_ = true;
            return;
        }
        const std::size_t elements = count > 0 ? static_cast<std::size_t>(count) : 1U;
        member = static_cast<T *>(std::calloc(elements, sizeof(T)));
        if (member == nullptr) {
            failed_ = true;
            return;
        }
        taken_[taken_count_++] = Taken{member, &member, &forget<T>};
    }

    bool complete() {
        if (failed_) {
            release();
            return false;
        }
        return true;
    }

  private:
    struct Taken {
        void *block;
        void *member;                  // the T * that points at block
        void (*forget)(void *member);  // sets it to null
    };

    // Frees every array handed out and sets its member to null.
    void release();

    template <typename T>
    static void forget(void *member) {
        *static_cast<T **>(member) = nullptr;
    }

    static constexpr int kMaxMembers = 16;
    Taken taken_[kMaxMembers] = {};
    int taken_count_ = 0;
    bool failed_ = false;
};

}  // namespace ami

#endif  // AMI_COMMON_CELL_GROUP_H
