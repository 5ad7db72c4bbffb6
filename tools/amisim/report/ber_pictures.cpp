#include "tools/amisim/report/ber_pictures.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>

#include "tools/amisim/report/ber_report.h"
#include "tools/amisim/report/figure_tables.h"
#include "tools/amisim/report/pam_tables.h"
#include "tools/amisim/report/pictures.h"
#include "tools/amisim/report/report_page.h"

namespace amisim {

namespace {

constexpr const char *kGrid = "#dddddd";
// Rates below this are drawn at it: the pictures' floor.
constexpr double kFloorRate = 1e-18;
// Levels of colour in the density.
constexpr int kLevels = 40;

double log_rate(double rate) {
    return std::log10(std::max(rate, kFloorRate));
}

// A contour's colour: from pale at the highest rate to cyan at the lowest.
std::string contour_colour(std::size_t index, std::size_t count) {
    const double f = count > 1 ? static_cast<double>(index) / static_cast<double>(count - 1) : 0.0;
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", static_cast<int>(std::lround(255 - 200 * f)),
                  static_cast<int>(std::lround(255 - 30 * f)), 255);
    return text;
}

// Points of a curve, broken where a value is not finite.
void draw_pieces(Svg &svg, const std::vector<std::pair<double, double>> &points,
                 const std::string &colour, double width) {
    std::vector<std::pair<double, double>> piece;
    for (const auto &point : points) {
        if (std::isfinite(point.second)) {
            piece.push_back(point);
            continue;
        }
        if (piece.size() > 1) {
            svg.polyline(piece, colour, width);
        }
        piece.clear();
    }
    if (piece.size() > 1) {
        svg.polyline(piece, colour, width);
    }
}

// Every third decade of a log-rate axis, labelled 1e-3 rather than -3.
void rate_axis(Svg &svg, const PlotFrame &frame, double low, double high) {
    for (auto decade = static_cast<int>(std::ceil(low)); decade <= high; decade += 3) {
        const std::string label = decade == 0 ? "1" : "1e" + std::to_string(decade);
        svg.line(frame.left(), frame.y(decade), frame.left() + frame.width(), frame.y(decade),
                 kGrid, 1);
        svg.text(frame.left() - 6, frame.y(decade) + 4, label, 11, "end");
    }
}

}  // namespace

Svg statistical_eye_picture(const StatisticalEye &eye, const std::string &subtitle) {
    Svg svg(780, 520);
    const std::size_t phases = eye.phases.size();
    // The rows holding any probability worth drawing, with a margin.
    std::size_t first = eye.rows;
    std::size_t last = 0;
    double most = 0.0;
    for (std::size_t p = 0; p < phases; ++p) {
        for (std::size_t r = 0; r < eye.rows; ++r) {
            const double d = eye.density[p * eye.rows + r];
            if (d > kFloorRate) {
                first = std::min(first, r);
                last = std::max(last, r);
                most = std::max(most, d);
            }
        }
    }
    if (first > last) {
        first = 0;
        last = eye.rows - 1;
    }
    const double low = eye.threshold(first);
    const double high = eye.threshold(last + 1);
    const double margin = 0.06 * (high - low);
    const double half = 0.5 / eye.samples_per_bit;
    const PlotFrame frame(80, 62, 600, 380, -0.5 - half, 0.5 - half, low - margin, high + margin);
    svg.text(frame.left(), 24, "Statistical eye with contours of equal error rate", 16, "start",
             "#111");
    svg.text(frame.left(), 44, subtitle, 12, "start", "#444");
    svg.rect(frame.left(), frame.top(), frame.width(), frame.height(), heat_colour(0.0));
    const double top_log = std::log10(std::max(most, 1e-300));
    const double bottom_log = log_rate(0.0);
    auto level_of = [&](double d) {
        if (!(d > kFloorRate)) {
            return -1;
        }
        const double level = 0.15 + 0.85 * (std::log10(d) - bottom_log) / (top_log - bottom_log);
        return std::clamp(static_cast<int>(std::lround(level * (kLevels - 1))), 0, kLevels - 1);
    };
    const auto rows = static_cast<std::size_t>(eye.rows);
    draw_density(
        svg, static_cast<int>(phases), static_cast<int>(first), static_cast<int>(last), kLevels,
        [&](int p, int r) {
            return level_of(
                eye.density[static_cast<std::size_t>(p) * rows + static_cast<std::size_t>(r)]);
        },
        [&](int p) {
            const double at = eye.phases[static_cast<std::size_t>(p)];
            return std::pair{frame.x(at - half), frame.x(at + half)};
        },
        [&](int r) { return frame.y(eye.threshold(static_cast<std::size_t>(r))); });
    frame.draw_axes(svg, "sampling phase from the centre (UI)", "volts", "%.2f", "%.3g", "#333344");
    for (std::size_t e = 0; e < eye.contours.size(); ++e) {
        const auto &contours = eye.contours[e];
        for (std::size_t c = 0; c < contours.size(); ++c) {
            const std::string colour = contour_colour(c, contours.size());
            for (const auto *side : {&contours[c].lower, &contours[c].upper}) {
                std::vector<std::pair<double, double>> points;
                for (std::size_t p = 0; p < phases; ++p) {
                    const double v = (*side)[p];
                    points.emplace_back(frame.x(eye.phases[p]), std::isfinite(v) ? frame.y(v) : v);
                }
                draw_pieces(svg, points, colour, 1.2);
            }
        }
    }
    // The legend of the contours, beside the plot.
    const double x = frame.left() + frame.width() + 14;
    if (!eye.contours.empty()) {
        const auto &contours = eye.contours[0];
        for (std::size_t c = 0; c < contours.size(); ++c) {
            const double y = frame.top() + 10 + 16 * static_cast<double>(c);
            svg.line(x, y - 4, x + 18, y - 4, contour_colour(c, contours.size()), 2.5);
            svg.text(x + 22, y, number_text("%g", contours[c].ber), 10.5);
        }
    }
    return svg;
}

