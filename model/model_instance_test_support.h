// One model instance from AMI_Init to AMI_Close, for tests that drive the
// entry points as a simulator does.
#ifndef AMI_MODEL_MODEL_INSTANCE_TEST_SUPPORT_H
#define AMI_MODEL_MODEL_INSTANCE_TEST_SUPPORT_H

#include <cstring>
#include <string>
#include <vector>

#include "Halvorin_7314_Tx.h"

class ModelInstance {
  public:
    // parameters may be null; the impulse responses, when given, are
    // aggressors + 1 rows of row_size samples.
    explicit ModelInstance(const char *parameters, std::vector<double> *impulse = nullptr,
                           long row_size = 0, long aggressors = 0, double sample_interval = 1e-12) {
        std::vector<char> input;
        char *input_pointer = nullptr;
        if (parameters != nullptr) {
            input.assign(parameters, parameters + std::strlen(parameters) + 1);
            input_pointer = input.data();
        }
        result_ = AMI_Init(impulse == nullptr ? nullptr : impulse->data(), row_size, aggressors,
                           sample_interval, 32 * sample_interval, input_pointer, &params_out_,
                           &memory_, &msg_);
    }
    ~ModelInstance() { AMI_Close(memory_); }
    ModelInstance(const ModelInstance &) = delete;
    ModelInstance &operator=(const ModelInstance &) = delete;

    long result() const { return result_; }
    std::string message() const { return msg_ == nullptr ? "<null>" : msg_; }
    std::string echo() const { return params_out_ == nullptr ? "<null>" : params_out_; }
    // The public instance record; tests may set its fields through it.
    AmiMemory &self() { return *static_cast<AmiMemory *>(memory_); }
    void *handle() { return memory_; }

  private:
    long result_ = 0;
    char *params_out_ = nullptr;
    char *msg_ = nullptr;
    void *memory_ = nullptr;
};

#endif  // AMI_MODEL_MODEL_INSTANCE_TEST_SUPPORT_H
