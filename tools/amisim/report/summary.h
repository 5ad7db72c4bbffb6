// The stand-in's summary on stdout and its small result files: the figures
// of the pulse responses, the eyes, the bathtub as CSV.
#ifndef AMISIM_SUMMARY_H
#define AMISIM_SUMMARY_H

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "tools/amisim/analysis/eye.h"
#include "tools/amisim/analysis/response_figures.h"
#include "tools/amisim/run/stream.h"

namespace amisim {

void print_response_summary(const ResponseFigures &before, const ResponseFigures &after);

// after is null when the model has no AMI_GetWave. The first settle_bits
// bits were left out of the eyes; the channel needs fill_bits to fill.
void print_eye_summary(const EyeFigures &before, const EyeFigures *after, int samples_per_bit,
                       double sample_interval, std::int64_t bits, std::int64_t settle_bits,
                       std::int64_t fill_bits);

// How the run went: the convolution, the time taken, the model's share.
void print_run_summary(const StreamResult &result, bool has_model);

// How a link's run went: the convolution, the time taken, each model's share.
void print_link_run_summary(const StreamResult &result, bool transmitter_has_get_wave,
                            bool receiver_has_get_wave);

// "N bits; the first S left out while the channel fills" (or too few), in
// the unit given.
std::string settle_note(std::int64_t settle_bits, std::int64_t fill_bits, std::int64_t bits,
                        const char *unit = "bits");

// What to know beside a link's eye figures: the bits left out, models
// without AMI_GetWave, the receiver's clock ticks and their phase.
std::vector<std::string> link_notes(const ClockFigures &clock, bool receiver_has_get_wave,
                                    bool transmitter_has_get_wave, std::int64_t settle_bits,
                                    std::int64_t fill_bits, std::int64_t bits,
                                    const char *unit = "bits");

// Eye height at each phase: phase_ui, offset_samples, before_V[, after_V]
// [, at_clock_V] (the last from the receiver's clock instant).
bool write_bathtub_csv(const std::string &path, const EyeFigures &before, const EyeFigures *after,
                       int samples_per_bit, std::string &error,
                       const EyeFigures *at_clock = nullptr);

// The same with any columns: a name and an eye each.
bool write_bathtub_columns(const std::string &path,
                           const std::vector<std::pair<std::string, const EyeFigures *>> &columns,
                           int samples_per_bit, std::string &error);

// "+0.03" style offset of a phase slot from the cursor, in UI.
double slot_ui(int slot, int samples_per_bit);

}  // namespace amisim

#endif  // AMISIM_SUMMARY_H
