#include "tools/amisim/report/trajectory_picture.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <utility>

#include "tools/amisim/report/pictures.h"

namespace amisim {

namespace {

// The pictures' four curve colours, then six more that stay apart from them.
constexpr const char *kColours[] = {
    kCurveColours[0], kCurveColours[1], kCurveColours[2], kCurveColours[3], "#ff7f0e",
    "#8c564b",        "#e377c2",        "#7f7f7f",        "#bcbd22",        "#17becf"};
constexpr std::size_t kColourCount = sizeof kColours / sizeof kColours[0];

constexpr int kWidth = 780;
constexpr double kPanelHeight = 200.0;
constexpr double kPanelGap = 38.0;
constexpr double kTop = 62.0;

struct TimeUnit {
    double scale;
    const char *name;
};

// The unit that shows the latest time as a number below 1000.
TimeUnit time_unit(double latest) {
    static constexpr TimeUnit kUnits[] = {{1e12, "ps"}, {1e9, "ns"}, {1e6, "µs"}, {1e3, "ms"}};
    for (const TimeUnit &unit : kUnits) {
        if (latest * unit.scale < 1000.0) {
            return unit;
        }
    }
    return {1.0, "s"};
}

std::string group_of(const std::string &name) {
    return name.substr(0, name.find('['));
}

}  // namespace

Svg trajectory_picture(const std::vector<ReportSeries> &series, const std::string &title) {
    // Groups in the order their first series came.
    std::vector<std::pair<std::string, std::vector<const ReportSeries *>>> groups;
    int lines_left_out = 0;
    double t_lo = 0.0;
    double t_hi = 0.0;
    bool any = false;
    for (const ReportSeries &s : series) {
        const std::string group = group_of(s.name);
        auto found = std::find_if(groups.begin(), groups.end(),
                                  [&group](const auto &g) { return g.first == group; });
        if (found == groups.end()) {
            groups.emplace_back(group, std::vector<const ReportSeries *>{});
            found = groups.end() - 1;
        }
        if (found->second.size() >= static_cast<std::size_t>(kTrajectoryLines)) {
            ++lines_left_out;
            continue;
        }
        found->second.push_back(&s);
        for (const ReportPoint &p : s.points) {
            t_lo = any ? std::min(t_lo, p.time) : p.time;
            t_hi = any ? std::max(t_hi, p.time) : p.time;
            any = true;
        }
    }
    int panels_left_out = 0;
    while (groups.size() > static_cast<std::size_t>(kTrajectoryPanels)) {
        ++panels_left_out;
        groups.pop_back();
    }
    const int panels = std::max(1, static_cast<int>(groups.size()));
    // The panels, the gaps between them, and the time axis's labels below.
    const int height =
        static_cast<int>(kTop + panels * kPanelHeight + (panels - 1) * kPanelGap + 50);
    Svg svg(kWidth, height);
    svg.text(80, 24, title, 16, "start", "#111");
    std::string subtitle = "each line through the values reported, dashed at its settled value";
    if (panels_left_out > 0 || lines_left_out > 0) {
        subtitle += "; not drawn: " + std::to_string(panels_left_out) + " groups, " +
                    std::to_string(lines_left_out) + " series";
    }
    if (!any) {
        subtitle = "no values reported";
    }
    svg.text(80, 44, subtitle, 12, "start", "#444");
    const TimeUnit unit = time_unit(std::max(std::fabs(t_lo), std::fabs(t_hi)));
    const double x_lo = t_lo * unit.scale;
    const double x_hi = t_hi > t_lo ? t_hi * unit.scale : x_lo + 1.0;

    for (std::size_t g = 0; g < groups.size(); ++g) {
        const auto &[name, members] = groups[g];
        double lo = members.front()->summary.lowest;
        double hi = members.front()->summary.highest;
        for (const ReportSeries *s : members) {
            lo = std::min(lo, s->summary.lowest);
            hi = std::max(hi, s->summary.highest);
        }
        const double margin = hi > lo ? 0.08 * (hi - lo) : std::max(1e-12, 0.05 * std::fabs(hi));
        const double top = kTop + static_cast<double>(g) * (kPanelHeight + kPanelGap);
        const PlotFrame frame(80, top, 520, kPanelHeight, x_lo, x_hi, lo - margin, hi + margin);
        const bool last_panel = g + 1 == groups.size();
        frame.draw_axes(svg, last_panel ? std::string("time (") + unit.name + ")" : "", name,
                        "%.4g", "%.3g", "#dddddd");
        for (std::size_t k = 0; k < members.size(); ++k) {
            const ReportSeries &s = *members[k];
            const std::string colour = kColours[k % kColourCount];
            std::vector<std::pair<double, double>> points;
            points.reserve(s.points.size());
            for (const ReportPoint &p : s.points) {
                points.emplace_back(frame.x(p.time * unit.scale), frame.y(p.value));
            }
            if (points.size() == 1) {
                svg.circle(points.front().first, points.front().second, 2.5, colour);
            }
            svg.polyline(points, colour, 1.6);
            const double y_settled = frame.y(s.summary.settled);
            svg.line(frame.left(), y_settled, frame.left() + frame.width(), y_settled, colour, 0.8,
                     "4,4");
            const double y = frame.top() + 10 + 12 * static_cast<double>(k);
            const double x = frame.left() + frame.width() + 14;
            svg.line(x, y - 4, x + 18, y - 4, colour, 2.5);
            svg.text(x + 24, y, s.name, 10);
        }
    }
    return svg;
}

}  // namespace amisim
