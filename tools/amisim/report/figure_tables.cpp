#include "tools/amisim/report/figure_tables.h"

#include <cmath>
#include <cstdio>

#include "tools/amisim/report/summary.h"

namespace amisim {

namespace {

double power_db(double ratio) {
    return ratio > 0.0 ? 10.0 * std::log10(ratio) : -HUGE_VAL;
}

}  // namespace

std::string number_text(const char *format, double value) {
    char buffer[128];
    std::snprintf(buffer, sizeof buffer, format, value);
    return buffer;
}

ReportTable response_table(
    const std::string &title,
    const std::vector<std::pair<std::string, const ResponseFigures *>> &columns) {
    ReportTable table;
    table.header.push_back(title);
    for (const auto &column : columns) {
        table.header.push_back(column.first);
    }
    auto add = [&](const std::string &label, const char *format, auto value) {
        std::vector<std::string> row{label};
        for (const auto &column : columns) {
            row.push_back(number_text(format, value(*column.second)));
        }
        table.rows.push_back(row);
    };
    using F = const ResponseFigures &;
    add("impulse peak (1/s)", "%.6g", [](F f) { return f.peak; });
    add("impulse area (DC gain)", "%.6g", [](F f) { return f.area; });
    add("main cursor", "%.6g", [](F f) { return f.main_cursor; });
    add("first pre-cursor", "%.6g", [](F f) { return f.first_pre; });
    add("first post-cursor", "%.6g", [](F f) { return f.first_post; });
    add("pre/main cursor (dB)", "%.2f", [](F f) { return f.pre_db; });
    add("post/main cursor (dB)", "%.2f", [](F f) { return f.post_db; });
    add("MAX: largest level", "%.6g", [](F f) { return f.max_level; });
    add("PDA: peak-distortion eye", "%.6g", [](F f) { return f.pda; });
    add("SNR: main lobe / ISI (dB)", "%.2f", [](F f) { return power_db(f.snr); });
    return table;
}

ReportTable eye_table(const std::string &title,
                      const std::vector<std::pair<std::string, const EyeFigures *>> &columns,
                      int samples_per_bit, double sample_interval) {
    const int spb = samples_per_bit < 1 ? 1 : samples_per_bit;
    const double ui_ps = spb * sample_interval * 1e12;
    ReportTable table;
    table.header.push_back(title);
    for (const auto &column : columns) {
        table.header.push_back(column.first);
    }
    auto add = [&](const std::string &label, const char *format, auto value) {
        std::vector<std::string> row{label};
        for (const auto &column : columns) {
            const EyeFigures *figures = column.second;
            row.push_back(figures == nullptr || !figures->measured
                              ? "n/a"
                              : number_text(format, value(*figures)));
        }
        table.rows.push_back(row);
    };
    using F = const EyeFigures &;
    add("best phase (UI from reference)", "%+.3f", [&](F f) { return slot_ui(f.best_slot, spb); });
    add("eye height at best phase (V)", "%.6g", [](F f) { return f.height; });
    add("eye height at reference (V)", "%.6g",
        [&](F f) { return f.bathtub[static_cast<std::size_t>(spb / 2)]; });
    add("eye width (UI)", "%.3f", [&](F f) { return f.width / spb; });
    add("eye width (ps)", "%.2f", [&](F f) { return f.width / spb * ui_ps; });
    int previous = -1;
    for (int slot : {0, spb / 4, spb / 2, (3 * spb) / 4, spb - 1}) {
        if (slot == previous) {
            continue;
        }
        previous = slot;
        add("bathtub at " + number_text("%+.3f", slot_ui(slot, spb)) + " UI (V)", "%.6g",
            [slot](F f) { return f.bathtub[static_cast<std::size_t>(slot)]; });
    }
    return table;
}

void print_table(const ReportTable &table, int column_width) {
    std::printf("\n%-32s", table.header.empty() ? "" : table.header[0].c_str());
    for (std::size_t c = 1; c < table.header.size(); ++c) {
        std::printf("%*s", column_width, table.header[c].c_str());
    }
    std::printf("\n");
    for (const auto &row : table.rows) {
        std::printf("  %-30s", row.empty() ? "" : row[0].c_str());
        for (std::size_t c = 1; c < row.size(); ++c) {
            std::printf("%*s", column_width, row[c].c_str());
        }
        std::printf("\n");
    }
}

}  // namespace amisim
