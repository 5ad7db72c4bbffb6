// Owning wrapper for malloc'd texts returned by the library.
#ifndef AMI_TESTS_HEAP_TEXT_H
#define AMI_TESTS_HEAP_TEXT_H

#include <cstdlib>
#include <memory>
#include <string>

struct FreeDeleter {
    void operator()(void *p) const { std::free(p); }
};
using HeapText = std::unique_ptr<char, FreeDeleter>;

inline std::string text_or_null(const char *text) {
    return text == nullptr ? std::string("<null>") : std::string(text);
}

#endif  // AMI_TESTS_HEAP_TEXT_H
