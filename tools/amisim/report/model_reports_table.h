// What a model reported in the output parameters of its AMI_GetWave calls,
// as a table of text: for each series its first and last values, the value
// it settled on with its spread, and whether it settled; the texts that did
// not read as numbers beneath it. The printed summary and the report page
// show it.
#ifndef AMISIM_MODEL_REPORTS_TABLE_H
#define AMISIM_MODEL_REPORTS_TABLE_H

#include <string>
#include <vector>

#include "tools/amisim/report/report_page.h"
#include "tools/amisim/run/run_results.h"

namespace amisim {

// True when the model reported anything: a series or a text.
bool has_reports(const ModelRecord &model);

// The table of its series, headed by who ("Tx", "Rx" or the model alone's
// "model"); empty rows when it has none.
ReportTable reports_table(const ModelRecord &model, const std::string &who);

// Lines about what it reported as text, what was left out, and calls that
// reported nothing.
std::vector<std::string> reports_notes(const ModelRecord &model);

}  // namespace amisim

#endif  // AMISIM_MODEL_REPORTS_TABLE_H
