#include <cstdlib>
#include <cstring>

#include "IBIS_AMI_tree.h"

char *string_cat(char *text, const char *addition) {
    if (addition == nullptr) {
        return text;
    }
    const std::size_t addition_length = std::strlen(addition);
    const std::size_t text_length = text == nullptr ? 0 : std::strlen(text);
    auto *joined = static_cast<char *>(std::malloc(text_length + addition_length + 1));
    if (joined == nullptr) {
        // Keep what was collected so far; only this addition is lost.
        return text;
    }
    if (text_length != 0) {
        std::memcpy(joined, text, text_length);
    }
    std::memcpy(joined + text_length, addition, addition_length + 1);
    std::free(text);
    return joined;
}
