#include "tools/amisim/report/results_json.h"

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "tools/amisim/channel/touchstone.h"
#include "tools/amisim/models/model_library.h"
#include "tools/amisim/report/ber_report.h"
#include "tools/amisim/report/json_writer.h"
#include "tools/amisim/report/pam_tables.h"
#include "tools/amisim/report/sha256.h"
#include "tools/amisim/report/summary.h"
#include "tools/amisim/stimulus/symbol_mapping.h"

#ifndef AMISIM_VERSION
#define AMISIM_VERSION "unknown"
#endif

namespace amisim {

namespace {

// A figure under its name, null where it is not known.
void figure_or_null(JsonWriter &json, const char *name, bool known, double value) {
    json.key(name);
    known ? json.value(value) : json.null();
}

void text_or_null(JsonWriter &json, const ModelText &text) {
    if (text.present) {
        json.value(text.text);
    } else {
        json.null();
    }
}

void file_digest(JsonWriter &json, const std::string &path) {
    std::string digest;
    std::string ignored;
    if (sha256_file(path, digest, ignored)) {
        json.value(digest);
    } else {
        json.null();
    }
}

void model_input(JsonWriter &json, const std::string &path, const std::string &parameters,
                 const ModelRecord *record) {
    json.begin_object();
    json.key("file").value(path);
    json.key("sha256");
    file_digest(json, path);
    std::string ignored;
    const ElfClass elf = inspect_elf(path, ignored);
    json.key("word_size");
    if (elf == ElfClass::k32 || elf == ElfClass::k64) {
        json.value(elf == ElfClass::k32 ? 32 : 64);
    } else {
        json.null();
    }
    json.key("parameters_sent").value(parameters);
    json.key("parameters_echoed");
    text_or_null(json, record != nullptr ? record->init.parameters_out : ModelText{});
    json.key("has_get_wave").value(record != nullptr && record->has_get_wave);
    json.end_object();
}

void channel_input(JsonWriter &json, const RunSetting &setting) {
    const Channel &channel = setting.channel;
    json.begin_object();
    const bool built_in = setting.channel_file.empty();
    const bool touchstone = !built_in && looks_like_touchstone(setting.channel_file);
    json.key("source").value(built_in ? "built-in" : touchstone ? "touchstone" : "text");
    json.key("file");
    built_in ? json.null() : json.value(setting.channel_file);
    json.key("sha256");
    built_in ? json.null() : file_digest(json, setting.channel_file);
    json.key("ports");
    touchstone ? json.value(setting.channel_ports.empty() ? "default" : setting.channel_ports)
               : json.null();
    json.key("built_in_bits");
    built_in ? json.value(static_cast<std::int64_t>(setting.channel_bits)) : json.null();
    json.key("description").value(channel.description);
    json.key("warnings").begin_array();
    for (const std::string &warning : channel.warnings) {
        json.value(warning);
    }
    json.end_array();
    json.key("samples").value(static_cast<std::uint64_t>(channel.columns[0].size()));
    json.key("start_time_s").value(channel.start_time);
    json.key("aggressors").value(static_cast<std::uint64_t>(channel.columns.size() - 1));
    json.end_object();
}

void response(JsonWriter &json, const char *label, const ResponseFigures &f) {
    json.begin_object();
    json.key("label").value(label);
    json.key("impulse_peak_per_s").value(f.peak);
    json.key("impulse_area").value(f.area);
    json.key("main_cursor").value(f.main_cursor);
    json.key("first_pre_cursor").value(f.first_pre);
    json.key("first_post_cursor").value(f.first_post);
    json.key("pre_main_db").value(f.pre_db);
    json.key("post_main_db").value(f.post_db);
    json.key("max_level").value(f.max_level);
    json.key("pda").value(f.pda);
    json.key("snr_db").value(f.snr > 0.0 ? 10.0 * std::log10(f.snr) : -HUGE_VAL);
    json.key("cursor_sample").value(static_cast<std::uint64_t>(f.cursor));
    json.key("eye_centre_sample").value(static_cast<std::uint64_t>(f.eye_centre));
    json.key("swing").value(f.swing);
    json.end_object();
}

// The figures of one eye, into the object open.
void eye_fields(JsonWriter &json, const EyeFigures &f, const RunSetting &setting) {
    const int spb = setting.spb;
    json.key("measured").value(f.measured);
    auto figure = [&](const char *name, double value) {
        figure_or_null(json, name, f.measured, value);
    };
    figure("best_phase_ui", slot_ui(f.best_slot, spb));
    figure("height_best_v", f.height);
    figure("height_reference_v",
           f.bathtub.empty() ? 0.0 : f.bathtub[static_cast<std::size_t>(spb / 2)]);
    figure("width_ui", f.width / spb);
    figure("width_ps", f.width / spb * spb * setting.dt * 1e12);
    std::vector<double> phases;
    phases.reserve(static_cast<std::size_t>(spb));
    for (int s = 0; s < spb; ++s) {
        phases.push_back(slot_ui(s, spb));
    }
    json.key("bathtub").begin_object();
    json.key("phase_ui").value(phases);
    json.key("height_v").value(f.bathtub);
    json.end_object();
}

void level_mismatch_or_null(JsonWriter &json, const LevelMismatch &m) {
    if (!m.measured) {
        json.null();
        return;
    }
    json.begin_object();
    json.key("rlm").value(m.rlm);
    json.key("es1").value(m.es1);
    json.key("es2").value(m.es2);
    json.key("v_mid_v").value(m.v_mid);
    json.end_object();
}

// A place's eye: with more than two levels the figures of the one least
// open where it is read, and each eye's in "pam".
void eye(JsonWriter &json, const char *label, const char *reference, const EyeFigures &f,
         const std::optional<PamEyes> &pam, const RunSetting &setting) {
    json.begin_object();
    json.key("label").value(label);
    json.key("reference").value(reference);
    eye_fields(json, f, setting);
    if (pam.has_value()) {
        const double spb = setting.spb;
        json.key("pam").begin_object();
        json.key("eyes").begin_array();
        for (std::size_t e = 0; e < pam->eyes.size(); ++e) {
            const PamEye &p = pam->eyes[e];
            json.begin_object();
            json.key("name").value(eye_name(e, pam->eyes.size()));
            json.key("threshold_v").value(p.threshold);
            json.key("threshold_from")
                .value(p.own_centre ? std::string("own centre") : threshold_source(setting, e));
            json.key("read_phase_ui").value(slot_ui(p.slot, setting.spb));
            json.key("measured_there").value(p.measured);
            auto there = [&](const char *name, double value) {
                figure_or_null(json, name, p.measured, value);
            };
            there("height_there_v", p.height);
            there("lower_there_v", p.lower);
            there("upper_there_v", p.upper);
            there("width_at_threshold_ui", p.width / spb);
            eye_fields(json, p.figures, setting);
            json.end_object();
        }
        json.end_array();
        json.key("level_means_v").value(pam->level_means);
        json.key("level_mismatch");
        level_mismatch_or_null(json, pam->mismatch);
        json.end_object();
    }
    json.end_object();
}

// The thresholds decided at, one per eye: those the run found, else those
// given (NaN, written as null, for an eye's own centre not worked out).
std::vector<double> decision_thresholds(const RunSetting &setting, const RunResults &results) {
    if (!results.thresholds.empty()) {
        return results.thresholds;
    }
    std::vector<double> given = setting.thresholds;
    given.resize(setting.levels.size() - 1, std::nan(""));
    return given;
}

void modulation(JsonWriter &json, const RunSetting &setting, const RunResults &results) {
    const auto levels = static_cast<int>(setting.levels.size());
    json.begin_object();
    json.key("name").value(modulation_name(levels));
    json.key("levels").value(levels);
    json.key("levels_v").value(setting.levels);
    json.key("bits_per_symbol").value(bits_per_symbol(levels));
    json.key("mapping").value(mapping_name(setting.mapping));
    json.key("source").value(setting.modulation_source);
    json.key("thresholds_v").value(decision_thresholds(setting, results));
    json.key("threshold_sources").begin_array();
    for (std::size_t e = 0; e + 1 < setting.levels.size(); ++e) {
        json.value(threshold_source(setting, e));
    }
    json.end_array();
    std::vector<double> offsets;
    for (std::size_t e = 0; e + 1 < setting.levels.size(); ++e) {
        offsets.push_back(e < setting.eye_offsets.size()
                              ? setting.eye_offsets[e] / static_cast<double>(setting.spb)
                              : 0.0);
    }
    json.key("eye_offsets_ui").value(offsets);
    json.key("notes").begin_array();
    for (const std::string &note : setting.modulation_notes) {
        json.value(note);
    }
    json.end_array();
    json.end_object();
}

void get_wave_use(JsonWriter &json, std::uint64_t samples, std::uint64_t calls,
                  std::chrono::steady_clock::duration time) {
    json.begin_object();
    json.key("calls").value(calls);
    json.key("samples").value(samples);
    const double ns = std::chrono::duration<double, std::nano>(time).count();
    json.key("ns_per_sample").value(samples > 0 ? ns / static_cast<double>(samples) : 0.0);
    json.end_object();
}

void messages(JsonWriter &json, const RunResults &results) {
    json.begin_array();
    auto add = [&json](const ModelRecord &model) {
        if (!model.initialised) {
            return;
        }
        for (const auto &[kind, text] :
             {std::pair{"message", &model.init.message},
              std::pair{"output_parameters", &model.init.parameters_out}}) {
            json.begin_object();
            json.key("model").value(model.role);
            json.key("call").value("AMI_Init");
            json.key("kind").value(kind);
            json.key("text");
            text_or_null(json, *text);
            json.end_object();
        }
    };
    add(results.transmitter);
    if (results.receiver.has_value()) {
        add(*results.receiver);
    }
    json.end_array();
}

// What ended a model that did not answer a call, field by field.
void failure_details(JsonWriter &json, const RunResults &results, const RunSetting &setting) {
    if (!results.model_failure.has_value()) {
        json.null();
        return;
    }
    const ModelFailure &f = *results.model_failure;
    static constexpr const char *kKinds[] = {"signal", "exit", "hang", "overrun", "host error"};
    json.begin_object();
    json.key("model").value(results.failed_model);
    json.key("file").value(results.failed_model == "receiver" ? setting.rx_path
                                                              : setting.model_path);
    json.key("entry_point").value(f.entry);
    json.key("call").value(static_cast<std::int64_t>(f.call));
    json.key("samples").value(static_cast<std::uint64_t>(f.samples));
    json.key("what").value(kKinds[static_cast<int>(f.kind)]);
    json.key("signal");
    f.kind == ModelFailure::Kind::kSignal ? json.value(f.signal) : json.null();
    json.key("exit_status");
    f.kind == ModelFailure::Kind::kExit ? json.value(f.exit_status) : json.null();
    json.key("limit_s");
    f.kind == ModelFailure::Kind::kHang ? json.value(f.limit_seconds) : json.null();
    json.key("array");
    f.kind == ModelFailure::Kind::kOverrun ? json.value(f.array) : json.null();
    json.key("array_room");
    f.kind == ModelFailure::Kind::kOverrun ? json.value(static_cast<std::uint64_t>(f.array_size))
                                           : json.null();
    json.key("detail").value(f.detail);
    json.key("last_message").value(f.last_message);
    json.end_object();
}

void jitter(JsonWriter &json, const Jitter &j) {
    json.begin_object();
    json.key("rj_s").value(j.rj);
    json.key("dj_s").value(j.dj);
    json.key("sj_s").value(j.sj);
    json.key("sj_frequency_hz").value(j.sj_frequency);
    json.key("dcd_s").value(j.dcd);
    json.end_object();
}

void impairments(JsonWriter &json, const RunSetting &setting, const RunResults &results) {
    json.begin_object();
    json.key("ber").value(setting.ber);
    json.key("tx_jitter");
    jitter(json, setting.impairments.tx);
    json.key("rx_jitter");
    jitter(json, setting.impairments.rx);
    json.key("rx_noise_v").value(setting.impairments.rx_noise);
    json.key("input_noise_v").value(setting.input_noise);
    json.key("target_ber").value(setting.target_ber);
    json.key("thresholds_v").value(decision_thresholds(setting, results));
    json.key("sources").begin_array();
    for (const std::string &line : setting.impairment_notes) {
        json.value(line);
    }
    json.end_array();
    json.end_object();
}

// The aggressor columns: a channel file's own first, then each --aggressor file's.
void aggressors(JsonWriter &json, const RunSetting &setting) {
    json.begin_array();
    const std::size_t columns = setting.channel.columns.size() - 1;
    const std::size_t own = columns - setting.aggressor_files.size();
    for (std::size_t k = 0; k < columns; ++k) {
        json.begin_object();
        json.key("column").value(static_cast<std::uint64_t>(k + 1));
        const bool from_file = k >= own;
        json.key("file");
        from_file ? json.value(setting.aggressor_files[k - own]) : json.null();
        json.key("sha256");
        from_file ? file_digest(json, setting.aggressor_files[k - own]) : json.null();
        json.key("ports");
        from_file &&looks_like_touchstone(setting.aggressor_files[k - own])
            ? json.value(setting.aggressor_ports.empty() ? "default" : setting.aggressor_ports)
            : json.null();
        json.end_object();
    }
    json.end_array();
}

void statistical_eye(JsonWriter &json, const RunSetting &setting, const RunResults &results) {
    if (!results.statistical.has_value()) {
        json.null();
        return;
    }
    const StatisticalEye &eye = *results.statistical;
    const double ps = setting.spb * setting.dt * 1e12;
    json.begin_object();
    json.key("samples_per_bit").value(eye.samples_per_bit);
    json.key("phase_ui").value(eye.phases);
    json.key("levels_v").value(setting.levels);
    json.key("thresholds_v").value(eye.thresholds);
    json.key("noise_v").value(results.decision_noise);
    json.key("noise_gain").value(results.noise_gain);
    json.key("aggressors").value(static_cast<std::uint64_t>(setting.channel.columns.size() - 1));
    json.key("target_ber").value(eye.target_ber);
    json.key("eyes").begin_array();
    for (std::size_t e = 0; e < eye.eyes; ++e) {
        const EyeOpening &o = eye.openings[e];
        json.begin_object();
        json.key("name").value(eye_name(e, eye.eyes));
        json.key("at_target").begin_object();
        json.key("open").value(o.open);
        auto figure = [&](const char *name, double value) {
            figure_or_null(json, name, o.open, value);
        };
        figure("height_v", o.height);
        figure("best_phase_ui", eye.phases[o.best_phase]);
        figure("lower_v", o.lower);
        figure("upper_v", o.upper);
        figure("width_ui", o.width);
        figure("width_ps", o.width * ps);
        figure("left_ui", o.left);
        figure("right_ui", o.right);
        json.end_object();
        json.key("contours").begin_array();
        const std::vector<ContourOpening> openings = contour_openings(eye, e);
        for (std::size_t c = 0; c < eye.contours[e].size(); ++c) {
            const EyeContour &contour = eye.contours[e][c];
            const ContourOpening &opening = openings[c];
            json.begin_object();
            json.key("ber").value(contour.ber);
            json.key("open").value(opening.open);
            json.key("height_v");
            opening.open ? json.value(opening.height) : json.null();
            json.key("best_phase_ui");
            opening.open ? json.value(opening.best_phase) : json.null();
            json.key("width_ui");
            opening.open ? json.value(opening.width) : json.null();
            json.key("lower_v").value(contour.lower);
            json.key("upper_v").value(contour.upper);
            json.end_object();
        }
        json.end_array();
        json.key("time_bathtub_ber").value(eye.time_bathtub[e]);
        json.key("voltage_bathtub").begin_object();
        std::vector<double> thresholds;
        for (std::size_t r = 0; r < eye.rows; ++r) {
            thresholds.push_back(eye.threshold(r));
        }
        json.key("threshold_v").value(thresholds);
        json.key("ber").value(eye.voltage_bathtub[e]);
        json.end_object();
        json.end_object();
    }
    json.end_array();
    const std::vector<double> &means = eye.means[eye.phases.size() / 2];
    json.key("level_means_v").value(means);
    json.key("level_mismatch");
    level_mismatch_or_null(json, level_mismatch(means));
    json.end_object();
}

void counts(JsonWriter &json, const std::vector<std::uint64_t> &values) {
    json.begin_array();
    for (std::uint64_t v : values) {
        json.value(v);
    }
    json.end_array();
}

void error_rate(JsonWriter &json, const RunSetting &setting, const RunResults &results) {
    if (!results.counted) {
        json.null();
        return;
    }
    const ErrorFigures &e = results.errors;
    json.begin_object();
    json.key("clock").value(results.receiver_clock ? "receiver" : "best phase");
    json.key("phase_ui").value(results.statistical_phase);
    json.key("decisions").value(e.decisions);
    json.key("errors").value(e.errors);
    json.key("ber").value(e.ber);
    json.key("interval_low").value(e.interval.low);
    json.key("interval_high").value(e.interval.high);
    json.key("statistical_ber");
    results.statistical.has_value() ? json.value(results.statistical_ber) : json.null();
    json.key("errors_by_symbol");
    counts(json, e.errors_by_symbol);
    json.key("first_error_symbols").begin_array();
    for (std::int64_t k : e.error_symbols) {
        json.value(k);
    }
    json.end_array();
    json.key("missed").value(e.missed);
    json.key("repeated").value(e.repeated);
    json.key("incomplete").value(e.incomplete);
    json.key("decisions_by_symbol");
    counts(json, e.decisions_by_symbol);
    json.key("bits").value(e.bits);
    json.key("bit_errors").value(e.bit_errors);
    json.key("bit_error_rate").value(e.bit_error_rate);
    json.key("bit_interval_low").value(e.bit_interval.low);
    json.key("bit_interval_high").value(e.bit_interval.high);
    json.key("statistical_bit_error_rate");
    results.statistical.has_value() ? json.value(results.statistical_bit_error_rate) : json.null();
    json.key("statistical_by_eye").value(results.statistical_by_eye);
    json.key("level_means_v").value(e.level_means);
    json.key("level_mismatch");
    level_mismatch_or_null(json, level_mismatch(e.level_means));
    const TieHistogram &tie = results.tie;
    const DualDiracFit &fit = results.jitter_fit;
    json.key("crossing_jitter").begin_object();
    json.key("crossings").value(tie.crossings);
    json.key("outside").value(tie.outside);
    json.key("bits").value(tie.bits);
    json.key("mean_ui");
    tie.crossings > 0 ? json.value(tie.mean) : json.null();
    json.key("rms_ui");
    tie.crossings > 0 ? json.value(tie.rms) : json.null();
    json.key("fitted").value(fit.fitted);
    auto fitted = [&](const char *name, double value) {
        figure_or_null(json, name, fit.fitted, value);
    };
    fitted("dj_ui", fit.dj);
    fitted("rj_ui", fit.rj);
    fitted("mu_left_ui", fit.mu_left);
    fitted("mu_right_ui", fit.mu_right);
    fitted("sigma_left_ui", fit.sigma_left);
    fitted("sigma_right_ui", fit.sigma_right);
    fitted("rho_left", fit.rho_left);
    fitted("rho_right", fit.rho_right);
    json.key("transition_density").value(fit.transition_density);
    fitted("tj_ui", results.total_jitter);
    json.key("tj_ber").value(setting.target_ber);
    json.key("histogram").begin_object();
    json.key("low_ui").value(tie.low);
    json.key("width_ui").value(tie.width);
    json.key("counts");
    counts(json, tie.counts);
    json.end_object();
    json.end_object();
    json.end_object();
}

// What a model reported in the output parameters of its AMI_GetWave calls:
// the counts, each series with its summary and its kept points as
// [call, time, value], and the texts.
void model_reports(JsonWriter &json, const ModelRecord *model) {
    if (model == nullptr || !model->has_get_wave || model->report_counts.calls == 0) {
        json.null();
        return;
    }
    const ModelReportCounts &counts = model->report_counts;
    json.begin_object();
    json.key("calls").value(counts.calls);
    json.key("without_text").value(counts.without_text);
    json.key("read").value(counts.read);
    json.key("unread").value(counts.unread);
    json.key("values_left_out").value(counts.values_left_out);
    json.key("texts_left_out").value(counts.texts_left_out);
    auto point = [&json](const char *name, const ReportPoint &p) {
        json.key(name).begin_object();
        json.key("call").value(p.call);
        json.key("time_s").value(p.time);
        json.key("value").value(p.value);
        json.end_object();
    };
    json.key("series").begin_array();
    for (const ReportSeries &series : model->reports) {
        const SeriesSummary &s = series.summary;
        json.begin_object();
        json.key("name").value(series.name);
        json.key("reports").value(series.reports);
        json.key("stride").value(series.stride);
        point("first", s.first);
        point("last", s.last);
        json.key("settled").value(s.settled);
        json.key("spread").value(s.spread);
        json.key("drift").value(s.drift);
        json.key("has_settled").value(s.has_settled);
        json.key("lowest").value(s.lowest);
        json.key("highest").value(s.highest);
        json.key("points").begin_array();
        for (const ReportPoint &p : series.points) {
            json.value(std::vector<double>{static_cast<double>(p.call), p.time, p.value});
        }
        json.end_array();
        json.end_object();
    }
    json.end_array();
    json.key("texts").begin_array();
    for (const ReportText &text : model->report_texts) {
        json.begin_object();
        json.key("text").value(text.text);
        json.key("count").value(text.count);
        json.key("first_call").value(text.first_call);
        json.key("last_call").value(text.last_call);
        json.end_object();
    }
    json.end_array();
    json.end_object();
}

}  // namespace

const char *amisim_version() {
    return AMISIM_VERSION;
}

std::string results_json(const RunSetting &setting, const RunResults &results,
                         const std::vector<std::string> &files) {
    JsonWriter json;
    json.begin_object();
    json.key("schema").value("amisim-results");
    json.key("schema_version").value(kResultsSchemaVersion);
    json.key("amisim_version").value(amisim_version());
    json.key("kind").value(setting.rx_path.empty() ? "model" : "link");
    json.key("complete").value(results.complete());
    json.key("status").value(results.status);
    json.key("failure");
    results.complete() ? json.null() : json.value(results.failure);
    json.key("failure_details");
    failure_details(json, results, setting);

    json.key("inputs").begin_object();
    json.key("transmitter");
    model_input(json, setting.model_path, setting.parameters, &results.transmitter);
    json.key("receiver");
    if (setting.rx_path.empty()) {
        json.null();
    } else {
        model_input(json, setting.rx_path, setting.rx_parameters,
                    results.receiver.has_value() ? &*results.receiver : nullptr);
    }
    json.key("channel");
    channel_input(json, setting);
    json.key("stimulus").begin_object();
    json.key("pattern").value("PRBS" + std::to_string(setting.prbs_order));
    json.key("prbs_order").value(setting.prbs_order);
    json.key("bits").value(setting.bits);
    json.key("levels").value(setting.levels);
    json.key("seed");
    setting.ber ? json.value(setting.seed) : json.null();
    json.end_object();
    json.key("impairments");
    impairments(json, setting, results);
    json.key("aggressors");
    aggressors(json, setting);
    json.key("sample_interval_s").value(setting.dt);
    json.key("samples_per_bit").value(setting.spb);
    json.key("bit_time_s").value(setting.dt * setting.spb);
    json.key("bits_per_call").value(static_cast<std::int64_t>(setting.bits_per_call));
    json.end_object();

    json.key("modulation");
    modulation(json, setting, results);

    json.key("messages");
    messages(json, results);

    const bool measured = results.after_tx_init.size() == setting.channel.columns.size() &&
                          (!results.link || results.after_rx.has_value());
    json.key("responses").begin_object();
    if (measured) {
        json.key("channel");
        response(json, results.link ? "channel" : "before AMI_Init", results.channel);
        json.key("after_tx_init");
        response(json, results.link ? "after Tx Init" : "after AMI_Init", results.after_tx);
        if (results.link) {
            json.key("after_rx_init");
            response(json, "after Rx Init", *results.after_rx);
        } else {
            json.key("post_cursor_change_db")
                .value(results.after_tx.post_db - results.channel.post_db);
        }
    }
    json.end_object();

    json.key("eyes").begin_object();
    if (results.streamed) {
        json.key("before_get_wave");
        eye(json, results.link ? "Rx input" : "before GetWave", "cursor", results.before_get_wave,
            results.pam_before, setting);
        if (results.after_get_wave.has_value()) {
            json.key("after_get_wave");
            eye(json, results.link ? "Rx output" : "after GetWave", "cursor",
                *results.after_get_wave, results.pam_after, setting);
        }
        if (results.at_clock.has_value()) {
            json.key("at_rx_clock");
            eye(json, "at Rx clock", "clock", *results.at_clock, results.pam_clock, setting);
        }
    }
    json.end_object();

    json.key("clock");
    if (results.link && results.streamed) {
        const ClockFigures &clock = results.clock;
        json.begin_object();
        json.key("ticks").value(clock.ticks);
        json.key("in_eye").value(clock.in_eye);
        json.key("rejected").value(clock.rejected);
        json.key("phase_mean_ui").value(clock.phase_mean);
        json.key("phase_spread_ui").value(clock.phase_spread);
        json.key("phase_lowest_ui").value(clock.phase_lowest);
        json.key("phase_highest_ui").value(clock.phase_highest);
        json.end_object();
    } else {
        json.null();
    }

    json.key("statistical_eye");
    statistical_eye(json, setting, results);
    json.key("error_rate");
    error_rate(json, setting, results);

    json.key("run").begin_object();
    const StreamResult &stream = results.stream;
    const double seconds = std::chrono::duration<double>(stream.total).count();
    json.key("seconds").value(seconds);
    json.key("samples").value(stream.samples);
    json.key("samples_per_second")
        .value(seconds > 0.0 ? static_cast<double>(stream.samples) / seconds : 0.0);
    json.key("convolution").value(stream.convolution == Convolution::kFft ? "fft" : "direct");
    json.key("settle_bits").value(results.settle_bits);
    json.key("fill_bits").value(results.fill_bits);
    json.key("get_wave").begin_object();
    // In a run of the model alone its AMI_GetWave follows the channel, in
    // the stream's receiver position.
    if (results.transmitter.has_get_wave) {
        json.key("transmitter");
        results.link ? get_wave_use(json, stream.transmitter_samples, stream.transmitter_calls,
                                    stream.in_transmitter)
                     : get_wave_use(json, stream.samples, stream.calls, stream.in_model);
    }
    if (results.receiver.has_value() && results.receiver->has_get_wave) {
        json.key("receiver");
        get_wave_use(json, stream.samples, stream.calls, stream.in_model);
    }
    json.end_object();
    json.end_object();

    json.key("reports").begin_object();
    json.key("transmitter");
    model_reports(json, results.transmitter.initialised ? &results.transmitter : nullptr);
    json.key("receiver");
    model_reports(json, results.receiver.has_value() ? &*results.receiver : nullptr);
    json.end_object();

    json.key("files").begin_array();
    for (const std::string &file : files) {
        json.value(file);
    }
    json.end_array();
    json.end_object();
    return json.text();
}

bool write_results_json(const RunSetting &setting, const RunResults &results,
                        const std::vector<std::string> &files, std::string &error) {
    const std::string path = setting.output_folder + "/results.json";
    std::FILE *file = std::fopen(path.c_str(), "w");
    if (file == nullptr) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    const std::string text = results_json(setting, results, files);
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    if (std::fclose(file) != 0 || !written) {
        error = path + ": write failed";
        return false;
    }
    std::printf("results:     %s\n", path.c_str());
    return true;
}

}  // namespace amisim
