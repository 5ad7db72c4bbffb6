// Models run out of process: each in a host program of the model's own word
// size (amisim-host-64, amisim-host-32), reached through a socket, with the
// arrays in shared memory. A model that crashes, exits, hangs past its
// limit or writes past the end of an array ends its host, not the stand-in;
// the session reports it (ModelSession::failure()) and leaves no process
// and no shared memory behind.
//
// start_get_wave() only hands the block over, so the caller can work on the
// previous block while the host runs AMI_GetWave.
//
// The host is killed when the thread that opened its session ends
// (PR_SET_PDEATHSIG follows the thread): open sessions on a thread that
// outlives them.
#ifndef AMISIM_HOSTED_SESSION_H
#define AMISIM_HOSTED_SESSION_H

#include <memory>
#include <string>

#include "tools/amisim/models/model_session.h"

namespace amisim {

struct HostedOptions {
    // The host programs; empty: amisim-host-64 and amisim-host-32 beside
    // this program. Where the kernel cannot run i386 programs the i386 host
    // runs under qemu-i386.
    std::string host_64;
    std::string host_32;
    // Time limits. Loading the model and AMI_Init get init_seconds,
    // AMI_GetWave and AMI_Close call_seconds, each plus seconds_per_sample
    // for every sample of the call's array. A sound model takes
    // microseconds per block: 10 s is far beyond any block of a real model,
    // and 2 us per sample (some 500 times what this product's model needs,
    // more than an emulated i386 model takes) lets one huge block through.
    double init_seconds = 60.0;
    double call_seconds = 10.0;
    double seconds_per_sample = 2e-6;
};

// The model at path in a host of its word size, loaded and ready for
// AMI_Init. Null with error (the loader's own words where it refused) when
// the model cannot be loaded or its host cannot run.
std::unique_ptr<ModelSession> open_hosted(const std::string &path, const HostedOptions &options,
                                          std::string &error);

}  // namespace amisim

#endif  // AMISIM_HOSTED_SESSION_H
