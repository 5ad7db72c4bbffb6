#include "tree/message_buffer.h"

#include <cstring>

#include "IBIS_AMI_tree.h"

namespace ami {

bool append_whole(char *buffer, std::uint32_t size, std::initializer_list<const char *> parts) {
    if (buffer == nullptr || size == 0) {
        return false;
    }
    std::size_t total = strnlen(buffer, size);
    if (total >= size) {
        return false;  // not a terminated text within its size: leave it alone
    }
    const std::size_t used = total;
    for (const char *part : parts) {
        if (part != nullptr) {
            total += strnlen(part, size - total);
            if (total >= size) {
                return false;
            }
        }
    }
    char *end = buffer + used;
    for (const char *part : parts) {
        if (part != nullptr) {
            const std::size_t length = std::strlen(part);
            std::memcpy(end, part, length);
            end += length;
        }
    }
    *end = '\0';
    return true;
}

}  // namespace ami

void WarnPrt(char *buffer, uint32_t size, const char *text) {
    ami::append_whole(buffer, size, {"**Warning** ", text});
}

void ErrPrt(char *buffer, uint32_t size, const char *text) {
    ami::append_whole(buffer, size, {"**Error** ", text});
}
