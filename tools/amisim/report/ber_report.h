// What a run of the error-rate analysis tells: the jitter and noise it ran
// with and where each came from, the statistical eye at its contours and at
// the target rate, the errors counted at the receiver's decisions beside
// the statistical rate there, and the jitter of the crossings with its
// dual-Dirac fit; as tables for stdout and the report page, CSV files and
// report_ber.svg.
#ifndef AMISIM_BER_REPORT_H
#define AMISIM_BER_REPORT_H

#include <string>
#include <vector>

#include "tools/amisim/analysis/statistical_eye.h"
#include "tools/amisim/report/report_page.h"
#include "tools/amisim/run/run_results.h"
#include "tools/amisim/run/run_setting.h"

namespace amisim {

// One contour's opening: its greatest height (V) and the phase of it (UI
// from the centre), and the width (UI) of the run of open phases around
// that phase.
struct ContourOpening {
    double ber = 0.0;
    bool open = false;
    double height = 0.0;
    double best_phase = 0.0;
    double width = 0.0;
};
std::vector<ContourOpening> contour_openings(const StatisticalEye &eye, std::size_t e);

// The statistical eye's contours printed: every third decade.
bool contour_printed(double ber);

// The lines of the run's setting: target, seed, the jitter and noise and
// their sources.
std::vector<std::string> ber_setting_lines(const RunSetting &setting);

ReportTable contour_table(const StatisticalEye &eye);
// With more than two levels: each eye's columns, the highest first.
ReportTable target_table(const RunSetting &setting, const RunResults &results);
// The statistical eye's level means at its centre, with PAM4's mismatch.
std::string statistical_levels(const StatisticalEye &eye);
// With more than two levels the symbols' and the bits' rates and the level mismatch.
ReportTable counted_table(const RunResults &results);
ReportTable crossing_jitter_table(const RunSetting &setting, const RunResults &results);
// Where the errors fell: by the bit sent, the first ones' indices, decisions missed or repeated.
std::vector<std::string> error_notes(const RunResults &results);

void print_ber_results(const RunSetting &setting, const RunResults &results);

// ber_bathtub.csv (the time bathtub and the voltage bathtub at the target),
// tie_histogram.csv and report_ber.svg; their names go to written.
bool write_ber_files(const RunSetting &setting, const RunResults &results,
                     std::vector<std::string> &written, std::string &error);

}  // namespace amisim

#endif  // AMISIM_BER_REPORT_H
