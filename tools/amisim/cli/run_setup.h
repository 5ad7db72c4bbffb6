// From the command line to a run: which models (the defaults beside the
// program, the receiver of the transmitter's word size), the channel at the
// sample interval, and the parameter strings (under each model's root
// name, learned from its echo).
#ifndef AMISIM_RUN_SETUP_H
#define AMISIM_RUN_SETUP_H

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tools/amisim/cli/options.h"
#include "tools/amisim/models/model_library.h"
#include "tools/amisim/models/model_session.h"
#include "tools/amisim/run/run_setting.h"

namespace amisim {

// The model files: MODEL.so or the model beside the program, and with --rx
// the receiver's (by default the example receiver of the transmitter's word
// size). False with the message when one is not a library of i386 or
// x86-64.
bool choose_models(const Options &options, RunSetting &setting, std::string &error);

// A model's session as the options say: in a host process of the model's
// word size, or with --in-process in this process. Null with the message.
std::unique_ptr<ModelSession> open_model(const Options &options, const std::string &path,
                                         std::string &error);

// The channel: built in, or read from a file whose time column may set the
// sample interval; with the run's other settings from the options.
bool load_channel(const Options &options, RunSetting &setting, std::string &error);

// Parameter settings per model, as --set and --rx-set give them.
struct ModelSettings {
    std::vector<std::pair<std::string, std::string>> tx;
    std::vector<std::pair<std::string, std::string>> rx;
};

// The modulation of the run: what the models' .ami files beside their
// libraries declare (the receiver's first), with the command line's
// --modulation, --mapping and --thresholds over it, each said in
// setting.modulation_notes; the levels, mapping, thresholds and eye
// offsets. A model whose file ties a parameter of its own to the
// modulation is told it: the settings go to told. Needs the models and
// the sample interval. False with a message for a modulation or
// thresholds that cannot be.
bool choose_modulation(const Options &options, RunSetting &setting, ModelSettings &told,
                       std::string &error);

// The jitter and noise of the run: what the models' .ami files beside
// their libraries declare (the transmitter's, then the receiver's), then
// the command line's values over them, each said in
// setting.impairment_notes. Also the run's seed, target and error-rate
// switch. False with a message when sinusoidal jitter has no frequency.
bool choose_impairments(const Options &options, RunSetting &setting, std::string &error);

// A model's parameter string: --params as given (have_string), or the
// --set settings under the root name of the model's echo of an empty
// string, which holds its defaults when there are no settings. The model is
// loaded and initialised once for this. False with the message (the model
// failed), and in failure what happened when it did not answer.
bool choose_parameters(const Options &options, const std::string &model_path, bool have_string,
                       const std::string &string,
                       const std::vector<std::pair<std::string, std::string>> &settings,
                       const RunSetting &setting, std::string &parameters,
                       std::optional<ModelFailure> &failure, std::string &error);

}  // namespace amisim

#endif  // AMISIM_RUN_SETUP_H
