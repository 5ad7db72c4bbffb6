// A model host running as a child process, connected through a socket
// pair: started with posix_spawn, watched through a pidfd, and killed and
// reaped at the latest when its owner goes, so that no process is left
// behind whatever happened.
#ifndef AMISIM_HOST_PROCESS_H
#define AMISIM_HOST_PROCESS_H

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

#include "tools/amisim/models/unique_fd.h"

namespace amisim {

class HostProcess {
  public:
    using Clock = std::chrono::steady_clock;

    HostProcess() = default;
    ~HostProcess() { kill_and_reap(); }
    HostProcess(const HostProcess &) = delete;
    HostProcess &operator=(const HostProcess &) = delete;

    // Runs arguments[0] (searched on PATH when it has no slash) with its end
    // of the socket on host::kSocketFd, standard input from /dev/null, in a
    // process group of its own (so a terminal's interrupt reaches only the
    // stand-in, which ends the host). 0, or the errno of the failure.
    int start(const std::vector<std::string> &arguments);

    // The stand-in's end of the socket.
    int socket() const { return socket_.get(); }

    enum class Event { kReadable, kEnded, kTimedOut };
    // Waits until the socket has data or has closed, the process has ended
    // (its socket drained first), or the deadline.
    Event wait(Clock::time_point deadline) const;

    // Waits until the deadline for the process to end; true with its wait
    // status when it did (then it is reaped).
    bool reap(Clock::time_point deadline, int &status);

    // Kills the process (SIGKILL) unless it has been reaped, and reaps it.
    void kill_and_reap();

  private:
    pid_t pid_ = -1;  // -1 once reaped
    UniqueFd pidfd_;  // invalid where the kernel has no pidfd_open
    UniqueFd socket_;
};

}  // namespace amisim

#endif  // AMISIM_HOST_PROCESS_H
