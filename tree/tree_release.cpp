#include <cstdint>
#include <cstdlib>

#include "IBIS_AMI_tree.h"

void FreeTree(const char * /*name*/, int32_t count, Param *entries) {
    for (int32_t i = 0; i < count && entries != nullptr; ++i) {
        Param &entry = entries[i];
        switch (static_cast<std::uint32_t>(entry.type)) {
            case PARAM_STRING:
                std::free(entry.value.text);
                break;
            case PARAM_DOUBLE_ARRAY:
            case PARAM_LONG_ARRAY:
            case PARAM_INT_ARRAY:
            case PARAM_SHORT_ARRAY:
                if (entry.value.array != nullptr) {
                    std::free(entry.value.array->items);
                }
                break;
            case PARAM_BRANCH:
                if (entry.value.branch != nullptr) {
                    const ParamBranch &branch = *entry.value.branch;
                    FreeTree(branch.name, branch.count, branch.entries);
                }
                break;
            default:
                break;
        }
    }
}
