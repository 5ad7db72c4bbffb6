#include "tools/amisim/cli/option_table.h"

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

bool parse_int64(const std::string &text, std::int64_t &value) {
    errno = 0;
    char *end = nullptr;
    const long long parsed = std::strtoll(text.c_str(), &end, 10);
    value = parsed;
    return !text.empty() && *end == '\0' && errno == 0;
}

// A whole number from low to high; the message names the option.
template <typename Number>
bool whole_number(const char *option, const std::string &text, std::int64_t low, std::int64_t high,
                  Number &out, std::string &error) {
    std::int64_t value = 0;
    if (!parse_int64(text, value) || value < low || value > high) {
        error = std::string(option) + ": '" + text + "' is not a whole number from " +
                std::to_string(low) + " to " + std::to_string(high);
        return false;
    }
    out = static_cast<Number>(value);
    return true;
}

bool is_name_character(char c) {
    return c != '\0' && std::strchr(" \t\r\n()\"=", c) == nullptr;
}

// NAME=VALUE of --set or --rx-set into settings.
bool add_setting(const char *option, const std::string &setting,
                 std::vector<std::pair<std::string, std::string>> &settings, std::string &error) {
    const auto equals = setting.find('=');
    const std::string key = setting.substr(0, equals);
    if (equals == std::string::npos || key.empty()) {
        error = std::string(option) + ": '" + setting + "' is not NAME=VALUE";
        return false;
    }
    for (char c : key) {
        if (!is_name_character(c)) {
            error = std::string(option) + ": the name '" + key +
                    "' may not hold blanks, parentheses or quotes";
            return false;
        }
    }
    settings.emplace_back(key, setting.substr(equals + 1));
    return true;
}

using G = OptionGroup;
using A = ArgumentKind;

