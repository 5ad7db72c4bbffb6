// The stand-in's one pipeline: the models' AMI_Init on the channel's
// impulse responses, the stimulus streamed block by block through the
// models' AMI_GetWave and the channel into the eyes, and the figures of it
// all. The receiver stage is optional: without it the model runs alone and
// its AMI_GetWave follows the channel (for a linear model the order does not
// change the waveform); with it the transmitter's AMI_GetWave comes before
// the channel and the receiver's after it, whose clock ticks place a third
// eye.
#ifndef AMISIM_PIPELINE_H
#define AMISIM_PIPELINE_H

#include <functional>
#include <memory>
#include <string>

#include "tools/amisim/models/model_session.h"
#include "tools/amisim/run/run_results.h"
#include "tools/amisim/run/run_setting.h"

namespace amisim {

// Told of each model's AMI_Init as soon as it has answered, before the
// stream starts (the command line prints the model's texts then).
class PipelineObserver {
  public:
    virtual ~PipelineObserver() = default;
    virtual void initialised(const ModelRecord &model, bool link) = 0;
};

// Opens another instance of a model, as the run's own were opened: the
// aggressors' transmitters and the receiver measured alone. Null with the
// message.
using ModelOpener =
    std::function<std::unique_ptr<ModelSession>(const std::string &path, std::string &error)>;

// Runs the pipeline with the transmitter and, when receiver is not null,
// the receiver. Returns results.status: 0 when the run finished, else
// kModelFailed or kBadInput with results.failure, the figures holding what
// was found before it stopped. observer may be null; without an opener,
// further instances are loaded into this process.
int run_pipeline(const RunSetting &setting, ModelSession &transmitter, ModelSession *receiver,
                 RunResults &results, PipelineObserver *observer = nullptr,
                 const ModelOpener &opener = {});

}  // namespace amisim

#endif  // AMISIM_PIPELINE_H
