// What ended a model's session when the model did not answer a call: the
// fields a report needs, and the sentence that tells them.
#ifndef AMISIM_MODEL_FAILURE_H
#define AMISIM_MODEL_FAILURE_H

#include <cstddef>
#include <string>

namespace amisim {

struct ModelFailure {
    enum class Kind {
        kSignal,     // ended by a signal (a crash, abort)
        kExit,       // exited in the middle of the call
        kHang,       // did not return within its time limit, and was killed
        kOverrun,    // wrote past the end of an array it was given
        kHostError,  // its host could not serve the call (detail says why)
    };
    Kind kind = Kind::kHostError;
    std::string entry;           // "AMI_Init", "AMI_GetWave", "AMI_Close", or "loading"
    long call = 0;               // which call of the entry point, from 1
    std::size_t samples = 0;     // the call's block, or the impulse matrix of AMI_Init
    int signal = 0;              // kSignal
    int exit_status = 0;         // kExit
    double limit_seconds = 0;    // kHang
    std::string array;           // kOverrun: "wave", "clock_times" or "impulse_matrix"
    std::size_t array_size = 0;  // kOverrun: the elements the array had room for
    std::string detail;          // kHostError
    std::string last_message;    // the model's last text before the call
};

// One sentence: the model's file, the entry point, the call, what
// happened, and the model's last message.
std::string describe(const ModelFailure &failure, const std::string &model_path);

}  // namespace amisim

#endif  // AMISIM_MODEL_FAILURE_H
