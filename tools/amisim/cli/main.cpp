// amisim: runs an IBIS-AMI model the way a channel simulator does.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "tools/amisim/channel/channel_stream.h"
#include "tools/amisim/cli/options.h"
#include "tools/amisim/cli/run_setup.h"
#include "tools/amisim/models/channel_hand_over.h"
#include "tools/amisim/models/model_library.h"
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

// Loads the models and the channel, runs the pipeline and reports.
int run(const amisim::Options &options, amisim::RunSetting &setting) {
    std::string error;
    std::unique_ptr<amisim::ModelSession> transmitter =
        amisim::open_in_process(setting.model_path, error);
    if (transmitter == nullptr) {
        return fail(kBadInput, error);
    }
    if (!amisim::load_channel(options, setting, error)) {
        return fail(kBadInput, error);
    }
    if (!amisim::choose_parameters(setting.model_path, options.have_parameter_string,
                                   options.parameter_string, options.settings, setting,
                                   setting.parameters, error)) {
        return fail(kModelFailed, error);
    }
    std::unique_ptr<amisim::ModelSession> receiver;
    if (!setting.rx_path.empty()) {
        receiver = amisim::open_in_process(setting.rx_path, error);
        if (receiver == nullptr) {
            return fail(kBadInput, "the receiver " + error);
        }
        if (!amisim::choose_parameters(setting.rx_path, options.have_rx_parameter_string,
                                       options.rx_parameter_string, options.rx_settings, setting,
                                       setting.rx_parameters, error)) {
            return fail(kModelFailed, "the receiver: " + error);
        }
    }
    if (mkdir(setting.output_folder.c_str(), 0755) != 0 && errno != EEXIST) {
        return fail(kBadInput, setting.output_folder + ": " + std::strerror(errno));
    }
    amisim::print_setting(setting);
    PrintInitTexts printer;
    amisim::RunResults results;
    amisim::run_pipeline(setting, *transmitter, receiver.get(), results, &printer);
    transmitter.reset();
    receiver.reset();
    std::vector<std::string> files;
    if (results.complete()) {
        amisim::print_results(setting, results);
        if (!amisim::write_result_files(setting, results, files, error)) {
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
    amisim::ElfClass model_class = amisim::ElfClass::kNotElf;
    if (!amisim::choose_models(options, setting, model_class, error)) {
        return fail(kBadInput, error);
    }
    if (amisim::needs_converted_channel(model_class, options)) {
        return amisim::hand_over_with_converted_channel(model_class, setting.model_path, options,
                                                        argc, argv);
    }
    // Both models of the other word size: the other build runs the whole
    // link, with the same arguments (so the same --rx options).
    amisim::hand_over_if_other_architecture(model_class, setting.model_path, argc, argv);
    const int status = run(options, setting);
    amisim::release_fft_tables();
    return status;
}
