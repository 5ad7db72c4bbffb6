#include "tools/amisim/models/shared_buffer.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "tools/amisim/models/host/host_protocol.h"

namespace amisim {

bool SharedBuffer::reserve(std::size_t count, std::string &error) {
    if (data_ != nullptr && count <= capacity_ / sizeof(double)) {
        return true;
    }
    if (count > (SIZE_MAX / 2) / sizeof(double)) {
        error = "no memory for " + std::to_string(count) + " samples";
        return false;
    }
    // Doubling keeps the number of new buffers small when blocks grow.
    const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    const std::size_t wanted = std::max(count * sizeof(double), 2 * capacity_);
    const std::size_t capacity = std::max(page, (wanted + page - 1) / page * page);
    UniqueFd fd(memfd_create("amisim-model-buffer", MFD_CLOEXEC));
    if (!fd.valid() || ftruncate(fd.get(), static_cast<off_t>(capacity)) != 0) {
        error = std::string("cannot make a shared buffer: ") + std::strerror(errno);
        return false;
    }
    void *data = mmap(nullptr, capacity, PROT_READ | PROT_WRITE, MAP_SHARED, fd.get(), 0);
    if (data == MAP_FAILED) {
        error = std::string("cannot map a shared buffer: ") + std::strerror(errno);
        return false;
    }
    release();
    fd_ = std::move(fd);
    data_ = data;
    capacity_ = capacity;
    unsent_ = true;
    return true;
}

double *SharedBuffer::tail(std::size_t count) const {
    return host::tail(data_, capacity_, count);
}

void SharedBuffer::release() {
    if (data_ != nullptr) {
        munmap(data_, capacity_);
        data_ = nullptr;
    }
    fd_.reset();
    capacity_ = 0;
    unsent_ = false;
}

}  // namespace amisim
