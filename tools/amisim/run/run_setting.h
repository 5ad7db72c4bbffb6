// Everything a run of the pipeline is given: the channel at the sample
// interval, the stimulus, the models with their parameter strings, and
// where the output goes. The command line fills it; tests fill it directly.
#ifndef AMISIM_RUN_SETTING_H
#define AMISIM_RUN_SETTING_H

#include <cstdint>
#include <string>
#include <vector>

#include "tools/amisim/channel/channel.h"
#include "tools/amisim/channel/channel_stream.h"
#include "tools/amisim/stimulus/jitter.h"
#include "tools/amisim/stimulus/symbol_mapping.h"

namespace amisim {

struct RunSetting {
    Channel channel;            // impulse responses (1/s) at dt, through first
    std::string channel_file;   // empty: the built-in channel
    std::string channel_ports;  // --ports of a Touchstone channel, as given
    long channel_bits = 0;      // length of the built-in channel, in bits
    double dt = 0.0;            // s per sample
    int spb = 1;                // samples per unit interval (a bit of NRZ, a symbol of PAM-n)

    std::int64_t bits = 0;  // unit intervals: bits of NRZ, symbols of PAM-n
    long bits_per_call = 256;
    int prbs_order = 7;
    Convolution convolution = Convolution::kAuto;

    std::string model_path;
    std::string parameters;
    std::string rx_path;  // empty: the model alone, no receiver stage
    std::string rx_parameters;

    // The error-rate analysis: the statistical eye is computed for every
    // run; with ber on, the waveform run also carries the impairments and
    // the aggressors, counts errors and measures the crossings' jitter, and
    // the tables and report_ber.svg show it all.
    bool ber = false;
    Impairments impairments;   // jitter at both ends, noise at the decision point
    double input_noise = 0.0;  // volts rms on every sample at the receiver's input
    std::uint64_t seed = 1;
    double target_ber = 1e-12;
    // The symbols' levels (volts, ascending) and their code words' mapping;
    // the decision thresholds between them, one per eye, lowest first, volts
    // at the decision point: NaN where the eye's threshold is its own centre
    // (the statistical eye's, worked out before the waveform's decisions),
    // none at all where every eye's is; and where each eye is sampled, in
    // samples from the receiver's instant (none: all at it).
    std::vector<double> levels = {-0.5, 0.5};
    SymbolMapping mapping = SymbolMapping::kGray;
    std::vector<double> thresholds = {0.0};
    std::vector<int> eye_offsets;
    // Where the modulation and the thresholds came from (kFromDefault,
    // kFromFile, kFromCommandLine of modulation.h; thresholds "" for none
    // given), and what the models' files and the command line said of it,
    // one line each, as the run prints them.
    std::string modulation_source = "default";
    std::string thresholds_source;
    std::vector<std::string> modulation_notes;
    // Where each aggressor column of the channel came from, as given
    // (--aggressor; a channel file's own extra columns come first, unnamed).
    std::vector<std::string> aggressor_files;
    std::string aggressor_ports;
    // What the models' .ami files gave and what the command line overrode,
    // one line each, as the run prints them.
    std::vector<std::string> impairment_notes;

    std::string output_folder;  // "" writes no waveform files
    bool waves = false;         // every sample of the waveforms to CSV
    bool progress = false;      // a progress bar on a terminal
};

// The channel's memory fills after as many bits as it is long.
std::int64_t fill_bits(const RunSetting &setting);

}  // namespace amisim

#endif  // AMISIM_RUN_SETTING_H
