#include "tools/amisim/report/run_report.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <optional>

#include "tools/amisim/report/ber_report.h"
#include "tools/amisim/report/figure_tables.h"
#include "tools/amisim/report/model_reports_table.h"
#include "tools/amisim/report/pam_tables.h"
#include "tools/amisim/report/pictures.h"
#include "tools/amisim/report/report_page.h"
#include "tools/amisim/report/summary.h"
#include "tools/amisim/report/trajectory_picture.h"
#include "tools/amisim/stimulus/modulation.h"

namespace amisim {

namespace {

std::string impulse_header(std::size_t columns) {
    std::string header = "time_s,through";
    for (std::size_t k = 1; k < columns; ++k) {
        header += ",aggressor_" + std::to_string(k);
    }
    return header;
}

std::vector<const std::vector<double> *> pointers(const std::vector<std::vector<double>> &columns) {
    std::vector<const std::vector<double> *> out;
    out.reserve(columns.size());
    for (const auto &column : columns) {
        out.push_back(&column);
    }
    return out;
}

bool is_pam(const RunSetting &setting) {
    return setting.levels.size() > 2;
}

// What a unit interval carries.
const char *unit_name(const RunSetting &setting) {
    return is_pam(setting) ? "symbols" : "bits";
}

// The rate line of the pictures' subtitles.
std::string rate_text(const RunSetting &setting) {
    char rate[96];
    if (is_pam(setting)) {
        std::snprintf(rate, sizeof rate,
                      "%lld %s symbols of PRBS%d at %g GBd, %d samples per symbol",
                      static_cast<long long>(setting.bits),
                      modulation_name(static_cast<int>(setting.levels.size())).c_str(),
                      setting.prbs_order, 1e-9 / (setting.dt * setting.spb), setting.spb);
    } else {
        std::snprintf(rate, sizeof rate, "%lld bits of PRBS%d at %g Gb/s, %d samples per bit",
                      static_cast<long long>(setting.bits), setting.prbs_order,
                      1e-9 / (setting.dt * setting.spb), setting.spb);
    }
    return rate;
}

// An eye picture's subtitle: the rate, and the eye's figures measured from
// the reference (the cursor or the clock); without a reference, the form of
// the separate eye pictures of a model alone.
std::string eye_subtitle(const RunSetting &setting, const EyeFigures &figures,
                         const char *reference) {
    char text[200];
    if (!figures.measured) {
        std::snprintf(text, sizeof text, "%s; too few bits for an eye", rate_text(setting).c_str());
    } else if (reference == nullptr) {
        std::snprintf(text, sizeof text, "%s; height %.4g V, width %.3f UI at %+.3f UI",
                      rate_text(setting).c_str(), figures.height, figures.width / setting.spb,
                      slot_ui(figures.best_slot, setting.spb));
    } else {
        std::snprintf(text, sizeof text, "%s; height %.4g V, width %.3f UI at %+.3f UI from %s",
                      rate_text(setting).c_str(), figures.height, figures.width / setting.spb,
                      slot_ui(figures.best_slot, setting.spb), reference);
    }
    return text;
}

// An eye picture of one place: the eye at its best phase, or with more
// than two levels each eye where it is read, at its threshold. reference as
// for eye_subtitle.
Svg place_picture(const RunSetting &setting, const EyeDensity &density, const EyeFigures &figures,
                  const std::optional<PamEyes> &pam, const std::string &title,
                  const char *reference,
                  const std::string &x_title = "time from the main cursor (UI)") {
    if (!pam.has_value()) {
        return eye_picture(density, figures, title, eye_subtitle(setting, figures, reference),
                           x_title);
    }
    std::vector<EyeMark> marks;
    std::string heights;
    const std::size_t eyes = pam->eyes.size();
    for (std::size_t e = eyes; e-- > 0;) {
        const PamEye &eye = pam->eyes[e];
        marks.push_back({eye.measured, eye.slot, eye.lower, eye.upper, eye.height, eye.threshold});
        heights += (heights.empty() ? "" : ", ") + eye_name(e, eyes) + " " +
                   (eye.measured ? number_text("%.4g", eye.height) : std::string("n/a"));
    }
    const bool at_clock = reference != nullptr && std::string(reference) == "the clock";
    char rate[96];
    std::snprintf(
        rate, sizeof rate, "%lld %s symbols at %g GBd", static_cast<long long>(setting.bits),
        modulation_name(static_cast<int>(eyes + 1)).c_str(), 1e-9 / (setting.dt * setting.spb));
    return eye_picture(density, marks, title,
                       rate + std::string("; heights ") + heights + " V at " +
                           (at_clock ? "the clock" : "each eye's best phase"),
                       x_title);
}

// The bathtubs of a place's eyes, the highest first.
Svg pam_bathtub(const RunSetting &setting, const PamEyes &pam, const std::string &where,
                const std::string &x_title) {
    std::vector<Curve<EyeFigures>> curves;
    const std::size_t eyes = pam.eyes.size();
    for (std::size_t e = eyes; e-- > 0;) {
        curves.push_back({&pam.eyes[e].figures, eye_name(e, eyes) + " eye, " + where,
                          kCurveColours[(eyes - 1 - e) % std::size(kCurveColours)]});
    }
    return bathtub_picture(curves, setting.spb, setting.dt, x_title,
                           "lowest sample above each eye minus highest below it");
}

// bathtub.csv with more than two levels: a column per place and eye.
bool write_pam_bathtubs(const std::string &path, const RunSetting &setting,
                        const RunResults &results, std::string &error) {
    std::vector<std::pair<std::string, const EyeFigures *>> columns;
    for (const auto &[place, pam] :
         {std::pair{"before", &results.pam_before}, std::pair{"after", &results.pam_after},
          std::pair{"at_clock", &results.pam_clock}}) {
        for (std::size_t e = pam->has_value() ? (*pam)->eyes.size() : 0; e-- > 0;) {
            columns.emplace_back(std::string(place) + "_" + eye_name(e, (*pam)->eyes.size()) + "_V",
                                 &(*pam)->eyes[e].figures);
        }
    }
    return write_bathtub_columns(path, columns, setting.spb, error);
}

// A report page's time-domain tables with more than two levels: the place
// its eye picture shows (the last) in the main table, the others beside.
void pam_page_tables(const RunSetting &setting, const RunResults &results, ReportContent &page) {
    std::vector<PamPlace> places = pam_places(setting, results);
    if (places.empty()) {
        return;
    }
    page.time_domain = places.back().table;
    page.notes.insert(page.notes.begin(), places.back().levels);
    places.pop_back();
    for (const PamPlace &place : places) {
        page.right_tables.push_back(place.table);
        page.right_notes.push_back(place.levels);
    }
}

// The lines of the setting at the head of the report page.
std::vector<std::string> page_setting(const RunSetting &setting) {
    std::vector<std::string> lines{"transmitter: " + setting.model_path + "  " +
                                   setting.parameters};
    if (!setting.rx_path.empty()) {
        lines.push_back("receiver: " + setting.rx_path + "  " + setting.rx_parameters);
    }
    lines.push_back("channel: " + setting.channel.description);
    lines.push_back("simulation: " + rate_text(setting));
    return lines;
}

// The names of a "files:" line, one by one.
void add_names(const std::string &written, std::vector<std::string> &files) {
    std::size_t at = 0;
    while (at < written.size()) {
        const std::size_t comma = written.find(", ", at);
        files.push_back(written.substr(at, comma == std::string::npos ? comma : comma - at));
        at = comma == std::string::npos ? written.size() : comma + 2;
    }
}

// The models that reported while they ran, with their names in the tables.
std::vector<std::pair<const ModelRecord *, std::string>> reporting_models(
    const RunResults &results) {
    std::vector<std::pair<const ModelRecord *, std::string>> models;
    if (has_reports(results.transmitter)) {
        models.emplace_back(&results.transmitter, results.link ? "Tx" : "model");
    }
    if (results.receiver.has_value() && has_reports(*results.receiver)) {
        models.emplace_back(&*results.receiver, "Rx");
    }
    return models;
}

// Their tables and trajectories on the report page.
void add_reports(const RunResults &results, ReportContent &page) {
    for (const auto &[model, who] : reporting_models(results)) {
        page.left_tables.push_back(reports_table(*model, who));
        if (!model->reports.empty()) {
            page.left_pictures.push_back(trajectory_picture(
                model->reports, "What the " +
                                    std::string(who == "Rx"   ? "receiver"
                                                : who == "Tx" ? "transmitter"
                                                              : "model") +
                                    " reported while it ran (AMI_GetWave output parameters)"));
        }
    }
}

const EyeFigures *optional_eye(const std::optional<EyeFigures> &eye) {
    return eye.has_value() ? &*eye : nullptr;
}

ReportTable link_response_table(const RunResults &results) {
    return response_table("pulse response", {{"channel", &results.channel},
                                             {"after Tx Init", &results.after_tx},
                                             {"after Rx Init", &*results.after_rx}});
}

ReportTable link_eye_table(const RunSetting &setting, const RunResults &results) {
    return eye_table("eye over 2 UI",
                     {{"Rx input", &results.before_get_wave},
                      {"Rx output", optional_eye(results.after_get_wave)},
                      {"at Rx clock", optional_eye(results.at_clock)}},
                     setting.spb, setting.dt);
}

std::vector<std::string> notes_of_link(const RunSetting &setting, const RunResults &results) {
    return link_notes(results.clock, results.receiver->has_get_wave,
                      results.transmitter.has_get_wave, results.settle_bits, results.fill_bits,
                      setting.bits, unit_name(setting));
}

// The files of the model alone: its two impulse responses, the bathtub,
// the eyes before and after it, the pulse responses, the bathtubs, the page.
bool write_model_files(const RunSetting &setting, const RunResults &results,
                       std::vector<std::string> &files, std::string &error) {
    const std::string folder = setting.output_folder + "/";
    const std::string header = impulse_header(setting.channel.columns.size());
    const EyeFigures &eye_before = results.before_get_wave;
    const EyeFigures *eye_after = optional_eye(results.after_get_wave);
    if (!write_columns(folder + "impulse_before.csv", header, setting.channel.start_time,
                       setting.dt, pointers(setting.channel.columns), error) ||
        !write_columns(folder + "impulse_after.csv", header, setting.channel.start_time, setting.dt,
                       pointers(results.after_tx_init), error) ||
        !(is_pam(setting) ? write_pam_bathtubs(folder + "bathtub.csv", setting, results, error)
                          : write_bathtub_csv(folder + "bathtub.csv", eye_before, eye_after,
                                              setting.spb, error))) {
        return false;
    }
    const StreamResult &stream = results.stream;
    std::string written = "impulse_before.csv, impulse_after.csv, bathtub.csv, eye_before.svg";
    if (!place_picture(setting, stream.before->density(), eye_before, results.pam_before,
                       "Eye before AMI_GetWave", nullptr)
             .write(folder + "eye_before.svg", error)) {
        return false;
    }
    if (eye_after != nullptr) {
        written += ", eye_after.svg";
        if (!place_picture(setting, stream.after->density(), *eye_after, results.pam_after,
                           "Eye after AMI_GetWave", nullptr)
                 .write(folder + "eye_after.svg", error)) {
            return false;
        }
    }
    written += ", pulse.svg, bathtub.svg";
    const std::optional<PamEyes> &pam_shown =
        eye_after != nullptr ? results.pam_after : results.pam_before;
    const Svg bathtub =
        pam_shown.has_value()
            ? pam_bathtub(setting, *pam_shown,
                          eye_after != nullptr ? "after AMI_GetWave" : "before AMI_GetWave",
                          "sampling phase from the main cursor (UI)")
            : bathtub_picture(eye_before, eye_after, setting.spb, setting.dt);
    if (!pulse_picture(results.channel, results.after_tx, setting.spb, setting.dt)
             .write(folder + "pulse.svg", error) ||
        !bathtub.write(folder + "bathtub.svg", error)) {
        return false;
    }
    if (setting.waves) {
        written += eye_after != nullptr ? ", wave_before.csv, wave_after.csv" : ", wave_before.csv";
    }
    std::printf("files:       %s%s\n", folder.c_str(), written.c_str());

    ReportContent page;
    page.title = "amisim: the model over the channel";
    page.setting = page_setting(setting);
    page.pulse = pulse_picture(results.channel, results.after_tx, setting.spb, setting.dt);
    const bool after_shown = eye_after != nullptr;
    page.eye = place_picture(
        setting, after_shown ? stream.after->density() : stream.before->density(),
        after_shown ? *eye_after : eye_before, pam_shown,
        after_shown ? "Eye after AMI_GetWave" : "Eye before AMI_GetWave (the model has none)",
        "the cursor");
    page.bathtub = bathtub;
    page.statistical = response_table("pulse response", {{"before AMI_Init", &results.channel},
                                                         {"after AMI_Init", &results.after_tx}});
    page.time_domain =
        eye_table("eye over 2 UI", {{"before GetWave", &eye_before}, {"after GetWave", eye_after}},
                  setting.spb, setting.dt);
    page.notes.push_back(
        "phases from the main cursor of each waveform's pulse response; the first " +
        std::to_string(results.settle_bits) + " " + unit_name(setting) + " left out");
    pam_page_tables(setting, results, page);
    add_reports(results, page);
    if (!report_page(page).write(setting.output_folder + "/report.svg", error)) {
        return false;
    }
    std::printf("report:      %s/report.svg\n", setting.output_folder.c_str());
    add_names(written + ", report.svg", files);
    return true;
}

// The files of a link: the three responses, the bathtubs, the eyes at the
// receiver's input, output and clock, the pulse responses, the page.
bool write_link_files(const RunSetting &setting, const RunResults &results,
                      std::vector<std::string> &files, std::string &error) {
    const std::string folder = setting.output_folder + "/";
    const std::string header = impulse_header(setting.channel.columns.size());
    const EyeFigures &input = results.before_get_wave;
    const EyeFigures *output = optional_eye(results.after_get_wave);
    const EyeFigures *at_clock = optional_eye(results.at_clock);
    if (!write_columns(folder + "impulse_before.csv", header, setting.channel.start_time,
                       setting.dt, pointers(setting.channel.columns), error) ||
        !write_columns(folder + "impulse_after.csv", header, setting.channel.start_time, setting.dt,
                       pointers(results.after_tx_init), error) ||
        !write_columns(folder + "impulse_rx.csv", header, setting.channel.start_time, setting.dt,
                       pointers(results.after_rx_init), error) ||
        !(is_pam(setting) ? write_pam_bathtubs(folder + "bathtub.csv", setting, results, error)
                          : write_bathtub_csv(folder + "bathtub.csv", input, output, setting.spb,
                                              error, at_clock))) {
        return false;
    }
    std::string written = "impulse_before.csv, impulse_after.csv, impulse_rx.csv, bathtub.csv";
    auto picture = [&](const Svg &svg, const std::string &name) {
        written += ", " + name;
        return svg.write(folder + name, error);
    };
    const Svg pulse = pulse_picture({{&results.channel, "channel", kCurveColours[0]},
                                     {&results.after_tx, "after Tx AMI_Init", kCurveColours[1]},
                                     {&*results.after_rx, "after Rx AMI_Init", kCurveColours[2]}},
                                    setting.spb, setting.dt);
    std::vector<Curve<EyeFigures>> tubs{{&input, "Rx input, from cursor", kCurveColours[0]}};
    if (output != nullptr) {
        tubs.push_back({output, "Rx output, from cursor", kCurveColours[1]});
    }
    if (at_clock != nullptr) {
        tubs.push_back({at_clock, "Rx output, from clock", kCurveColours[2]});
    }
    const std::optional<PamEyes> &pam_shown = results.pam_clock.has_value()   ? results.pam_clock
                                              : results.pam_after.has_value() ? results.pam_after
                                                                              : results.pam_before;
    const bool clock_shown = results.pam_clock.has_value();
    const Svg bathtub =
        pam_shown.has_value()
            ? pam_bathtub(setting, *pam_shown,
                          clock_shown         ? "Rx clock"
                          : output != nullptr ? "Rx output"
                                              : "Rx input",
                          clock_shown ? "sampling phase from the Rx clock (UI)"
                                      : "sampling phase from the cursor (UI)")
            : bathtub_picture(tubs, setting.spb, setting.dt,
                              "sampling phase from the cursor or the Rx clock (UI)");
    const StreamResult &stream = results.stream;
    Svg eye_shown =
        place_picture(setting, stream.before->density(), input, results.pam_before,
                      "Eye at the receiver's input (after Tx and channel)", "the cursor");
    if (!picture(eye_shown, "eye_before.svg") || !picture(pulse, "pulse.svg") ||
        !picture(bathtub, "bathtub.svg")) {
        return false;
    }
    if (output != nullptr) {
        eye_shown = place_picture(setting, stream.after->density(), *output, results.pam_after,
                                  "Eye after the receiver's AMI_GetWave, best phase", "the cursor");
        if (!picture(eye_shown, "eye_after.svg")) {
            return false;
        }
    }
    if (at_clock != nullptr) {
        eye_shown = place_picture(setting, stream.clocked->density(), *at_clock, results.pam_clock,
                                  "Eye at the receiver's sampling instants", "the clock",
                                  "time from the receiver's sampling instant (UI)");
        if (!picture(eye_shown, "eye_clock.svg")) {
            return false;
        }
    }
    if (setting.waves) {
        written += output != nullptr ? ", wave_before.csv, wave_after.csv" : ", wave_before.csv";
    }
    ReportContent page;
    page.title = "amisim: the link, transmitter, channel and receiver";
    page.setting = page_setting(setting);
    page.pulse = pulse;
    page.eye = eye_shown;
    page.bathtub = bathtub;
    page.statistical = link_response_table(results);
    page.time_domain = link_eye_table(setting, results);
    page.notes = notes_of_link(setting, results);
    pam_page_tables(setting, results, page);
    add_reports(results, page);
    if (!picture(report_page(page), "report.svg")) {
        return false;
    }
    std::printf("files:       %s%s\n", folder.c_str(), written.c_str());
    add_names(written, files);
    return true;
}

}  // namespace

void print_setting(const RunSetting &setting) {
    std::printf("model:      %s\n", setting.model_path.c_str());
    std::printf("channel:    %s\n", setting.channel.description.c_str());
    if (is_pam(setting)) {
        const auto levels = static_cast<int>(setting.levels.size());
        const double baud = 1.0 / (setting.dt * setting.spb);
        std::printf(
            "simulation: %g s per sample, %d samples per symbol (%g GBd, %g Gb/s), %lld %s "
            "symbols of PRBS%d, %ld symbols per AMI_GetWave call\n",
            setting.dt, setting.spb, 1e-9 * baud, 1e-9 * baud * bits_per_symbol(levels),
            static_cast<long long>(setting.bits), modulation_name(levels).c_str(),
            setting.prbs_order, setting.bits_per_call);
    } else {
        std::printf(
            "simulation: %g s per sample, %d samples per bit (%g Gb/s), %lld bits of PRBS%d, "
            "%ld bits per AMI_GetWave call\n",
            setting.dt, setting.spb, 1e-9 / (setting.dt * setting.spb),
            static_cast<long long>(setting.bits), setting.prbs_order, setting.bits_per_call);
    }
    for (const std::string &line : modulation_lines(setting)) {
        std::printf("%s\n", line.c_str());
    }
    std::printf("parameters: %s\n", setting.parameters.c_str());
    if (!setting.rx_path.empty()) {
        std::printf("receiver:   %s\n", setting.rx_path.c_str());
        std::printf("rx parameters: %s\n", setting.rx_parameters.c_str());
    }
    if (setting.ber) {
        for (const std::string &line : ber_setting_lines(setting)) {
            std::printf("%s\n", line.c_str());
        }
    }
    const std::size_t taps = setting.channel.columns[0].size();
    if (resolve_convolution(setting.convolution, taps) == Convolution::kFft) {
        const std::size_t n = default_fft_size(taps);
        std::printf("convolution: FFT overlap-add, %zu-point transforms, %zu samples a block\n\n",
                    n, n - taps + 1);
    } else {
        std::printf("convolution: direct sums over %zu taps\n\n", taps);
    }
}

void print_model_text(const char *label, const ModelText &text) {
    std::printf("%s:\n", label);
    if (!text.present) {
        std::printf("  (none)\n");
        return;
    }
    std::string body = text.text;
    while (!body.empty() && body.back() == '\n') {
        body.pop_back();
    }
    if (body.empty()) {
        body = "(empty)";
    }
    std::string indented = "  ";
    for (char c : body) {
        indented += c;
        if (c == '\n') {
            indented += "  ";
        }
    }
    std::printf("%s\n", indented.c_str());
}

void print_init_texts(const ModelRecord &model, bool link) {
    const std::string who = !link ? "" : model.role == "receiver" ? "Rx " : "Tx ";
    print_model_text((who + "AMI_Init message").c_str(), model.init.message);
    print_model_text((who + "AMI_Init output parameters").c_str(), model.init.parameters_out);
}

// What the models reported while they ran, a table each.
void print_reports(const RunResults &results) {
    for (const auto &[model, who] : reporting_models(results)) {
        print_table(reports_table(*model, who));
        for (const std::string &note : reports_notes(*model)) {
            std::printf("  %s\n", note.c_str());
        }
    }
}

// The eyes of a run of more than two levels, a table a place.
void print_pam_eyes(const RunSetting &setting, const RunResults &results) {
    for (const PamPlace &place : pam_places(setting, results)) {
        print_table(place.table);
        std::printf("  %s\n", place.levels.c_str());
    }
}

void print_results(const RunSetting &setting, const RunResults &results) {
    if (!results.link) {
        const EyeFigures *after = optional_eye(results.after_get_wave);
        print_response_summary(results.channel, results.after_tx);
        if (is_pam(setting)) {
            print_pam_eyes(setting, results);
            std::printf("  %s\n", settle_note(results.settle_bits, results.fill_bits, setting.bits,
                                              unit_name(setting))
                                      .c_str());
        } else {
            print_eye_summary(results.before_get_wave, after, setting.spb, setting.dt, setting.bits,
                              results.settle_bits, results.fill_bits);
        }
        if (setting.ber) {
            print_ber_results(setting, results);
        }
        print_reports(results);
        print_run_summary(results.stream, results.transmitter.has_get_wave);
        return;
    }
    print_table(link_response_table(results));
    if (is_pam(setting)) {
        print_pam_eyes(setting, results);
    } else {
        print_table(link_eye_table(setting, results));
    }
    for (const std::string &note : notes_of_link(setting, results)) {
        std::printf("  %s\n", note.c_str());
    }
    if (setting.ber) {
        print_ber_results(setting, results);
    }
    print_reports(results);
    print_link_run_summary(results.stream, results.transmitter.has_get_wave,
                           results.receiver->has_get_wave);
}

bool write_result_files(const RunSetting &setting, const RunResults &results,
                        std::vector<std::string> &files, std::string &error) {
    if (!(results.link ? write_link_files(setting, results, files, error)
                       : write_model_files(setting, results, files, error))) {
        return false;
    }
    if (!setting.ber) {
        return true;
    }
    std::vector<std::string> written;
    if (!write_ber_files(setting, results, written, error)) {
        return false;
    }
    std::string names;
    for (const std::string &name : written) {
        names += (names.empty() ? "" : ", ") + name;
    }
    std::printf("error rate:  %s/%s\n", setting.output_folder.c_str(), names.c_str());
    files.insert(files.end(), written.begin(), written.end());
    return true;
}

bool write_columns(const std::string &path, const std::string &header, double start_time,
                   double sample_interval, const std::vector<const std::vector<double> *> &columns,
                   std::string &error) {
    std::FILE *file = std::fopen(path.c_str(), "w");
    if (file == nullptr) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    std::fprintf(file, "%s\n", header.c_str());
    const std::size_t rows = columns.empty() ? 0 : columns[0]->size();
    for (std::size_t r = 0; r < rows; ++r) {
        std::fprintf(file, "%.12g", start_time + static_cast<double>(r) * sample_interval);
        for (const auto *column : columns) {
            std::fprintf(file, ",%.17g", (*column)[r]);
        }
        std::fputc('\n', file);
    }
    if (std::fclose(file) != 0) {
        error = path + ": write failed";
        return false;
    }
    return true;
}

}  // namespace amisim
