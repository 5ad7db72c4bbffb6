#include "tools/amisim/report/pictures.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <tuple>

namespace amisim {

namespace {

constexpr const char *kBefore = kCurveColours[0];
constexpr const char *kAfter = kCurveColours[1];
constexpr const char *kGrid = "#dddddd";

std::string hex_colour(double r, double g, double b) {
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", static_cast<int>(std::lround(r)),
                  static_cast<int>(std::lround(g)), static_cast<int>(std::lround(b)));
    return text;
}

// A dark-to-light heat scale (black, purple, red, orange, pale yellow) at
// level 0 .. 1.
std::string heat(double level) {
    static constexpr std::array<std::array<double, 3>, 5> kStops{
        {{{0, 0, 4}}, {{87, 16, 110}}, {{188, 55, 84}}, {{249, 142, 9}}, {{252, 255, 164}}}};
    const double at = std::clamp(level, 0.0, 1.0) * (kStops.size() - 1);
    const auto i = std::min(static_cast<std::size_t>(at), kStops.size() - 2);
    const double f = at - static_cast<double>(i);
    const auto &a = kStops[i];
    const auto &b = kStops[i + 1];
    return hex_colour(a[0] + f * (b[0] - a[0]), a[1] + f * (b[1] - a[1]), a[2] + f * (b[2] - a[2]));
}

std::string format(const char *pattern, double value) {
    char text[128];
    std::snprintf(text, sizeof text, pattern, value);
    return text;
}

// Levels of colour in the density: equal counts within a column merge into
// one rectangle, which keeps the picture small.
constexpr int kLevels = 48;

}  // namespace

std::string heat_colour(double level) {
    return heat(level);
}

void draw_density(Svg &svg, int columns, int first_row, int last_row, int levels,
                  const std::function<int(int, int)> &level,
                  const std::function<std::pair<double, double>(int)> &column_x,
                  const std::function<double(int)> &row_y) {
    std::vector<std::string> shapes(static_cast<std::size_t>(levels));
    for (int c = 0; c < columns; ++c) {
        const auto [x0, x1] = column_x(c);
        int r = first_row;
        while (r <= last_row) {
            const int here = level(c, r);
            int end = r + 1;
            while (end <= last_row && level(c, end) == here) {
                ++end;
            }
            if (here >= 0) {
                const double y_top = row_y(end);
                const double y_bottom = row_y(r);
                // A little overlap hides the seams of anti-aliasing.
                Svg::rect_path(shapes[static_cast<std::size_t>(here)], x0, y_top - 0.3,
                               x1 - x0 + 0.3, y_bottom - y_top + 0.3);
            }
            r = end;
        }
    }
    for (int l = 0; l < levels; ++l) {
        if (!shapes[static_cast<std::size_t>(l)].empty()) {
            svg.path(shapes[static_cast<std::size_t>(l)],
                     heat(static_cast<double>(l) / (levels - 1)));
        }
    }
}

EyeMark best_phase_mark(const EyeFigures &figures) {
    EyeMark mark;
    mark.measured = figures.measured;
    mark.slot = figures.best_slot;
    mark.lower = figures.lower;
    mark.upper = figures.upper;
    mark.height = figures.height;
    mark.threshold = std::nan("");
    return mark;
}

