// Touchstone files (.s2p, .s4p): the scattering parameters of a 2-port or
// 4-port network at a list of frequencies, as version 1 files with an option
// line or version 2 files with keywords.
#ifndef AMISIM_TOUCHSTONE_H
#define AMISIM_TOUCHSTONE_H

#include <complex>
#include <istream>
#include <string>
#include <vector>

namespace amisim {

struct Network {
    int ports = 0;
    int version = 1;                  // 1 or 2
    std::vector<double> frequencies;  // Hz, rising
    // s[k][(i - 1) * ports + (j - 1)] is S_ij at frequencies[k]: the wave out
    // of port i for a wave into port j.
    std::vector<std::vector<std::complex<double>>> s;
    std::vector<double> reference_ohms;  // one a port
    std::string format;                  // "RI", "MA" or "DB", as the file gave it
    std::string unit;                    // "Hz", "kHz", "MHz" or "GHz"
    bool noise_data_ignored = false;     // the file's noise parameters are not used

    std::complex<double> at(std::size_t k, int i, int j) const {
        return s[k][static_cast<std::size_t>((i - 1) * ports + (j - 1))];
    }
};

// True if the file names a Touchstone file by its extension (.sNp, any
// case) or, failing that, begins (after blank lines and '!' comments) with
// a '!' comment, [Version], or a '#' line made only of option-line words.
bool looks_like_touchstone(const std::string &path);

// Reads a Touchstone file. The number of ports comes from [Number of Ports]
// (version 2) or the extension .s2p / .s4p (version 1); only 2 and 4 ports
// are read. False with "FILE:LINE: what is wrong" on any fault.
bool read_touchstone(const std::string &path, Network &network, std::string &error);

// The same from a stream, named path in the messages (and for its extension).
bool read_touchstone(std::istream &in, const std::string &path, Network &network,
                     std::string &error);

}  // namespace amisim

#endif  // AMISIM_TOUCHSTONE_H
