#include "tools/amisim/report/report_page.h"

#include <algorithm>
#include <cstddef>

namespace amisim {

namespace {

constexpr double kPageWidth = 1620;
constexpr double kColumnWidth = 790;
constexpr double kLeft = 10;
constexpr double kRight = kLeft + kColumnWidth + 20;
constexpr double kRowHeight = 19;
constexpr double kTextSize = 12.5;
constexpr double kLabelWidth = 260;

// Draws a table from (x, y), the label column label_width wide and the
// others value_width each, right-aligned; returns the y below it.
double draw_table(Svg &svg, const ReportTable &table, double x, double y, double label_width,
                  double value_width) {
    const std::size_t columns = table.header.size();
    const double width = label_width + value_width * static_cast<double>(columns - 1);
    auto draw_row = [&](const std::vector<std::string> &cells, const std::string &colour) {
        for (std::size_t c = 0; c < cells.size() && c < columns; ++c) {
            if (c == 0) {
                svg.text(x + 6, y, cells[c], kTextSize, "start", colour);
            } else {
                svg.text(x + label_width + value_width * static_cast<double>(c) - 8, y, cells[c],
                         kTextSize, "end", colour);
            }
        }
    };
    svg.rect(x, y - kRowHeight + 5, width, kRowHeight, "#e8edf3");
    draw_row(table.header, "#111");
    y += kRowHeight;
    bool shaded = false;
    for (const auto &row : table.rows) {
        if (shaded) {
            svg.rect(x, y - kRowHeight + 5, width, kRowHeight, "#f6f7f9");
        }
        shaded = !shaded;
        draw_row(row, "#222");
        y += kRowHeight;
    }
    svg.line(x, y - kRowHeight + 5, x + width, y - kRowHeight + 5, "#999", 0.8);
    return y;
}

double table_height(const ReportTable &table) {
    return kRowHeight * static_cast<double>(table.rows.size() + 1);
}

// The value columns share what the label column leaves of a page column.
double value_column_width(const ReportTable &table) {
    const std::size_t values = table.header.size() > 1 ? table.header.size() - 1 : 1;
    return (kColumnWidth - kLabelWidth) / static_cast<double>(values);
}

}  // namespace

Svg report_page(const ReportContent &content) {
    const double top = 40 + 17 * static_cast<double>(content.setting.size()) + 20;
    const double scale = kColumnWidth / 780.0;
    const double pulse_height = content.pulse.height() * scale;
    const double eye_height = content.eye.height() * scale;
    const double bathtub_height = content.bathtub.height() * scale;
    double left_end = top + 30 + pulse_height + 20 + table_height(content.statistical) + 20 +
                      table_height(content.time_domain) +
                      17.0 * static_cast<double>(content.notes.size());
    for (const ReportTable &table : content.left_tables) {
        left_end += 20 + table_height(table);
    }
    for (const Svg &picture : content.left_pictures) {
        left_end += 10 + picture.height() * scale;
    }
    double right_end = top + 30 + eye_height + 10 + bathtub_height;
    for (const ReportTable &table : content.right_tables) {
        right_end += 20 + table_height(table);
    }
    right_end += 17.0 * static_cast<double>(content.right_notes.size());
    Svg svg(static_cast<int>(kPageWidth), static_cast<int>(std::max(left_end, right_end) + 30));

    svg.text(kLeft + 6, 30, content.title, 20, "start", "#111");
    double y = 52;
    for (const std::string &line : content.setting) {
        svg.text(kLeft + 6, y, line, 12.5, "start", "#333");
        y += 17;
    }
    svg.line(kLeft, top - 8, kPageWidth - kLeft, top - 8, "#bbb", 1);
    svg.text(kLeft + 6, top + 14, content.left_heading, 15, "start", "#1a3d6b");
    svg.text(kRight + 6, top + 14, content.right_heading, 15, "start", "#1a3d6b");

    y = top + 30;
    svg.embed(content.pulse, kLeft, y, scale);
    y += pulse_height + 20;
    y = draw_table(svg, content.statistical, kLeft, y, kLabelWidth,
                   value_column_width(content.statistical));
    y += 20;
    y = draw_table(svg, content.time_domain, kLeft, y, kLabelWidth,
                   value_column_width(content.time_domain));
    for (const std::string &note : content.notes) {
        svg.text(kLeft + 6, y, note, 12, "start", "#444");
        y += 17;
    }
    for (const ReportTable &table : content.left_tables) {
        y = draw_table(svg, table, kLeft, y + 20, kLabelWidth, value_column_width(table));
    }
    for (const Svg &picture : content.left_pictures) {
        svg.embed(picture, kLeft, y + 10, scale);
        y += 10 + picture.height() * scale;
    }

    y = top + 30;
    svg.embed(content.eye, kRight, y, scale);
    y += eye_height + 10;
    svg.embed(content.bathtub, kRight, y, scale);
    y += bathtub_height;
    for (const ReportTable &table : content.right_tables) {
        y = draw_table(svg, table, kRight, y + 20, kLabelWidth, value_column_width(table));
    }
    for (const std::string &note : content.right_notes) {
        svg.text(kRight + 6, y, note, 12, "start", "#444");
        y += 17;
    }
    return svg;
}

}  // namespace amisim