Svg eye_picture(const EyeDensity &eye, const std::vector<EyeMark> &marks, const std::string &title,
                const std::string &subtitle, const std::string &x_title) {
    Svg svg(780, 520);
    const int spb = eye.samples_per_bit();
    const int columns = eye.columns();
    const double volts_per_row = 2.0 * eye.range() / kEyeRows;
    // Show the rows that hold samples, with a margin.
    int first = kEyeRows;
    int last = -1;
    std::uint64_t most = 0;
    for (int c = 0; c < columns; ++c) {
        for (int r = 0; r < kEyeRows; ++r) {
            const std::uint64_t n = eye.count(c, r);
            if (n > 0) {
                first = std::min(first, r);
                last = std::max(last, r);
                most = std::max(most, n);
            }
        }
    }
    if (last < 0) {
        first = 0;
        last = kEyeRows - 1;
    }
    auto row_volts = [&](int row) {
        const int from_zero = row - kEyeRows / 2;
        return from_zero * volts_per_row;
    };
    const double low = row_volts(first);
    const double high = row_volts(last + 1);
    const double margin = 0.06 * (high - low);
    const double half_cell = 0.5 / spb;
    const PlotFrame frame(80, 62, 600, 380, -1.0 - half_cell, 1.0 - half_cell, low - margin,
                          high + margin);
    svg.text(frame.left(), 24, title, 16, "start", "#111");
    svg.text(frame.left(), 44, subtitle, 12, "start", "#444");
    svg.rect(frame.left(), frame.top(), frame.width(), frame.height(), heat(0.0));

    const double top_log = std::log(static_cast<double>(std::max<std::uint64_t>(most, 2)));
    auto level_of = [&](std::uint64_t n) {
        if (n == 0) {
            return -1;
        }
        // Single samples stay visible above the background.
        const double level = 0.18 + 0.82 * std::log(static_cast<double>(n)) / top_log;
        return std::min(kLevels - 1, static_cast<int>(std::lround(level * (kLevels - 1))));
    };
    draw_density(
        svg, columns, first, last, kLevels, [&](int c, int r) { return level_of(eye.count(c, r)); },
        [&](int c) {
            return std::pair{frame.x(static_cast<double>(c - spb) / spb - half_cell),
                             frame.x(static_cast<double>(c - spb) / spb + half_cell)};
        },
        [&](int r) { return frame.y(row_volts(r)); });
    frame.draw_axes(svg, x_title, "volts", "%.2f", "%.3g", "#333344");

    // Each eye's height where its mark says: a dashed line at each phase
    // marked, a bar between the edges, a tick at the threshold.
    std::vector<int> dashed;
    for (const EyeMark &mark : marks) {
        if (!mark.measured) {
            continue;
        }
        const double x = frame.x(static_cast<double>(slot_offset(mark.slot, spb)) / spb);
        if (std::find(dashed.begin(), dashed.end(), mark.slot) == dashed.end()) {
            dashed.push_back(mark.slot);
            svg.line(x, frame.top(), x, frame.top() + frame.height(), "#7fdbff", 1, "5,4");
        }
        if (mark.height > 0.0) {
            const double y_upper = frame.y(mark.upper);
            const double y_lower = frame.y(mark.lower);
            svg.line(x, y_upper, x, y_lower, "#7fdbff", 2.5);
            svg.line(x - 8, y_upper, x + 8, y_upper, "#7fdbff", 2.5);
            svg.line(x - 8, y_lower, x + 8, y_lower, "#7fdbff", 2.5);
            svg.text(x + 12, 0.5 * (y_upper + y_lower) + 4, format("%.4g V", mark.height), 13,
                     "start", "#7fdbff");
        } else {
            svg.text(x + 8,
                     std::isfinite(mark.threshold) ? frame.y(mark.threshold) + 4 : frame.top() + 18,
                     "eye closed", 13, "start", "#7fdbff");
        }
        if (std::isfinite(mark.threshold)) {
            const double y = frame.y(mark.threshold);
            svg.line(x - 14, y, x + 14, y, "#2ecc40", 2);
        }
    }
    // Colour scale, from one sample a cell to the most.
    const double bar_x = frame.left() + frame.width() + 22;
    const int lowest = level_of(1);
    const int steps = kLevels - lowest;
    for (int i = 0; i < steps; ++i) {
        const double y0 = frame.top() + frame.height() * (1.0 - (i + 1.0) / steps);
        svg.rect(bar_x, y0, 14, frame.height() / steps + 0.3,
                 heat(static_cast<double>(lowest + i) / (kLevels - 1)));
    }
    svg.text(bar_x + 7, frame.top() - 6, std::to_string(most), 10, "middle");
    svg.text(bar_x + 7, frame.top() + frame.height() + 14, "1", 10, "middle");
    svg.text(bar_x + 34, frame.top() + frame.height() / 2, "samples per cell (log)", 11, "middle",
             "#222", -90);
    return svg;
}

Svg pulse_picture(const ResponseFigures &before, const ResponseFigures &after, int samples_per_bit,
                  double sample_interval) {
    return pulse_picture(
        {{&before, "before AMI_Init", kBefore}, {&after, "after AMI_Init", kAfter}},
        samples_per_bit, sample_interval);
}

