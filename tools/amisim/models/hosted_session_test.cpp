// Models in host processes against the same models in this process: the
// same samples, clock times and texts bit for bit, in either word size;
// models that crash, exit, hang or write past their arrays reported with
// the call and what happened; models that cannot load reported in the
// loader's words; and never a process or a descriptor left behind.
#include <elf.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "tools/amisim/models/hosted_session.h"

namespace {

using amisim::ModelFailure;
using ::testing::HasSubstr;

constexpr int kNativeBits = sizeof(void *) == 8 ? 64 : 32;
constexpr int kOtherBits = 96 - kNativeBits;

// What the build made for one word size ("" where it made nothing).
struct WordSize {
    std::string host;
    std::string fakes;
    std::string tx;
};

WordSize word_size(int bits) {
    if (bits == 32) {
        return {AMISIM_HOST_32, AMISIM_FAKES_32,
                kNativeBits == 32 ? AMI_MODEL_LIBRARY : AMISIM_DIST_TX_32};
    }
    return {AMISIM_HOST_64, AMISIM_FAKES_64,
            kNativeBits == 64 ? AMI_MODEL_LIBRARY : AMISIM_DIST_TX_64};
}

amisim::HostedOptions hosted_options(double limit_seconds = 10.0) {
    amisim::HostedOptions options;
    options.host_32 = word_size(32).host;
    options.host_64 = word_size(64).host;
    options.init_seconds = limit_seconds;
    options.call_seconds = limit_seconds;
    return options;
}

int open_descriptors() {
    int count = 0;
    for ([[maybe_unused]] const auto &entry :
         std::filesystem::directory_iterator("/proc/self/fd")) {
        ++count;
    }
    return count;
}

// No child process of this one, running or unreaped.
bool no_children() {
    errno = 0;
    return waitpid(-1, nullptr, WNOHANG) == -1 && errno == ECHILD;
}

std::vector<std::uint64_t> bits_of(const double *values, std::size_t count) {
    std::vector<std::uint64_t> bits(count);
    if (count > 0) {
        std::memcpy(bits.data(), values, count * sizeof(double));
    }
    return bits;
}

// Uneven values that expose any sample out of place.
std::vector<double> ramp(std::size_t count, double scale) {
    std::vector<double> values(count);
    for (std::size_t i = 0; i < count; ++i) {
        values[i] = scale * (static_cast<double>((i * 7919) % 257) / 128.0 - 1.0);
    }
    return values;
}

// --- The same results in a host as in this process --------------------------------

struct SameResults {
    const char *name;
    int bits;
    bool tx;  // the real transmitter; otherwise the fake receiver
};

class HostedMatchesInProcess : public ::testing::TestWithParam<SameResults> {};

TEST_P(HostedMatchesInProcess, SamplesClockTimesAndTexts) {
    const SameResults &row = GetParam();
    const WordSize size = word_size(row.bits);
    const std::string hosted_path = row.tx ? size.tx : size.fakes + "/fake_rx_model.so";
    if (size.host.empty() || !std::filesystem::exists(hosted_path)) {
        GTEST_SKIP() << "no " << row.bits << "-bit host or model here (" << hosted_path
                     << "): build the " << row.bits << "-bit configuration";
    }
    const std::string native_path =
        row.tx ? AMI_MODEL_LIBRARY : word_size(kNativeBits).fakes + "/fake_rx_model.so";
    std::string error;
    auto in_process = amisim::open_in_process(native_path, error);
    ASSERT_NE(in_process, nullptr) << error;
    auto hosted = amisim::open_hosted(hosted_path, hosted_options(), error);
    ASSERT_NE(hosted, nullptr) << error;

    amisim::InitRequest request;
    request.row_size = 256;
    request.aggressors = 1;
    request.impulse_matrix = ramp(512, 1e10);
    request.sample_interval = 3.125e-12;
    request.bit_time = 1e-10;
    request.parameters_in = row.tx ? "(Halvorin_7314_Tx (TX_Corner 1) (TX_Preemph 1))"
                                   : "(Fake_Rx (D 3) (G 0.5) (P 4) (T 1))";
    amisim::InitRequest hosted_request = request;
    amisim::InitReply expected;
    amisim::InitReply got;
    ASSERT_TRUE(in_process->init(request, expected, error)) << error;
    ASSERT_TRUE(hosted->init(hosted_request, got, error)) << error;
    EXPECT_EQ(got.status, expected.status);
    EXPECT_EQ(got.parameters_out.present, expected.parameters_out.present);
    EXPECT_EQ(got.parameters_out.text, expected.parameters_out.text);
    EXPECT_EQ(got.message.present, expected.message.present);
    EXPECT_EQ(got.message.text, expected.message.text);
    EXPECT_EQ(bits_of(hosted_request.impulse_matrix.data(), 512),
              bits_of(request.impulse_matrix.data(), 512));
    EXPECT_EQ(hosted->last_message(), in_process->last_message());
    EXPECT_EQ(hosted->has_get_wave(), in_process->has_get_wave());

    // Blocks that grow past the shared buffers, an empty one among them.
    for (std::size_t count : {1000, 0, 8192, 40000, 7}) {
        SCOPED_TRACE("block of " + std::to_string(count));
        std::vector<double> wave = ramp(count, 0.5);
        std::vector<double> hosted_wave(count, 0.0);
        std::vector<double> ticks(count + 1);
        std::vector<double> hosted_ticks(count + 1);
        amisim::GetWaveReply expected_reply;
        amisim::GetWaveReply got_reply;
        // The host works while this process runs the same block itself.
        ASSERT_TRUE(hosted->start_get_wave(wave.data(), count, count + 1, error)) << error;
        ASSERT_TRUE(in_process->start_get_wave(wave.data(), count, count + 1, error)) << error;
        ASSERT_TRUE(in_process->finish_get_wave(wave.data(), ticks.data(), expected_reply, error));
        ASSERT_TRUE(
            hosted->finish_get_wave(hosted_wave.data(), hosted_ticks.data(), got_reply, error))
            << error;
        EXPECT_EQ(got_reply.status, expected_reply.status);
        EXPECT_EQ(got_reply.parameters_out.present, expected_reply.parameters_out.present);
        EXPECT_EQ(got_reply.parameters_out.text, expected_reply.parameters_out.text);
        EXPECT_EQ(bits_of(hosted_wave.data(), count), bits_of(wave.data(), count));
        EXPECT_EQ(bits_of(hosted_ticks.data(), count + 1), bits_of(ticks.data(), count + 1));
    }
    EXPECT_TRUE(hosted->close(error)) << error;
    EXPECT_TRUE(no_children());
}

INSTANTIATE_TEST_SUITE_P(BothWordSizes, HostedMatchesInProcess,
                         ::testing::Values(SameResults{"Tx64", 64, true},
                                           SameResults{"Tx32", 32, true},
                                           SameResults{"FakeRx64", 64, false},
                                           SameResults{"FakeRx32", 32, false}),
                         [](const auto &row) { return std::string(row.param.name); });

// --- Models that misbehave ---------------------------------------------------------

constexpr std::size_t kBlock = 64;
constexpr std::size_t kImpulseSamples = 128;
constexpr double kLimitSeconds = 0.3;

struct Misbehaviour {
    const char *model;  // the fake model's file, without .so
    const char *entry;
    long call;
    ModelFailure::Kind kind;
    int signal_or_status;  // kSignal: the signal; kExit: the status
    const char *array;     // kOverrun
    std::size_t array_size;
    const char *last_message;
};

const Misbehaviour kMisbehaviours[] = {
    {"model_crashes_in_init", "AMI_Init", 1, ModelFailure::Kind::kSignal, SIGSEGV, "", 0, ""},
    {"model_crashes_at_call_3", "AMI_GetWave", 3, ModelFailure::Kind::kSignal, SIGSEGV, "", 0,
     "(Misbehaving(call 2))"},
    {"model_hangs_in_init", "AMI_Init", 1, ModelFailure::Kind::kHang, 0, "", 0, ""},
    {"model_hangs_in_getwave", "AMI_GetWave", 2, ModelFailure::Kind::kHang, 0, "", 0,
     "(Misbehaving(call 1))"},
    {"model_exits", "AMI_GetWave", 2, ModelFailure::Kind::kExit, 3, "", 0, "(Misbehaving(call 1))"},
    {"model_aborts", "AMI_GetWave", 2, ModelFailure::Kind::kSignal, SIGABRT, "", 0,
     "(Misbehaving(call 1))"},
    {"model_overruns_wave", "AMI_GetWave", 1, ModelFailure::Kind::kOverrun, 0, "wave", kBlock,
     "Misbehaving: ready"},
    {"model_overruns_clock_times", "AMI_GetWave", 1, ModelFailure::Kind::kOverrun, 0, "clock_times",
     kBlock + 1, "Misbehaving: ready"},
    {"model_overruns_impulse", "AMI_Init", 1, ModelFailure::Kind::kOverrun, 0, "impulse_matrix",
     kImpulseSamples, ""},
};

// Init, then blocks until a call fails; false when none did.
bool run_until_failure(amisim::ModelSession &session, std::string &error) {
    amisim::InitRequest request;
    request.row_size = kImpulseSamples;
    request.impulse_matrix = ramp(kImpulseSamples, 1.0);
    request.sample_interval = 1e-12;
    request.bit_time = 32e-12;
    amisim::InitReply init_reply;
    if (!session.init(request, init_reply, error)) {
        return true;
    }
    std::vector<double> wave = ramp(kBlock, 1.0);
    std::vector<double> ticks(kBlock + 1);
    for (int call = 0; call < 4; ++call) {
        amisim::GetWaveReply reply;
        if (!session.start_get_wave(wave.data(), kBlock, kBlock + 1, error) ||
            !session.finish_get_wave(wave.data(), ticks.data(), reply, error)) {
            return true;
        }
    }
    return false;
}

class MisbehavingModels : public ::testing::TestWithParam<int> {};

TEST_P(MisbehavingModels, ReportedWithTheCallAndLeaveNothingBehind) {
    const WordSize size = word_size(GetParam());
    if (size.host.empty()) {
        GTEST_SKIP() << "no " << GetParam() << "-bit toolchain here";
    }
    for (const Misbehaviour &row : kMisbehaviours) {
        SCOPED_TRACE(row.model);
        const int descriptors = open_descriptors();
        {
            const std::string path = size.fakes + "/" + row.model + ".so";
            std::string error;
            auto session = amisim::open_hosted(path, hosted_options(kLimitSeconds), error);
            ASSERT_NE(session, nullptr) << error;
            ASSERT_TRUE(run_until_failure(*session, error)) << "the model did not fail";
            const ModelFailure *failure = session->failure();
            ASSERT_NE(failure, nullptr);
            EXPECT_EQ(failure->entry, row.entry);
            EXPECT_EQ(failure->call, row.call);
            EXPECT_EQ(failure->samples,
                      row.entry == std::string("AMI_Init") ? kImpulseSamples : kBlock);
            EXPECT_EQ(failure->kind, row.kind);
            EXPECT_EQ(failure->kind == ModelFailure::Kind::kSignal ? failure->signal
                                                                   : failure->exit_status,
                      row.signal_or_status);
            EXPECT_EQ(failure->array, row.array);
            EXPECT_EQ(failure->array_size, row.array_size);
            EXPECT_EQ(failure->last_message, row.last_message);
            EXPECT_THAT(error, HasSubstr(path + ": " + row.entry + " (call "));
            EXPECT_TRUE(no_children()) << "the host was not reaped";
            std::string later;
            EXPECT_FALSE(session->close(later));
            EXPECT_EQ(later, error);
        }
        EXPECT_EQ(open_descriptors(), descriptors);
    }
}

INSTANTIATE_TEST_SUITE_P(BothWordSizes, MisbehavingModels, ::testing::Values(64, 32),
                         [](const auto &row) { return std::to_string(row.param) + "bit"; });

// --- Models that cannot be loaded --------------------------------------------------

// A file with the header of an ELF shared object for AArch64.
std::string arm_library() {
    const std::string path = ::testing::TempDir() + "/arm_model.so";
    unsigned char header[64] = {0x7f, 'E', 'L', 'F', ELFCLASS64, ELFDATA2LSB, EV_CURRENT};
    header[16] = ET_DYN;
    header[18] = EM_AARCH64;
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char *>(header), sizeof header);
    return path;
}

