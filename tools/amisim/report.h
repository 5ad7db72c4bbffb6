// The stand-in's summary on stdout and its small result files: the figures
// of the pulse responses, the eyes, the bathtub as CSV.
#ifndef AMISIM_REPORT_H
#define AMISIM_REPORT_H

#include <cstdint>
#include <string>

#include "tools/amisim/eye.h"
#include "tools/amisim/stream.h"
#include "tools/amisim/waveforms.h"

namespace amisim {

void print_response_summary(const ResponseFigures &before, const ResponseFigures &after);

// after is null when the model has no AMI_GetWave. The first settle_bits
// bits were left out of the eyes; the channel needs fill_bits to fill.
void print_eye_summary(const EyeFigures &before, const EyeFigures *after, int samples_per_bit,
                       double sample_interval, std::int64_t bits, std::int64_t settle_bits,
                       std::int64_t fill_bits);

// How the run went: the convolution, the time taken, the model's share.
void print_run_summary(const StreamResult &result, bool has_model);

// Eye height at each phase: phase_ui, offset_samples, before_V[, after_V].
bool write_bathtub_csv(const std::string &path, const EyeFigures &before, const EyeFigures *after,
                       int samples_per_bit, std::string &error);

// "+0.03" style offset of a phase slot from the cursor, in UI.
double slot_ui(int slot, int samples_per_bit);

}  // namespace amisim

#endif  // AMISIM_REPORT_H
