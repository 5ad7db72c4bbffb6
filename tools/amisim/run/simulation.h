// What a run of the stand-in does whether it runs the model alone or the
// whole link: the setting (channel, sample interval, parameter strings), a
// model instance from AMI_Init to AMI_Close, AMI_Init over a set of impulse
// responses, the stream's settings, the responses as CSV, the texts of the
// pictures and the report page, and the exit status with its message.
#ifndef AMISIM_SIMULATION_H
#define AMISIM_SIMULATION_H

#include <cstdint>
#include <string>
#include <vector>

#include "tools/amisim/analysis/eye.h"
#include "tools/amisim/analysis/response_figures.h"
#include "tools/amisim/channel/channel.h"
#include "tools/amisim/cli/options.h"
#include "tools/amisim/models/model_library.h"
#include "tools/amisim/run/stream.h"

namespace amisim {

inline constexpr int kBadInput = 2;
inline constexpr int kModelFailed = 1;

// Prints the message on stderr; returns status.
int fail(int status, const std::string &message);

// Prints a text the model returned, or says that it returned none.
void print_model_text(const char *label, const char *text);

// Responses as CSV: a time column, then one column each.
bool write_columns(const std::string &path, const std::string &header, double sample_interval,
                   const std::vector<const std::vector<double> *> &columns, std::string &error);
std::string impulse_header(std::size_t columns);

// The simulation's setting: the channel and the models' parameter strings.
struct Setting {
    amisim::Channel channel;
    double dt = 0.0;
    int spb = 0;
    std::string parameters;
    std::string rx_path;  // empty: no receiver
    std::string rx_parameters;
};

// One model instance from a successful AMI_Init to AMI_Close.
class Instance {
  public:
    explicit Instance(const amisim::ModelLibrary &model) : model_(model) {}
    ~Instance() {
        if (memory != nullptr) {
            model_.close(memory);
        }
    }
    Instance(const Instance &) = delete;
    Instance &operator=(const Instance &) = delete;

    void *memory = nullptr;

  private:
    const amisim::ModelLibrary &model_;
};

// AMI_Init with the impulse responses, one column after another; returns
// the responses as the model left them. who ("" or "Tx ", "Rx ") heads the
// model's texts.
bool call_init(const ModelLibrary &model, const std::string &who,
               const std::vector<std::vector<double>> &columns, const std::string &parameters,
               const Setting &setting, Instance &instance, std::vector<std::vector<double>> &after,
               std::string &error);

// The channel's memory fills after as many bits as it is long.
std::int64_t fill_bits(const Setting &setting);

// The stream's settings: the through channel as taps, each eye centred on
// its own pulse response's main cursor and scaled by its largest possible
// swing.
StreamSetup stream_setup(const Options &options, const Setting &setting,
                         const ResponseFigures &before, const ResponseFigures &after);

// The rate line of the pictures' subtitles, an eye picture's subtitle, and
// the lines of the setting at the head of the report page.
std::string rate_text(const Options &options, const Setting &setting);
std::string eye_subtitle(const Options &options, const Setting &setting, const EyeFigures &figures,
                         const char *reference);
std::vector<std::string> page_setting(const Options &options, const Setting &setting,
                                      const std::string &model_path);

}  // namespace amisim

#endif  // AMISIM_SIMULATION_H
