// Touchstone channels for a model of the other word size. Only the x86-64
// stand-in reads Touchstone files (the conversion needs its FFT), so when
// it hands a 32-bit model over to amisim-i386 it converts the file first
// and passes the impulse response as a channel text file.
#ifndef AMISIM_CHANNEL_HAND_OVER_H
#define AMISIM_CHANNEL_HAND_OVER_H

#include <string>

#include "tools/amisim/cli/options.h"
#include "tools/amisim/models/model_library.h"

namespace amisim {

// True when this build reads Touchstone files and the model goes to the
// other build with one as its channel.
bool needs_converted_channel(ElfClass model, const Options &options);

// Converts the Touchstone channel (printing what the conversion did), writes
// it to a temporary channel file (time and sample columns), runs the other
// build with --channel naming that file, removes the file when the other
// build has finished and returns its exit status. 2 with a message on
// stderr when the conversion or the file fails.
int hand_over_with_converted_channel(ElfClass model, const std::string &model_path,
                                     const Options &options, int argc, char **argv);

}  // namespace amisim

#endif  // AMISIM_CHANNEL_HAND_OVER_H
