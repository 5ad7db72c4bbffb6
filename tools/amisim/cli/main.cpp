// amisim: runs an IBIS-AMI model the way a channel simulator does.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tools/amisim/channel/channel_stream.h"
#include "tools/amisim/cli/options.h"
#include "tools/amisim/cli/run_setup.h"
#include "tools/amisim/models/model_session.h"
#include "tools/amisim/report/results_json.h"
#include "tools/amisim/report/run_report.h"
#include "tools/amisim/run/pipeline.h"

namespace {

using amisim::kBadInput;
using amisim::kModelFailed;

int fail(int status, const std::string &message) {
    std::fprintf(stderr, "amisim: error: %s\n", message.c_str());
    return status;
}

// Prints each model's texts as its AMI_Init answers.
class PrintInitTexts final : public amisim::PipelineObserver {
  public:
    void initialised(const amisim::ModelRecord &model, bool link) override {
        amisim::print_init_texts(model, link);
    }
};

// The output folder, made when it is not there yet.
bool make_folder(const std::string &folder, std::string &error) {
    if (mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST) {
        error = folder + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

// A model that failed before the run: results.json says so, with what
// happened when the model did not answer.
int stop_early(const amisim::RunSetting &setting, const std::string &role,
               std::optional<amisim::ModelFailure> failure, const std::string &message) {
    amisim::RunResults results;
    results.status = kModelFailed;
    results.failure = message;
    if (failure.has_value()) {
        results.failed_model = role;
        results.model_failure = std::move(failure);
    }
    std::string error;
    if (!make_folder(setting.output_folder, error) ||
        !amisim::write_results_json(setting, results, {}, error)) {
        fail(kBadInput, error);
    }
    return fail(kModelFailed, message);
}

// Loads the models and the channel, runs the pipeline and reports.
int run(const amisim::Options &options, amisim::RunSetting &setting) {
    std::string error;
    std::unique_ptr<amisim::ModelSession> transmitter =
        amisim::open_model(options, setting.model_path, error);
    if (transmitter == nullptr) {
        return fail(kBadInput, error);
    }
    if (!amisim::load_channel(options, setting, error)) {
        return fail(kBadInput, error);
    }
    // The modulation first: a model may have to be told it in its parameters.
    amisim::ModelSettings told;
    if (!amisim::choose_modulation(options, setting, told, error)) {
        return fail(kBadInput, error);
    }
    auto with_told = [](std::vector<std::pair<std::string, std::string>> settings,
                        const std::vector<std::pair<std::string, std::string>> &added) {
        settings.insert(settings.end(), added.begin(), added.end());
        return settings;
    };
    std::optional<amisim::ModelFailure> failure;
    if (!amisim::choose_parameters(options, setting.model_path, options.have_parameter_string,
                                   options.parameter_string, with_told(options.settings, told.tx),
                                   setting, setting.parameters, failure, error)) {
        return stop_early(setting, "transmitter", failure, error);
    }
    std::unique_ptr<amisim::ModelSession> receiver;
    if (!setting.rx_path.empty()) {
        receiver = amisim::open_model(options, setting.rx_path, error);
        if (receiver == nullptr) {
            return fail(kBadInput, "the receiver " + error);
        }
        if (!amisim::choose_parameters(options, setting.rx_path, options.have_rx_parameter_string,
                                       options.rx_parameter_string,
                                       with_told(options.rx_settings, told.rx), setting,
                                       setting.rx_parameters, failure, error)) {
            return stop_early(setting, "receiver", failure, "the receiver: " + error);
        }
    }
    if (!amisim::choose_impairments(options, setting, error)) {
        return fail(kBadInput, error);
    }
    if (!make_folder(setting.output_folder, error)) {
        return fail(kBadInput, error);
    }
    amisim::print_setting(setting);
    PrintInitTexts printer;
    amisim::RunResults results;
    const amisim::ModelOpener opener = [&options](const std::string &path, std::string &why) {
        return amisim::open_model(options, path, why);
    };
    amisim::run_pipeline(setting, *transmitter, receiver.get(), results, &printer, opener);
    transmitter.reset();
    receiver.reset();
    // A run that stopped in the stream still reports what it measured.
    std::vector<std::string> files;
    if (results.streamed) {
        if (!results.complete()) {
            std::printf("\nincomplete: %s\n", results.failure.c_str());
        }
        amisim::print_results(setting, results);
        if (!amisim::write_result_files(setting, results, files, error) && results.complete()) {
            results.status = kBadInput;
            results.failure = error;
        }
    }
    if (!amisim::write_results_json(setting, results, files, error)) {
        return fail(kBadInput, error);
    }
    if (!results.complete()) {
        return fail(results.status, results.failure);
    }
    return 0;
}

}  // namespace

int main(int argc, char **argv) {
    amisim::Options options;
    std::string error;
    if (!amisim::parse_options(argc, argv, options, error)) {
        std::fprintf(stderr, "amisim: error: %s\nTry 'amisim --help'.\n", error.c_str());
        return kBadInput;
    }
    if (options.help) {
        std::fputs(amisim::usage().c_str(), stdout);
        return 0;
    }
    amisim::RunSetting setting;
    if (!amisim::choose_models(options, setting, error)) {
        return fail(kBadInput, error);
    }
    const int status = run(options, setting);
    amisim::release_fft_tables();
    return status;
}