TEST(HostedLoading, FailuresGiveTheLoadersWords) {
    const WordSize native = word_size(kNativeBits);
    const WordSize other = word_size(kOtherBits);
    amisim::HostedOptions wrong_host = hosted_options();
    // The other word size's model given to this word size's host.
    (kOtherBits == 32 ? wrong_host.host_32 : wrong_host.host_64) = native.host;
    amisim::HostedOptions no_host = hosted_options();
    (kNativeBits == 32 ? no_host.host_32 : no_host.host_64) = "/nonexistent/amisim-host";
    const struct {
        const char *name;
        std::string path;
        amisim::HostedOptions options;
        std::string words;
    } rows[] = {
        {"missing file", native.fakes + "/no_such_model.so", hosted_options(),
         "no_such_model.so: No such file or directory"},
        {"not ELF", __FILE__, hosted_options(), "not a shared library (no ELF header)"},
        {"another processor", arm_library(), hosted_options(), "built for another processor"},
        {"other word size than its host", other.fakes + "/fake_rx_model.so", wrong_host,
         std::string("this host loads ") + (kNativeBits == 64 ? "x86-64" : "i386") +
             " models only"},
        {"not a model", native.fakes + "/vendor_not_a_model.so", hosted_options(),
         "is not an IBIS-AMI model"},
        {"no AMI_Close", native.fakes + "/vendor_no_close.so", hosted_options(),
         "the model has no AMI_Close entry point"},
        {"undefined symbol", native.fakes + "/model_needs_undefined_symbol.so", hosted_options(),
         "undefined symbol: vendor_licence_check"},
        {"no host program", native.fakes + "/fake_rx_model.so", no_host,
         "cannot run its model host /nonexistent/amisim-host: No such file or directory"},
    };
    const int descriptors = open_descriptors();
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        if (row.options.host_32.empty() || row.options.host_64.empty()) {
            continue;  // no host of the other word size here
        }
        std::string error;
        EXPECT_EQ(amisim::open_hosted(row.path, row.options, error), nullptr);
        EXPECT_THAT(error, HasSubstr(row.words));
        EXPECT_TRUE(no_children());
    }
    EXPECT_EQ(open_descriptors(), descriptors);
}

