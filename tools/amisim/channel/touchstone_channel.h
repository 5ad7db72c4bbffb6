// A channel from a Touchstone file: the through response of a 2-port (S21)
// or the differential through response of a 4-port (Sdd21), checked for
// passivity and turned into an impulse response at the sample interval.
#ifndef AMISIM_TOUCHSTONE_CHANNEL_H
#define AMISIM_TOUCHSTONE_CHANNEL_H

#include <complex>
#include <string>
#include <vector>

#include "tools/amisim/channel/channel.h"
#include "tools/amisim/channel/touchstone.h"

namespace amisim {

// Which Touchstone ports carry the signal. A 2-port: in_plus -> out_plus
// (default 1 -> 2). A 4-port: the pair in_plus, in_minus drives the pair
// out_plus, out_minus (default 1,3 -> 2,4: odd ports on one side, even on
// the other; a file numbered 1,2 -> 3,4 needs --ports 1,2,3,4).
struct PortOrder {
    int in_plus = 1;
    int in_minus = 3;
    int out_plus = 2;
    int out_minus = 4;
};

// Parses "P1+,P1-,P2+,P2-" (4 ports) or "IN,OUT" (2 ports), empty for the
// default, against a network of the given number of ports.
bool parse_port_order(const std::string &text, int ports, PortOrder &order, std::string &error);

// The order as the option writes it.
std::string port_order_text(const PortOrder &order, int ports);

// S21 of a 2-port (S_out,in); of a 4-port the differential-mode through
// response Sdd21 = (S_p2p1 - S_p2n1 - S_n2p1 + S_n2n1) / 2.
std::vector<std::complex<double>> through_response(const Network &network, const PortOrder &order);

// Reads the file, forms the through response and converts it. The
// channel's description says what the conversion did, warnings included,
// on several lines. False with "FILE[:LINE]: ..." on bad input.
bool read_touchstone_channel(const std::string &path, const std::string &port_order,
                             double sample_interval, Channel &channel, std::string &error);

// The same for a network already read from path.
bool touchstone_channel(const std::string &path, const Network &network,
                        const std::string &port_order, double sample_interval, Channel &channel,
                        std::string &error);

}  // namespace amisim

#endif  // AMISIM_TOUCHSTONE_CHANNEL_H
