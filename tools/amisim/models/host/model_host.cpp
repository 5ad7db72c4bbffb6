// amisim-host-32 / amisim-host-64: runs one AMI model in a process of the
// model's word size and serves its AMI_Init, AMI_GetWave and AMI_Close to
// the stand-in (the conversation is described in host_protocol.h). A model
// that crashes, hangs or exits takes only this process down; one that
// writes past the end of an array it was given hits a guard page, and the
// host says which array before it exits.
//
// Plain C++ over libc: no C++ runtime, no exceptions, nothing of the
// stand-in, so that it runs wherever the model does.
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tools/amisim/models/elf_class.h"
#include "tools/amisim/models/host/host_protocol.h"

namespace {

using namespace amisim::host;
using amisim::ElfClass;

using AmiInit = long (*)(double *, long, long, double, double, char *, char **, void **, char **);
using AmiGetWave = long (*)(double *, long, double *, char **, void *);
using AmiClose = long (*)(void *);

constexpr ElfClass kOwnClass = sizeof(void *) == 8 ? ElfClass::k64 : ElfClass::k32;
constexpr const char *kOwnName = sizeof(void *) == 8 ? "x86-64" : "i386";
constexpr std::size_t kAlternateStackBytes = std::size_t{64} * 1024;

// Where the guard page of each buffer begins (null: not mapped yet). The
// signal handler reads it, so it is process-wide; it changes only between
// calls, never while the model runs.
char *volatile guard_pages[kBufferCount];
std::size_t page_bytes;

// Sends all of an array of pieces; async-signal-safe.
bool send_all(iovec *pieces, int count) {
    while (count > 0) {
        msghdr message{};
        message.msg_iov = pieces;
        message.msg_iovlen = static_cast<std::size_t>(count);
        ssize_t sent = sendmsg(kSocketFd, &message, MSG_NOSIGNAL);
        if (sent < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        while (count > 0 && static_cast<std::size_t>(sent) >= pieces->iov_len) {
            sent -= static_cast<ssize_t>(pieces->iov_len);
            ++pieces;
            --count;
        }
        if (count > 0) {
            pieces->iov_base = static_cast<char *>(pieces->iov_base) + sent;
            pieces->iov_len -= static_cast<std::size_t>(sent);
        }
    }
    return true;
}

// A fault on a guard page is an overrun of that buffer: say so and exit.
// Any other fault, or the signal sent by the model itself, ends the process
// as if no handler were installed.
void on_fault(int signal_number, siginfo_t *info, void *) {
    const char *address = static_cast<const char *>(info->si_addr);
    for (std::uint32_t b = 0; b < kBufferCount; ++b) {
        const char *guard = guard_pages[b];
        if (guard != nullptr && address >= guard && address < guard + page_bytes) {
            Reply reply{};
            reply.answer = kOverrun;
            reply.detail = b;
            iovec piece{&reply, sizeof reply};
            send_all(&piece, 1);
            _exit(kOverrunExitStatus);
        }
    }
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigaction(signal_number, &action, nullptr);
    raise(signal_number);  // delivered when the handler returns
}

// The handler runs on a stack of its own: the model may have overflowed
// its stack.
bool install_fault_handler(char (&stack)[kAlternateStackBytes]) {
    stack_t alternate{};
    alternate.ss_sp = stack;
    alternate.ss_size = sizeof stack;
    if (sigaltstack(&alternate, nullptr) != 0) {
        return false;
    }
    struct sigaction action {};
    action.sa_sigaction = on_fault;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    return sigaction(SIGSEGV, &action, nullptr) == 0 && sigaction(SIGBUS, &action, nullptr) == 0;
}

bool send_reply(Reply reply, const char *parameters, const char *message) {
    const char *texts[kTextCount] = {parameters, message};
    iovec pieces[1 + kTextCount] = {{&reply, sizeof reply}};
    for (int t = 0; t < kTextCount; ++t) {
        const std::size_t length = texts[t] == nullptr ? 0 : std::strlen(texts[t]);
        reply.text_length[t] =
            static_cast<std::uint32_t>(length < UINT32_MAX ? length : UINT32_MAX);
        reply.text_present |= texts[t] != nullptr ? 1U << t : 0U;
        pieces[1 + t] = {const_cast<char *>(texts[t]), reply.text_length[t]};
    }
    return send_all(pieces, 1 + kTextCount);
}

// Says why the host cannot go on; false, for the caller to return.
bool refuse(const char *format, ...) {
    char text[1024];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    Reply reply{};
    reply.answer = kRefused;
    send_reply(reply, text, nullptr);
    return false;
}

// Reads exactly length bytes; false at the end of the socket or on error.
bool receive_all(void *data, std::size_t length) {
    char *at = static_cast<char *>(data);
    while (length > 0) {
        const ssize_t got = recv(kSocketFd, at, length, 0);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return false;
        }
        at += got;
        length -= static_cast<std::size_t>(got);
    }
    return true;
}

// A request and the descriptors that came with it (-1 where none came).
bool receive_request(Request &request, int (&descriptors)[kBufferCount]) {
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * kBufferCount)];
    iovec piece{&request, sizeof request};
    msghdr message{};
    message.msg_iov = &piece;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    ssize_t got;
    do {
        got = recvmsg(kSocketFd, &message, MSG_CMSG_CLOEXEC);
    } while (got < 0 && errno == EINTR);
    if (got <= 0) {
        return false;
    }
    int received[kBufferCount];
    int received_count = 0;
    for (cmsghdr *c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
        if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_RIGHTS) {
            const int n = static_cast<int>((c->cmsg_len - CMSG_LEN(0)) / sizeof(int));
            for (int i = 0; i < n && received_count < kBufferCount; ++i) {
                std::memcpy(&received[received_count++], CMSG_DATA(c) + i * sizeof(int),
                            sizeof(int));
            }
        }
    }
    if (!receive_all(reinterpret_cast<char *>(&request) + got, sizeof request - got)) {
        return false;
    }
    int next = 0;
    for (int b = 0; b < kBufferCount; ++b) {
        descriptors[b] =
            (request.attached >> b) & 1U && next < received_count ? received[next++] : -1;
    }
    return true;
}

