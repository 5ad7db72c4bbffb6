// The text channel file (impulse-response samples, an optional time column,
// aggressors) on fuzzed files. Checks: a refused file is named at the start
// of its message; a file read gives the through channel and its aggressors
// as columns of one length of finite samples, and a time column's step is a
// finite time above 0.
#include <cmath>
#include <cstdint>
#include <sstream>
#include <string>

#include "tests/fuzz/fuzz_input.h"
#include "tools/amisim/channel/channel.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size) {
    FuzzInput input(data, size);
    std::istringstream file(input.rest_as_text());
    amisim::Channel channel;
    std::string error;
    if (!amisim::read_channel_file(file, "fuzz.txt", channel, error)) {
        FUZZ_CHECK(error.rfind("fuzz.txt:", 0) == 0);
        return 0;
    }
    FUZZ_CHECK(!channel.columns.empty());
    const std::size_t length = channel.columns[0].size();
    FUZZ_CHECK(length > 0);
    for (const auto &column : channel.columns) {
        FUZZ_CHECK(column.size() == length);
        for (double sample : column) {
            FUZZ_CHECK(std::isfinite(sample));
        }
    }
    FUZZ_CHECK(channel.sample_interval == 0.0 ||
               (std::isfinite(channel.sample_interval) && channel.sample_interval > 0.0));
    return 0;
}
