#include "tools/amisim/report/summary.h"

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

namespace amisim {

namespace {

void row(const char *label, const char *format, double before, double after) {
    std::printf("  %-30s", label);
    std::printf(format, before);
    std::printf(format, after);
    std::printf("\n");
}

// A figure before the model and, when there is one, after it.
void eye_row(const char *label, const char *format, double before, const EyeFigures *after,
             double after_value) {
    std::printf("  %-30s", label);
    std::printf(format, before);
    if (after == nullptr) {
        std::printf("%16s", "n/a");
    } else {
        std::printf(format, after_value);
    }
    std::printf("\n");
}

double power_db(double ratio) {
    return ratio > 0.0 ? 10.0 * std::log10(ratio) : -HUGE_VAL;
}

}  // namespace

double slot_ui(int slot, int samples_per_bit) {
    return static_cast<double>(slot_offset(slot, samples_per_bit)) / samples_per_bit;
}

void print_response_summary(const ResponseFigures &before, const ResponseFigures &after) {
    std::printf("\npulse response                  before AMI_Init  after AMI_Init\n");
    row("impulse peak (1/s)", "%16.6g", before.peak, after.peak);
    row("impulse area (DC gain)", "%16.6g", before.area, after.area);
    row("main cursor", "%16.6g", before.main_cursor, after.main_cursor);
    row("first pre-cursor", "%16.6g", before.first_pre, after.first_pre);
    row("first post-cursor", "%16.6g", before.first_post, after.first_post);
    row("pre/main cursor (dB)", "%16.2f", before.pre_db, after.pre_db);
    row("post/main cursor (dB)", "%16.2f", before.post_db, after.post_db);
    row("MAX: largest level", "%16.6g", before.max_level, after.max_level);
    row("PDA: peak-distortion eye", "%16.6g", before.pda, after.pda);
    row("SNR: main lobe / ISI (dB)", "%16.2f", power_db(before.snr), power_db(after.snr));
    std::printf("  change in first post-cursor relative to the main cursor: %+.2f dB\n",
                after.post_db - before.post_db);
}

void print_eye_summary(const EyeFigures &before, const EyeFigures *after, int samples_per_bit,
                       double sample_interval, std::int64_t bits, std::int64_t settle_bits,
                       std::int64_t fill_bits) {
    std::printf("\neye over 2 UI                   before GetWave   after GetWave\n");
    if (settle_bits < fill_bits) {
        std::printf(
            "  (%lld bits; the first %lld left out, fewer than the %lld the channel needs to "
            "fill: the eye is too open)\n",
            static_cast<long long>(bits), static_cast<long long>(settle_bits),
            static_cast<long long>(fill_bits));
    } else {
        std::printf("  (%lld bits; the first %lld left out while the channel fills)\n",
                    static_cast<long long>(bits), static_cast<long long>(settle_bits));
    }
    if (!before.measured || (after != nullptr && !after->measured)) {
        std::printf("  n/a: too few bits after the channel settles\n");
        return;
    }
    const int spb = samples_per_bit;
    const double ui_ps = spb * sample_interval * 1e12;
    const EyeFigures none;
    const EyeFigures &other = after == nullptr ? none : *after;
    eye_row("best phase (UI from cursor)", "%+16.3f", slot_ui(before.best_slot, spb), after,
            slot_ui(other.best_slot, spb));
    eye_row("eye height at best phase (V)", "%16.6g", before.height, after, other.height);
    eye_row("eye width (UI)", "%16.3f", before.width / spb, after, other.width / spb);
    eye_row("eye width (ps)", "%16.2f", before.width / spb * ui_ps, after,
            other.width / spb * ui_ps);
    std::printf("  bathtub: eye height (V) at phase (UI from cursor)\n");
    const std::vector<int> slots{0, spb / 4, spb / 2, (3 * spb) / 4, spb - 1};
    int previous = -1;
    for (int slot : slots) {
        if (slot == previous || slot < 0 || slot >= spb) {
            continue;
        }
        previous = slot;
        char label[32];
        std::snprintf(label, sizeof label, "  %+.3f", slot_ui(slot, spb));
        const auto s = static_cast<std::size_t>(slot);
        eye_row(label, "%16.6g", before.bathtub[s], after,
                after == nullptr ? 0.0 : after->bathtub[s]);
    }
}

void print_run_summary(const StreamResult &result, bool has_model) {
    const double seconds = std::chrono::duration<double>(result.total).count();
    const double samples = static_cast<double>(result.samples);
    std::printf("\nrun: %llu samples through the channel (%s) in %.2f s, %.3g samples/s\n",
                static_cast<unsigned long long>(result.samples),
                result.convolution == Convolution::kFft ? "FFT overlap-add" : "direct sums",
                seconds, seconds > 0.0 ? samples / seconds : 0.0);
    if (!has_model) {
        std::printf("AMI_GetWave: the model has none; the waveform was not processed\n");
        return;
    }
    const double ns = std::chrono::duration<double, std::nano>(result.in_model).count();
    std::printf("AMI_GetWave: %llu samples in %llu call%s, %.2f ns/sample\n",
                static_cast<unsigned long long>(result.samples),
                static_cast<unsigned long long>(result.calls), result.calls == 1 ? "" : "s",
                samples > 0.0 ? ns / samples : 0.0);
}

void print_link_run_summary(const StreamResult &result, bool transmitter_has_get_wave,
                            bool receiver_has_get_wave) {
    const double seconds = std::chrono::duration<double>(result.total).count();
    const double samples = static_cast<double>(result.samples);
    std::printf("\nrun: %llu samples through the channel (%s) in %.2f s, %.3g samples/s\n",
                static_cast<unsigned long long>(result.samples),
                result.convolution == Convolution::kFft ? "FFT overlap-add" : "direct sums",
                seconds, seconds > 0.0 ? samples / seconds : 0.0);
    auto model_line = [](const char *who, bool has, std::uint64_t count, std::uint64_t calls,
                         std::chrono::steady_clock::duration time) {
        if (!has) {
            std::printf("%s AMI_GetWave: the model has none\n", who);
            return;
        }
        const double ns = std::chrono::duration<double, std::nano>(time).count();
        std::printf("%s AMI_GetWave: %llu samples in %llu call%s, %.2f ns/sample\n", who,
                    static_cast<unsigned long long>(count), static_cast<unsigned long long>(calls),
                    calls == 1 ? "" : "s", count > 0 ? ns / static_cast<double>(count) : 0.0);
    };
    model_line("Tx", transmitter_has_get_wave, result.transmitter_samples, result.transmitter_calls,
               result.in_transmitter);
    model_line("Rx", receiver_has_get_wave, result.samples, result.calls, result.in_model);
}

std::string settle_note(std::int64_t settle_bits, std::int64_t fill_bits, std::int64_t bits,
                        const char *unit) {
    char line[256];
    if (settle_bits < fill_bits) {
        std::snprintf(line, sizeof line,
                      "%lld %s; the first %lld left out, fewer than the %lld the channel needs "
                      "to fill: the eye is too open",
                      static_cast<long long>(bits), unit, static_cast<long long>(settle_bits),
                      static_cast<long long>(fill_bits));
    } else {
        std::snprintf(line, sizeof line, "%lld %s; the first %lld left out while the channel fills",
                      static_cast<long long>(bits), unit, static_cast<long long>(settle_bits));
    }
    return line;
}

std::vector<std::string> link_notes(const ClockFigures &clock, bool receiver_has_get_wave,
                                    bool transmitter_has_get_wave, std::int64_t settle_bits,
                                    std::int64_t fill_bits, std::int64_t bits, const char *unit) {
    std::vector<std::string> notes;
    char line[256];
    notes.push_back(settle_note(settle_bits, fill_bits, bits, unit));
    notes.emplace_back(
        "phases from the main cursor of the response up to each point, or from the "
        "receiver's sampling instant (its tick + 1/2 UI)");
    if (!transmitter_has_get_wave) {
        notes.emplace_back(
            "the transmitter has no AMI_GetWave: the waveform goes through the "
            "response its AMI_Init returned");
    }
    if (!receiver_has_get_wave) {
        notes.emplace_back("the receiver has no AMI_GetWave: no eye after it");
        return notes;
    }
    if (clock.in_eye == 0) {
        std::snprintf(line, sizeof line,
                      "Rx clock: %llu ticks returned, none in the eye; the eye after the receiver "
                      "is taken at its best phase",
                      static_cast<unsigned long long>(clock.ticks));
        notes.emplace_back(line);
    } else {
        std::snprintf(line, sizeof line,
                      "Rx clock: %llu ticks returned, %llu sampling instants in the eye",
                      static_cast<unsigned long long>(clock.ticks),
                      static_cast<unsigned long long>(clock.in_eye));
        notes.emplace_back(line);
        std::snprintf(line, sizeof line,
                      "Rx sampling phase from the bit grid: mean %+.4f UI, spread %.4f UI rms, "
                      "%+.4f to %+.4f UI",
                      clock.phase_mean, clock.phase_spread, clock.phase_lowest,
                      clock.phase_highest);
        notes.emplace_back(line);
    }
    if (clock.rejected > 0) {
        std::snprintf(line, sizeof line,
                      "Rx clock: %llu ticks ignored (not after the previous one, too near the "
                      "start for a window, or past their block)",
                      static_cast<unsigned long long>(clock.rejected));
        notes.emplace_back(line);
    }
    return notes;
}

bool write_bathtub_csv(const std::string &path, const EyeFigures &before, const EyeFigures *after,
                       int samples_per_bit, std::string &error, const EyeFigures *at_clock) {
    std::vector<std::pair<std::string, const EyeFigures *>> columns{{"before_V", &before}};
    if (after != nullptr) {
        columns.emplace_back("after_V", after);
    }
    if (at_clock != nullptr) {
        columns.emplace_back("at_clock_V", at_clock);
    }
    return write_bathtub_columns(path, columns, samples_per_bit, error);
}

bool write_bathtub_columns(const std::string &path,
                           const std::vector<std::pair<std::string, const EyeFigures *>> &columns,
                           int samples_per_bit, std::string &error) {
    std::FILE *file = std::fopen(path.c_str(), "w");
    if (file == nullptr) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    std::fputs("phase_ui,offset_samples", file);
    for (const auto &column : columns) {
        std::fprintf(file, ",%s", column.first.c_str());
    }
    std::fputc('\n', file);
    for (int s = 0; s < samples_per_bit; ++s) {
        const auto i = static_cast<std::size_t>(s);
        std::fprintf(file, "%.6g,%d", slot_ui(s, samples_per_bit), slot_offset(s, samples_per_bit));
        for (const auto &column : columns) {
            std::fprintf(file, ",%.17g", column.second->bathtub[i]);
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
