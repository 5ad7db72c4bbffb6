// What a run tells its user: the setting before it starts, the models'
// texts as each AMI_Init answers, the tables of figures, and the files (the
// impulse responses and the bathtub as CSV, the pictures, the report page).
// A run of the model alone keeps its own two-column tables (before and
// after the model); a whole link has a column for each place in the chain.
#ifndef AMISIM_RUN_REPORT_H
#define AMISIM_RUN_REPORT_H

#include <string>
#include <vector>

#include "tools/amisim/run/run_results.h"
#include "tools/amisim/run/run_setting.h"

namespace amisim {

// The model, channel, simulation and parameter lines, and the convolution.
void print_setting(const RunSetting &setting);

// A model's AMI_Init message and output parameters ("Tx " and "Rx " before
// them in a link).
void print_init_texts(const ModelRecord &model, bool link);

// The tables of a finished run, its notes and how the run went.
void print_results(const RunSetting &setting, const RunResults &results);

// Writes the CSV files, the pictures and report.svg into the output folder,
// prints their names and adds them to files. False with a message when a
// file cannot be written.
bool write_result_files(const RunSetting &setting, const RunResults &results,
                        std::vector<std::string> &files, std::string &error);

// A text a model returned, printed indented under its label, or "(none)".
void print_model_text(const char *label, const ModelText &text);

// Responses as CSV: a time column (from start_time, a sample interval a
// row), then one column each.
bool write_columns(const std::string &path, const std::string &header, double start_time,
                   double sample_interval, const std::vector<const std::vector<double> *> &columns,
                   std::string &error);

}  // namespace amisim

#endif  // AMISIM_RUN_REPORT_H
