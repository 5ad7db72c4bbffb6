#include "tools/amisim/cli/options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace amisim {

namespace {

bool parse_double(const std::string &text, double &value) {
    errno = 0;
    char *end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return !text.empty() && *end == '\0' && errno == 0 && std::isfinite(value);
}

bool parse_long(const std::string &text, long &value) {
    errno = 0;
    char *end = nullptr;
    value = std::strtol(text.c_str(), &end, 10);
    return !text.empty() && *end == '\0' && errno == 0;
}

bool parse_int64(const std::string &text, std::int64_t &value) {
    errno = 0;
    char *end = nullptr;
    const long long parsed = std::strtoll(text.c_str(), &end, 10);
    value = parsed;
    return !text.empty() && *end == '\0' && errno == 0;
}

bool in_range(long value, long low, long high) {
    return value >= low && value <= high;
}

bool is_name_character(char c) {
    return c != '\0' && std::strchr(" \t\r\n()\"=", c) == nullptr;
}

// NAME=VALUE of --set or --rx-set into settings.
bool add_setting(const std::string &option, const std::string &setting,
                 std::vector<std::pair<std::string, std::string>> &settings, std::string &error) {
    const auto equals = setting.find('=');
    const std::string key = setting.substr(0, equals);
    if (equals == std::string::npos || key.empty()) {
        error = option + ": '" + setting + "' is not NAME=VALUE";
        return false;
    }
    for (char c : key) {
        if (!is_name_character(c)) {
            error = option + ": the name '" + key + "' may not hold blanks, parentheses or quotes";
            return false;
        }
    }
    settings.emplace_back(key, setting.substr(equals + 1));
    return true;
}

}  // namespace