Svg pulse_picture(const std::vector<Curve<ResponseFigures>> &curves, int samples_per_bit,
                  double sample_interval) {
    Svg svg(780, 480);
    if (curves.empty()) {
        return svg;
    }
    const double spb = samples_per_bit;
    const double origin = static_cast<double>(curves[0].figures->cursor);
    const double from = std::max(0.0, origin - 4.0 * spb);
    std::size_t length = 0;
    for (const auto &curve : curves) {
        length = std::max(length, curve.figures->pulse.size());
    }
    const double to = std::min(static_cast<double>(length), origin + 16.0 * spb);
    double low = 0.0;
    double high = 0.0;
    for (const auto &curve : curves) {
        const ResponseFigures *figures = curve.figures;
        for (std::size_t i = static_cast<std::size_t>(from);
             i < figures->pulse.size() && static_cast<double>(i) < to; ++i) {
            low = std::min(low, figures->pulse[i]);
            high = std::max(high, figures->pulse[i]);
        }
    }
    const double margin = 0.08 * (high - low);
    const double ns = sample_interval * 1e9;
    const PlotFrame frame(80, 62, 640, 340, from * ns, to * ns, low - margin, high + margin);
    svg.text(frame.left(), 24, "Pulse response (one bit of amplitude 1)", 16, "start", "#111");
    svg.text(frame.left(), 44,
             format("dots one bit apart from each main cursor; bit time %.4g ns",
                    spb * sample_interval * 1e9),
             12, "start", "#444");
    frame.draw_axes(svg, "time (ns)", "pulse response", "%.3g", "%.2g", kGrid);
    svg.line(frame.left(), frame.y(0.0), frame.left() + frame.width(), frame.y(0.0), "#888", 1);
    int legend = 0;
    for (const auto &[figures, name, colour] : curves) {
        std::vector<std::pair<double, double>> points;
        for (std::size_t i = static_cast<std::size_t>(from);
             i < figures->pulse.size() && static_cast<double>(i) < to; ++i) {
            points.emplace_back(frame.x(static_cast<double>(i) * ns), frame.y(figures->pulse[i]));
        }
        svg.polyline(points, colour, 1.8);
        const auto bit = static_cast<std::size_t>(samples_per_bit);
        for (std::size_t i = figures->cursor % bit; i < figures->pulse.size(); i += bit) {
            if (static_cast<double>(i) >= from && static_cast<double>(i) < to) {
                svg.circle(frame.x(static_cast<double>(i) * ns), frame.y(figures->pulse[i]), 3,
                           colour);
            }
        }
        const double y = frame.top() + 16 + 18 * legend++;
        const double x = frame.left() + frame.width() - 170;
        svg.line(x, y - 4, x + 24, y - 4, colour, 2.5);
        svg.text(x + 30, y, name, 12);
    }
    return svg;
}

Svg bathtub_picture(const EyeFigures &before, const EyeFigures *after, int samples_per_bit,
                    double sample_interval) {
    std::vector<Curve<EyeFigures>> curves{{&before, "before AMI_GetWave", kBefore}};
    if (after != nullptr) {
        curves.push_back({after, "after AMI_GetWave", kAfter});
    }
    return bathtub_picture(curves, samples_per_bit, sample_interval,
                           "sampling phase from the main cursor (UI)");
}

Svg bathtub_picture(const std::vector<Curve<EyeFigures>> &curves, int samples_per_bit,
                    double sample_interval, const std::string &x_title, const std::string &height) {
    Svg svg(780, 460);
    const int spb = samples_per_bit < 1 ? 1 : samples_per_bit;
    double low = 0.0;
    double high = 0.0;
    for (const auto &curve : curves) {
        for (double h : curve.figures->bathtub) {
            if (std::isfinite(h)) {
                low = std::min(low, h);
                high = std::max(high, h);
            }
        }
    }
    const double margin = 0.08 * std::max(high - low, 1e-12);
    const double first = static_cast<double>(slot_offset(0, spb)) / spb;
    const double last = static_cast<double>(slot_offset(spb - 1, spb)) / spb;
    const PlotFrame frame(80, 62, 640, 320, first, last > first ? last : first + 1.0, low - margin,
                          high + margin);
    svg.text(frame.left(), 24, "Bathtub: eye height against sampling phase", 16, "start", "#111");
    svg.text(frame.left(), 44,
             height + format(" at each phase; 1 UI = %.4g ps", spb * sample_interval * 1e12), 12,
             "start", "#444");
    frame.draw_axes(svg, x_title, "eye height (V)", "%.2f", "%.3g", kGrid);
    svg.line(frame.left(), frame.y(0.0), frame.left() + frame.width(), frame.y(0.0), "#888", 1);
    int legend = 0;
    for (const auto &[figures, name, colour] : curves) {
        std::vector<std::pair<double, double>> points;
        for (int s = 0; s < spb; ++s) {
            const double h = figures->bathtub[static_cast<std::size_t>(s)];
            if (std::isfinite(h)) {
                points.emplace_back(frame.x(static_cast<double>(slot_offset(s, spb)) / spb),
                                    frame.y(h));
            }
        }
        svg.polyline(points, colour, 2);
        const double y = frame.top() + 16 + 18 * legend++;
        const double x = frame.left() + frame.width() - 180;
        svg.line(x, y - 4, x + 24, y - 4, colour, 2.5);
        svg.text(x + 30, y, name, 12);
    }
    return svg;
}

}  // namespace amisim
