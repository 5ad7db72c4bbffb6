// One SVG page of a run's results, for any browser: the setting at the top;
// on the left the pulse responses (statistical, from the impulse responses)
// with the tables of their figures and of the eyes' figures; on the right
// the time-domain pictures (from the waveforms), the eye and the bathtub.
#ifndef AMISIM_REPORT_PAGE_H
#define AMISIM_REPORT_PAGE_H

#include <string>
#include <vector>

#include "tools/amisim/report/svg_plot.h"

namespace amisim {

// A table: a header row, then rows of a label and one text per column.
struct ReportTable {
    std::vector<std::string> header;  // the first names the label column
    std::vector<std::vector<std::string>> rows;
};

struct ReportContent {
    std::string title;
    std::vector<std::string> setting;  // lines under the title
    Svg pulse{1, 1};                   // the pulse responses
    Svg eye{1, 1};                     // the eye where the receiver (or the best phase) samples
    Svg bathtub{1, 1};
    ReportTable statistical;
    ReportTable time_domain;
    std::vector<std::string> notes;  // lines under the time-domain table
    std::string left_heading = "Statistical: from the impulse responses (AMI_Init)";
    std::string right_heading = "Time domain: from the waveforms (AMI_GetWave)";
    // Tables and lines under the right column's pictures.
    std::vector<ReportTable> right_tables;
    std::vector<std::string> right_notes;
    // Tables and pictures under the left column's notes: what the models
    // reported while they ran.
    std::vector<ReportTable> left_tables;
    std::vector<Svg> left_pictures;
};

Svg report_page(const ReportContent &content);

}  // namespace amisim

#endif  // AMISIM_REPORT_PAGE_H
