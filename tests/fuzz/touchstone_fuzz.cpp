// The Touchstone reader, and the conversion of what it reads into an
// impulse response, on fuzzed files. The first byte picks the name the file
// goes by (a version 1 file's extension gives its ports), the second the
// sample interval and the port order; the rest is the file. Checks: a
// refused file is named at the start of its message; a file read holds 2
// or 4 ports, at least two rising finite frequencies and finite S
// parameters up to 1e6; its conversion gives finite samples with t = 0
// inside, or a message naming the file. Conversions whose FFT would exceed
// 2^16 points are left out, so that the target runs at thousands of files a
// second (the size of the FFT changes no branch of the code).
#include <cmath>
#include <cstdint>
#include <sstream>
#include <string>

#include "tests/fuzz/fuzz_input.h"
#include "tools/amisim/channel/touchstone.h"
#include "tools/amisim/channel/touchstone_channel.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size) {
    FuzzInput input(data, size);
    static const char *const kNames[] = {"fuzz.s2p", "fuzz.s4p", "fuzz.ts",
                                         "fuzz.S2P", "fuzz.s3p", "fuzz.txt"};
    const std::string name = input.pick(kNames);
    const uint8_t setting = input.byte();
    static const double kIntervals[] = {3.125e-12, 1e-11, 1e-12, 2.5e-10};
    static const char *const kPorts[] = {"", "1,3,2,4", "1,2,3,4", "2,1", "1,3,4,2", "1,1"};
    const double sample_interval = kIntervals[setting % 4];
    const std::string ports = kPorts[(setting / 4) % 6];
    std::istringstream file(input.rest_as_text());

    amisim::Network network;
    std::string error;
    if (!amisim::read_touchstone(file, name, network, error)) {
        FUZZ_CHECK(error.rfind(name + ":", 0) == 0);
        return 0;
    }
    FUZZ_CHECK(network.ports == 2 || network.ports == 4);
    FUZZ_CHECK(network.frequencies.size() >= 2);
    FUZZ_CHECK(network.s.size() == network.frequencies.size());
    FUZZ_CHECK(network.reference_ohms.size() == static_cast<std::size_t>(network.ports));
    for (std::size_t k = 0; k < network.frequencies.size(); ++k) {
        FUZZ_CHECK(std::isfinite(network.frequencies[k]) && network.frequencies[k] >= 0.0);
        FUZZ_CHECK(k == 0 || network.frequencies[k] > network.frequencies[k - 1]);
        FUZZ_CHECK(network.s[k].size() == static_cast<std::size_t>(network.ports * network.ports));
        for (const auto &value : network.s[k]) {
            FUZZ_CHECK(std::abs(value) <= 1e6);
        }
    }

    const double span = network.frequencies.back() - network.frequencies.front();
    const double step = span / static_cast<double>(network.frequencies.size() - 1);
    if (!(1.0 / (step * sample_interval) <= 65536.0)) {
        return 0;
    }
    amisim::Channel channel;
    if (!amisim::touchstone_channel(name, network, ports, sample_interval, channel, error)) {
        FUZZ_CHECK(error.rfind(name + ":", 0) == 0);
        return 0;
    }
    FUZZ_CHECK(channel.columns.size() == 1 && !channel.columns[0].empty());
    for (double sample : channel.columns[0]) {
        FUZZ_CHECK(std::isfinite(sample));
    }
    FUZZ_CHECK(channel.description.rfind(name + ":", 0) == 0);
    return 0;
}
