#include "tools/amisim/channel/touchstone_channel.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>
#include <utility>

#include "tools/amisim/channel/frequency_response.h"

namespace amisim {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kPassivityTolerance = 1e-6;  // rounding in the file's digits

std::string format(const char *pattern, double a) {
    char text[96];
    std::snprintf(text, sizeof text, pattern, a);
    return text;
}

std::string frequency_text(double f) {
    if (f >= 1e9) {
        return format("%.6g GHz", f / 1e9);
    }
    if (f >= 1e6) {
        return format("%.6g MHz", f / 1e6);
    }
    return f >= 1e3 ? format("%.6g kHz", f / 1e3) : format("%.6g Hz", f);
}

// Frequencies where a figure exceeds 1: how many, their range, the worst.
struct Excess {
    std::size_t count = 0;
    double first = 0.0;
    double last = 0.0;
    double worst = 0.0;
    double worst_at = 0.0;

    void add(double f, double value) {
        if (value <= 1.0 + kPassivityTolerance) {
            return;
        }
        if (count++ == 0) {
            first = f;
        }
        last = f;
        if (value > worst) {
            worst = value;
            worst_at = f;
        }
    }
    std::string text(const std::string &what, std::size_t points) const {
        return "passivity: " + what + " exceeds 1 at " + std::to_string(count) + " of " +
               std::to_string(points) + " frequencies (" + frequency_text(first) + " to " +
               frequency_text(last) + "), at most " + format("%.4g", worst) + " at " +
               frequency_text(worst_at);
    }
};

std::vector<std::string> passivity_warnings(const Network &network,
                                            const std::vector<std::complex<double>> &through,
                                            const std::string &through_name) {
    Excess through_excess;
    Excess column_excess;
    for (std::size_t k = 0; k < network.frequencies.size(); ++k) {
        const double f = network.frequencies[k];
        through_excess.add(f, std::abs(through[k]));
        // A frequency counts once, with its worst column.
        double worst_power = 0.0;
        for (int j = 1; j <= network.ports; ++j) {
            double power = 0.0;
            for (int i = 1; i <= network.ports; ++i) {
                power += std::norm(network.at(k, i, j));
            }
            worst_power = std::max(worst_power, power);
        }
        column_excess.add(f, worst_power);
    }
    std::vector<std::string> warnings;
    const std::size_t points = network.frequencies.size();
    if (through_excess.count > 0) {
        warnings.push_back(through_excess.text("|" + through_name + "|", points));
    }
    if (column_excess.count > 0) {
        warnings.push_back(column_excess.text(
            "the power out of all ports for a wave into one, sum over i of |S_ij|^2,", points));
    }
    return warnings;
}

// "a,b,c": one port number from 1 to 9 between each pair of commas.
bool parse_ports(const std::string &text, std::vector<int> &ports) {
    std::size_t begin = 0;
    while (begin <= text.size()) {
        auto end = text.find(',', begin);
        if (end == std::string::npos) {
            end = text.size();
        }
        const std::string field = text.substr(begin, end - begin);
        if (field.size() != 1 || field[0] < '1' || field[0] > '9') {
            return false;
        }
        ports.push_back(field[0] - '0');
        begin = end + 1;
    }
    return true;
}

}  // namespace

bool parse_port_order(const std::string &text, int ports, PortOrder &order, std::string &error) {
    order = PortOrder{};
    if (ports == 2) {
        order.in_minus = 0;
        order.out_minus = 0;
    }
    if (text.empty()) {
        return true;
    }
    std::vector<int> list;
    const bool parsed = parse_ports(text, list);
    const std::size_t wanted = ports == 2 ? 2 : 4;
    bool valid = parsed && list.size() == wanted;
    for (std::size_t a = 0; valid && a < list.size(); ++a) {
        valid = list[a] <= ports;
        for (std::size_t b = 0; valid && b < a; ++b) {
            valid = list[a] != list[b];
        }
    }
    if (!valid) {
        error = "--ports " + text + ": a " + std::to_string(ports) + "-port file needs " +
                (ports == 2 ? "IN,OUT, two different ports of 1 and 2"
                            : "P1+,P1-,P2+,P2-, four different ports from 1 to 4");
        return false;
    }
    if (ports == 2) {
        order.in_plus = list[0];
        order.out_plus = list[1];
    } else {
        order = PortOrder{list[0], list[1], list[2], list[3]};
    }
    return true;
}

