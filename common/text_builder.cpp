#include "common/text_builder.h"

#include <cassert>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace ami {

TextBuilder::~TextBuilder() {
    std::free(data_);
}

bool TextBuilder::reserve(std::size_t extra) {
    if (failed_) {
        return false;
    }
    const std::size_t needed = size_ + extra + 1;  // room for the NUL
    if (extra >= static_cast<std::size_t>(-1) - size_ - 1) {
        failed_ = true;
        return false;
    }
    if (needed <= capacity_) {
        return true;
    }
    std::size_t capacity = capacity_ < 64 ? 64 : capacity_;
    while (capacity < needed) {
        capacity = capacity > static_cast<std::size_t>(-1) / 2 ? needed : capacity * 2;
    }
    auto *grown = static_cast<char *>(std::realloc(data_, capacity));
    if (grown == nullptr) {
        failed_ = true;
        return false;
    }
    data_ = grown;
    capacity_ = capacity;
    assert(size_ + extra < capacity_);
    return true;
}

void TextBuilder::append(const char *text, std::size_t length) {
    if (!reserve(length)) {
        return;
    }
    if (length != 0) {
        std::memcpy(data_ + size_, text, length);
    }
    size_ += length;
    assert(size_ < capacity_);
    data_[size_] = '\0';
}

void TextBuilder::append(const char *text) {
    if (text != nullptr) {
        append(text, std::strlen(text));
    }
}

void TextBuilder::appendf(const char *format, ...) {
    va_list args;
    va_start(args, format);
    const int length = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    if (length < 0) {
        failed_ = true;
        return;
    }
    const auto size = static_cast<std::size_t>(length);
    if (reserve(size)) {
        va_start(args, format);
        (void)std::vsnprintf(data_ + size_, size + 1, format, args);
        va_end(args);
        size_ += size;
    }
}

char *TextBuilder::release() {
    if (!failed_ && data_ == nullptr) {
        reserve(0);
        if (data_ != nullptr) {
            data_[0] = '\0';
        }
    }
    char *text = failed_ ? nullptr : data_;
    if (failed_) {
        std::free(data_);
    }
    data_ = nullptr;
    size_ = 0;
    capacity_ = 0;
    failed_ = false;
    return text;
}

}  // namespace ami
