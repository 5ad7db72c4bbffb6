#include "tools/amisim/report/pam_tables.h"

#include <cmath>
#include <cstdio>

#include "tools/amisim/report/figure_tables.h"
#include "tools/amisim/report/summary.h"
#include "tools/amisim/stimulus/modulation.h"

namespace amisim {

std::string eye_name(std::size_t e, std::size_t eyes) {
    if (eyes == 3) {
        return e == 0 ? "lower" : e == 1 ? "centre" : "upper";
    }
    if (eyes == 2) {
        return e == 0 ? "lower" : "upper";
    }
    return "eye " + std::to_string(e);
}

std::string threshold_source(const RunSetting &setting, std::size_t e) {
    if (e >= setting.thresholds.size() || std::isnan(setting.thresholds[e])) {
        return "statistical eye";
    }
    if (setting.thresholds_source == kFromFile) {
        return "file";
    }
    return setting.thresholds_source == kFromCommandLine ? "command line" : "default";
}

std::vector<std::string> modulation_lines(const RunSetting &setting) {
    const auto levels = static_cast<int>(setting.levels.size());
    bool left_out = false;
    for (const std::string &note : setting.modulation_notes) {
        left_out = left_out || note.find(" left out") != std::string::npos;
    }
    if (levels == 2 && setting.modulation_source != kFromCommandLine &&
        setting.thresholds_source.empty() && !left_out) {
        return {};
    }
    std::string line = "modulation: " + modulation_name(levels) + " (" +
                       (setting.modulation_source == kFromFile          ? "the models' files"
                        : setting.modulation_source == kFromCommandLine ? "the command line"
                                                                        : "the default") +
                       "), levels";
    for (double level : setting.levels) {
        line += number_text(" %+.4g", level);
    }
    line += " V";
    if (levels > 2) {
        line += ", " + std::to_string(bits_per_symbol(levels)) + " bits a symbol, " +
                mapping_name(setting.mapping) + " mapping";
    }
    std::vector<std::string> lines{line};
    line = "thresholds:";
    const std::size_t eyes = setting.levels.size() - 1;
    for (std::size_t e = eyes; e-- > 0;) {
        const bool given = e < setting.thresholds.size() && !std::isnan(setting.thresholds[e]);
        line += " " + eye_name(e, eyes) + " " +
                (given ? number_text("%.4g V", setting.thresholds[e]) + " (" +
                             threshold_source(setting, e) + ")"
                       : std::string("its own centre")) +
                (e > 0 ? "," : "");
    }
    lines.push_back(line + " (an eye's own centre: the middle of its statistical eye's opening)");
    if (setting.eye_offsets.size() + 1 == setting.levels.size()) {
        line = "eye offsets from the receiver's instant:";
        for (std::size_t e = setting.eye_offsets.size(); e-- > 0;) {
            line += " " + eye_name(e, setting.eye_offsets.size()) + " " +
                    std::to_string(setting.eye_offsets[e]) + " samples" + (e > 0 ? "," : "");
        }
        lines.push_back(line);
    }
    for (const std::string &note : setting.modulation_notes) {
        lines.push_back("modulation: " + note);
    }
    return lines;
}

ReportTable pam_eye_table(const std::string &title, const PamEyes &eyes, const RunSetting &setting,
                          const char *reference) {
    const int spb = setting.spb;
    const std::size_t count = eyes.eyes.size();
    ReportTable table;
    table.header.push_back(title);
    for (std::size_t e = count; e-- > 0;) {
        table.header.push_back(eye_name(e, count));
    }
    const std::string from = std::string(" (UI from ") + reference + ")";
    auto add = [&](const std::string &label, auto text) {
        std::vector<std::string> row{label};
        for (std::size_t e = count; e-- > 0;) {
            row.push_back(text(eyes.eyes[e], e));
        }
        table.rows.push_back(row);
    };
    auto figure = [](bool known, const char *format, double value) {
        return known ? number_text(format, value) : std::string("n/a");
    };
    add("threshold (V)", [&](const PamEye &eye, std::size_t) {
        return figure(!std::isnan(eye.threshold), "%.6g", eye.threshold);
    });
    add("threshold from", [&](const PamEye &eye, std::size_t e) {
        return eye.own_centre ? std::string("own centre") : threshold_source(setting, e);
    });
    add("read at" + from, [&](const PamEye &eye, std::size_t) {
        return number_text("%+.3f", slot_ui(eye.slot, spb));
    });
    add("eye height there (V)",
        [&](const PamEye &eye, std::size_t) { return figure(eye.measured, "%.6g", eye.height); });
    add("width at threshold (UI)", [&](const PamEye &eye, std::size_t) {
        return figure(eye.measured, "%.3f", eye.width / spb);
    });
    add("best phase" + from, [&](const PamEye &eye, std::size_t) {
        return figure(eye.figures.measured, "%+.3f", slot_ui(eye.figures.best_slot, spb));
    });
    add("eye height at best phase (V)", [&](const PamEye &eye, std::size_t) {
        return figure(eye.figures.measured, "%.6g", eye.figures.height);
    });
    add("eye width (UI)", [&](const PamEye &eye, std::size_t) {
        return figure(eye.figures.measured, "%.3f", eye.figures.width / spb);
    });
    int previous = -1;
    for (int slot : {0, spb / 4, spb / 2, (3 * spb) / 4, spb - 1}) {
        if (slot == previous) {
            continue;
        }
        previous = slot;
        add("bathtub at " + number_text("%+.3f", slot_ui(slot, spb)) + " UI (V)",
            [&](const PamEye &eye, std::size_t) {
                const double height = eye.figures.bathtub.empty()
                                          ? std::nan("")
                                          : eye.figures.bathtub[static_cast<std::size_t>(slot)];
                return figure(!std::isnan(height), "%.6g", height);
            });
    }
    return table;
}

std::string levels_line(const std::string &where, const std::vector<double> &means,
                        const LevelMismatch &mismatch) {
    std::string line = "levels at " + where + " (V):";
    for (double mean : means) {
        line += std::isnan(mean) ? std::string(" n/a") : number_text(" %+.4f", mean);
    }
    if (means.size() == 4) {
        line += mismatch.measured ? number_text("; RLM %.4f", mismatch.rlm) : "; RLM n/a";
    }
    return line;
}

std::vector<PamPlace> pam_places(const RunSetting &setting, const RunResults &results) {
    std::vector<PamPlace> places;
    const std::string name = modulation_name(static_cast<int>(setting.levels.size()));
    auto add = [&](const std::optional<PamEyes> &eyes, const std::string &where,
                   const char *reference, const std::string &at) {
        if (eyes.has_value()) {
            places.push_back(
                {pam_eye_table(where + ": " + name + " eyes", *eyes, setting, reference),
                 levels_line(at, eyes->level_means, eyes->mismatch)});
        }
    };
    const std::string before = results.link ? "Rx input" : "before GetWave";
    const std::string after = results.link ? "Rx output" : "after GetWave";
    add(results.pam_before, before, "cursor", "the cursor, " + before);
    add(results.pam_after, after, "cursor", "the cursor, " + after);
    add(results.pam_clock, "at Rx clock", "clock", "the Rx clock");
    return places;
}

}  // namespace amisim
