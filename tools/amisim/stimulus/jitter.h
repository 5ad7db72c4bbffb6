// The jitter of a transmitter's edges or of a receiver's sampling instants,
// in the components the IBIS-AMI reserved parameters name, and the noise at
// the receiver. Times in seconds.
#ifndef AMISIM_JITTER_H
#define AMISIM_JITTER_H

#include "tools/amisim/stimulus/random_stream.h"

namespace amisim {

struct Jitter {
    double rj = 0.0;            // random: standard deviation of a Gaussian
    double dj = 0.0;            // deterministic: peak to peak of a dual Dirac, +-dj/2
    double sj = 0.0;            // sinusoidal: amplitude (half the peak to peak)
    double sj_frequency = 0.0;  // Hz, of the sinusoid
    double dcd = 0.0;           // duty-cycle distortion, peak to peak: +-dcd/2
    bool any() const { return rj != 0.0 || dj != 0.0 || sj != 0.0 || dcd != 0.0; }
};

// The jitter with its times in another unit (seconds per unit), the
// sinusoid's frequency as it was.
Jitter jitter_in(const Jitter &jitter, double unit);

// One displacement's random and sinusoidal parts, in the jitter's units:
// rj times a standard normal deviate plus +-dj/2 by a random bit (each
// drawn only where it is not 0), plus sj sin(2 pi cycles), cycles the
// sinusoid's phase in periods.
double random_and_sinusoidal(const Jitter &jitter, double cycles, RandomStream &random);

// The impairments of a link's run: the transmitter's jitter on its edges,
// the receiver's on its sampling instants, and the Gaussian noise at its
// decision point (volts, standard deviation).
struct Impairments {
    Jitter tx;
    Jitter rx;
    double rx_noise = 0.0;
};

}  // namespace amisim

#endif  // AMISIM_JITTER_H