Svg rate_bathtub_picture(const StatisticalEye &eye, const RunResults &results) {
    Svg svg(780, 460);
    svg.text(80, 24, number_text("Bathtubs at the target %g", eye.target_ber), 16, "start", "#111");
    svg.text(80, 44,
             results.counted ? "the rate against phase at the threshold and against threshold at "
                               "the best phase; counted in red (95%)"
                             : "the rate against phase at the threshold and against threshold at "
                               "the best phase",
             12, "start", "#444");
    const double bottom = log_rate(0.0);
    const double half = 0.5 / eye.samples_per_bit;
    const PlotFrame time(70, 70, 300, 300, -0.5, 0.5 - 2 * half, bottom, 0.0);
    const PlotFrame volts(450, 70, 300, 300, eye.threshold(0), eye.threshold(eye.rows - 1), bottom,
                          0.0);
    for (const PlotFrame *frame : {&time, &volts}) {
        svg.rect(frame->left(), frame->top(), frame->width(), frame->height(), "#ffffff");
        rate_axis(svg, *frame, bottom, 0.0);
        svg.line(frame->left(), frame->y(log_rate(eye.target_ber)), frame->left() + frame->width(),
                 frame->y(log_rate(eye.target_ber)), "#888", 1, "5,4");
    }
    time.draw_axes(svg, "phase from the centre (UI)", "error rate", "%.2f", "", "none");
    volts.draw_axes(svg, "threshold (V)", "", "%.2g", "", "none");
    // Each eye in a colour of its own, all but the counted rate's red; named
    // where there are more.
    for (std::size_t e = 0; e < eye.eyes; ++e) {
        const char *colour = kCurveColours[e == 0 ? 0 : (e + 1) % std::size(kCurveColours)];
        std::vector<std::pair<double, double>> points;
        for (std::size_t p = 0; p < eye.phases.size(); ++p) {
            points.emplace_back(time.x(eye.phases[p]), time.y(log_rate(eye.time_bathtub[e][p])));
        }
        svg.polyline(points, colour, 2);
        points.clear();
        for (std::size_t r = 0; r < eye.rows; ++r) {
            points.emplace_back(volts.x(eye.threshold(r)),
                                volts.y(log_rate(eye.voltage_bathtub[e][r])));
        }
        svg.polyline(points, colour, 2);
        if (eye.eyes > 1) {
            const double y = time.top() + time.height() + 52 + 16 * static_cast<double>(e);
            svg.line(time.left(), y - 4, time.left() + 24, y - 4, colour, 2.5);
            svg.text(time.left() + 30, y, eye_name(e, eye.eyes) + " eye", 12);
        }
    }
    if (results.counted && results.errors.decisions > 0) {
        const double x = time.x(results.statistical_phase);
        const Interval &interval = results.errors.interval;
        svg.line(x, time.y(log_rate(interval.low)), x, time.y(log_rate(interval.high)),
                 kCurveColours[1], 2);
        svg.circle(x, time.y(log_rate(results.errors.ber)), 4, kCurveColours[1]);
    }
    return svg;
}

