// A model loaded into the stand-in's own process. A model that crashes
// takes the process with it; this is the session for running a model under
// a debugger or valgrind.
#include <algorithm>
#include <cstring>

#include "tools/amisim/models/model_session.h"

namespace amisim {

namespace {

ModelText text_of(const char *text) {
    ModelText out;
    if (text != nullptr) {
        out.present = true;
        out.text = text;
    }
    return out;
}

class InProcessSession final : public ModelSession {
  public:
    explicit InProcessSession(std::string path) : path_(std::move(path)) {}
    ~InProcessSession() override {
        std::string ignored;
        close(ignored);
    }

    bool load(std::string &error) { return library_.open(path_, error); }

    const std::string &path() const override { return path_; }
    bool has_get_wave() const override { return library_.get_wave != nullptr; }
    bool in_another_process() const override { return false; }

    bool init(InitRequest &request, InitReply &reply, std::string &) override {
        std::vector<char> parameters(request.parameters_in.begin(), request.parameters_in.end());
        parameters.push_back('\0');
        char *parameters_out = nullptr;
        char *message = nullptr;
        reply.status = library_.init(request.impulse_matrix.data(), request.row_size,
                                     request.aggressors, request.sample_interval, request.bit_time,
                                     parameters.data(), &parameters_out, &memory_, &message);
        reply.parameters_out = text_of(parameters_out);
        reply.message = text_of(message);
        last_message_ = reply.message.text;
        return true;
    }

    bool start_get_wave(const double *wave, std::size_t count, std::size_t clock_room,
                        std::string &) override {
        pending_ = wave;
        count_ = count;
        clock_room_ = std::max<std::size_t>(clock_room, 1);
        return true;
    }

    // The call runs here, in place on the caller's array.
    bool finish_get_wave(double *wave, double *clock_times, GetWaveReply &reply,
                         std::string &) override {
        if (wave != pending_) {
            std::memmove(wave, pending_, count_ * sizeof(double));
        }
        if (clock_times == nullptr) {
            own_clock_times_.resize(clock_room_);
            clock_times = own_clock_times_.data();
        }
        std::fill_n(clock_times, clock_room_, -1.0);
        char *parameters_out = nullptr;
        reply.status = library_.get_wave(wave, static_cast<long>(count_), clock_times,
                                         &parameters_out, memory_);
        reply.parameters_out = text_of(parameters_out);
        if (reply.parameters_out.present) {
            last_message_ = reply.parameters_out.text;
        }
        return true;
    }

    bool close(std::string &) override {
        if (memory_ != nullptr) {
            library_.close(memory_);
            memory_ = nullptr;
        }
        return true;
    }

    const std::string &last_message() const override { return last_message_; }

  private:
    std::string path_;
    ModelLibrary library_;
    void *memory_ = nullptr;
    const double *pending_ = nullptr;
    std::size_t count_ = 0;
    std::size_t clock_room_ = 1;
    std::vector<double> own_clock_times_;
    std::string last_message_;
};

}  // namespace

std::unique_ptr<ModelSession> open_in_process(const std::string &path, std::string &error) {
    auto session = std::make_unique<InProcessSession>(path);
    if (!session->load(error)) {
        return nullptr;
    }
    return session;
}

}  // namespace amisim
