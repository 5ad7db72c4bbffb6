// ParseTree on a tree with an entry of every type code and two nested
// branches. The input is the parameter string, read twice into the same
// tree (texts replaced, arrays grown). Checks: the count stays within the
// string's length, every report is a whole line of a known kind, and the
// echo is the root's list.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "tests/fuzz/fuzz_input.h"
#include "tree/sample_tree_test_support.h"

namespace {

bool known_kind(const std::string &line) {
    return line.empty() || line.rfind("**Error** ", 0) == 0 || line.rfind("**Warning** ", 0) == 0;
}

// Every line of the messages is empty or starts with a known prefix. A
// quote warning quotes the rest of the string, which may hold line breaks;
// its lines are passed over up to the line that ends the quote.
void check_messages(const std::string &messages, const std::string &text) {
    std::size_t pos = 0;
    while (pos < messages.size()) {
        const std::string quote = "**Warning** Ignoring unexpected quote found at ";
        if (messages.compare(pos, quote.size(), quote) == 0) {
            const std::size_t from = pos + quote.size();
            // The quoted rest is a suffix of the text, followed by ".\n".
            const std::size_t end = messages.find(".\n", from);
            FUZZ_CHECK(end != std::string::npos);
            std::size_t stop = end;
            // Choose the longest suffix of the text that fits here.
            for (std::size_t q = text.find('"'); q != std::string::npos;
                 q = text.find('"', q + 1)) {
                const std::string rest = text.substr(q);
                if (messages.compare(from, rest.size(), rest) == 0 &&
                    messages.compare(from + rest.size(), 2, ".\n") == 0) {
                    stop = from + rest.size();
                    break;
                }
            }
            pos = stop + 2;
            continue;
        }
        const std::size_t eol = messages.find('\n', pos);
        FUZZ_CHECK(eol != std::string::npos);
        FUZZ_CHECK(known_kind(messages.substr(pos, eol - pos)));
        pos = eol + 1;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size) {
    FuzzInput input(data, size);
    const std::string text = input.rest_as_text();
    SampleTree tree;
    for (int pass = 0; pass < 2; ++pass) {
        std::string messages;
        const int32_t count = tree.parse(text, &messages);
        FUZZ_CHECK(count >= 0);
        FUZZ_CHECK(static_cast<std::size_t>(count) <= text.size());
        if (messages != "<null>") {
            check_messages(messages, text);
        }
    }
    const std::string echo = tree.echo();
    FUZZ_CHECK(echo.rfind("(m", 0) == 0 && echo.back() == ')');
    return 0;
}
