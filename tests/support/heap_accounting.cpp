#include "tests/support/heap_accounting.h"

#include <cstddef>

extern "C" {
void *__libc_malloc(std::size_t size);
void *__libc_calloc(std::size_t count, std::size_t size);
void *__libc_realloc(void *block, std::size_t size);
void __libc_free(void *block);
}

namespace {

// The counters of the test executable. Tests run on one thread.
bool counting = false;
long fail_countdown = 0;
HeapTally tally;

bool refuse_this_allocation() {
    if (!counting || fail_countdown <= 0) {
        return false;
    }
    if (--fail_countdown == 0) {
        ++tally.failures;
        return true;
    }
    return false;
}

void note_allocation(const void *block) {
    if (counting && block != nullptr) {
        ++tally.allocations;
    }
}

}  // namespace

extern "C" {

void *malloc(std::size_t size) {
    if (refuse_this_allocation()) {
        return nullptr;
    }
    void *block = __libc_malloc(size);
    note_allocation(block);
    return block;
}

void *calloc(std::size_t count, std::size_t size) {
    if (refuse_this_allocation()) {
        return nullptr;
    }
    void *block = __libc_calloc(count, size);
    note_allocation(block);
    return block;
}

void *realloc(void *block, std::size_t size) {
    if (refuse_this_allocation()) {
        return nullptr;
    }
    void *moved = __libc_realloc(block, size);
    if (block == nullptr) {
        note_allocation(moved);
    }
    return moved;
}

void free(void *block) {
    if (counting && block != nullptr) {
        ++tally.releases;
    }
    __libc_free(block);
}

}  // extern "C"

void heap_accounting_start(long fail_at) {
    tally = HeapTally{};
    fail_countdown = fail_at;
    counting = true;
}

HeapTally heap_accounting_stop() {
    counting = false;
    fail_countdown = 0;
    return tally;
}
