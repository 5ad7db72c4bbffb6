// The modulation a link runs: NRZ, PAM4 or PAM-n, with the mapping of bits
// to symbols, each eye's decision threshold and sampling offset, as a
// model's parameter file (.ami) declares them in its Reserved_Parameters,
// read with the toolkit's own lexer and grammar, or as the command line sets
// them over the file.
//
// The reserved parameters read, in the forms of declared_values.h:
//   AMI_Version            the file's IBIS version (String), for the notes
//   Modulation             NRZ, PAM4 (IBIS 6.1 on), PAM_n or PAMn with
//                          Modulation_Levels (IBIS 7.0 on), or PAM<k>
//   Modulation_Levels      the levels of PAM_n (Integer, 2 .. 32)
//   PAM4_Mapping           Gray, or standard (natural binary); String
//   PAM4_LowerThreshold,
//   PAM4_CenterThreshold,
//   PAM4_UpperThreshold    each eye's threshold, volts (Float)
//   PAM4_LowerEyeOffset,
//   PAM4_CenterEyeOffset,
//   PAM4_UpperEyeOffset    each eye's sampling instant from the receiver's
//                          (its clock tick plus half a unit interval):
//                          seconds (Float) or unit intervals (UI)
//   PAM_Thresholds         levels - 1 thresholds, volts, ascending, as the
//                          values of one Value or List (Float)
// each with Usage Info or In: a threshold or offset of Usage Out is what the
// model reports while it runs, not a setting, and is left out. A parameter
// of a version later than the file's AMI_Version is read all the same, with
// a note. Eyes count from the lowest: PAM4's lower eye is eye 0, its upper
// eye 2. PAM4 thresholds and offsets are read for PAM4 only, PAM_Thresholds
// for any modulation whose levels match its count, the PAM4 ones taking
// precedence.
#ifndef AMISIM_MODULATION_H
#define AMISIM_MODULATION_H

#include <string>
#include <vector>

#include "tools/amisim/stimulus/reserved_parameters.h"
#include "tools/amisim/stimulus/symbol_mapping.h"

namespace amisim {

// Where a setting came from.
inline constexpr const char *kFromDefault = "default";
inline constexpr const char *kFromFile = "the file";
inline constexpr const char *kFromCommandLine = "the command line";

struct EyeOffset {
    double value = 0.0;
    ReservedUnit unit = ReservedUnit::kSeconds;  // seconds or unit intervals
};

struct ModulationSetting {
    int levels = 2;
    SymbolMapping mapping = SymbolMapping::kGray;
    // One per eye, lowest first, volts at the decision point; NaN where the
    // eye's threshold is its own centre. Empty: every eye's is.
    std::vector<double> thresholds;
    // One per eye, lowest first; empty: every eye sampled at the instant.
    std::vector<EyeOffset> eye_offsets;
    std::string source = kFromDefault;  // of levels and mapping
    std::string thresholds_source;      // of the thresholds given; "" for none
    std::string version;                // AMI_Version as the file gives it; "" for none
    std::vector<std::string> notes;     // what was read, overridden or left out, and why
    bool readable = true;               // false when the text does not read as a parameter file
};

// Reads the text of a .ami file; a file that declares no Modulation gives NRZ.
ModulationSetting read_modulation(const std::string &ami_text);

// The link's modulation from both models' files: levels and mapping from
// the receiver's file where it declares a Modulation, else the
// transmitter's; thresholds and offsets from the file the levels came from
// (a note says where the two files disagree).
ModulationSetting combine_modulations(const ModulationSetting &tx, const ModulationSetting &rx);

// What the command line sets: levels 0, no mapping and no thresholds leave
// the file's.
struct ModulationOverride {
    int levels = 0;
    bool mapping_given = false;
    SymbolMapping mapping = SymbolMapping::kGray;
    std::vector<double> thresholds;  // volts, lowest first, levels - 1 of them
};

// Applies the command line's settings over the file's, with a note for
// each that overrides the file. Other levels than the file's leave out its
// thresholds and offsets. False, with a message, for levels outside 2 ..
// kMaxLevels, or thresholds not levels - 1, not finite or not ascending.
bool override_modulation(const ModulationOverride &command_line, ModulationSetting &setting,
                         std::string &error);

// Each eye's offset in unit intervals (0 where none is given).
std::vector<double> eye_offsets_in_ui(const ModulationSetting &setting, double unit_interval);
// The same in whole samples, samples_per_bit to the unit interval.
std::vector<int> eye_offsets_in_samples(const ModulationSetting &setting, double unit_interval,
                                        int samples_per_bit);

// The thresholds to decide at, one per eye: the setting's, and where it
// gives none (NaN, or none at all) the eye's own centre, from centres.
std::vector<double> decision_thresholds(const ModulationSetting &setting,
                                        const std::vector<double> &centres);

// The parameter through which a model's file lets a simulator tell the
// model the modulation it runs: the reserved Modulation has Usage Info and
// reaches no model, so a model that decides symbols itself declares one of
// its own (the example receiver's Rx_Modulation). It is taken to be a
// Model_Specific parameter of Usage In and Type String whose name ends in
// "Modulation" (in any case) and whose List names modulations only (NRZ,
// PAM4, PAM<k>).
struct ModulationParameter {
    std::string name;
    std::vector<std::string> values;  // its List, as the file spells them
    std::vector<int> levels;          // of each value
    std::string declared;             // its Default, else the List's first
};

// False where the text declares none or does not read.
bool find_modulation_parameter(const std::string &ami_text, ModulationParameter &parameter);

}  // namespace amisim

#endif  // AMISIM_MODULATION_H
