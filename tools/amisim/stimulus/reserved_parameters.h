// The reserved jitter and noise parameters a model's IBIS-AMI parameter
// file (.ami) declares, read with the toolkit's own lexer and grammar:
// Tx_Rj, Tx_Dj, Tx_Sj, Tx_Sj_Frequency, Tx_DCD, Rx_Rj, Rx_Dj, Rx_Sj, Rx_DCD
// and Rx_Noise, found in the Reserved_Parameters list of the file's root.
//
// Each is read when its Usage is Info or In and its Type Float (seconds, for
// Rx_Noise volts, for Tx_Sj_Frequency hertz) or, for the jitter ones, UI
// (unit intervals), in one of these forms, with or without the Format
// keyword before it:
//   (Value v)                      v
//   (Range typ min max)            Default when given, else typ
//   (List a b ...)                 Default when given, else a
//   (Corner typ slow fast)         typ
//   (Increment typ min max step)   Default when given, else typ
//   (Steps typ min max step)       Default when given, else typ
// Numbers are plain decimal numbers (no unit suffixes). Anything else (a
// Table, Gaussian, Dual-Dirac or DjRj format, another Type or Usage, a
// value that is not a finite number, a negative jitter or noise) is left
// out with a note saying why.
#ifndef AMISIM_RESERVED_PARAMETERS_H
#define AMISIM_RESERVED_PARAMETERS_H

#include <string>
#include <vector>

#include "tools/amisim/stimulus/jitter.h"

namespace amisim {

enum class ReservedUnit { kSeconds, kUnitIntervals, kVolts, kHertz };

struct ReservedValue {
    std::string name;  // as the file spells it, e.g. "Tx_Rj"
    double value = 0.0;
    ReservedUnit unit = ReservedUnit::kSeconds;
    std::string form;  // how it was read, e.g. "Range, its Default"
};

struct ReservedReading {
    std::vector<ReservedValue> values;  // in the file's order
    std::vector<std::string> notes;     // what was declared but left out, and why
    bool readable = true;               // false when the text does not read as a parameter file
};

// Reads the text of a .ami file.
ReservedReading read_reserved_parameters(const std::string &ami_text);

// The .ami file a model library's simulator would read beside it: the
// library's name with its extension, and a word-size suffix _32 or _64,
// replaced by .ami (dist/Model_64.so gives dist/Model.ami). The candidates,
// most specific first: Model_64.ami, then Model.ami.
std::vector<std::string> ami_files_beside(const std::string &library_path);

// Sets the impairments from what was read, a time in UI converted with
// unit_interval (seconds); returns one line for each value set, such as
// "Tx_Rj = 2e-13 s (Value)", for the run to say what it took from the file.
// Command-line settings applied afterwards override these; they come as
// values of the same names (and Rx_Sj_Frequency, which IBIS lacks).
std::vector<std::string> apply_reserved(const ReservedReading &reading, double unit_interval,
                                        Impairments &impairments);

}  // namespace amisim

#endif  // AMISIM_RESERVED_PARAMETERS_H