const std::vector<OptionSpec> kOptions = {
    {"--params", "STRING", A::kRequired, G::kModel, "", "every run",
     "the model's whole parameter string, e.g. '(Halvorin_7314_Tx (TX_Corner 1) (TX_Preemph 1))'",
     [](const std::string &value, Options &o, std::string &) {
         o.parameter_string = value;
         o.have_parameter_string = true;
         return true;
     }},
    {"--set", "NAME=VALUE", A::kRequired, G::kModel, "", "every run",
     "one parameter under the model's root name, learned from the model's echo (repeatable; not "
     "with --params); without `--set` or `--params`, the model's own defaults (its echo of an "
     "empty string)",
     [](const std::string &value, Options &o, std::string &error) {
         return add_setting("--set", value, o.settings, error);
     }},
    {"--channel", "FILE", A::kRequired, G::kChannel, "built-in", "every run",
     "impulse response (1/s): one sample per line, or time (s) and sample columns; more columns "
     "are aggressors; blanks, tabs or commas between columns, `#` comments. Or a Touchstone file "
     "(.s2p, .s4p, or one that begins with an option line or [Version]), converted to the impulse "
     "response of its S21 or differential Sdd21 (x86-64 build only). The built-in channel is a "
     "skin-effect line with a pole, about 11.4 dB loss at 5 GHz",
     [](const std::string &value, Options &o, std::string &) {
         o.channel_file = value;
         return true;
     }},
    {"--ports", "LIST", A::kRequired, G::kChannel, "`1,3,2,4` / `1,2`", "Touchstone channels",
     "Touchstone ports of the through response: `P1+,P1-,P2+,P2-` for 4 ports (the pair 1,3 "
     "drives the pair 2,4; files numbered 1,2 -> 3,4 need `1,2,3,4`), `IN,OUT` for 2 ports",
     [](const std::string &value, Options &o, std::string &) {
         o.channel_ports = value;
         return true;
     }},
    {"--channel-bits", "N", A::kRequired, G::kChannel, "128", "the built-in channel",
     "length of the built-in channel in bits",
     [](const std::string &value, Options &o, std::string &error) {
         return whole_number("--channel-bits", value, 1, 100000, o.channel_bits, error);
     }},
    {"--rx", "[RX.so]", A::kOptional, G::kReceiver, "off", "a whole link",
     "a receiver model after the channel: the stimulus goes through the model's AMI_GetWave, the "
     "channel and the receiver's AMI_GetWave, and the receiver's AMI_Init gets the impulse "
     "responses the model's AMI_Init returned; the eye is also sampled at the clock ticks the "
     "receiver returns. Without a file (`--rx` last, or followed by an option), the example "
     "receiver beside the program of the transmitter's word size, `Example_Rx_64.so` or "
     "`Example_Rx_32.so`. Transmitter and receiver may be of different word sizes",
     [](const std::string &value, Options &o, std::string &error) {
         if (o.rx) {
             error = "--rx given twice";
             return false;
         }
         o.rx = true;
         o.rx_model = value;
         return true;
     }},
    {"--rx-params", "STRING", A::kRequired, G::kReceiver, "", "a whole link",
     "the receiver's whole parameter string",
     [](const std::string &value, Options &o, std::string &) {
         o.rx_parameter_string = value;
         o.have_rx_parameter_string = true;
         return true;
     }},
    {"--rx-set", "NAME=VALUE", A::kRequired, G::kReceiver, "", "a whole link",
     "one receiver parameter under the root name of its echo (repeatable; not with --rx-params)",
     [](const std::string &value, Options &o, std::string &error) {
         return add_setting("--rx-set", value, o.rx_settings, error);
     }},
    {"--sample-interval", "T", A::kRequired, G::kSimulation, "3.125e-12", "every run",
     "seconds per sample (a channel file's time column sets it when not given)",
     [](const std::string &value, Options &o, std::string &error) {
         if (!parse_double(value, o.sample_interval) || o.sample_interval <= 0.0 ||
             o.sample_interval > 1e-6) {
             error = "--sample-interval: '" + value +
                     "' is not a time in seconds above 0 and at most 1e-6";
             return false;
         }
         o.sample_interval_given = true;
         return true;
     }},
    {"--samples-per-bit", "N", A::kRequired, G::kSimulation, "32", "every run", "samples per bit",
     [](const std::string &value, Options &o, std::string &error) {
         return whole_number("--samples-per-bit", value, 1, 4096, o.samples_per_bit, error);
     }},
    {"--bits", "N", A::kRequired, G::kSimulation, "4096", "every run",
     "bits in the waveform; the run streams, so memory does not grow with N",
     [](const std::string &value, Options &o, std::string &error) {
         return whole_number("--bits", value, 1, kMaxBits, o.bits, error);
     }},
    {"--bits-per-call", "N", A::kRequired, G::kSimulation, "256", "every run",
     "bits per AMI_GetWave call",
     [](const std::string &value, Options &o, std::string &error) {
         return whole_number("--bits-per-call", value, 1, 10000000, o.bits_per_call, error);
     }},
    {"--prbs", "N", A::kRequired, G::kSimulation, "7", "every run",
     "PRBS order of the stimulus (7, 9, 15, 23, 31), levels +0.5 and -0.5",
     [](const std::string &value, Options &o, std::string &error) {
         std::int64_t order = 0;
         if (!parse_int64(value, order) ||
             (order != 7 && order != 9 && order != 15 && order != 23 && order != 31)) {
             error = "--prbs: '" + value + "' is not one of 7, 9, 15, 23, 31";
             return false;
         }
         o.prbs_order = static_cast<int>(order);
         return true;
     }},
    {"--convolution", "HOW", A::kRequired, G::kSimulation, "auto", "every run",
     "how the stimulus goes through the channel: `direct` sums, `fft` (overlap-add through FFTW), "
     "or `auto`, FFT for channels of more than 64 samples",
     [](const std::string &value, Options &o, std::string &error) {
         if (value == "auto") {
             o.convolution = Convolution::kAuto;
         } else if (value == "direct") {
             o.convolution = Convolution::kDirect;
         } else if (value == "fft" && fft_available()) {
             o.convolution = Convolution::kFft;
         } else if (value == "fft") {
             error =
                 "--convolution fft: this build has no FFT (it was built without FFTW); use "
                 "direct";
             return false;
         } else {
             error = "--convolution: '" + value + "' is not one of auto, direct, fft";
             return false;
         }
         return true;
     }},
    {"--in-process", "", A::kNone, G::kModels, "off", "every run",
     "load the models into this process instead of a host process each: for running a model "
     "under a debugger or valgrind. Both models must then be x86-64 libraries, and a model that "
     "crashes takes the stand-in with it",
     [](const std::string &, Options &o, std::string &) {
         o.in_process = true;
         return true;
     }},
    {"--call-limit", "SECONDS", A::kRequired, G::kModels, "10", "every run",
     "how long one AMI_GetWave or AMI_Close call may take before its model is stopped and "
     "reported as hanging, plus 2 us for every sample of the call's block; loading a model and "
     "AMI_Init get six times as long",
     [](const std::string &value, Options &o, std::string &error) {
         if (!parse_double(value, o.call_limit) || o.call_limit <= 0.0 || o.call_limit > 1e6) {
             error = "--call-limit: '" + value + "' is not a time in seconds above 0";
             return false;
         }
         return true;
     }},
    {"--out", "FOLDER", A::kRequired, G::kOutput, "amisim-out", "every run",
     "where the results go: `results.json` (every figure and input, for programs), the impulse "
     "responses (`impulse_before.csv`, `impulse_after.csv`, with `--rx` also `impulse_rx.csv`) "
     "and the bathtub (`bathtub.csv`), the eyes, pulse responses and bathtubs as SVG, and "
     "`report.svg`, one page of all pictures and tables",
     [](const std::string &value, Options &o, std::string &error) {
         if (value.empty()) {
             error = "--out needs a folder name";
             return false;
         }
         o.output_folder = value;
         return true;
     }},
    {"--waves", "", A::kNone, G::kOutput, "off", "every run",
     "also every sample of both waveforms, `wave_before.csv` and `wave_after.csv` (large for long "
     "runs)",
     [](const std::string &, Options &o, std::string &) {
         o.waves = true;
         return true;
     }},
    {"--help", "", A::kNone, G::kOutput, "", "", "this text (also -h)",
     [](const std::string &, Options &o, std::string &) {
         o.help = true;
         return true;
     }},
};

}  // namespace

const std::vector<OptionSpec> &option_table() {
    return kOptions;
}

std::string options_markdown() {
    std::string text = "| Option | Default | Applies to | Meaning |\n|---|---|---|---|\n";
    for (const OptionSpec &option : kOptions) {
        text += "| `" + std::string(option.name) +
                (*option.argument != '\0' ? " " + std::string(option.argument) : "") + "` | " +
                option.default_text + " | " + option.applies + " | " + option.help + " |\n";
    }
    return text;
}

}  // namespace amisim
