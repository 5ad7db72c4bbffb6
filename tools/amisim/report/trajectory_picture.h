// What a model reported while it ran, against time: one panel for each
// group of series (the names before their first '[', so that the taps of a
// DFE share a panel and its clock phase has one of its own), one line for
// each series through its kept points, its settled value dashed in the same
// colour, and a legend beside the panel. Panels share the time axis.
#ifndef AMISIM_TRAJECTORY_PICTURE_H
#define AMISIM_TRAJECTORY_PICTURE_H

#include <string>
#include <vector>

#include "tools/amisim/analysis/model_reports.h"
#include "tools/amisim/report/svg_plot.h"

namespace amisim {

// Panels beyond this many, and lines beyond kTrajectoryLines in a panel,
// are left out and counted in the subtitle.
inline constexpr int kTrajectoryPanels = 4;
inline constexpr int kTrajectoryLines = 16;

Svg trajectory_picture(const std::vector<ReportSeries> &series, const std::string &title);

}  // namespace amisim

#endif  // AMISIM_TRAJECTORY_PICTURE_H
