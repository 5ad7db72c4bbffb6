#include "tools/amisim/models/hosted_session.h"

#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "tools/amisim/models/host/host_protocol.h"
#include "tools/amisim/models/host_process.h"
#include "tools/amisim/models/shared_buffer.h"

namespace amisim {

namespace {

using Clock = HostProcess::Clock;

// How long a host whose socket has closed may take to end, and one that
// has answered AMI_Close.
constexpr double kEndingSeconds = 2.0;
// Longer texts than this are not a model's but a garbled reply.
constexpr std::uint32_t kLongestText = 1U << 28;

constexpr const char *kArrayNames[host::kBufferCount] = {"impulse_matrix", "wave", "clock_times"};

Clock::time_point after(double seconds) {
    return Clock::now() +
           std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

class HostedSession final : public ModelSession {
  public:
    HostedSession(std::string path, HostedOptions options)
        : path_(std::move(path)), options_(std::move(options)) {}
    ~HostedSession() override {
        if (outstanding_) {
            process_.kill_and_reap();
        } else if (ready_ && !ended(ignored_)) {
            close(ignored_);
        }
    }

    // Starts the host program and waits until it has loaded the model.
    bool open(const std::string &program, bool i386, std::string &error);

    const std::string &path() const override { return path_; }
    bool has_get_wave() const override { return has_get_wave_; }
    bool in_another_process() const override { return true; }
    bool init(InitRequest &request, InitReply &reply, std::string &error) override;
    bool start_get_wave(const double *wave, std::size_t count, std::size_t clock_room,
                        std::string &error) override;
    bool finish_get_wave(double *wave, double *clock_times, GetWaveReply &reply,
                         std::string &error) override;
    bool close(std::string &error) override;
    const std::string &last_message() const override { return last_message_; }
    const ModelFailure *failure() const override { return failure_.get(); }

  private:
    enum class Read { kDone, kClosed, kEnded, kTimedOut };
    using Texts = ModelText[host::kTextCount];

    bool ended(std::string &error) const;
    void begin(const char *entry, long number, std::size_t samples);
    bool share(host::Buffer buffer, std::size_t count, host::Request &request,
               std::vector<int> &fds, std::string &error);
    bool send(const host::Request &request, const std::vector<int> &fds, const std::string &text,
              std::string &error);
    bool receive(host::Reply &reply, Texts &texts, double limit_seconds, std::string &error);
    Read read_exact(void *data, std::size_t length, Clock::time_point deadline);
    bool host_ended(std::string &error);
    bool fail(ModelFailure failure, std::string &error);
    double limit(double base, std::size_t samples) const {
        return base + options_.seconds_per_sample * static_cast<double>(samples);
    }

    std::string path_;
    HostedOptions options_;
    HostProcess process_;
    SharedBuffer buffers_[host::kBufferCount];
    std::size_t in_use_[host::kBufferCount] = {};  // elements of each array in the call
    bool ready_ = false;                           // the host has loaded the model
    bool has_get_wave_ = false;
    bool closed_ = false;
    std::unique_ptr<ModelFailure> failure_;
    std::string failure_text_;
    ModelFailure call_;  // the call under way, as a failure would report it
    Clock::time_point call_started_;
    long get_wave_calls_ = 0;
    bool outstanding_ = false;
    std::string last_message_;
    std::string ignored_;
};

bool HostedSession::open(const std::string &program, bool i386, std::string &error) {
    std::vector<std::string> arguments = {program, path_, std::to_string(getpid())};
    int failed = process_.start(arguments);
    if (failed == ENOEXEC && i386) {
        // This kernel cannot run i386 programs: emulate the host.
        arguments.insert(arguments.begin(), "qemu-i386");
        failed = process_.start(arguments);
        if (failed == ENOENT) {
            error = path_ +
                    " is a 32-bit model, this kernel cannot run i386 programs, and qemu-i386 is "
                    "not installed (apt-get install qemu-user)";
            return false;
        }
    }
    if (failed != 0) {
        error = path_ + ": cannot run its model host " + program + ": " + std::strerror(failed);
        return false;
    }
    begin("loading", 0, 0);
    host::Reply reply{};
    Texts texts;
    if (!receive(reply, texts, options_.init_seconds, error)) {
        return false;
    }
    has_get_wave_ = reply.detail == 1;
    ready_ = true;
    return true;
}

bool HostedSession::init(InitRequest &request, InitReply &reply, std::string &error) {
    if (ended(error)) {
        return false;
    }
    const std::size_t samples = request.impulse_matrix.size();
    begin("AMI_Init", 1, samples);
    host::Request message{};
    message.operation = host::kInit;
    message.count = samples;
    message.row_size = request.row_size;
    message.aggressors = request.aggressors;
    message.sample_interval = request.sample_interval;
    message.bit_time = request.bit_time;
    message.text_length = static_cast<std::uint32_t>(request.parameters_in.size());
    std::vector<int> fds;
    if (!share(host::kImpulseBuffer, samples, message, fds, error)) {
        return false;
    }
    double *shared = buffers_[host::kImpulseBuffer].tail(samples);
    std::copy(request.impulse_matrix.begin(), request.impulse_matrix.end(), shared);
    host::Reply answer{};
    Texts texts;
    if (!send(message, fds, request.parameters_in, error) ||
        !receive(answer, texts, limit(options_.init_seconds, samples), error)) {
        return false;
    }
    std::copy(shared, shared + samples, request.impulse_matrix.begin());
    reply.status = static_cast<long>(answer.status);
    reply.parameters_out = std::move(texts[host::kParametersText]);
    reply.message = std::move(texts[host::kMessageText]);
    last_message_ = reply.message.text;
    return true;
}

bool HostedSession::start_get_wave(const double *wave, std::size_t count, std::size_t clock_room,
                                   std::string &error) {
    if (ended(error)) {
        return false;
    }
    if (!has_get_wave_ || outstanding_) {
        error = path_ + (outstanding_ ? ": AMI_GetWave is already under way"
                                      : ": the model has no AMI_GetWave");
        return false;
    }
    clock_room = std::max<std::size_t>(clock_room, 1);
    begin("AMI_GetWave", ++get_wave_calls_, count);
    host::Request message{};
    message.operation = host::kGetWave;
    message.count = count;
    message.clock_room = clock_room;
    std::vector<int> fds;
    if (!share(host::kWaveBuffer, count, message, fds, error) ||
        !share(host::kClockBuffer, clock_room, message, fds, error)) {
        return false;
    }
    std::copy(wave, wave + count, buffers_[host::kWaveBuffer].tail(count));
    if (!send(message, fds, std::string(), error)) {
        return false;
    }
    outstanding_ = true;
    return true;
}

bool HostedSession::finish_get_wave(double *wave, double *clock_times, GetWaveReply &reply,
                                    std::string &error) {
    if (ended(error)) {
        return false;
    }
    if (!outstanding_) {
        error = path_ + ": no AMI_GetWave is under way";
        return false;
    }
    outstanding_ = false;
    const std::size_t count = in_use_[host::kWaveBuffer];
    host::Reply answer{};
    Texts texts;
    if (!receive(answer, texts, limit(options_.call_seconds, count), error)) {
        return false;
    }
    const double *shared = buffers_[host::kWaveBuffer].tail(count);
    std::copy(shared, shared + count, wave);
    if (clock_times != nullptr) {
        const std::size_t room = in_use_[host::kClockBuffer];
        const double *ticks = buffers_[host::kClockBuffer].tail(room);
        std::copy(ticks, ticks + room, clock_times);
    }
    reply.status = static_cast<long>(answer.status);
    reply.parameters_out = std::move(texts[host::kParametersText]);
    if (reply.parameters_out.present) {
        last_message_ = reply.parameters_out.text;
    }
    return true;
}

bool HostedSession::close(std::string &error) {
    if (closed_) {
        return true;
    }
    if (ended(error)) {
        return false;
    }
    host::Reply answer{};
    Texts texts;
    if (outstanding_) {
        outstanding_ = false;
        if (!receive(answer, texts, limit(options_.call_seconds, in_use_[host::kWaveBuffer]),
                     error)) {
            return false;
        }
    }
    begin("AMI_Close", 1, 0);
    host::Request message{};
    message.operation = host::kClose;
    if (!send(message, {}, std::string(), error) ||
        !receive(answer, texts, limit(options_.call_seconds, 0), error)) {
        return false;
    }
    closed_ = true;
    int status = 0;
    process_.reap(after(kEndingSeconds), status);
    process_.kill_and_reap();
    for (auto &buffer : buffers_) {
        buffer.release();
    }
    return true;
}

bool HostedSession::ended(std::string &error) const {
    if (failure_ != nullptr) {
        error = failure_text_;
        return true;
    }
    if (closed_) {
        error = path_ + ": the model is closed";
        return true;
    }
    return false;
}

void HostedSession::begin(const char *entry, long number, std::size_t samples) {
    call_ = ModelFailure{};
    call_.entry = entry;
    call_.call = number;
    call_.samples = samples;
    call_started_ = Clock::now();
}

// Room for count elements in a shared buffer; a new one goes with the
// request.
bool HostedSession::share(host::Buffer buffer, std::size_t count, host::Request &request,
                          std::vector<int> &fds, std::string &error) {
    SharedBuffer &shared = buffers_[buffer];
    if (!shared.reserve(count, error)) {
        error = path_ + ": " + error;
        return false;
    }
    if (shared.unsent()) {
        request.attached |= 1U << buffer;
        request.capacity[buffer] = shared.capacity();
        fds.push_back(shared.fd());
    }
    in_use_[buffer] = count;
    return true;
}

bool HostedSession::send(const host::Request &request, const std::vector<int> &fds,
                         const std::string &text, std::string &error) {
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * host::kBufferCount)] = {};
    iovec pieces[2] = {{const_cast<host::Request *>(&request), sizeof request},
                       {const_cast<char *>(text.data()), text.size()}};
    msghdr message{};
    message.msg_iov = pieces;
    message.msg_iovlen = text.empty() ? 1 : 2;
    if (!fds.empty()) {
        message.msg_control = control;
        message.msg_controllen = CMSG_SPACE(sizeof(int) * fds.size());
        cmsghdr *header = CMSG_FIRSTHDR(&message);
        header->cmsg_level = SOL_SOCKET;
        header->cmsg_type = SCM_RIGHTS;
        header->cmsg_len = CMSG_LEN(sizeof(int) * fds.size());
        std::memcpy(CMSG_DATA(header), fds.data(), sizeof(int) * fds.size());
    }
    std::size_t left = sizeof request + text.size();
    while (left > 0) {
        const ssize_t sent = sendmsg(process_.socket(), &message, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) {
            continue;
        }
        if (sent < 0) {
            return host_ended(error);  // the host is gone
        }
        left -= static_cast<std::size_t>(sent);
        // The rest of the pieces, without the descriptors, which went first.
        message.msg_control = nullptr;
        message.msg_controllen = 0;
        std::size_t skip = static_cast<std::size_t>(sent);
        while (message.msg_iovlen > 0 && skip >= message.msg_iov->iov_len) {
            skip -= message.msg_iov->iov_len;
            ++message.msg_iov;
            --message.msg_iovlen;
        }
        if (message.msg_iovlen > 0) {
            message.msg_iov->iov_base = static_cast<char *>(message.msg_iov->iov_base) + skip;
            message.msg_iov->iov_len -= skip;
        }
    }
    for (auto &buffer : buffers_) {
        buffer.mark_sent();
    }
    return true;
}

// The host's reply to the call under way, within limit_seconds of its
// start (however long the caller worked in between). False (the session ended) when
// the host did not give one: the model crashed, exited, hung, overran an
// array, or the host could not serve the call.
bool HostedSession::receive(host::Reply &reply, Texts &texts, double limit_seconds,
                            std::string &error) {
    const Clock::time_point deadline =
        call_started_ +
        std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(limit_seconds));
    Read read = read_exact(&reply, sizeof reply, deadline);
    if (read == Read::kDone && reply.answer == host::kOverrun &&
        reply.detail < host::kBufferCount) {
        ModelFailure failure;
        failure.kind = ModelFailure::Kind::kOverrun;
        failure.array = kArrayNames[reply.detail];
        failure.array_size = in_use_[reply.detail];
        return fail(failure, error);
    }
    for (int t = 0; t < host::kTextCount && read == Read::kDone; ++t) {
        texts[t].present = (reply.text_present >> t & 1U) != 0;
        if (reply.text_length[t] > kLongestText) {
            read = Read::kClosed;
            break;
        }
        texts[t].text.resize(reply.text_length[t]);
        read = read_exact(texts[t].text.data(), texts[t].text.size(), deadline);
    }
    if (read == Read::kTimedOut) {
        ModelFailure failure;
        failure.kind = ModelFailure::Kind::kHang;
        failure.limit_seconds = limit_seconds;
        return fail(failure, error);
    }
    if (read != Read::kDone) {
        return host_ended(error);
    }
    const std::string &reason = texts[host::kParametersText].text;
    if (reply.answer == host::kRefused && call_.entry == "loading") {
        error = reason;  // the loader's own words
        process_.kill_and_reap();
        return false;
    }
    const bool expected =
        reply.answer == (call_.entry == "loading" ? host::kReady : host::kReturned);
    if (!expected) {
        ModelFailure failure;
        failure.detail = reply.answer == host::kRefused ? reason : "its host's reply is garbled";
        return fail(failure, error);
    }
    return true;
}

