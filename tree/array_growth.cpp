// Array entries grow by one element per value read. The items block's spare
// room is asked of the allocator, and a block that is full is doubled, so
// reading n elements costs O(n) however the array started: ParamArray keeps
// no capacity of its own, and default items handed in by a model are blocks
// of exactly their size.
#include <malloc.h>

#include <cstddef>
#include <cstdlib>

#include "common/c_numeric_locale.h"
#include "common/contract.h"
#include "tree/array_growth.h"

namespace ami {

namespace {

std::size_t width_of(NumberKind kind) {
    switch (kind) {
        case NumberKind::Double:
            return sizeof(double);
        case NumberKind::Long:
            return sizeof(long);
        case NumberKind::Int:
            return sizeof(std::int32_t);
        default:
            return sizeof(std::int16_t);
    }
}

// Makes room for one more element and returns where it goes, or null.
void *room_for_one_more(ParamArray &array, std::size_t width) {
    const auto count = static_cast<std::size_t>(array.count < 0 ? 0 : array.count);
    const std::size_t needed = (count + 1) * width;
    auto *items = static_cast<char *>(array.items);
    if (items == nullptr || malloc_usable_size(items) < needed) {
        const std::size_t doubled = 2 * count * width;
        auto *grown = static_cast<char *>(std::realloc(items, doubled > needed ? doubled : needed));
        if (grown == nullptr) {
            return nullptr;
        }
        items = grown;
        array.items = grown;
    }
    return items + count * width;
}

}  // namespace

NumberKind element_kind(ParamType type) {
    switch (type) {
        case PARAM_DOUBLE_ARRAY:
            return NumberKind::Double;
        case PARAM_LONG_ARRAY:
            return NumberKind::Long;
        case PARAM_INT_ARRAY:
            return NumberKind::Int;
        case PARAM_SHORT_ARRAY:
            return NumberKind::Short;
        default:
            contract_violation(sites::kAddToArrayType);
    }
}

std::int32_t append_element(ParamArray &array, NumberKind kind, const ScannedNumber &number) {
    void *element = room_for_one_more(array, width_of(kind));
    if (element == nullptr) {
        return 0;
    }
    store_number(number.converted ? number : ScannedNumber{}, kind, element);
    array.count = (array.count < 0 ? 0 : array.count) + 1;
    return number.converted ? 1 : 0;
}

}  // namespace ami

int32_t AddToArray(const char *text, int32_t /*length*/, ParamType type, ParamArray *array) {
    const ami::NumberKind kind = ami::element_kind(type);
    const ami::CNumericLocale c_locale;
    return ami::append_element(*array, kind, ami::scan_number(text, kind));
}