std::string port_order_text(const PortOrder &order, int ports) {
    std::string text = std::to_string(order.in_plus) + ",";
    if (ports == 4) {
        text += std::to_string(order.in_minus) + ",";
    }
    text += std::to_string(order.out_plus);
    if (ports == 4) {
        text += "," + std::to_string(order.out_minus);
    }
    return text;
}

std::vector<std::complex<double>> through_response(const Network &network, const PortOrder &order) {
    std::vector<std::complex<double>> through(network.frequencies.size());
    for (std::size_t k = 0; k < through.size(); ++k) {
        if (network.ports == 2) {
            through[k] = network.at(k, order.out_plus, order.in_plus);
        } else {
            through[k] = 0.5 * (network.at(k, order.out_plus, order.in_plus) -
                                network.at(k, order.out_plus, order.in_minus) -
                                network.at(k, order.out_minus, order.in_plus) +
                                network.at(k, order.out_minus, order.in_minus));
        }
    }
    return through;
}

bool read_touchstone_channel(const std::string &path, const std::string &port_order,
                             double sample_interval, Channel &channel, std::string &error) {
    Network network;
    return read_touchstone(path, network, error) &&
           touchstone_channel(path, network, port_order, sample_interval, channel, error);
}

bool touchstone_channel(const std::string &path, const Network &network,
                        const std::string &port_order, double sample_interval, Channel &channel,
                        std::string &error) {
    PortOrder order;
    if (!parse_port_order(port_order, network.ports, order, error)) {
        error = path + ": " + error;
        return false;
    }
    const std::vector<std::complex<double>> through = through_response(network, order);
    if (std::all_of(through.begin(), through.end(),
                    [](std::complex<double> v) { return v == 0.0; })) {
        error = path + ": the through response with --ports " +
                port_order_text(order, network.ports) +
                " is zero at every frequency; check the file's port numbering";
        return false;
    }
    ImpulseConversion conversion;
    if (!impulse_from_frequency_response(network.frequencies, through, sample_interval, conversion,
                                         error)) {
        error = path + ": " + error;
        return false;
    }
    const std::string name =
        network.ports == 2 ? "S" + std::to_string(order.out_plus) + std::to_string(order.in_plus)
                           : std::string("Sdd21");
    const double dt = sample_interval;
    const std::size_t points = network.frequencies.size();
    const double f0 = network.frequencies.front();
    const double f1 = network.frequencies.back();
    const double step = (f1 - f0) / static_cast<double>(points - 1);
    std::ostringstream text;
    text << path << ": Touchstone version " << network.version << ", " << network.ports
         << " ports, " << points << " frequencies from " << frequency_text(f0) << " to "
         << frequency_text(f1) << " (step " << frequency_text(step) << " on average), "
         << network.format << " in " << network.unit << ", reference";
    const auto &ohms = network.reference_ohms;
    if (std::equal(ohms.begin() + 1, ohms.end(), ohms.begin())) {
        text << " " << ohms[0];
    } else {
        for (double port_ohms : ohms) {
            text << " " << port_ohms;
        }
    }
    text << " ohm (used as given, not renormalised)\n";
    text << "  through:   " << name << " with --ports " << port_order_text(order, network.ports);
    if (network.ports == 4) {
        text << " (in: " << order.in_plus << " +, " << order.in_minus
             << " -; out: " << order.out_plus << " +, " << order.out_minus << " -)";
    }
    text << "\n  DC:        " << format("%.6g", conversion.dc);
    if (f0 > 0.0) {
        text << " (extrapolated from " << frequency_text(f0) << ", where |" << name
             << "| = " << format("%.6g", std::abs(through[0]))
             << ": the phase line through the two lowest points meets DC at "
             << format("%.1f", conversion.dc_phase_intercept * 180.0 / kPi) << " deg, and |" << name
             << "| times its cosine is the DC value)";
    } else {
        text << " (the file's 0 Hz point, real part)";
    }
    if (f0 > 0.0) {
        text << "\n  below f0:  magnitude and phase run linearly from |DC| = "
             << format("%.6g", std::fabs(conversion.dc)) << " and "
             << (conversion.dc < 0.0 ? "180" : "0") << " deg at DC to |" << name
             << "| and its phase at " << frequency_text(f0);
    }
    text << "\n  band:      up to " << frequency_text(conversion.band_top) << " (data to "
         << frequency_text(f1) << ", Nyquist " << frequency_text(0.5 / dt)
         << "), raised-cosine taper from " << frequency_text(conversion.taper_start)
         << ", zero above\n";
    text << "  impulse:   " << conversion.fft_points << "-point inverse FFT (period "
         << format("%.4g", static_cast<double>(conversion.fft_points) * dt * 1e9) << " ns), "
         << conversion.impulse.size() << " samples kept ("
         << format("%.4g", static_cast<double>(conversion.impulse.size()) * dt * 1e9)
         << " ns), the first " << conversion.lead << " before t = 0\n";
    text << "  causality: " << format("%.3g", 100.0 * conversion.noncausal_energy)
         << "% of the energy lies before t = 0 (the period's last quarter)";

    std::vector<std::string> warnings = passivity_warnings(network, through, name);
    if (static_cast<double>(conversion.fft_points) * dt < conversion.period_needed) {
        warnings.push_back(
            "period: the FFT is at its largest, " + std::to_string(conversion.fft_points) +
            " points, a period of " +
            format("%.4g", static_cast<double>(conversion.fft_points) * dt * 1e9) +
            " ns, shorter than the " + format("%.4g", conversion.period_needed * 1e9) +
            " ns (1 / frequency step) the data resolve: the response wraps around; a larger "
            "sample interval or a coarser frequency step avoids it");
    }
    if (conversion.noncausal_energy > 0.01) {
        warnings.push_back("causality: " + format("%.3g", 100.0 * conversion.noncausal_energy) +
                           "% of the response's energy comes before t = 0 (more than 1%): the "
                           "data are not causal, or the period is too short for the response");
    }
    if (f0 > 0.0 && std::fabs(std::sin(conversion.dc_phase_intercept)) > std::sin(kPi / 18.0)) {
        warnings.push_back(
            "DC: the phase line meets DC at " +
            format("%.1f", conversion.dc_phase_intercept * 180.0 / kPi) +
            " deg, far from 0 or 180; the DC value " + format("%.4g", conversion.dc) +
            " is far from the lowest point's magnitude " + format("%.4g", std::abs(through[0])));
    }
    if (f0 > 100e6) {
        warnings.push_back("DC: the data start at " + frequency_text(f0) +
                           "; the extrapolation to DC spans a wide gap");
    }
    if (conversion.largest_phase_step > kPi / 2.0) {
        warnings.push_back("sparse grid: the phase turns by " +
                           format("%.0f", conversion.largest_phase_step * 180.0 / kPi) +
                           " deg between points (at " +
                           frequency_text(conversion.largest_phase_step_at) +
                           "); above 90 deg a step, unwrapping may miss whole turns");
    }
    if (network.ports == 4) {
        const PortOrder other = order.out_plus == 2 && order.in_minus == 3
                                    ? PortOrder{order.in_plus, 2, 3, order.out_minus}
                                    : PortOrder{};
        const double here = std::abs(through[0]);
        const double there = std::abs(through_response(network, other)[0]);
        if (here < 0.5 && there > 2.0 * here) {
            warnings.push_back("ports: |" + name + "| at " + frequency_text(f0) + " is " +
                               format("%.3g", here) + " but " + format("%.3g", there) +
                               " with --ports " + port_order_text(other, 4) +
                               "; check the file's port numbering");
        }
    }
    if (network.noise_data_ignored) {
        warnings.push_back("the file's noise parameters are not used");
    }
    for (const std::string &warning : warnings) {
        text << "\n  warning:   " << warning;
    }
    channel.columns.clear();
    channel.columns.push_back(std::move(conversion.impulse));
    channel.sample_interval = 0.0;  // the simulation's own
    channel.start_time = -static_cast<double>(conversion.lead) * dt;
    channel.description = text.str();
    channel.warnings = std::move(warnings);
    return true;
}

}  // namespace amisim