// A shared buffer as mapped here: capacity bytes, then a guard page.
struct Mapping {
    void *base = nullptr;
    std::size_t capacity = 0;
};

class Host {
  public:
    bool load(const char *path);
    bool serve();

  private:
    bool attach(std::uint32_t buffer, int descriptor, std::uint64_t capacity);
    double *tail(std::uint32_t buffer, std::uint64_t count);
    bool init(const Request &request);
    bool get_wave(const Request &request);

    AmiInit init_ = nullptr;
    AmiGetWave get_wave_ = nullptr;
    AmiClose close_ = nullptr;
    void *instance_ = nullptr;
    char *parameters_in_ = nullptr;  // kept until the end: a model may hold on to it
    Mapping buffers_[kBufferCount];
};

// The model is checked (file, ELF class) before dlopen, so that the message
// says what is wrong rather than what the loader tripped over.
bool Host::load(const char *path) {
    const int file = open(path, O_RDONLY | O_CLOEXEC);
    if (file < 0) {
        return refuse("%s: %s", path, std::strerror(errno));
    }
    unsigned char header[amisim::kElfHeaderBytes] = {};
    const ssize_t got = read(file, header, sizeof header);
    close(file);
    unsigned machine = 0;
    const ElfClass found =
        amisim::classify_elf(header, got > 0 ? static_cast<std::size_t>(got) : 0, machine);
    if (found == ElfClass::kNotElf) {
        return refuse("%s: not a shared library (no ELF header)", path);
    }
    if (found != kOwnClass) {
        return refuse(
            "%s is built for %s (ELF class %d, machine %u); this host loads %s models only", path,
            found == ElfClass::kOtherMachine ? "another processor" : "the other word size",
            header[EI_CLASS] == ELFCLASS64 ? 64 : 32, machine, kOwnName);
    }
    char where[PATH_MAX];
    std::snprintf(where, sizeof where, "%s%s", std::strchr(path, '/') == nullptr ? "./" : "", path);
    void *library = dlopen(where, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char *reason = dlerror();
        return refuse("cannot load the model: %s", reason == nullptr ? path : reason);
    }
    init_ = reinterpret_cast<AmiInit>(dlsym(library, "AMI_Init"));
    get_wave_ = reinterpret_cast<AmiGetWave>(dlsym(library, "AMI_GetWave"));
    close_ = reinterpret_cast<AmiClose>(dlsym(library, "AMI_Close"));
    if (init_ == nullptr && get_wave_ == nullptr && close_ == nullptr) {
        return refuse(
            "%s is not an IBIS-AMI model: it exports none of AMI_Init, "
            "AMI_GetWave, AMI_Close",
            path);
    }
    if (init_ == nullptr || close_ == nullptr) {
        return refuse("%s: the model has no %s entry point", path,
                      init_ == nullptr ? "AMI_Init" : "AMI_Close");
    }
    Reply ready{};
    ready.answer = kReady;
    ready.detail = get_wave_ != nullptr ? 1 : 0;
    return send_reply(ready, nullptr, nullptr);
}

