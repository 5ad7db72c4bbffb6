// A growable NUL-terminated text in malloc'd memory, for building texts that
// are handed to C callers. Appends are amortised O(1); an allocation failure
// is remembered and the text is then given up rather than truncated.
#ifndef AMI_COMMON_TEXT_BUILDER_H
#define AMI_COMMON_TEXT_BUILDER_H

#include <cstddef>

namespace ami {

class TextBuilder {
  public:
    TextBuilder() = default;
    ~TextBuilder();
    TextBuilder(const TextBuilder &) = delete;
    TextBuilder &operator=(const TextBuilder &) = delete;

    void append(const char *text, std::size_t length);
    void append(const char *text);
    void append(char c) { append(&c, 1); }
    // printf-style append; the formatted text may have any length.
    void appendf(const char *format, ...) __attribute__((format(printf, 2, 3)));

    bool failed() const { return failed_; }
    bool empty() const { return size_ == 0; }
    std::size_t size() const { return size_; }

    // Hands over the malloc'd text and leaves the builder empty. Returns null
    // after an allocation failure, and a new empty text when nothing was
    // appended.
    char *release();

  private:
    bool reserve(std::size_t extra);

    char *data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
    bool failed_ = false;
};

}  // namespace ami

#endif  // AMI_COMMON_TEXT_BUILDER_H