// --- The host ends with the stand-in -----------------------------------------------

// The processes whose parent is pid.
std::vector<pid_t> children_of(pid_t pid) {
    std::vector<pid_t> children;
    for (const auto &entry : std::filesystem::directory_iterator("/proc")) {
        const std::string name = entry.path().filename();
        if (name.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        std::getline(stat, line);
        const auto close = line.rfind(')');
        char state = 0;
        int parent = 0;
        if (close != std::string::npos &&
            std::sscanf(line.c_str() + close + 1, " %c %d", &state, &parent) == 2 &&
            parent == pid) {
            children.push_back(std::stoi(name));
        }
    }
    return children;
}

bool running(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) {
        return false;
    }
    const auto close = line.rfind(')');
    return close != std::string::npos && line.size() > close + 2 && line[close + 2] != 'Z';
}

TEST(HostedLifetime, AHostInTheMiddleOfACallEndsWithTheStandIn) {
    int pipe_ends[2];
    ASSERT_EQ(pipe(pipe_ends), 0);
    const pid_t stand_in = fork();
    ASSERT_GE(stand_in, 0);
    if (stand_in == 0) {
        // A stand-in whose model hangs in AMI_GetWave, and which dies.
        std::string error;
        auto session = amisim::open_hosted(
            word_size(kNativeBits).fakes + "/model_hangs_in_getwave.so", hosted_options(), error);
        std::vector<double> wave(kBlock);
        amisim::GetWaveReply reply;
        amisim::InitRequest request;
        request.impulse_matrix.assign(kImpulseSamples, 0.0);
        request.row_size = kImpulseSamples;
        amisim::InitReply init_reply;
        pid_t host = 0;
        if (session != nullptr && session->init(request, init_reply, error) &&
            session->start_get_wave(wave.data(), kBlock, 1, error) &&
            session->finish_get_wave(wave.data(), nullptr, reply, error) &&
            session->start_get_wave(wave.data(), kBlock, 1, error)) {
            const auto children = children_of(getpid());
            host = children.size() == 1 ? children[0] : 0;
        }
        [[maybe_unused]] const ssize_t written = write(pipe_ends[1], &host, sizeof host);
        _exit(0);
    }
    close(pipe_ends[1]);
    pid_t host = 0;
    ASSERT_EQ(read(pipe_ends[0], &host, sizeof host), static_cast<ssize_t>(sizeof host));
    close(pipe_ends[0]);
    ASSERT_EQ(waitpid(stand_in, nullptr, 0), stand_in);
    ASSERT_GT(host, 0) << "the stand-in could not start its hung call";
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (running(host) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_FALSE(running(host)) << "host " << host << " outlived its stand-in";
    if (running(host)) {
        kill(host, SIGKILL);  // not to hold this test's output open
    }
}

}  // namespace
