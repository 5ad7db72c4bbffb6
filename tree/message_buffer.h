// Appending to a caller's fixed-size message buffer: a message goes in whole,
// or not at all.
#ifndef AMI_TREE_MESSAGE_BUFFER_H
#define AMI_TREE_MESSAGE_BUFFER_H

#include <cstdint>
#include <initializer_list>

namespace ami {

// Appends the concatenation of parts (null parts count as empty) to the
// NUL-terminated buffer of size bytes if the result and its NUL fit, and
// reports whether it did. Lengths are measured only as far as the room left,
// so a long part costs no more than the buffer's size to reject.
bool append_whole(char *buffer, std::uint32_t size, std::initializer_list<const char *> parts);

}  // namespace ami

#endif  // AMI_TREE_MESSAGE_BUFFER_H
