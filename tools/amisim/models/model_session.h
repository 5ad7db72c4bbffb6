// One AMI model from AMI_Init to AMI_Close, wherever it runs: loaded into
// this process, or in a host process of its own word size. The pipeline
// calls models only through this interface.
//
// AMI_GetWave is split in two so that a model in another process works on
// one block while the pipeline works on the previous one: start_get_wave()
// hands a block over, finish_get_wave() waits for the model and takes the
// block back. A model loaded into this process runs the call in
// finish_get_wave(); the results are the same either way.
//
// A call that the model answers (with 1 or with 0) returns true, and the
// model's own result is in the reply's status. A call that the model does
// not answer (it crashed, exited, hung past its limit, or wrote outside the
// arrays it was given) returns false with a message that names the model,
// the entry point, the call and what happened; the session is then dead,
// failure() holds the details, and every later call fails at once.
#ifndef AMISIM_MODEL_SESSION_H
#define AMISIM_MODEL_SESSION_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tools/amisim/models/model_failure.h"
#include "tools/amisim/models/model_library.h"

namespace amisim {

// A text a model returned: absent (a null pointer) or the characters.
struct ModelText {
    bool present = false;
    std::string text;
};

struct InitRequest {
    // row_size * (aggressors + 1) samples (1/s), the through response first;
    // the model's output replaces them.
    std::vector<double> impulse_matrix;
    long row_size = 0;
    long aggressors = 0;
    double sample_interval = 0.0;
    double bit_time = 0.0;
    std::string parameters_in;
};

struct InitReply {
    long status = 0;  // what AMI_Init returned: 1 success, 0 failure
    ModelText parameters_out;
    ModelText message;
};

struct GetWaveReply {
    long status = 0;  // what AMI_GetWave returned
    ModelText parameters_out;
};

class ModelSession {
  public:
    virtual ~ModelSession() = default;
    ModelSession() = default;
    ModelSession(const ModelSession &) = delete;
    ModelSession &operator=(const ModelSession &) = delete;

    // The model's file, as the user gave it.
    virtual const std::string &path() const = 0;
    // False when the model exports no AMI_GetWave (the standard allows it).
    virtual bool has_get_wave() const = 0;
    // True when the model runs in a process of its own, so that it works on
    // a block while this process goes on.
    virtual bool in_another_process() const = 0;

    // AMI_Init with request.impulse_matrix, which holds the model's output
    // afterwards. False (with error) when the model did not answer.
    virtual bool init(InitRequest &request, InitReply &reply, std::string &error) = 0;

    // Hands count samples to AMI_GetWave, with room for clock_room clock
    // times (the model may write clock_room - 1 ticks and the -1 after
    // them). wave must stay as it is until finish_get_wave(). At most one
    // call is outstanding. False (with error) when the session is dead.
    virtual bool start_get_wave(const double *wave, std::size_t count, std::size_t clock_room,
                                std::string &error) = 0;
    // Waits for the call start_get_wave() began; the samples the model
    // returned go to wave (count of them; it may be the array given to
    // start_get_wave) and its clock times, clock_room of them (all -1
    // before the call), to clock_times (null when the caller wants none).
    virtual bool finish_get_wave(double *wave, double *clock_times, GetWaveReply &reply,
                                 std::string &error) = 0;

    // AMI_Close, if AMI_Init gave the model an instance. False (with error)
    // when the model did not answer; the session is released either way.
    virtual bool close(std::string &error) = 0;

    // The last text the model returned (its AMI_Init message, or the output
    // parameters of a later call), for reports of a call that failed.
    virtual const std::string &last_message() const = 0;

    // What ended the session, once a call has returned false because the
    // model did not answer; null while it lives. (A model in this process
    // that fails so takes the process with it.)
    virtual const ModelFailure *failure() const { return nullptr; }
};

// The model loaded into this process with dlopen: for debugging a model
// under a debugger or valgrind. Null with error when it cannot be loaded.
std::unique_ptr<ModelSession> open_in_process(const std::string &path, std::string &error);

}  // namespace amisim

#endif  // AMISIM_MODEL_SESSION_H
