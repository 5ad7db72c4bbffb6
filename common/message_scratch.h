// The 257-byte message scratch of the entry points and the tree filler:
// zeroed, announced to the message functions as 256 bytes, and emptied into
// the message string after each use.
#ifndef AMI_COMMON_MESSAGE_SCRATCH_H
#define AMI_COMMON_MESSAGE_SCRATCH_H

#include <cstdint>
#include <cstring>

namespace ami {

class MessageScratch {
  public:
    static constexpr std::uint32_t kAnnouncedSize = 256;

    char *data() { return text_; }
    const char *text() const { return text_; }
    bool empty() const { return text_[0] == '\0'; }
    void clear() { std::memset(text_, 0, sizeof text_); }

  private:
    char text_[kAnnouncedSize + 1] = {};
};

}  // namespace ami

#endif  // AMI_COMMON_MESSAGE_SCRATCH_H
