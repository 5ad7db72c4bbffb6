// The whole link as a channel simulator runs it (amisim --rx): the
// transmitter's AMI_Init on the channel's impulse responses, the receiver's
// AMI_Init on what the transmitter returned; the stimulus through the
// transmitter's AMI_GetWave, the channel and the receiver's AMI_GetWave,
// whose clock ticks place the eye where the receiver samples; the summary,
// the files and the report page.
#ifndef AMISIM_LINK_RUN_H
#define AMISIM_LINK_RUN_H

#include <string>

#include "tools/amisim/cli/options.h"
#include "tools/amisim/models/model_library.h"
#include "tools/amisim/run/simulation.h"

namespace amisim {

// Returns the exit status: 0, kModelFailed or kBadInput (with its message).
int simulate_link(const Options &options, const std::string &model_path, Setting &setting,
                  const ModelLibrary &tx, const ModelLibrary &rx);

}  // namespace amisim

#endif  // AMISIM_LINK_RUN_H
