// Control-mode and optimisation-mode keywords. An unknown keyword is
// reported into the caller's message buffer as one line that contains the
// keyword; the line is measured and copied piece by piece, so keywords of
// any length are reported whole, or not at all when the buffer lacks room.
#include <cstdint>
#include <cstring>

#include "Kestrom_AMI_Model.h"
#include "tree/message_buffer.h"

namespace {

struct Keyword {
    const char *text;
    int32_t code;
};

constexpr Keyword kControlModes[] = {
    {"off", CONTROL_MODE_OFF},     {"Off", CONTROL_MODE_OFF},   {"fixed", CONTROL_MODE_FIXED},
    {"Fixed", CONTROL_MODE_FIXED}, {"auto", CONTROL_MODE_AUTO}, {"Auto", CONTROL_MODE_AUTO},
    {"on", CONTROL_MODE_AUTO},     {"On", CONTROL_MODE_AUTO},   {"adapt", CONTROL_MODE_ADAPT},
    {"Adapt", CONTROL_MODE_ADAPT},
};

constexpr Keyword kOptModes[] = {{"off", 0}, {"on", 1}, {"Off", 0}, {"On", 1}};

template <std::size_t N>
const Keyword *find(const Keyword (&table)[N], const char *keyword) {
    for (const Keyword &entry : table) {
        if (std::strcmp(entry.text, keyword) == 0) {
            return &entry;
        }
    }
    return nullptr;
}

constexpr const char *kNotRecognized = " not recognized. Defaulting to \"off\".\n";

}  // namespace

ControlMode GetControlMode(const char *keyword, char *msg, uint32_t msg_size) {
    const char *text = keyword != nullptr ? keyword : "";
    if (const Keyword *entry = find(kControlModes, text)) {
        return entry->code;
    }
    ami::append_whole(msg, msg_size, {"**Warning** Control mode ", text, kNotRecognized});
    return CONTROL_MODE_OFF;
}

int32_t GetOptMode(const char *keyword, char *msg, uint32_t msg_size) {
    const char *text = keyword != nullptr ? keyword : "";
    if (const Keyword *entry = find(kOptModes, text)) {
        return entry->code;
    }
    // The line ErrPrt would append for the text "Optimization mode <keyword>
    // not recognized...", composed without an intermediate copy.
    ami::append_whole(msg, msg_size, {"**Error** ", "Optimization mode ", text, kNotRecognized});
    return 0;
}
