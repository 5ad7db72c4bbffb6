#include "tools/amisim/report/ber_report.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "tools/amisim/report/ber_pictures.h"
#include "tools/amisim/report/figure_tables.h"
#include "tools/amisim/report/pam_tables.h"
#include "tools/amisim/report/summary.h"

namespace amisim {

namespace {

std::string count_text(std::uint64_t value) {
    return std::to_string(value);
}

// The five phases of the printed bathtubs, as the eye tables have them.
std::vector<int> printed_slots(int spb) {
    std::vector<int> slots;
    for (int slot : {0, spb / 4, spb / 2, (3 * spb) / 4, spb - 1}) {
        if (slots.empty() || slots.back() != slot) {
            slots.push_back(slot);
        }
    }
    return slots;
}

// Writes rows of numbers under a header; false with a message.
bool write_csv(const std::string &path, const std::string &header,
               const std::vector<std::vector<double>> &rows, std::string &error) {
    std::FILE *file = std::fopen(path.c_str(), "w");
    if (file == nullptr) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    std::fprintf(file, "%s\n", header.c_str());
    for (const auto &row : rows) {
        for (std::size_t c = 0; c < row.size(); ++c) {
            std::fprintf(file, c == 0 ? "%.12g" : ",%.17g", row[c]);
        }
        std::fputc('\n', file);
    }
    if (std::fclose(file) != 0) {
        error = path + ": write failed";
        return false;
    }
    return true;
}

}  // namespace

std::vector<ContourOpening> contour_openings(const StatisticalEye &eye, std::size_t e) {
    std::vector<ContourOpening> openings;
    const double spb = eye.samples_per_bit;
    for (const EyeContour &contour : eye.contours[e]) {
        ContourOpening opening;
        opening.ber = contour.ber;
        std::size_t best = 0;
        for (std::size_t p = 0; p < contour.lower.size(); ++p) {
            const double height = contour.upper[p] - contour.lower[p];
            if (std::isfinite(height) && (!opening.open || height > opening.height)) {
                opening.open = true;
                opening.height = height;
                best = p;
            }
        }
        if (opening.open) {
            opening.best_phase = eye.phases[best];
            std::size_t left = best;
            while (left > 0 && std::isfinite(contour.lower[left - 1])) {
                --left;
            }
            std::size_t right = best;
            while (right + 1 < contour.lower.size() && std::isfinite(contour.lower[right + 1])) {
                ++right;
            }
            opening.width = static_cast<double>(right - left + 1) / spb;
        }
        openings.push_back(opening);
    }
    return openings;
}

bool contour_printed(double ber) {
    const long decade = std::lround(-std::log10(ber));
    return decade % 3 == 0 && std::fabs(std::log10(ber) + static_cast<double>(decade)) < 1e-9;
}

std::vector<std::string> ber_setting_lines(const RunSetting &setting) {
    std::vector<std::string> lines;
    char line[256];
    std::snprintf(
        line, sizeof line, "error rate: target %g, seed %llu; %zu levels, %zu decision threshold%s",
        setting.target_ber, static_cast<unsigned long long>(setting.seed), setting.levels.size(),
        setting.levels.size() - 1, setting.levels.size() == 2 ? "" : "s");
    lines.emplace_back(line);
    if (setting.impairment_notes.empty()) {
        lines.emplace_back("jitter and noise: none");
    }
    for (const std::string &note : setting.impairment_notes) {
        lines.push_back("jitter and noise: " + note);
    }
    if (setting.input_noise > 0.0) {
        std::snprintf(line, sizeof line, "noise at the receiver's input: %g V rms (--noise)",
                      setting.input_noise);
        lines.emplace_back(line);
    }
    const std::size_t aggressors = setting.channel.columns.size() - 1;
    if (aggressors > 0) {
        std::snprintf(line, sizeof line,
                      "aggressors: %zu, each from an instance of its own of the transmitter with "
                      "its own random bits without jitter, at a seeded phase",
                      aggressors);
        lines.emplace_back(line);
    }
    return lines;
}

ReportTable contour_table(const StatisticalEye &eye) {
    ReportTable table;
    table.header.push_back("statistical eye at");
    for (const ContourOpening &opening : contour_openings(eye, 0)) {
        if (contour_printed(opening.ber)) {
            table.header.push_back(number_text("%g", opening.ber));
        }
    }
    // A group of rows an eye, the highest first, named where there are more.
    for (std::size_t e = eye.eyes; e-- > 0;) {
        std::vector<ContourOpening> shown;
        for (const ContourOpening &opening : contour_openings(eye, e)) {
            if (contour_printed(opening.ber)) {
                shown.push_back(opening);
            }
        }
        const std::string eye_label = eye.eyes > 1 ? eye_name(e, eye.eyes) + ": " : "";
        auto add = [&](const std::string &label, const char *format,
                       double ContourOpening::*field) {
            std::vector<std::string> row{eye_label + label};
            for (const ContourOpening &opening : shown) {
                row.push_back(opening.open ? number_text(format, opening.*field) : "closed");
            }
            table.rows.push_back(row);
        };
        add(eye.eyes > 1 ? "height (V)" : "eye height (V)", "%.4g", &ContourOpening::height);
        add(eye.eyes > 1 ? "at phase (UI)" : "at phase (UI from centre)", "%+.3f",
            &ContourOpening::best_phase);
        add(eye.eyes > 1 ? "width (UI)" : "eye width (UI)", "%.3f", &ContourOpening::width);
    }
    return table;
}

ReportTable target_table(const RunSetting &setting, const RunResults &results) {
    const StatisticalEye &eye = *results.statistical;
    const bool pam = eye.eyes > 1;
    ReportTable table;
    table.header = {"statistical eye at " + number_text("%g", eye.target_ber)};
    for (std::size_t e = eye.eyes; e-- > 0;) {
        table.header.push_back(pam ? eye_name(e, eye.eyes) : "statistical");
    }
    const std::string closed = "closed";
    auto add = [&](const std::string &label, auto text) {
        std::vector<std::string> row{label};
        for (std::size_t e = eye.eyes; e-- > 0;) {
            row.push_back(text(eye.openings[e], e));
        }
        table.rows.push_back(row);
    };
    using O = const EyeOpening &;
    using E = std::size_t;
    add("noise at decision point (V)",
        [&](O, E) { return number_text("%.4g", results.decision_noise); });
    if (pam) {
        add("threshold (V)", [&](O, E e) { return number_text("%.6g", eye.thresholds[e]); });
        add("threshold from", [&](O, E e) { return threshold_source(setting, e); });
    }
    add("eye height (V)", [&](O o, E) { return o.open ? number_text("%.6g", o.height) : closed; });
    add("best phase (UI from centre)",
        [&](O o, E) { return o.open ? number_text("%+.3f", eye.phases[o.best_phase]) : closed; });
    add("eye width (UI)", [&](O o, E) { return o.open ? number_text("%.3f", o.width) : closed; });
    add("eye width (ps)", [&](O o, E) {
        return o.open ? number_text("%.2f", o.width * setting.spb * setting.dt * 1e12) : closed;
    });
    add("width from (UI)", [&](O o, E) { return o.open ? number_text("%+.3f", o.left) : closed; });
    add("width to (UI)", [&](O o, E) { return o.open ? number_text("%+.3f", o.right) : closed; });
    for (int slot : printed_slots(setting.spb)) {
        const auto p = static_cast<std::size_t>(slot);
        add("error rate at " + number_text("%+.3f", eye.phases[p]) + " UI",
            [&](O, E e) { return number_text("%.3e", eye.time_bathtub[e][p]); });
    }
    return table;
}

std::string statistical_levels(const StatisticalEye &eye) {
    const std::vector<double> &means = eye.means[eye.phases.size() / 2];
    return levels_line("the centre", means, level_mismatch(means));
}

// The statistical eye's means at the phase nearest the decisions'.
std::vector<double> statistical_means(const RunResults &results) {
    const StatisticalEye &eye = *results.statistical;
    const long spb = eye.samples_per_bit;
    const long p = std::lround(results.statistical_phase * static_cast<double>(spb)) + spb / 2;
    return eye.means[static_cast<std::size_t>(std::clamp(p, 0L, spb - 1))];
}

ReportTable counted_table(const RunResults &results) {
    const ErrorFigures &e = results.errors;
    const bool pam = e.decisions_by_symbol.size() > 2;
    const bool statistical = results.statistical.has_value();
    ReportTable table;
    table.header = {"errors at the decisions", "counted", "statistical"};
    const std::string none = "-";
    const std::string phase = number_text("%+.4f", results.statistical_phase);
    auto rate = [&](double value) {
        return statistical ? number_text("%.3e", value) : std::string("n/a");
    };
    table.rows.push_back({"sampled at (UI from centre)", phase, phase});
    table.rows.push_back({pam ? "symbols decided" : "decisions", count_text(e.decisions), none});
    table.rows.push_back({pam ? "symbol errors" : "errors", count_text(e.errors), none});
    table.rows.push_back({pam ? "symbol error rate" : "error rate", number_text("%.3e", e.ber),
                          rate(results.statistical_ber)});
    table.rows.push_back({"95% interval, low", number_text("%.3e", e.interval.low), none});
    table.rows.push_back({"95% interval, high", number_text("%.3e", e.interval.high), none});
    if (!pam) {
        return table;
    }
    table.rows.push_back({"bits", count_text(e.bits), none});
    table.rows.push_back({"bit errors", count_text(e.bit_errors), none});
    table.rows.push_back({"bit error rate", number_text("%.3e", e.bit_error_rate),
                          rate(results.statistical_bit_error_rate)});
    table.rows.push_back({"bit 95% interval, low", number_text("%.3e", e.bit_interval.low), none});
    table.rows.push_back(
        {"bit 95% interval, high", number_text("%.3e", e.bit_interval.high), none});
    if (e.level_means.size() == 4) {
        auto rlm = [](const LevelMismatch &m) {
            return m.measured ? number_text("%.4f", m.rlm) : std::string("n/a");
        };
        table.rows.push_back(
            {"level mismatch (RLM)", rlm(level_mismatch(e.level_means)),
             statistical ? rlm(level_mismatch(statistical_means(results))) : std::string("n/a")});
    }
    return table;
}

ReportTable crossing_jitter_table(const RunSetting &setting, const RunResults &results) {
    const TieHistogram &tie = results.tie;
    const DualDiracFit &fit = results.jitter_fit;
    const double ps = setting.spb * setting.dt * 1e12;
    ReportTable table;
    table.header = {"jitter of the crossings", "UI", "ps"};
    const std::string none = "-";
    table.rows.push_back({"crossings", count_text(tie.crossings), none});
    table.rows.push_back({"transition density", number_text("%.4f", fit.transition_density), none});
    auto add = [&](const std::string &label, bool known, double ui, const char *ui_format,
                   const char *ps_format) {
        table.rows.push_back({label, known ? number_text(ui_format, ui) : "n/a",
                              known ? number_text(ps_format, ui * ps) : "n/a"});
    };
    const bool measured = tie.crossings > 0;
    add("mean (TIE)", measured, tie.mean, "%+.4f", "%+.3f");
    add("rms (TIE)", measured, tie.rms, "%.4f", "%.3f");
    add("Dj (dual Dirac)", fit.fitted, fit.dj, "%.4f", "%.3f");
    add("Rj (dual Dirac)", fit.fitted, fit.rj, "%.4f", "%.3f");
    add("Tj at " + number_text("%g", setting.target_ber), fit.fitted, results.total_jitter, "%.4f",
        "%.3f");
    return table;
}

std::vector<std::string> error_notes(const RunResults &results) {
    const ErrorFigures &e = results.errors;
    std::vector<std::string> notes;
    notes.push_back(results.receiver_clock
                        ? "decisions at the receiver's clock ticks + 1/2 UI; the statistical rate "
                          "at their mean phase"
                        : "decisions at the statistical eye's best phase (lowest rate at the "
                          "threshold); the receiver returned no ticks");
    const bool pam = e.errors_by_symbol.size() > 2;
    std::string by_symbol = pam ? "errors by symbol sent:" : "errors by bit sent:";
    for (std::size_t s = 0; s < e.errors_by_symbol.size(); ++s) {
        by_symbol += (s == 0 ? " " : ", ") + std::to_string(s) + ": " +
                     std::to_string(e.errors_by_symbol[s]);
    }
    by_symbol +=
        "; missed " + std::to_string(e.missed) + ", repeated " + std::to_string(e.repeated);
    notes.push_back(by_symbol);
    if (pam && results.statistical_by_eye.size() + 1 == e.errors_by_symbol.size()) {
        std::string by_eye = "statistical symbol error rate by eye:";
        for (std::size_t k = results.statistical_by_eye.size(); k-- > 0;) {
            by_eye += " " + eye_name(k, results.statistical_by_eye.size()) +
                      number_text(" %.3e", results.statistical_by_eye[k]) + (k > 0 ? "," : "");
        }
        notes.push_back(by_eye);
    }
    if (e.incomplete > 0) {
        notes.push_back(std::to_string(e.incomplete) +
                        " instants not decided: an eye's offset reached past the waveform kept");
    }
    if (!e.error_symbols.empty()) {
        std::string first = pam ? "first errors at symbols" : "first errors at bits";
        for (std::size_t i = 0; i < e.error_symbols.size() && i < 8; ++i) {
            first += (i == 0 ? " " : ", ") + std::to_string(e.error_symbols[i]);
        }
        notes.push_back(first);
    }
    return notes;
}

void print_ber_results(const RunSetting &setting, const RunResults &results) {
    if (!results.statistical.has_value()) {
        std::printf("\nstatistical eye: none (%s)\n", results.statistical_error.c_str());
    } else {
        const StatisticalEye &eye = *results.statistical;
        print_table(contour_table(eye), 12);
        print_table(target_table(setting, results));
        if (eye.eyes > 1) {
            std::printf("  %s\n", statistical_levels(eye).c_str());
        }
        if (results.noise_gain != 1.0) {
            std::printf("  the receiver's noise gain: %.4g\n", results.noise_gain);
        }
    }
    if (!results.counted) {
        return;
    }
    print_table(counted_table(results));
    for (const std::string &note : error_notes(results)) {
        std::printf("  %s\n", note.c_str());
    }
    print_table(crossing_jitter_table(setting, results));
}

bool write_ber_files(const RunSetting &setting, const RunResults &results,
                     std::vector<std::string> &written, std::string &error) {
    const std::string folder = setting.output_folder + "/";
    if (results.statistical.has_value()) {
        const StatisticalEye &eye = *results.statistical;
        // A bathtub per eye against the first column's values, as CSV.
        auto bathtub = [&](const std::string &name, const char *first,
                           const std::vector<double> &at,
                           const std::vector<std::vector<double>> &rates) {
            std::string header = first;
            for (std::size_t e = 0; e < eye.eyes; ++e) {
                header += ",ber_eye" + std::to_string(e);
            }
            std::vector<std::vector<double>> rows;
            for (std::size_t i = 0; i < at.size(); ++i) {
                std::vector<double> row{at[i]};
                for (std::size_t e = 0; e < eye.eyes; ++e) {
                    row.push_back(rates[e][i]);
                }
                rows.push_back(row);
            }
            return write_csv(folder + name, header, rows, error);
        };
        std::vector<double> thresholds;
        for (std::size_t r = 0; r < eye.rows; ++r) {
            thresholds.push_back(eye.threshold(r));
        }
        if (!bathtub("ber_time_bathtub.csv", "phase_ui", eye.phases, eye.time_bathtub) ||
            !bathtub("ber_voltage_bathtub.csv", "threshold_v", thresholds, eye.voltage_bathtub)) {
            return false;
        }
        // Each eye's contours, the lowest eye's first, named where there are more.
        std::vector<std::vector<double>> rows;
        std::string header = "phase_ui";
        for (std::size_t e = 0; e < eye.eyes; ++e) {
            const std::string name = eye.eyes > 1 ? eye_name(e, eye.eyes) + "_" : "";
            for (const EyeContour &contour : eye.contours[e]) {
                header += "," + name + "lower_" + number_text("%g", contour.ber) + "," + name +
                          "upper_" + number_text("%g", contour.ber);
            }
        }
        for (std::size_t p = 0; p < eye.phases.size(); ++p) {
            std::vector<double> row{eye.phases[p]};
            for (std::size_t e = 0; e < eye.eyes; ++e) {
                for (const EyeContour &contour : eye.contours[e]) {
                    row.push_back(contour.lower[p]);
                    row.push_back(contour.upper[p]);
                }
            }
            rows.push_back(row);
        }
        if (!write_csv(folder + "ber_contours.csv", header, rows, error)) {
            return false;
        }
        written.insert(written.end(),
                       {"ber_time_bathtub.csv", "ber_voltage_bathtub.csv", "ber_contours.csv"});
    }
    if (results.counted) {
        std::vector<std::vector<double>> rows;
        const TieHistogram &tie = results.tie;
        for (std::size_t i = 0; i < tie.counts.size(); ++i) {
            rows.push_back({tie.low + (static_cast<double>(i) + 0.5) * tie.width,
                            static_cast<double>(tie.counts[i])});
        }
        if (!write_csv(folder + "tie_histogram.csv", "tie_ui,crossings", rows, error)) {
            return false;
        }
        written.emplace_back("tie_histogram.csv");
    }
    if (!ber_report_page(setting, results).write(folder + "report_ber.svg", error)) {
        return false;
    }
    written.emplace_back("report_ber.svg");
    return true;
}

}  // namespace amisim
