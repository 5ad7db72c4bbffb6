// ParseTree with a bound on its message text, for callers that must not let
// a hostile parameter string grow the message without limit.
#ifndef AMI_TREE_CAPPED_PARSE_H
#define AMI_TREE_CAPPED_PARSE_H

#include <cstddef>
#include <cstdint>

#include "IBIS_AMI_tree.h"

namespace ami {

// ParseTree, except that messages go into *msg only while the text stays
// within message_limit bytes (its NUL not counted): from the first message
// that does not fit on, messages are left out and counted in *left_out (when
// not null). The text kept is thus the start of ParseTree's, and the whole
// of it below the limit. Returns the number of values stored.
int32_t parse_tree_capped(const char *text, const char *name, int32_t count, Param *entries,
                          char **msg, std::size_t message_limit, std::size_t *left_out);

}  // namespace ami

#endif  // AMI_TREE_CAPPED_PARSE_H
