// What a run of more than two levels (PAM4, PAM-n) tells beside an NRZ
// run's figures: the modulation and where it came from, each place's eyes
// side by side (the highest first, as the pictures show them) with their
// thresholds, heights, widths and bathtubs, and the levels' means with the
// level mismatch of PAM4.
#ifndef AMISIM_PAM_TABLES_H
#define AMISIM_PAM_TABLES_H

#include <string>
#include <vector>

#include "tools/amisim/analysis/level_mismatch.h"
#include "tools/amisim/analysis/pam_eyes.h"
#include "tools/amisim/report/report_page.h"
#include "tools/amisim/run/run_results.h"
#include "tools/amisim/run/run_setting.h"

namespace amisim {

// Eye e of eyes, lowest first: PAM4's "lower", "centre" and "upper"; PAM3's
// "lower" and "upper"; "eye 0" ... otherwise.
std::string eye_name(std::size_t e, std::size_t eyes);

// Where the threshold of eye e came from: "file", "command line",
// "default" (NRZ's 0 V), or "statistical eye" (none given: the eye's own
// centre in the statistical eye).
std::string threshold_source(const RunSetting &setting, std::size_t e);

// The lines of the modulation in the run's setting: the levels, the
// mapping and the thresholds with their sources, and what the models'
// files and the command line said. None for NRZ the files declare or none
// does, with no modulation option, unless a file's declaration was left
// out.
std::vector<std::string> modulation_lines(const RunSetting &setting);

// One place's eyes, a column each from the highest: the threshold and its
// source, where the eye is read from the reference ("cursor" or "clock")
// with its height and width at the threshold there, its best phase with
// its height and width there, and its bathtub at five phases.
ReportTable pam_eye_table(const std::string &title, const PamEyes &eyes, const RunSetting &setting,
                          const char *reference);

// "levels at the REFERENCE (V): -0.41 -0.14 +0.14 +0.41; RLM 0.978", the
// mismatch with four levels only.
std::string levels_line(const std::string &where, const std::vector<double> &means,
                        const LevelMismatch &mismatch);

// The eye tables of every place of a run with more than two levels, with
// the level line under each ("levels at the cursor, Rx output (V): ...").
struct PamPlace {
    ReportTable table;
    std::string levels;
};
std::vector<PamPlace> pam_places(const RunSetting &setting, const RunResults &results);

}  // namespace amisim

#endif  // AMISIM_PAM_TABLES_H
