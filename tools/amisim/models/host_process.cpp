#include "tools/amisim/models/host_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <thread>

#include "tools/amisim/models/host/host_protocol.h"

namespace amisim {

namespace {

// posix_spawn's file actions and attributes, destroyed with their owner.
struct SpawnSetup {
    posix_spawn_file_actions_t actions{};
    posix_spawnattr_t attributes{};
    SpawnSetup() {
        posix_spawn_file_actions_init(&actions);
        posix_spawnattr_init(&attributes);
    }
    ~SpawnSetup() {
        posix_spawnattr_destroy(&attributes);
        posix_spawn_file_actions_destroy(&actions);
    }
    SpawnSetup(const SpawnSetup &) = delete;
    SpawnSetup &operator=(const SpawnSetup &) = delete;
};

int milliseconds_until(HostProcess::Clock::time_point deadline) {
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - HostProcess::Clock::now());
    return static_cast<int>(std::clamp<long long>(left.count(), 0, 3600LL * 1000));
}

}  // namespace

int HostProcess::start(const std::vector<std::string> &arguments) {
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) {
        return errno;
    }
    UniqueFd ours(pair[0]);
    UniqueFd theirs(pair[1]);
    if (theirs.get() == host::kSocketFd) {
        // dup2 onto itself would leave it close-on-exec.
        theirs = UniqueFd(fcntl(theirs.get(), F_DUPFD_CLOEXEC, host::kSocketFd + 1));
        if (!theirs.valid()) {
            return errno;
        }
    }
    SpawnSetup setup;
    posix_spawn_file_actions_addopen(&setup.actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&setup.actions, theirs.get(), host::kSocketFd);
    posix_spawn_file_actions_addclosefrom_np(&setup.actions, host::kSocketFd + 1);
    sigset_t none;
    sigset_t all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&setup.attributes, &none);
    posix_spawnattr_setsigdefault(&setup.attributes, &all);
    posix_spawnattr_setpgroup(&setup.attributes, 0);
    posix_spawnattr_setflags(
        &setup.attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);
    std::vector<char *> argv;
    argv.reserve(arguments.size() + 1);
    for (const auto &argument : arguments) {
        argv.push_back(const_cast<char *>(argument.c_str()));
    }
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int failed =
        posix_spawnp(&pid, argv[0], &setup.actions, &setup.attributes, argv.data(), environ);
    if (failed != 0) {
        return failed;
    }
    pid_ = pid;
    pidfd_ = UniqueFd(static_cast<int>(syscall(SYS_pidfd_open, pid, 0)));
    socket_ = std::move(ours);
    return 0;
}

HostProcess::Event HostProcess::wait(Clock::time_point deadline) const {
    for (;;) {
        pollfd watched[2] = {{socket_.get(), POLLIN, 0}, {pidfd_.get(), POLLIN, 0}};
        // Without a pidfd the socket's end tells that the process ended.
        const int ready = poll(watched, pidfd_.valid() ? 2 : 1, milliseconds_until(deadline));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready < 0 || (watched[0].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
            return Event::kReadable;
        }
        if ((watched[1].revents & POLLIN) != 0) {
            return Event::kEnded;
        }
        if (Clock::now() >= deadline) {
            return Event::kTimedOut;
        }
    }
}

bool HostProcess::reap(Clock::time_point deadline, int &status) {
    if (pid_ < 0) {
        return false;
    }
    for (;;) {
        const pid_t done = waitpid(pid_, &status, WNOHANG);
        if (done == pid_ || (done < 0 && errno != EINTR)) {
            pid_ = -1;
            pidfd_.reset();
            return done > 0;
        }
        if (Clock::now() >= deadline) {
            return false;
        }
        if (pidfd_.valid()) {
            pollfd watched{pidfd_.get(), POLLIN, 0};
            poll(&watched, 1, milliseconds_until(deadline));
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
}

void HostProcess::kill_and_reap() {
    if (pid_ >= 0) {
        kill(pid_, SIGKILL);
        int status = 0;
        while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        pid_ = -1;
    }
    pidfd_.reset();
    socket_.reset();
}

}  // namespace amisim
