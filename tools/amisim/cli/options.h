// Command line of the stand-in simulator.
#ifndef AMISIM_OPTIONS_H
#define AMISIM_OPTIONS_H

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "tools/amisim/channel/channel_stream.h"
#include "tools/amisim/stimulus/reserved_parameters.h"
#include "tools/amisim/stimulus/symbol_mapping.h"

namespace amisim {

struct Options {
    std::string model;  // empty: the model beside this program
    bool have_parameter_string = false;
    std::string parameter_string;
    std::vector<std::pair<std::string, std::string>> settings;  // --set NAME=VALUE
    // The receiver (--rx): its GetWave after the channel, its Init after the
    // transmitter's. rx_model empty: the kit's example receiver beside this
    // program.
    bool rx = false;
    std::string rx_model;
    bool have_rx_parameter_string = false;
    std::string rx_parameter_string;
    std::vector<std::pair<std::string, std::string>> rx_settings;  // --rx-set NAME=VALUE
    std::string channel_file;                                      // empty: built-in channel
    std::string channel_ports;  // --ports of a Touchstone channel, empty: the default order
    double sample_interval = 3.125e-12;
    bool sample_interval_given = false;
    double symbol_rate = 0.0;  // --symbol-rate, baud; 0: from the sample interval
    int samples_per_bit = 32;  // a unit interval's: a bit of NRZ, a symbol of PAM-n
    std::int64_t bits = 4096;  // unit intervals
    long bits_per_call = 256;
    int prbs_order = 7;
    // The modulation over what the models' .ami files declare: levels 0
    // (none given), 2 for NRZ, 4 for PAM4; the mapping; the thresholds.
    int modulation_levels = 0;
    bool mapping_given = false;
    SymbolMapping mapping = SymbolMapping::kGray;
    std::vector<double> thresholds;  // volts, one per eye from the lowest
    long channel_bits = 128;         // length of the built-in channel, in bits
    Convolution convolution = Convolution::kAuto;
    // Models run in host processes of their word size, unless in_process.
    bool in_process = false;
    double call_limit = 10.0;  // s for an AMI_GetWave or AMI_Close, before the per-sample allowance
    // The error-rate analysis: --ber, or any option below but --seed.
    bool ber = false;
    // Jitter and noise from the command line, by their IBIS reserved names
    // (Rx_Sj_Frequency besides), over what the models' .ami files declare.
    std::vector<ReservedValue> impairments;
    double input_noise = 0.0;  // --noise: volts rms at the receiver's input
    double target_ber = 1e-12;
    std::uint64_t seed = 1;
    std::vector<std::string> aggressors;  // --aggressor FILE, in order
    std::string aggressor_ports;
    std::string output_folder = "amisim-out";
    bool waves = false;  // write every sample of both waveforms to CSV
    bool help = false;
};

// Parses argv into options; false with a message naming the problem.
bool parse_options(int argc, char **argv, Options &options, std::string &error);

// Most bits in one run, and most samples in one AMI_GetWave call (each
// call's block is held in memory twice).
inline constexpr std::int64_t kMaxBits = 10000000000;
inline constexpr long kMaxSamplesPerCall = 1L << 22;

// The help text.
std::string usage();

// The parameter string for the model's root name and the --set settings:
// (root (NAME VALUE) ...), with values that hold blanks or parentheses quoted.
// Without settings, the model's echo of its defaults, as a simulator passes
// the defaults of the model's parameter file; (root) alone is not a valid
// parameter list.
std::string parameter_string_for(const std::string &root, const std::string &defaults,
                                 const std::vector<std::pair<std::string, std::string>> &settings);

// The root name at the head of a parameter string such as an echo: the text
// after the first '(' up to a blank or parenthesis. Empty if there is none.
std::string root_name_of(const std::string &parameter_string);

}  // namespace amisim

#endif  // AMISIM_OPTIONS_H
