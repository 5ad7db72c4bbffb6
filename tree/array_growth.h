// Appending elements to the arrays of array entries.
#ifndef AMI_TREE_ARRAY_GROWTH_H
#define AMI_TREE_ARRAY_GROWTH_H

#include <cstdint>

#include "IBIS_AMI_tree.h"
#include "tree/number_scan.h"

namespace ami {

// The kind of number an array of the given element type holds; the type must
// be one of PARAM_DOUBLE_ARRAY ... PARAM_SHORT_ARRAY.
NumberKind element_kind(ParamType type);

// Grows the array by one element holding number (0 when it did not convert)
// and returns the number of values converted, 1 or 0. When memory runs out
// the array is left as it was and 0 is returned.
std::int32_t append_element(ParamArray &array, NumberKind kind, const ScannedNumber &number);

}  // namespace ami

#endif  // AMI_TREE_ARRAY_GROWTH_H
