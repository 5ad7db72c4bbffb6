#include "tools/amisim/cli/run_setup.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>

#include "tools/amisim/channel/touchstone.h"
#include "tools/amisim/channel/touchstone_channel.h"
#include "tools/amisim/models/hosted_session.h"
#include "tools/amisim/models/parameter_lists.h"
#include "tools/amisim/stimulus/modulation.h"
#include "tools/amisim/stimulus/reserved_parameters.h"

namespace amisim {

namespace {

const char *word_size(ElfClass elf) {
    return elf == ElfClass::k32 ? "32" : "64";
}

// The kit's example receiver of the transmitter's word size, which the
// build puts beside the program.
std::string default_receiver(ElfClass transmitter) {
    return own_directory() + "/Example_Rx_" + word_size(transmitter) + ".so";
}

// A model's library: an ELF shared library of i386 or x86-64. Its class
// goes to elf.
bool check_library(const std::string &path, ElfClass &elf, std::string &error) {
    elf = inspect_elf(path, error);
    return elf == ElfClass::k32 || elf == ElfClass::k64;
}

// An aggressor's channel file: its columns join the channel's, placed on
// the channel's time axis (by their start times) and all padded with
// zeros to the longest.
bool add_aggressor(const std::string &file, const std::string &ports, RunSetting &setting,
                   std::string &error) {
    Channel aggressor;
    if (looks_like_touchstone(file)) {
        if (!read_touchstone_channel(file, ports, setting.dt, aggressor, error)) {
            return false;
        }
    } else {
        if (!read_channel_file(file, aggressor, error)) {
            return false;
        }
        const double file_dt = aggressor.sample_interval;
        if (file_dt > 0.0 && std::fabs(file_dt - setting.dt) > 1e-6 * setting.dt) {
            error = file + ": its time step " + std::to_string(file_dt) +
                    " s differs from the run's " + std::to_string(setting.dt) + " s";
            return false;
        }
    }
    Channel &channel = setting.channel;
    const long offset = std::lround((aggressor.start_time - channel.start_time) / setting.dt);
    for (auto &column : aggressor.columns) {
        std::vector<double> placed;
        if (offset >= 0) {
            placed.assign(static_cast<std::size_t>(offset), 0.0);
            placed.insert(placed.end(), column.begin(), column.end());
        } else if (static_cast<std::size_t>(-offset) < column.size()) {
            placed.assign(column.begin() - offset, column.end());
        }
        channel.columns.push_back(std::move(placed));
        setting.aggressor_files.push_back(file);
    }
    std::size_t longest = 0;
    for (const auto &column : channel.columns) {
        longest = std::max(longest, column.size());
    }
    for (auto &column : channel.columns) {
        column.resize(longest, 0.0);
    }
    std::istringstream lines(aggressor.description);
    std::string first_line;
    std::getline(lines, first_line);
    channel.description +=
        "\n            aggressor " + std::to_string(channel.columns.size() - 1) + ": " + first_line;
    for (const std::string &warning : aggressor.warnings) {
        channel.warnings.push_back(file + ": " + warning);
    }
    return true;
}

}  // namespace

bool choose_models(const Options &options, RunSetting &setting, std::string &error) {
    setting.model_path =
        !options.model.empty() ? options.model : own_directory() + "/Halvorin_7314_Tx_64.so";
    ElfClass transmitter = ElfClass::kNotElf;
    if (!check_library(setting.model_path, transmitter, error)) {
        return false;
    }
    if (!options.rx) {
        return true;
    }
    setting.rx_path = options.rx_model.empty() ? default_receiver(transmitter) : options.rx_model;
    if (options.rx_model.empty() && access(setting.rx_path.c_str(), R_OK) != 0) {
        error = "--rx without a file runs the kit's example receiver, but " + setting.rx_path +
                " is missing; build it (cmake --build, which puts it into dist/) or give --rx "
                "FILE";
        return false;
    }
    ElfClass receiver = ElfClass::kNotElf;
    if (!check_library(setting.rx_path, receiver, error)) {
        error = "the receiver " + error;
        return false;
    }
    return true;
}

std::unique_ptr<ModelSession> open_model(const Options &options, const std::string &path,
                                         std::string &error) {
    if (!options.in_process) {
        HostedOptions hosted;
        hosted.call_seconds = options.call_limit;
        hosted.init_seconds = 6.0 * options.call_limit;
        return open_hosted(path, hosted, error);
    }
    const ElfClass elf = inspect_elf(path, error);
    if (elf == ElfClass::k32) {
        error = "--in-process loads models into this x86-64 program, and " + path +
                " is a 32-bit library; leave --in-process out to run it in its 32-bit host";
        return nullptr;
    }
    return open_in_process(path, error);
}

bool load_channel(const Options &options, RunSetting &setting, std::string &error) {
    if (options.symbol_rate > 0.0 && options.sample_interval_given) {
        error = "--symbol-rate and --sample-interval both set the sample interval; give one";
        return false;
    }
    const bool interval_given = options.sample_interval_given || options.symbol_rate > 0.0;
    setting.dt = options.symbol_rate > 0.0 ? 1.0 / (options.symbol_rate * options.samples_per_bit)
                                           : options.sample_interval;
    setting.spb = options.samples_per_bit;
    setting.bits = options.bits;
    setting.bits_per_call = options.bits_per_call;
    setting.prbs_order = options.prbs_order;
    setting.convolution = options.convolution;
    setting.output_folder = options.output_folder;
    setting.waves = options.waves;
    setting.progress = true;
    setting.channel_file = options.channel_file;
    setting.channel_ports = options.channel_ports;
    const bool touchstone =
        !options.channel_file.empty() && looks_like_touchstone(options.channel_file);
    if (!options.channel_ports.empty() && !touchstone) {
        error = "--ports applies to Touchstone channels only";
        return false;
    }
    if (options.channel_file.empty()) {
        setting.channel_bits = options.channel_bits;
        setting.channel =
            default_channel(DefaultChannelShape{}, setting.dt,
                            static_cast<std::size_t>(options.channel_bits) * setting.spb);
    } else if (touchstone) {
        if (!read_touchstone_channel(options.channel_file, options.channel_ports, setting.dt,
                                     setting.channel, error)) {
            return false;
        }
    } else {
        if (!read_channel_file(options.channel_file, setting.channel, error)) {
            return false;
        }
        const double file_dt = setting.channel.sample_interval;
        if (file_dt > 0.0) {
            if (!interval_given) {
                setting.dt = file_dt;
            } else if (std::fabs(file_dt - setting.dt) > 1e-6 * setting.dt) {
                error = options.channel_file + ": its time step " + std::to_string(file_dt) +
                        " s differs from " +
                        (options.symbol_rate > 0.0 ? "the sample interval of --symbol-rate "
                                                   : "--sample-interval ") +
                        std::to_string(setting.dt) + " s";
                return false;
            }
        }
    }
    setting.aggressor_ports = options.aggressor_ports;
    for (const std::string &file : options.aggressors) {
        if (!add_aggressor(file, options.aggressor_ports, setting, error)) {
            return false;
        }
    }
    return true;
}

bool choose_parameters(const Options &options, const std::string &model_path, bool have_string,
                       const std::string &string,
                       const std::vector<std::pair<std::string, std::string>> &settings,
                       const RunSetting &setting, std::string &parameters,
                       std::optional<ModelFailure> &failure, std::string &error) {
    if (have_string) {
        parameters = string;
        return true;
    }
    // AMI_Init with an empty parameter string, on a short impulse, to read
    // the root name from the echo; the echo holds the model's defaults.
    std::unique_ptr<ModelSession> model = open_model(options, model_path, error);
    if (model == nullptr) {
        return false;
    }
    InitRequest request;
    request.impulse_matrix.assign(static_cast<std::size_t>(setting.spb) * 4, 0.0);
    request.impulse_matrix[0] = 1.0 / setting.dt;
    request.row_size = static_cast<long>(request.impulse_matrix.size());
    request.sample_interval = setting.dt;
    request.bit_time = setting.dt * setting.spb;
    InitReply reply;
    if (!model->init(request, reply, error)) {
        if (model->failure() != nullptr) {
            failure = *model->failure();
        }
        return false;
    }
    std::string close_error;
    model->close(close_error);
    if (reply.status == 0) {
        error =
            "the model's AMI_Init returned 0 (failure) when asked for its root name with an "
            "empty parameter string; its message: " +
            (reply.message.present ? reply.message.text : std::string("(none)"));
        return false;
    }
    const std::string echo = reply.parameters_out.text;
    const std::string root = root_name_of(echo);
    if (root.empty()) {
        error = "the model's echo names no root to put --set parameters under; use --params";
        return false;
    }
    parameters = parameter_string_for(root, echo, settings);
    return true;
}

namespace {

// The text of the .ami file a simulator reads beside a library; "" for none.
std::string ami_text_beside(const std::string &library, std::string &path) {
    for (const std::string &candidate : ami_files_beside(library)) {
        std::ifstream in(candidate);
        if (in) {
            std::ostringstream text;
            text << in.rdbuf();
            path = candidate;
            return text.str();
        }
    }
    path.clear();
    return "";
}

// The value a parameter string (--params) gives a parameter under its
// root; false where it gives none.
bool value_in_string(const std::string &string, const std::string &name, std::string &value) {
    std::string error;
    const std::unique_ptr<ParameterList> top = read_parameter_lists(string, error);
    if (top == nullptr || top->children.empty()) {
        return false;
    }
    const ParameterList *parameter = top->children.front()->child(name);
    if (parameter == nullptr || parameter->values.empty()) {
        return false;
    }
    value = parameter->values.front();
    return true;
}

// Tells a model the run's modulation through the parameter its file ties
// to it (see find_modulation_parameter), as a simulator passes the user's
// choice on: the setting goes to added unless the command line gives the
// parameter itself; the notes say what was done or what disagrees.
void tell_model(const char *who, const std::string &ami_text, int levels,
                const std::vector<std::pair<std::string, std::string>> &settings,
                const std::string *parameter_string,
                std::vector<std::pair<std::string, std::string>> &added,
                std::vector<std::string> &notes) {
    ModulationParameter parameter;
    if (!find_modulation_parameter(ami_text, parameter)) {
        return;
    }
    const std::string modulation = modulation_name(levels);
    const std::string label = std::string(who) + " " + parameter.name;
    std::string value;
    bool given = false;
    for (const auto &[name, set] : settings) {
        if (name == parameter.name) {
            value = set;
            given = true;
        }
    }
    if (parameter_string != nullptr) {
        given = value_in_string(*parameter_string, parameter.name, value);
        if (!given) {
            value = parameter.declared;
        }
    }
    const auto named = std::find(parameter.levels.begin(), parameter.levels.end(), levels);
    if (given || parameter_string != nullptr) {
        if (value != modulation) {
            notes.push_back(label + " is " + value + " (" +
                            (parameter_string != nullptr ? "the parameter string's" : "as given") +
                            "), but the run is " + modulation);
        }
    } else if (named == parameter.levels.end()) {
        notes.push_back(label + " offers no " + modulation + "; left at " + parameter.declared);
    } else {
        value = parameter.values[static_cast<std::size_t>(named - parameter.levels.begin())];
        if (value != parameter.declared) {
            added.emplace_back(parameter.name, value);
            notes.push_back(label + " set to " + value +
                            ", the run's modulation, as a simulator passes it on");
        }
    }
}

}  // namespace

bool choose_modulation(const Options &options, RunSetting &setting, ModelSettings &told,
                       std::string &error) {
    std::string tx_file;
    std::string rx_file;
    const std::string tx_text = ami_text_beside(setting.model_path, tx_file);
    const std::string rx_text =
        setting.rx_path.empty() ? std::string() : ami_text_beside(setting.rx_path, rx_file);
    ModulationSetting modulation =
        combine_modulations(tx_file.empty() ? ModulationSetting{} : read_modulation(tx_text),
                            rx_file.empty() ? ModulationSetting{} : read_modulation(rx_text));
    ModulationOverride command_line;
    command_line.levels = options.modulation_levels;
    command_line.mapping_given = options.mapping_given;
    command_line.mapping = options.mapping;
    command_line.thresholds = options.thresholds;
    if (!override_modulation(command_line, modulation, error)) {
        error = "the modulation: " + error;
        return false;
    }
    setting.levels = pam_levels(modulation.levels);
    setting.mapping = modulation.mapping;
    setting.thresholds = modulation.thresholds;
    if (setting.thresholds.empty() && modulation.levels == 2) {
        setting.thresholds = {0.0};  // NRZ decides half-way between its levels
    }
    if (!modulation.eye_offsets.empty()) {
        setting.eye_offsets =
            eye_offsets_in_samples(modulation, setting.dt * setting.spb, setting.spb);
    }
    setting.modulation_source = modulation.source;
    setting.thresholds_source = modulation.thresholds_source;
    setting.modulation_notes = modulation.notes;
    tell_model("the transmitter's", tx_text, modulation.levels, options.settings,
               options.have_parameter_string ? &options.parameter_string : nullptr, told.tx,
               setting.modulation_notes);
    if (!setting.rx_path.empty()) {
        tell_model("the receiver's", rx_text, modulation.levels, options.rx_settings,
                   options.have_rx_parameter_string ? &options.rx_parameter_string : nullptr,
                   told.rx, setting.modulation_notes);
    }
    return true;
}

bool choose_impairments(const Options &options, RunSetting &setting, std::string &error) {
    setting.ber = options.ber;
    setting.input_noise = options.input_noise;
    setting.seed = options.seed;
    setting.target_ber = options.target_ber;
    const double unit_interval = setting.dt * setting.spb;
    std::vector<std::string> libraries{setting.model_path};
    if (!setting.rx_path.empty()) {
        libraries.push_back(setting.rx_path);
    }
    for (const std::string &library : libraries) {
        for (const std::string &candidate : ami_files_beside(library)) {
            std::ifstream in(candidate);
            if (!in) {
                continue;
            }
            std::ostringstream text;
            text << in.rdbuf();
            const ReservedReading reading = read_reserved_parameters(text.str());
            for (const std::string &line :
                 apply_reserved(reading, unit_interval, setting.impairments)) {
                setting.impairment_notes.push_back(line + " from " + candidate);
                setting.ber = true;
            }
            for (const std::string &note : reading.notes) {
                setting.impairment_notes.push_back(candidate + ": " + note);
            }
            break;
        }
    }
    ReservedReading overrides;
    overrides.values = options.impairments;
    for (const std::string &line : apply_reserved(overrides, unit_interval, setting.impairments)) {
        setting.impairment_notes.push_back(line);
    }
    for (const auto &[jitter, side] :
         {std::pair{&setting.impairments.tx, "tx"}, std::pair{&setting.impairments.rx, "rx"}}) {
        if (jitter->sj > 0.0 && !(jitter->sj_frequency > 0.0)) {
            error = std::string("sinusoidal jitter needs its frequency: give --") + side +
                    "-sj-frequency";
            return false;
        }
    }
    return true;
}

}  // namespace amisim
