// Printing a parameter tree as an IBIS-AMI parameter string:
// (name(entry value)(entry "text")(array e1 e2)(sub(...))).
// There is no blank between a branch name and its first entry, nor between
// entries; a blank stands only between an entry's name and its value and
// between array elements. Names and values of any length are printed whole.
#include <cstdint>
#include <cstdlib>

#include "IBIS_AMI_tree.h"
#include "common/c_numeric_locale.h"
#include "common/contract.h"
#include "common/text_builder.h"

namespace {

const char *or_empty(const char *text) {
    return text == nullptr ? "" : text;
}

bool is_array_type(ParamType type) {
    const auto code = static_cast<std::uint32_t>(type);
    return code >= PARAM_DOUBLE_ARRAY && code <= PARAM_SHORT_ARRAY;
}

template <typename T>
void print_elements(ami::TextBuilder &out, const void *items, int32_t count, const char *format) {
    const auto *elements = static_cast<const T *>(items);
    for (int32_t i = 0; i < count; ++i) {
        if (i != 0) {
            out.append(' ');
        }
        out.appendf(format, elements[i]);
    }
}

// Appends one array entry; returns false (appending nothing) when it is empty.
bool print_array_into(ami::TextBuilder &out, const char *name, ParamType type, int32_t count,
                      const void *items) {
    if (count <= 0 || items == nullptr) {
        return false;
    }
    AMI_REQUIRE(is_array_type(type), ami::sites::kPrintArrayType);
    out.appendf("(%s ", or_empty(name));
    switch (type) {
        case PARAM_DOUBLE_ARRAY:
            print_elements<double>(out, items, count, "%g");
            break;
        case PARAM_LONG_ARRAY:
            print_elements<long>(out, items, count, "%ld");
            break;
        case PARAM_INT_ARRAY:
            print_elements<int32_t>(out, items, count, "%d");
            break;
        default:  // PARAM_SHORT_ARRAY, sign-extended by the promotion to int
            print_elements<int16_t>(out, items, count, "%hd");
            break;
    }
    out.append(')');
    return true;
}

void print_branch_into(ami::TextBuilder &out, const char *name, int32_t count,
                       const Param *entries) {
    out.append('(');
    out.append(or_empty(name));
    for (int32_t i = 0; i < count && entries != nullptr; ++i) {
        const Param &entry = entries[i];
        const char *entry_name = or_empty(entry.name);
        switch (static_cast<std::uint32_t>(entry.type)) {
            case PARAM_DOUBLE:
                out.appendf("(%s %g)", entry_name, entry.value.as_double);
                break;
            case PARAM_LONG:
                out.appendf("(%s %ld)", entry_name, entry.value.as_long);
                break;
            case PARAM_INT:
                out.appendf("(%s %d)", entry_name, entry.value.as_int);
                break;
            case PARAM_SHORT:
                out.appendf("(%s %hd)", entry_name, entry.value.as_short);
                break;
            case PARAM_CHAR:
                // A NUL character prints as nothing, keeping the list closed.
                out.appendf("(%s ", entry_name);
                if (entry.value.as_char != '\0') {
                    out.append(entry.value.as_char);
                }
                out.append(')');
                break;
            case PARAM_DOUBLE_ARRAY:
            case PARAM_LONG_ARRAY:
            case PARAM_INT_ARRAY:
            case PARAM_SHORT_ARRAY:
                if (entry.value.array != nullptr) {
                    const ParamArray &array = *entry.value.array;
                    print_array_into(out, entry_name, array.type, array.count, array.items);
                }
                break;
            case PARAM_STRING:
                out.appendf("(%s \"", entry_name);
                out.append(entry.value.text);
                out.append("\")");
                break;
            case PARAM_BRANCH:
                if (entry.value.branch != nullptr) {
                    const ParamBranch &branch = *entry.value.branch;
                    print_branch_into(out, branch.name, branch.count, branch.entries);
                }
                break;
            default:
                break;  // unknown codes print nothing
        }
    }
    out.append(')');
}

}  // namespace

char *GrowTree(const char *name, int32_t count, Param *entries) {
    const ami::CNumericLocale c_locale;
    ami::TextBuilder out;
    print_branch_into(out, name, count, entries);
    return out.release();
}

char *print_array(const char *name, ParamType type, int32_t count, void *items) {
    const ami::CNumericLocale c_locale;
    ami::TextBuilder out;
    if (!print_array_into(out, name, type, count, items)) {
        return nullptr;
    }
    return out.release();
}
