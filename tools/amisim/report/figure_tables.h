// The figures of pulse responses and of eyes as tables of text, one column
// per response or eye: what the summary of a whole link prints and what
// every report page shows.
#ifndef AMISIM_FIGURE_TABLES_H
#define AMISIM_FIGURE_TABLES_H

#include <string>
#include <utility>
#include <vector>

#include "tools/amisim/analysis/eye.h"
#include "tools/amisim/analysis/response_figures.h"
#include "tools/amisim/report/report_page.h"

namespace amisim {

// A figure as the tables print it, by a printf format of one double.
std::string number_text(const char *format, double value);

// Cursors, MAX, PDA and SNR of each named response.
ReportTable response_table(
    const std::string &title,
    const std::vector<std::pair<std::string, const ResponseFigures *>> &columns);

// Best phase, height at the best phase and at the reference (the cursor,
// or the receiver's clock instant), width and the bathtub at five phases,
// of each named eye; a null eye shows n/a.
ReportTable eye_table(const std::string &title,
                      const std::vector<std::pair<std::string, const EyeFigures *>> &columns,
                      int samples_per_bit, double sample_interval);

// The table as the summary on stdout prints it: a title line of the column
// names, then each row, label in 30 characters and column_width a column.
void print_table(const ReportTable &table, int column_width = 18);

}  // namespace amisim

#endif  // AMISIM_FIGURE_TABLES_H
