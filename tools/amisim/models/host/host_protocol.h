// What the stand-in and a model host (amisim-host-32, amisim-host-64) say
// to each other. The host runs one AMI model in a process of the model's
// word size; both sides of the conversation may be of either size, so every
// field has a fixed width and a fixed place.
//
// The host is started as `amisim-host-N MODEL PARENT_PID` with a connected
// stream socket on descriptor kSocketFd. It loads the model and says
// kReady (detail 1 when the model has AMI_GetWave) or kRefused (text 0:
// why it cannot be loaded). Then, until AMI_Close or the end of the socket:
//
//   stand-in -> host: Request, then text_length bytes of AMI_parameters_in
//                     (AMI_Init only). A request that attaches buffers
//                     carries one descriptor per set bit of `attached`, in
//                     order of the bit, as SCM_RIGHTS with its first byte.
//   host -> stand-in: Reply, then text_length[0] bytes of the output
//                     parameters and text_length[1] bytes of the message.
//
// Numbers go in the order of the machine (both sides run on one).
//
// The arrays travel in shared memory: one memfd per buffer (impulse
// matrix, wave block, clock times), created by the stand-in and sent once,
// again only when it has to grow. Its size is a multiple of the page size,
// and the host maps it with a guard page right after it. The data of a call
// lies at the end of the buffer, so that the model's first element past its
// array is on the guard page: count elements start at byte
// capacity - count * sizeof(double). When the model touches a guard page,
// the host says kOverrun (detail: the buffer) from its signal handler and
// exits with kOverrunExitStatus.
//
// Before AMI_GetWave the host sets all clock_room clock times to -1.
// A host that cannot serve a request (a buffer it cannot map) says
// kRefused with the reason and exits. kClose calls AMI_Close (when AMI_Init left an instance),
// replies and exits 0. A host that reads the end of the socket exits 0 at once; one whose parent
// dies is killed (PR_SET_PDEATHSIG).
#ifndef AMISIM_HOST_PROTOCOL_H
#define AMISIM_HOST_PROTOCOL_H

#include <cstddef>
#include <cstdint>

namespace amisim::host {

inline constexpr int kSocketFd = 3;
inline constexpr int kOverrunExitStatus = 86;

// The shared buffers, as bits of Request::attached and Reply::detail.
enum Buffer : std::uint32_t { kImpulseBuffer = 0, kWaveBuffer = 1, kClockBuffer = 2 };
inline constexpr int kBufferCount = 3;

enum Operation : std::uint32_t { kInit = 1, kGetWave = 2, kClose = 3 };

struct Request {
    std::uint32_t operation;
    std::uint32_t attached;                // bit b: a new descriptor for buffer b
    std::uint64_t capacity[kBufferCount];  // bytes of each attached buffer
    std::uint64_t count;        // samples: of the impulse matrix (Init), of the block (GetWave)
    std::uint64_t clock_room;   // GetWave: clock times the model may write
    std::int64_t row_size;      // Init
    std::int64_t aggressors;    // Init
    double sample_interval;     // Init
    double bit_time;            // Init
    std::uint32_t text_length;  // Init: bytes of AMI_parameters_in that follow
    std::uint32_t reserved;
};

// kReturned: the entry point returned; kRefused: the host cannot go on
// (text 0: why); kOverrun: the model wrote past the end of a buffer.
enum Answer : std::uint32_t { kReady = 1, kRefused = 2, kReturned = 3, kOverrun = 4 };

// The texts a reply carries.
enum Text : std::uint32_t { kParametersText = 0, kMessageText = 1 };
inline constexpr int kTextCount = 2;

struct Reply {
    std::uint32_t answer;
    std::uint32_t detail;  // kReady: 1 with AMI_GetWave; kOverrun: the Buffer
    std::int64_t status;   // what the entry point returned
    std::uint32_t text_length[kTextCount];
    std::uint32_t text_present;  // bit t: the model returned text t (not a null pointer)
    std::uint32_t reserved;
};

// The same layout on i386 (where 64-bit fields align to 4 bytes) as on
// x86-64.
static_assert(sizeof(Request) == 88 && offsetof(Request, count) == 32 &&
                  offsetof(Request, sample_interval) == 64 && offsetof(Request, text_length) == 80,
              "Request layout");
static_assert(sizeof(Reply) == 32 && offsetof(Reply, status) == 8 &&
                  offsetof(Reply, text_present) == 24,
              "Reply layout");

// The first of count doubles at the end of a buffer of capacity bytes.
inline double *tail(void *buffer, std::size_t capacity, std::size_t count) {
    return static_cast<double *>(buffer) + (capacity / sizeof(double) - count);
}

}  // namespace amisim::host

#endif  // AMISIM_HOST_PROTOCOL_H