Svg crossing_jitter_picture(const TieHistogram &histogram, const DualDiracFit &fit,
                            double total_jitter, double target_ber) {
    Svg svg(780, 460);
    svg.text(80, 24, "Time-interval error of the crossings", 16, "start", "#111");
    svg.text(80, 44,
             fit.fitted
                 ? number_text("dual Dirac: Dj %.4f UI, ", fit.dj) +
                       number_text("Rj %.4f UI, ", fit.rj) +
                       number_text("Tj %.4f UI", total_jitter) +
                       number_text(" at %g; crossings per bin, the fit's tails dashed", target_ber)
                 : "no crossings",
             12, "start", "#444");
    std::size_t first = histogram.counts.size();
    std::size_t last = 0;
    std::uint64_t most = 1;
    for (std::size_t i = 0; i < histogram.counts.size(); ++i) {
        if (histogram.counts[i] > 0) {
            first = std::min(first, i);
            last = std::max(last, i);
            most = std::max(most, histogram.counts[i]);
        }
    }
    if (first > last) {
        first = 0;
        last = histogram.counts.empty() ? 0 : histogram.counts.size() - 1;
    }
    const double from = histogram.low + histogram.width * static_cast<double>(first);
    const double to = histogram.low + histogram.width * static_cast<double>(last + 1);
    const double margin = 0.15 * std::max(to - from, histogram.width);
    const double top = std::log10(static_cast<double>(most)) + 0.3;
    const PlotFrame frame(80, 62, 640, 320, from - margin, to + margin, -0.3, top);
    frame.draw_axes(svg, "time-interval error from the clock's edge (UI)",
                    "crossings per bin (log10)", "%.3f", "%.1f", kGrid);
    std::vector<std::pair<double, double>> steps;
    for (std::size_t i = first; i <= last && i < histogram.counts.size(); ++i) {
        const double n = static_cast<double>(histogram.counts[i]);
        const double y = frame.y(n > 0 ? std::log10(n) : -0.3);
        const double x0 = histogram.low + histogram.width * static_cast<double>(i);
        steps.emplace_back(frame.x(x0), y);
        steps.emplace_back(frame.x(x0 + histogram.width), y);
    }
    svg.polyline(steps, kCurveColours[0], 1.5);
    if (fit.fitted) {
        // Each tail's Gaussian, rho of the crossings, in counts per bin.
        const double crossings = static_cast<double>(histogram.crossings);
        auto tail = [&](double mu, double sigma, double rho, double sign) {
            if (!(sigma > 0.0)) {
                return;
            }
            std::vector<std::pair<double, double>> points;
            for (int i = 0; i <= 60; ++i) {
                const double z = 5.0 * i / 60.0;
                const double expected = crossings * rho * histogram.width * std::exp(-0.5 * z * z) /
                                        (sigma * std::sqrt(2.0 * M_PI));
                if (expected < 0.5) {
                    break;
                }
                points.emplace_back(frame.x(mu + sign * z * sigma), frame.y(std::log10(expected)));
            }
            if (points.size() > 1) {
                svg.polyline(points, kCurveColours[1], 2);
            }
        };
        tail(fit.mu_left, fit.sigma_left, fit.rho_left, -1.0);
        tail(fit.mu_right, fit.sigma_right, fit.rho_right, 1.0);
    }
    return svg;
}

Svg ber_report_page(const RunSetting &setting, const RunResults &results) {
    ReportContent page;
    page.title = std::string("amisim: the error rate, ") +
                 (results.link ? "the link's receiver" : "the model over the channel");
    page.setting = ber_setting_lines(setting);
    page.left_heading = "Statistical: from the impulse responses (AMI_Init)";
    page.right_heading = "Counted: from the waveforms (AMI_GetWave)";
    if (results.statistical.has_value()) {
        const StatisticalEye &eye = *results.statistical;
        page.pulse = statistical_eye_picture(
            eye, number_text("%.0f phases a unit interval; ", eye.samples_per_bit) +
                     number_text("noise %.3g V at the decision point", results.decision_noise));
        page.statistical = contour_table(eye);
        page.time_domain = target_table(setting, results);
        if (eye.eyes > 1) {
            page.notes.push_back(statistical_levels(eye));
        }
        page.bathtub = rate_bathtub_picture(eye, results);
    } else {
        page.notes.push_back("no statistical eye: " + results.statistical_error);
    }
    if (results.counted) {
        page.eye = crossing_jitter_picture(results.tie, results.jitter_fit, results.total_jitter,
                                           setting.target_ber);
        page.right_tables = {counted_table(results), crossing_jitter_table(setting, results)};
        page.right_notes = error_notes(results);
    }
    return report_page(page);
}

}  // namespace amisim
