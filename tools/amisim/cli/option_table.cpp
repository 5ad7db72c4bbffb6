#include "tools/amisim/cli/option_table.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

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

// The jitter and noise options: each sets one reserved parameter.
struct ImpairmentOption {
    const char *option;
    const char *name;  // the IBIS reserved parameter's
    ReservedUnit unit;
};
constexpr ImpairmentOption kImpairmentOptions[] = {
    {"--tx-rj", "Tx_Rj", ReservedUnit::kSeconds},
    {"--tx-dj", "Tx_Dj", ReservedUnit::kSeconds},
    {"--tx-sj", "Tx_Sj", ReservedUnit::kSeconds},
    {"--tx-sj-frequency", "Tx_Sj_Frequency", ReservedUnit::kHertz},
    {"--tx-dcd", "Tx_DCD", ReservedUnit::kSeconds},
    {"--rx-rj", "Rx_Rj", ReservedUnit::kSeconds},
    {"--rx-dj", "Rx_Dj", ReservedUnit::kSeconds},
    {"--rx-sj", "Rx_Sj", ReservedUnit::kSeconds},
    {"--rx-sj-frequency", "Rx_Sj_Frequency", ReservedUnit::kHertz},
    {"--rx-dcd", "Rx_DCD", ReservedUnit::kSeconds},
    {"--rx-noise", "Rx_Noise", ReservedUnit::kVolts},
};

// A time in seconds or, with the suffix UI, in unit intervals; a frequency
// in hertz; a voltage in volts: finite and not negative.
template <int Index>
bool take_impairment(const std::string &value, Options &o, std::string &error) {
    const ImpairmentOption &option = kImpairmentOptions[Index];
    ReservedValue read;
    read.name = option.name;
    read.unit = option.unit;
    read.form = "command line";
    std::string number = value;
    if (option.unit == ReservedUnit::kSeconds && value.size() > 2 &&
        (value.compare(value.size() - 2, 2, "UI") == 0 ||
         value.compare(value.size() - 2, 2, "ui") == 0)) {
        number = value.substr(0, value.size() - 2);
        read.unit = ReservedUnit::kUnitIntervals;
    }
    if (!parse_double(number, read.value) || read.value < 0.0) {
        error = std::string(option.option) + ": '" + value + "' is not " +
                (option.unit == ReservedUnit::kSeconds ? "a time in seconds (or UI, e.g. 0.02UI)"
                 : option.unit == ReservedUnit::kHertz ? "a frequency in Hz"
                                                       : "a voltage in volts") +
                " of 0 or more";
        return false;
    }
    o.impairments.push_back(read);
    o.ber = true;
    return true;
}

