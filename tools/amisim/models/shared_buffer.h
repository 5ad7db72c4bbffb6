// One array shared with a model host: a memfd of whole pages, mapped here
// as well as in the host (which puts a guard page after it). A call's data
// lies at the end of the buffer (host_protocol.h), so the host's guard
// page catches the first element past it.
#ifndef AMISIM_SHARED_BUFFER_H
#define AMISIM_SHARED_BUFFER_H

#include <cstddef>
#include <string>

#include "tools/amisim/models/unique_fd.h"

namespace amisim {

class SharedBuffer {
  public:
    SharedBuffer() = default;
    ~SharedBuffer() { release(); }
    SharedBuffer(const SharedBuffer &) = delete;
    SharedBuffer &operator=(const SharedBuffer &) = delete;

    // Room for count doubles. When the buffer has to grow it becomes a new
    // memfd, which the host has not seen (unsent() until mark_sent()).
    // False with error when no memory can be had.
    bool reserve(std::size_t count, std::string &error);
    bool unsent() const { return unsent_; }
    void mark_sent() { unsent_ = false; }

    // count doubles that end where the buffer ends.
    double *tail(std::size_t count) const;

    int fd() const { return fd_.get(); }
    std::size_t capacity() const { return capacity_; }

    // Unmaps and closes the buffer.
    void release();

  private:
    UniqueFd fd_;
    void *data_ = nullptr;
    std::size_t capacity_ = 0;  // bytes, whole pages
    bool unsent_ = false;
};

}  // namespace amisim

#endif  // AMISIM_SHARED_BUFFER_H