// Maps a new descriptor for a buffer, with a guard page after it, in place
// of the old mapping.
bool Host::attach(std::uint32_t buffer, int descriptor, std::uint64_t capacity) {
    Mapping &mapping = buffers_[buffer];
    if (mapping.base != nullptr) {
        guard_pages[buffer] = nullptr;
        munmap(mapping.base, mapping.capacity + page_bytes);
        mapping = Mapping{};
    }
    const std::size_t bytes = static_cast<std::size_t>(capacity);
    void *reserved = MAP_FAILED;
    if (bytes == capacity && bytes % page_bytes == 0 && bytes <= SIZE_MAX - page_bytes) {
        reserved = mmap(nullptr, bytes + page_bytes, PROT_NONE,
                        MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    }
    if (reserved != MAP_FAILED && mmap(reserved, bytes, PROT_READ | PROT_WRITE,
                                       MAP_SHARED | MAP_FIXED, descriptor, 0) == MAP_FAILED) {
        munmap(reserved, bytes + page_bytes);
        reserved = MAP_FAILED;
    }
    close(descriptor);
    if (reserved == MAP_FAILED) {
        return false;
    }
    mapping.base = reserved;
    mapping.capacity = bytes;
    guard_pages[buffer] = static_cast<char *>(reserved) + bytes;
    return true;
}

// count doubles that end where the buffer ends; null when they do not fit.
double *Host::tail(std::uint32_t buffer, std::uint64_t count) {
    const Mapping &mapping = buffers_[buffer];
    if (mapping.base == nullptr || count > mapping.capacity / sizeof(double)) {
        return nullptr;
    }
    return amisim::host::tail(mapping.base, mapping.capacity, static_cast<std::size_t>(count));
}

bool Host::init(const Request &request) {
    double *matrix = tail(kImpulseBuffer, request.count);
    std::free(parameters_in_);
    parameters_in_ = static_cast<char *>(std::malloc(request.text_length + std::size_t{1}));
    if (parameters_in_ == nullptr || !receive_all(parameters_in_, request.text_length)) {
        return false;
    }
    parameters_in_[request.text_length] = '\0';
    if (matrix == nullptr) {
        return refuse("no room for an impulse matrix of %llu samples",
                      static_cast<unsigned long long>(request.count));
    }
    char *parameters_out = nullptr;
    char *message = nullptr;
    Reply reply{};
    reply.answer = kReturned;
    reply.status = init_(matrix, static_cast<long>(request.row_size),
                         static_cast<long>(request.aggressors), request.sample_interval,
                         request.bit_time, parameters_in_, &parameters_out, &instance_, &message);
    return send_reply(reply, parameters_out, message);
}

bool Host::get_wave(const Request &request) {
    double *wave = tail(kWaveBuffer, request.count);
    double *clock_times = tail(kClockBuffer, request.clock_room);
    if (wave == nullptr || clock_times == nullptr || get_wave_ == nullptr ||
        request.count > LONG_MAX) {
        return refuse("cannot serve AMI_GetWave on %llu samples",
                      static_cast<unsigned long long>(request.count));
    }
    for (std::uint64_t i = 0; i < request.clock_room; ++i) {
        clock_times[i] = -1.0;
    }
    char *parameters_out = nullptr;
    Reply reply{};
    reply.answer = kReturned;
    reply.status =
        get_wave_(wave, static_cast<long>(request.count), clock_times, &parameters_out, instance_);
    return send_reply(reply, parameters_out, nullptr);
}

// Requests until AMI_Close or the end of the socket.
bool Host::serve() {
    for (;;) {
        Request request{};
        int descriptors[kBufferCount];
        if (!receive_request(request, descriptors)) {
            return true;  // the stand-in is gone
        }
        for (std::uint32_t b = 0; b < kBufferCount; ++b) {
            if (descriptors[b] >= 0 && !attach(b, descriptors[b], request.capacity[b])) {
                return refuse("cannot map a shared buffer of %llu bytes: %s",
                              static_cast<unsigned long long>(request.capacity[b]),
                              std::strerror(errno));
            }
        }
        bool served = false;
        if (request.operation == kInit) {
            served = init(request);
        } else if (request.operation == kGetWave) {
            served = get_wave(request);
        } else if (request.operation == kClose) {
            Reply reply{};
            reply.answer = kReturned;
            if (instance_ != nullptr) {
                reply.status = close_(instance_);
                instance_ = nullptr;
            }
            return send_reply(reply, nullptr, nullptr);
        }
        if (!served) {
            return false;
        }
    }
}

}  // namespace

int main(int argc, char **argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s MODEL PARENT_PID (started by amisim)\n", argv[0]);
        return 2;
    }
    // Die with the stand-in, even in the middle of a model's call.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != static_cast<pid_t>(std::strtol(argv[2], nullptr, 10))) {
        return 1;
    }
    page_bytes = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    alignas(16) char alternate_stack[kAlternateStackBytes];
    if (!install_fault_handler(alternate_stack)) {
        std::perror("amisim-host: cannot install its signal handlers");
        return 1;
    }
    Host host;
    if (!host.load(argv[1])) {
        return 1;  // the reason was sent
    }
    _exit(host.serve() ? 0 : 1);
}
