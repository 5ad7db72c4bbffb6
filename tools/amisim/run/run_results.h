// What one run of the pipeline found: the models' answers, the figures of
// every pulse response and eye, how the stream went, and whether the run
// finished. The printed tables, the pictures, the report page and
// results.json are all made from it.
#ifndef AMISIM_RUN_RESULTS_H
#define AMISIM_RUN_RESULTS_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/amisim/analysis/clocked_eye.h"
#include "tools/amisim/analysis/dual_dirac.h"
#include "tools/amisim/analysis/error_counter.h"
#include "tools/amisim/analysis/eye.h"
#include "tools/amisim/analysis/model_reports.h"
#include "tools/amisim/analysis/pam_eyes.h"
#include "tools/amisim/analysis/response_figures.h"
#include "tools/amisim/analysis/statistical_eye.h"
#include "tools/amisim/models/model_session.h"
#include "tools/amisim/run/stream.h"

namespace amisim {

inline constexpr int kModelFailed = 1;
inline constexpr int kBadInput = 2;

// One model of the run and what it answered.
struct ModelRecord {
    std::string role;  // "transmitter" or "receiver"
    std::string path;
    std::string parameters_sent;
    bool initialised = false;  // AMI_Init was called and answered
    InitReply init;
    bool has_get_wave = false;
    // What it reported in the output parameters of its AMI_GetWave calls.
    std::vector<ReportSeries> reports;
    std::vector<ReportText> report_texts;
    ModelReportCounts report_counts;
};

struct RunResults {
    // The receiver stage: present in a whole link, absent when the model
    // runs alone (then the model's AMI_GetWave follows the channel).
    bool link = false;
    ModelRecord transmitter;
    std::optional<ModelRecord> receiver;

    // The impulse responses (1/s) as each AMI_Init returned them, columns
    // as the channel's: through first, then aggressors.
    std::vector<std::vector<double>> after_tx_init;
    std::vector<std::vector<double>> after_rx_init;

    ResponseFigures channel;
    ResponseFigures after_tx;
    std::optional<ResponseFigures> after_rx;

    // The bits left out of the eyes, and how many the channel needs to fill.
    std::int64_t settle_bits = 0;
    std::int64_t fill_bits = 0;

    // The stream and the eyes on it: before and after the last model's
    // AMI_GetWave (the receiver's, or the model's alone), and at the
    // receiver's clock.
    StreamResult stream;
    bool streamed = false;
    EyeFigures before_get_wave;
    std::optional<EyeFigures> after_get_wave;
    std::optional<EyeFigures> at_clock;
    ClockFigures clock;
    // With more than two levels, each of those places' eyes as a receiver
    // of that many levels reads them: the receiver's input at each eye's
    // best phase and own centre, its output at its best phase and the
    // thresholds, and at its clock at its instant (moved by each eye's
    // offset) and the thresholds. The EyeFigures above then hold those of
    // the eye least open where it is read.
    std::optional<PamEyes> pam_before;
    std::optional<PamEyes> pam_after;
    std::optional<PamEyes> pam_clock;
    // The thresholds decided at, one per eye: those given, and where none
    // was given the eye's own centre in the statistical eye.
    std::vector<double> thresholds;

    // The statistical eye of the analysed response (the receiver's output
    // in a link, else the model's) and its aggressors, with the noise at
    // the decision point it assumed: the decision point's own and the
    // receiver input's referred through the receiver's noise gain.
    std::optional<StatisticalEye> statistical;
    std::string statistical_error;  // why there is none
    double decision_noise = 0.0;    // volts rms
    double noise_gain = 1.0;        // of the receiver, from its AMI_Init response
    // Samples from the centre where a receiver without ticks is sampled:
    // the phase of the lowest statistical error rate at the threshold.
    int sampling_offset = 0;
    // With ber: the errors counted at the decisions, the statistical rate
    // at their phase (the best phase, or the receiver clock's mean phase),
    // the crossings' time-interval error and its dual-Dirac fit.
    bool counted = false;
    bool receiver_clock = false;  // the decisions followed the receiver's ticks
    ErrorFigures errors;
    // The statistical symbol error rate at their phases (with two levels
    // the bit error rate), each eye's share of it and the bit error rate.
    double statistical_ber = 0.0;
    std::vector<double> statistical_by_eye;
    double statistical_bit_error_rate = 0.0;
    double statistical_phase = 0.0;  // UI from the centre
    TieHistogram tie;
    DualDiracFit jitter_fit;
    double total_jitter = 0.0;  // UI at the target rate

    // 0 when the run finished; else kModelFailed or kBadInput with the
    // reason, and the figures above hold what was found before it stopped.
    int status = 0;
    std::string failure;
    // When a model did not answer a call (it crashed, exited, hung or wrote
    // past an array): its role ("transmitter" or "receiver") and what
    // happened.
    std::string failed_model;
    std::optional<ModelFailure> model_failure;
    bool complete() const { return status == 0; }
};

}  // namespace amisim

#endif  // AMISIM_RUN_RESULTS_H
