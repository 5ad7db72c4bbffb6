// Owns a block record for the length of a test and hands it back to the
// block's Delete function, for any record type with one.
#ifndef AMI_TESTS_SUPPORT_RECORD_OWNER_H
#define AMI_TESTS_SUPPORT_RECORD_OWNER_H

#include <utility>

template <typename Record, void (*Delete)(Record)>
class Owned {
  public:
    explicit Owned(Record record) : record_(record) {}
    ~Owned() { Delete(record_); }
    Owned(const Owned &) = delete;
    Owned &operator=(const Owned &) = delete;

    // The record by value, as the block's functions take it; every copy
    // shares the one state.
    const Record &get() const { return record_; }
    const Record *operator->() const { return &record_; }
    // For the few functions that change the record itself (by pointer).
    Record *mutable_record() { return &record_; }

  private:
    Record record_;
};

#endif  // AMI_TESTS_SUPPORT_RECORD_OWNER_H
