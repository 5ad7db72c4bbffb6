#include "tools/amisim/report/model_reports_table.h"

#include <cstdio>

namespace amisim {

namespace {

std::string number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", value);
    return text;
}

}  // namespace

bool has_reports(const ModelRecord &model) {
    return !model.reports.empty() || !model.report_texts.empty();
}

ReportTable reports_table(const ModelRecord &model, const std::string &who) {
    const ModelReportCounts &counts = model.report_counts;
    ReportTable table;
    table.header = {who + " GetWave reports (" + std::to_string(counts.calls) + " calls)",
                    "first",
                    "last",
                    "settled",
                    "spread",
                    "settled?"};
    for (const ReportSeries &series : model.reports) {
        const SeriesSummary &s = series.summary;
        table.rows.push_back({series.name, number(s.first.value), number(s.last.value),
                              number(s.settled), number(s.spread),
                              series.reports < 2 ? "n/a"
                              : s.has_settled    ? "yes"
                                                 : "no"});
    }
    return table;
}

std::vector<std::string> reports_notes(const ModelRecord &model) {
    std::vector<std::string> notes;
    const ModelReportCounts &counts = model.report_counts;
    for (const ReportText &text : model.report_texts) {
        notes.push_back("text in " + std::to_string(text.count) + " call" +
                        (text.count == 1 ? "" : "s") + " (" + std::to_string(text.first_call) +
                        " to " + std::to_string(text.last_call) + "): " + text.text);
    }
    if (counts.without_text > 0) {
        notes.push_back(std::to_string(counts.without_text) + " of " +
                        std::to_string(counts.calls) + " calls returned no output parameters");
    }
    if (counts.values_left_out > 0 || counts.texts_left_out > 0) {
        notes.push_back(std::to_string(counts.values_left_out) + " values of further names and " +
                        std::to_string(counts.texts_left_out) +
                        " further texts left out (the limits of the record)");
    }
    return notes;
}

}  // namespace amisim