std::string usage() {
    return R"(Usage: amisim [OPTIONS] [MODEL.so]

A stand-in for a channel simulator: loads an IBIS-AMI model, calls AMI_Init
with the channel's impulse responses and AMI_GetWave with a PRBS waveform
through the channel, reports what the model did, and calls AMI_Close.

MODEL.so defaults to Halvorin_7314_Tx_64.so beside this program. A 32-bit
model is run by the 32-bit build of the stand-in automatically.

Model parameters:
  --params STRING        the whole parameter string, e.g.
                         '(Halvorin_7314_Tx (TX_Corner 1) (TX_Preemph 1))'
  --set NAME=VALUE       one parameter, placed under the model's root name
                         (repeatable; the root name is taken from the model's
                         own echo). Not together with --params. Without
                         either, the model gets its own defaults: the echo
                         it returns for an empty parameter string.

Channel:
  --channel FILE         impulse response from a text file: one sample per
                         line (unit 1/s), or a time column (s) then the
                         sample; further columns are aggressors. Blanks, tabs
                         or commas separate columns; '#' starts a comment.
                         Default: the built-in channel, a skin-effect line
                         with a pole (about 11.4 dB loss at 5 GHz).
                         A Touchstone file (.s2p, .s4p, or one that begins
                         with an option line or [Version]) is converted to
                         the impulse response of its S21 (2 ports) or
                         differential Sdd21 (4 ports); the x86-64 build only.
  --ports LIST           Touchstone ports of the through response:
                         P1+,P1-,P2+,P2- for 4 ports (default 1,3,2,4: the
                         pair 1,3 drives the pair 2,4; files numbered 1,2 ->
                         3,4 need 1,2,3,4), IN,OUT for 2 ports (default 1,2)
  --channel-bits N       length of the built-in channel in bits (default 128)

Receiver (the whole link: stimulus, MODEL's AMI_GetWave, channel, receiver):
  --rx [RX.so]           a receiver model after the channel; without a file
                         (--rx last, or followed by an option), the kit's
                         example receiver Example_Rx_64.so (Example_Rx_32.so)
                         beside this program. Its AMI_Init gets the impulse
                         responses as MODEL's AMI_Init returned them; the eye
                         is sampled at the clock ticks its AMI_GetWave
                         returns. MODEL and RX must be of one word size.
  --rx-params STRING     the receiver's whole parameter string
  --rx-set NAME=VALUE    one receiver parameter, under the root name of its
                         echo (repeatable). Not together with --rx-params.

Simulation:
  --sample-interval T    seconds per sample (default 3.125e-12; a channel
                         file's time column sets it when not given)
  --samples-per-bit N    samples per bit (default 32)
  --bits N               bits in the waveform (default 4096); the run
                         streams, so memory does not grow with N
  --bits-per-call N      bits per AMI_GetWave call (default 256)
  --prbs N               PRBS order of the stimulus: 7, 9, 15, 23 or 31
                         (default 7); levels are +0.5 and -0.5
  --convolution HOW      how the stimulus goes through the channel: direct
                         sums, fft (overlap-add through FFTW) or auto (the
                         default: fft for channels of more than 64 samples).
                         The i386 build has no FFT and always sums directly.

Output (in the folder of --out, default amisim-out):
  --out FOLDER           impulse_before.csv, impulse_after.csv (the impulse
                         responses; with --rx also impulse_rx.csv and
                         eye_clock.svg, the eye at the receiver's clock),
                         bathtub.csv (eye height at each phase),
                         eye_before.svg, eye_after.svg, pulse.svg,
                         bathtub.svg and report.svg, a page of all the
                         results (pictures for any browser)
  --waves                also wave_before.csv and wave_after.csv: every
                         sample of both waveforms (large for long runs)
  -h, --help             this text

Exit status: 0 on success, 1 when the model fails, 2 on bad input.
)";
}

bool parse_options(int argc, char **argv, Options &options, std::string &error) {
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        std::string name = argument;
        std::string value;
        bool has_inline_value = false;
        if (argument.rfind("--", 0) == 0) {
            const auto equals = argument.find('=');
            if (equals != std::string::npos && argument != "--set") {
                name = argument.substr(0, equals);
                value = argument.substr(equals + 1);
                has_inline_value = true;
            }
        }
        auto next_value = [&](std::string &out) {
            if (has_inline_value) {
                out = value;
                return true;
            }
            if (i + 1 >= argc) {
                error = name + " needs a value";
                return false;
            }
            out = argv[++i];
            return true;
        };
        auto positive_long = [&](long &out, long high, const char *what) {
            std::string text;
            if (!next_value(text)) {
                return false;
            }
            if (!parse_long(text, out) || !in_range(out, 1, high)) {
                error =
                    name + ": '" + text + "' is not " + what + " from 1 to " + std::to_string(high);
                return false;
            }
            return true;
        };

        if (name == "-h" || name == "--help") {
            options.help = true;
        } else if (name == "--params") {
            if (!next_value(options.parameter_string)) {
                return false;
            }
            options.have_parameter_string = true;
        } else if (name == "--set" || name == "--rx-set") {
            std::string setting;
            if (!next_value(setting) ||
                !add_setting(name, setting,
                             name == "--set" ? options.settings : options.rx_settings, error)) {
                return false;
            }
        } else if (name == "--rx") {
            // The file is optional: --rx=FILE, or the next argument unless
            // it is an option.
            if (options.rx) {
                error = "--rx given twice";
                return false;
            }
            options.rx = true;
            if (has_inline_value) {
                options.rx_model = value;
            } else if (i + 1 < argc && argv[i + 1][0] != '-') {
                options.rx_model = argv[++i];
            }
        } else if (name == "--rx-params") {
            if (!next_value(options.rx_parameter_string)) {
                return false;
            }
            options.have_rx_parameter_string = true;
        } else if (name == "--channel") {
            if (!next_value(options.channel_file)) {
                return false;
            }
        } else if (name == "--ports") {
            if (!next_value(options.channel_ports)) {
                return false;
            }
        } else if (name == "--sample-interval") {
            std::string text;
            if (!next_value(text)) {
                return false;
            }
            if (!parse_double(text, options.sample_interval) || options.sample_interval <= 0.0 ||
                options.sample_interval > 1e-6) {
                error = "--sample-interval: '" + text +
                        "' is not a time in seconds above 0 and at most 1e-6";
                return false;
            }
            options.sample_interval_given = true;
        } else if (name == "--samples-per-bit") {
            long spb = 0;
            if (!positive_long(spb, 4096, "a whole number")) {
                return false;
            }
            options.samples_per_bit = static_cast<int>(spb);
        } else if (name == "--bits") {
            std::string text;
            if (!next_value(text)) {
                return false;
            }
            if (!parse_int64(text, options.bits) || options.bits < 1 || options.bits > kMaxBits) {
                error = name + ": '" + text + "' is not a whole number from 1 to " +
                        std::to_string(kMaxBits);
                return false;
            }
        } else if (name == "--bits-per-call") {
            if (!positive_long(options.bits_per_call, 10000000, "a whole number")) {
                return false;
            }
        } else if (name == "--channel-bits") {
            if (!positive_long(options.channel_bits, 100000, "a whole number")) {
                return false;
            }
        } else if (name == "--prbs") {
            long order = 0;
            std::string text;
            if (!next_value(text)) {
                return false;
            }
            if (!parse_long(text, order) ||
                (order != 7 && order != 9 && order != 15 && order != 23 && order != 31)) {
                error = "--prbs: '" + text + "' is not one of 7, 9, 15, 23, 31";
                return false;
            }
            options.prbs_order = static_cast<int>(order);
        } else if (name == "--convolution") {
            std::string text;
            if (!next_value(text)) {
                return false;
            }
            if (text == "auto") {
                options.convolution = Convolution::kAuto;
            } else if (text == "direct") {
                options.convolution = Convolution::kDirect;
            } else if (text == "fft" && fft_available()) {
                options.convolution = Convolution::kFft;
            } else if (text == "fft") {
                error =
                    "--convolution fft: this build has no FFT (the i386 stand-in is built "
                    "without FFTW); use direct";
                return false;
            } else {
                error = "--convolution: '" + text + "' is not one of auto, direct, fft";
                return false;
            }
        } else if (name == "--waves") {
            options.waves = true;
        } else if (name == "--out") {
            if (!next_value(options.output_folder)) {
                return false;
            }
            if (options.output_folder.empty()) {
                error = "--out needs a folder name";
                return false;
            }
        } else if (!argument.empty() && argument[0] == '-') {
            error = "unknown option '" + argument + "'";
            return false;
        } else if (options.model.empty()) {
            options.model = argument;
        } else {
            error = "more than one model given ('" + options.model + "' and '" + argument + "')";
            return false;
        }
    }
    if (options.have_parameter_string && !options.settings.empty()) {
        error = "use either --params or --set, not both";
        return false;
    }
    if (!options.rx && (options.have_rx_parameter_string || !options.rx_settings.empty())) {
        error = std::string(options.have_rx_parameter_string ? "--rx-params" : "--rx-set") +
                " sets the receiver's parameters; it needs --rx";
        return false;
    }
    if (options.have_rx_parameter_string && !options.rx_settings.empty()) {
        error = "use either --rx-params or --rx-set, not both";
        return false;
    }
    const double per_call = static_cast<double>(options.bits_per_call) * options.samples_per_bit;
    if (per_call > static_cast<double>(kMaxSamplesPerCall)) {
        error = "--bits-per-call times --samples-per-bit is " +
                std::to_string(static_cast<long long>(per_call)) + " samples; at most " +
                std::to_string(kMaxSamplesPerCall) + " are allowed in one AMI_GetWave call";
        return false;
    }
    return true;
}

std::string parameter_string_for(const std::string &root, const std::string &defaults,
                                 const std::vector<std::pair<std::string, std::string>> &settings) {
    if (settings.empty() && !defaults.empty()) {
        return defaults;
    }
    std::string text = "(" + root;
    for (const auto &[name, value] : settings) {
        const bool quote = value.empty() || value.find_first_of(" \t\r\n()") != std::string::npos;
        text += " (" + name + " " + (quote ? "\"" + value + "\"" : value) + ")";
    }
    return text + ")";
}

std::string root_name_of(const std::string &parameter_string) {
    const auto open = parameter_string.find('(');
    if (open == std::string::npos) {
        return "";
    }
    const auto begin = parameter_string.find_first_not_of(" \t\r\n", open + 1);
    if (begin == std::string::npos) {
        return "";
    }
    const auto end = parameter_string.find_first_of(" \t\r\n()", begin);
    return parameter_string.substr(begin, end == std::string::npos ? end : end - begin);
}

}  // namespace amisim