HostedSession::Read HostedSession::read_exact(void *data, std::size_t length,
                                              Clock::time_point deadline) {
    char *at = static_cast<char *>(data);
    while (length > 0) {
        const HostProcess::Event event = process_.wait(deadline);
        if (event == HostProcess::Event::kTimedOut) {
            return Read::kTimedOut;
        }
        if (event == HostProcess::Event::kEnded) {
            return Read::kEnded;
        }
        const ssize_t got = recv(process_.socket(), at, length, MSG_DONTWAIT);
        if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR)) {
            return Read::kClosed;
        }
        if (got > 0) {
            at += got;
            length -= static_cast<std::size_t>(got);
        }
    }
    return Read::kDone;
}

// The host ended, or closed its socket, without a reply: how it ended.
bool HostedSession::host_ended(std::string &error) {
    ModelFailure failure;
    int status = 0;
    if (!process_.reap(after(kEndingSeconds), status)) {
        failure.detail = "its host closed the connection without ending";
    } else if (WIFSIGNALED(status)) {
        failure.kind = ModelFailure::Kind::kSignal;
        failure.signal = WTERMSIG(status);
    } else {
        failure.kind = ModelFailure::Kind::kExit;
        failure.exit_status = WEXITSTATUS(status);
    }
    return fail(failure, error);
}

// Ends the session for good: the host is killed and reaped, the shared
// memory released, and the failure kept for every later call.
bool HostedSession::fail(ModelFailure failure, std::string &error) {
    process_.kill_and_reap();
    for (auto &buffer : buffers_) {
        buffer.release();
    }
    failure.entry = call_.entry;
    failure.call = call_.call;
    failure.samples = call_.samples;
    failure.last_message = last_message_;
    failure_text_ = describe(failure, path_);
    failure_ = std::make_unique<ModelFailure>(std::move(failure));
    error = failure_text_;
    return false;
}

}  // namespace

std::unique_ptr<ModelSession> open_hosted(const std::string &path, const HostedOptions &options,
                                          std::string &error) {
    const ElfClass found = inspect_elf(path, error);
    if (found != ElfClass::k32 && found != ElfClass::k64) {
        return nullptr;
    }
    const bool i386 = found == ElfClass::k32;
    std::string program = i386 ? options.host_32 : options.host_64;
    if (program.empty()) {
        program = own_directory() + (i386 ? "/amisim-host-32" : "/amisim-host-64");
    }
    auto session = std::make_unique<HostedSession>(path, options);
    if (!session->open(program, i386, error)) {
        return nullptr;
    }
    return session;
}

}  // namespace amisim