const char *const kJitterApplies = "every run (implies `--ber`)";

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
    {"--symbol-rate", "BAUD", A::kRequired, G::kSimulation, "", "every run",
     "unit intervals per second (symbols of PAM-n, bits of NRZ), e.g. `26.5625e9`: the sample "
     "interval becomes 1/(BAUD times `--samples-per-bit`); not with `--sample-interval`",
     [](const std::string &value, Options &o, std::string &error) {
         if (!parse_double(value, o.symbol_rate) || o.symbol_rate < 1e3 || o.symbol_rate > 1e13) {
             error = "--symbol-rate: '" + value + "' is not a rate from 1e3 to 1e13 baud";
             return false;
         }
         return true;
     }},
    {"--samples-per-bit", "N", A::kRequired, G::kSimulation, "32", "every run",
     "samples per unit interval: per bit of NRZ, per symbol of PAM-n",
     [](const std::string &value, Options &o, std::string &error) {
         return whole_number("--samples-per-bit", value, 1, 4096, o.samples_per_bit, error);
     }},
    {"--bits", "N", A::kRequired, G::kSimulation, "4096", "every run",
     "unit intervals in the waveform: bits of NRZ, symbols of PAM-n (each of ceil(log2 n) bits); "
     "the run streams, so memory does not grow with N",
     [](const std::string &value, Options &o, std::string &error) {
         return whole_number("--bits", value, 1, kMaxBits, o.bits, error);
     }},
    {"--bits-per-call", "N", A::kRequired, G::kSimulation, "256", "every run",
     "bits per AMI_GetWave call",
     [](const std::string &value, Options &o, std::string &error) {
         return whole_number("--bits-per-call", value, 1, 10000000, o.bits_per_call, error);
     }},
    {"--prbs", "N", A::kRequired, G::kSimulation, "7", "every run",
     "PRBS order of the stimulus's bits (7, 9, 15, 23, 31): NRZ sends each at -0.5 or +0.5 V, "
     "PAM-n groups them into symbols (`--modulation`)",
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
    {"--modulation", "NAME", A::kRequired, G::kSimulation, "the files', else NRZ", "every run",
     "`NRZ`, `PAM4` or `PAM<n>` (n from 2 to 32), over the `Modulation` the models' .ami files "
     "beside their libraries declare (the receiver's first); the run says what it overrides. "
     "The levels are equally spaced from -0.5 to +0.5 V (PAM4: -1/2, -1/6, +1/6, +1/2). A model "
     "whose file declares a Usage In String parameter named ...Modulation listing modulations "
     "(the example receiver's `Rx_Modulation`) is told the run's through it, unless `--set` or "
     "`--rx-set` gives it",
     [](const std::string &value, Options &o, std::string &error) {
         std::string word;
         for (char c : value) {
             word += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
         }
         std::int64_t levels = 0;
         if (word == "NRZ") {
             levels = 2;
         } else if (word.compare(0, 3, "PAM") != 0 || !parse_int64(word.substr(3), levels) ||
                    levels < 2 || levels > kMaxLevels || word.size() > 5) {
             error = "--modulation: '" + value + "' is not NRZ, PAM4 or PAM<n> for n from 2 to " +
                     std::to_string(kMaxLevels);
             return false;
         }
         o.modulation_levels = static_cast<int>(levels);
         return true;
     }},
    {"--mapping", "HOW", A::kRequired, G::kSimulation, "`gray`", "PAM-n",
     "how bits become symbols: `gray` (neighbouring levels differ in one bit; PAM4's 00, 01, 11, "
     "10 from the lowest level) or `natural` (the binary number); over a file's PAM4_Mapping",
     [](const std::string &value, Options &o, std::string &error) {
         if (value != "gray" && value != "natural") {
             error = "--mapping: '" + value + "' is not gray or natural";
             return false;
         }
         o.mapping_given = true;
         o.mapping = value == "gray" ? SymbolMapping::kGray : SymbolMapping::kNatural;
         return true;
     }},
    {"--thresholds", "V,V,...", A::kRequired, G::kSimulation, "the file's, else centres",
     "every run",
     "the decision thresholds in volts at the decision point, one per eye from the lowest "
     "(PAM4: lower,centre,upper), over those the receiver's file gives (`PAM4_LowerThreshold` "
     "... or `PAM_Thresholds`). Without either, NRZ decides at 0 V and each eye of PAM-n at its "
     "own centre, the middle of its statistical eye's opening at the target rate",
     [](const std::string &value, Options &o, std::string &error) {
         o.thresholds.clear();
         std::size_t at = 0;
         while (at <= value.size()) {
             const std::size_t comma = std::min(value.find(',', at), value.size());
             double threshold = 0.0;
             if (!parse_double(value.substr(at, comma - at), threshold)) {
                 error = "--thresholds: '" + value + "' is not a list of volts such as -0.3,0,0.3";
                 return false;
             }
             o.thresholds.push_back(threshold);
             at = comma + 1;
         }
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
    {"--ber", "", A::kNone, G::kErrorRate, "off", "every run",
     "the error-rate analysis: the waveform run carries the jitter, the noise and the "
     "aggressors, the receiver's decisions (at its clock ticks, or at the statistical eye's best "
     "phase) are counted against the bits sent, the time-interval error of the crossings is "
     "measured and fitted (dual Dirac), and the statistical eye is printed with its contours "
     "and bathtubs beside the counted rate; `report_ber.svg` shows it. Implied by every option "
     "below but `--seed`, and by jitter or noise a model's .ami file declares",
     [](const std::string &, Options &o, std::string &) {
         o.ber = true;
         return true;
     }},
    {"--tx-rj", "T", A::kRequired, G::kErrorRate, "0", kJitterApplies,
     "the transmitter's random jitter (Tx_Rj), the standard deviation of each edge's Gaussian "
     "displacement: seconds, or unit intervals with the suffix UI (e.g. `0.01UI`), as for every "
     "time below. Each option overrides the value a model's .ami file gives",
     take_impairment<0>},
    {"--tx-dj", "T", A::kRequired, G::kErrorRate, "0", kJitterApplies,
     "the transmitter's deterministic jitter (Tx_Dj), peak to peak: each edge moves by +T/2 or "
     "-T/2 at random",
     take_impairment<1>},
    {"--tx-sj", "T", A::kRequired, G::kErrorRate, "0", kJitterApplies,
     "the transmitter's sinusoidal jitter (Tx_Sj), its amplitude (half the peak to peak); needs "
     "`--tx-sj-frequency`",
     take_impairment<2>},
    {"--tx-sj-frequency", "HZ", A::kRequired, G::kErrorRate, "0", kJitterApplies,
     "the frequency of the transmitter's sinusoidal jitter (Tx_Sj_Frequency)", take_impairment<3>},
    {"--tx-dcd", "T", A::kRequired, G::kErrorRate, "0", kJitterApplies,
     "the transmitter's duty-cycle distortion (Tx_DCD), peak to peak: rising edges T/2 early, "
     "falling ones T/2 late",
     take_impairment<4>},
    {"--rx-rj", "T", A::kRequired, G::kErrorRate, "0", kJitterApplies,
     "the receiver's random jitter (Rx_Rj) on its sampling instants", take_impairment<5>},
    {"--rx-dj", "T", A::kRequired, G::kErrorRate, "0", kJitterApplies,
     "the receiver's deterministic jitter (Rx_Dj), peak to peak", take_impairment<6>},
    {"--rx-sj", "T", A::kRequired, G::kErrorRate, "0", kJitterApplies,
     "the receiver's sinusoidal jitter (Rx_Sj), amplitude; needs `--rx-sj-frequency`",
     take_impairment<7>},
    {"--rx-sj-frequency", "HZ", A::kRequired, G::kErrorRate, "0", kJitterApplies,
     "the frequency of the receiver's sinusoidal jitter (IBIS has no parameter for it)",
     take_impairment<8>},
    {"--rx-dcd", "T", A::kRequired, G::kErrorRate, "0", kJitterApplies,
     "the receiver's duty-cycle distortion (Rx_DCD), peak to peak: every other sampling instant "
     "T/2 early, the others T/2 late",
     take_impairment<9>},
    {"--rx-noise", "V", A::kRequired, G::kErrorRate, "0", kJitterApplies,
     "Gaussian noise at the decision point (Rx_Noise), volts rms: added to the sample of each "
     "decision, and so in the statistical eye as it is",
     take_impairment<10>},
    {"--noise", "V", A::kRequired, G::kErrorRate, "0", kJitterApplies,
     "Gaussian noise at the receiver's input, volts rms, added to every sample of the waveform "
     "before the receiver's AMI_GetWave (in a run of the model alone, to its output). The "
     "statistical eye takes it through the receiver's noise gain: the root of the sum of the "
     "squared taps of the response a second instance of the receiver returns from AMI_Init for "
     "a unit impulse",
     [](const std::string &value, Options &o, std::string &error) {
         if (!parse_double(value, o.input_noise) || o.input_noise < 0.0) {
             error = "--noise: '" + value + "' is not a voltage in volts of 0 or more";
             return false;
         }
         o.ber = true;
         return true;
     }},
    {"--aggressor", "FILE", A::kRequired, G::kErrorRate, "", kJitterApplies,
     "a crosstalk channel into the receiver (repeatable: far-end and near-end each a file of its "
     "own): a Touchstone file whose through response (S21, or Sdd21 with "
     "`--aggressor-ports`) is the coupling, or an impulse-response file as `--channel` reads. "
     "Each aggressor goes to AMI_Init as a further column of the impulse matrix, and in the "
     "waveform run is driven by an instance of its own of the transmitter model (same "
     "parameters) with its own seeded random bits without jitter, at a seeded phase, through its "
     "channel, added at the receiver's input. A channel file's own further columns are aggressors "
     "as well",
     [](const std::string &value, Options &o, std::string &) {
         o.aggressors.push_back(value);
         o.ber = true;
         return true;
     }},
    {"--aggressor-ports", "LIST", A::kRequired, G::kErrorRate, "as `--ports`",
     "Touchstone aggressors", "the Touchstone ports of every aggressor file's through response",
     [](const std::string &value, Options &o, std::string &) {
         o.aggressor_ports = value;
         return true;
     }},
    {"--target-ber", "P", A::kRequired, G::kErrorRate, "1e-12", kJitterApplies,
     "the error rate at which the statistical eye's height and width, its bathtubs and the total "
     "jitter are given; contours are drawn at 1e-3 ... 1e-15",
     [](const std::string &value, Options &o, std::string &error) {
         if (!parse_double(value, o.target_ber) || !(o.target_ber > 0.0 && o.target_ber < 0.5)) {
             error = "--target-ber: '" + value + "' is not an error rate above 0 and below 0.5";
             return false;
         }
         o.ber = true;
         return true;
     }},
    {"--seed", "N", A::kRequired, G::kErrorRate, "1", "`--ber` runs",
     "the seed of every random part (jitter, noise, the aggressors' bits and phases): the same "
     "seed gives the same waveforms bit for bit",
     [](const std::string &value, Options &o, std::string &error) {
         return whole_number("--seed", value, 0, std::numeric_limits<std::int64_t>::max() / 65536,
                             o.seed, error);
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
