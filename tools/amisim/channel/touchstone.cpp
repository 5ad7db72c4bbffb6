#include "tools/amisim/channel/touchstone.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace amisim {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kLargestMagnitude = 1e6;

std::string lower(std::string text) {
    for (char &c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

std::string trim(const std::string &text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) {
        return "";
    }
    const auto last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

std::vector<std::string> words(const std::string &text) {
    std::istringstream in(text);
    std::vector<std::string> out;
    std::string word;
    while (in >> word) {
        out.push_back(word);
    }
    return out;
}

// The number of ports an extension .sNp names, 0 if it names none.
int ports_from_extension(const std::string &path) {
    const std::string name = lower(path);
    const auto dot = name.find_last_of('.');
    if (dot == std::string::npos || name.size() < dot + 4 || name[dot + 1] != 's' ||
        name.back() != 'p') {
        return 0;
    }
    const std::string digits = name.substr(dot + 2, name.size() - dot - 3);
    if (digits.empty() || digits.size() > 3 ||
        digits.find_first_not_of("0123456789") != std::string::npos) {
        return 0;
    }
    return std::atoi(digits.c_str());
}

double unit_scale(const std::string &unit) {
    if (unit == "hz") {
        return 1.0;
    }
    if (unit == "khz") {
        return 1e3;
    }
    if (unit == "mhz") {
        return 1e6;
    }
    return unit == "ghz" ? 1e9 : 0.0;
}

bool is_option_word(const std::string &word) {
    const std::string w = lower(word);
    return unit_scale(w) > 0.0 || w == "s" || w == "y" || w == "z" || w == "h" || w == "g" ||
           w == "db" || w == "ma" || w == "ri" || w == "r";
}

// Editors on some systems begin a UTF-8 file with a byte-order mark.
void skip_byte_order_mark(std::string &first_line) {
    if (first_line.rfind("\xEF\xBB\xBF", 0) == 0) {
        first_line.erase(0, 3);
    }
}

enum class Field { kNumber, kNotNumber, kNotFinite };

Field parse_field(const std::string &text, double &value) {
    errno = 0;
    char *end = nullptr;
    value = std::strtod(text.c_str(), &end);
    if (end == text.c_str() || *end != '\0') {
        return Field::kNotNumber;
    }
    return std::isfinite(value) && errno != ERANGE ? Field::kNumber : Field::kNotFinite;
}

// One pass over the file, line by line.
class TouchstoneReader {
  public:
    TouchstoneReader(const std::string &path, Network &network, std::string &error)
        : path_(path), network_(network), error_(error) {}

    bool read(std::istream &in) {
        network_ = Network{};
        const int from_extension = ports_from_extension(path_);
        if (from_extension != 0 && from_extension != 2 && from_extension != 4) {
            return fail_at(0, "a " + std::to_string(from_extension) +
                                  "-port file; only 2-port and 4-port networks are read");
        }
        network_.ports = from_extension;
        std::string line;
        while (!done_ && std::getline(in, line)) {
            ++line_;
            if (line_ == 1) {
                skip_byte_order_mark(line);
            }
            const auto bang = line.find('!');
            if (bang != std::string::npos) {
                line.erase(bang);
            }
            line = trim(line);
            if (line.empty()) {
                continue;
            }
            if (!read_line(line)) {
                return false;
            }
        }
        if (in.bad()) {
            error_ = path_ + ": read error";
            return false;
        }
        return finish();
    }

  private:
    bool fail_at(std::size_t line, const std::string &message) {
        error_ = path_ + ":" + (line == 0 ? "" : std::to_string(line) + ":") + " " + message;
        return false;
    }
    bool fail(const std::string &message) { return fail_at(line_, message); }

    bool read_line(const std::string &line) {
        if (in_information_) {
            if (lower(line).rfind("[end information]", 0) == 0) {
                in_information_ = false;
            }
            return true;
        }
        if (line[0] == '[') {
            return read_keyword(line);
        }
        if (reference_pending_ > 0) {
            return read_reference(line);
        }
        if (line[0] == '#') {
            return read_option_line(line.substr(1));
        }
        if (in_noise_) {
            return true;
        }
        return read_data(line);
    }

    bool read_keyword(const std::string &line) {
        const auto close = line.find(']');
        if (close == std::string::npos) {
            return fail("'" + line + "' has no closing ']'");
        }
        const std::string keyword = lower(trim(line.substr(1, close - 1)));
        const std::string argument = trim(line.substr(close + 1));
        if (keyword == "version") {
            if (option_line_ != 0 || !network_.frequencies.empty() || network_.version == 2) {
                return fail("[Version] must come first, before the option line and the data");
            }
            if (argument.rfind('2', 0) != 0) {
                return fail("[Version] " + argument + ": only versions 1 and 2 are read");
            }
            network_.version = 2;
            return true;
        }
        if (network_.version != 2) {
            return fail("[" + trim(line.substr(1, close - 1)) +
                        "] in a file without [Version] 2.0 on its first line");
        }
        if (in_data_ && keyword != "end" && keyword != "noise data") {
            return fail("[" + keyword + "] inside [Network Data]");
        }
        if (keyword == "number of ports") {
            double ports = 0.0;
            if (parse_field(argument, ports) != Field::kNumber || (ports != 2.0 && ports != 4.0)) {
                return fail("[Number of Ports] " + argument +
                            ": only 2-port and 4-port networks are read");
            }
            network_.ports = static_cast<int>(ports);
            return true;
        }
        if (keyword == "two-port data order") {
            const std::string order = lower(argument);
            if (order != "12_21" && order != "21_12") {
                return fail("[Two-Port Data Order] " + argument + ": neither 12_21 nor 21_12");
            }
            order_12_21_ = order == "12_21";
            order_given_ = true;
            return true;
        }
        if (keyword == "number of frequencies") {
            double count = 0.0;
            if (parse_field(argument, count) != Field::kNumber || count < 1.0 ||
                count != std::floor(count)) {
                return fail("[Number of Frequencies] " + argument +
                            " is not a whole number above 0");
            }
            expected_frequencies_ = static_cast<std::size_t>(count);
            return true;
        }
        if (keyword == "number of noise frequencies") {
            return true;
        }
        if (keyword == "reference") {
            if (network_.ports == 0) {
                return fail("[Reference] before [Number of Ports]");
            }
            network_.reference_ohms.clear();
            reference_pending_ = static_cast<std::size_t>(network_.ports);
            return argument.empty() || read_reference(argument);
        }
        if (keyword == "matrix format") {
            if (lower(argument) != "full") {
                return fail("[Matrix Format] " + argument +
                            ": only Full matrices are read (write every S_ij)");
            }
            return true;
        }
        if (keyword == "mixed-mode order") {
            return fail(
                "[Mixed-Mode Order]: mixed-mode data is not read; give single-ended S parameters");
        }
        if (keyword == "begin information") {
            in_information_ = true;
            return true;
        }
        if (keyword == "network data") {
            if (network_.ports == 0) {
                return fail("[Network Data] without [Number of Ports] before it");
            }
            if (option_line_ == 0) {
                return fail("[Network Data] without an option line ('# GHz S MA R 50') before it");
            }
            if (network_.ports == 2 && !order_given_) {
                return fail("[Network Data] of a 2-port without [Two-Port Data Order] before it");
            }
            in_data_ = true;
            return true;
        }
        if (keyword == "noise data") {
            if (!finish_record()) {
                return false;
            }
            in_data_ = false;
            in_noise_ = true;
            network_.noise_data_ignored = true;
            return true;
        }
        if (keyword == "end") {
            done_ = true;
            return true;
        }
        return fail("unknown keyword [" + trim(line.substr(1, close - 1)) + "]");
    }

    bool read_reference(const std::string &line) {
        for (const std::string &word : words(line)) {
            double ohms = 0.0;
            if (reference_pending_ == 0) {
                return fail("[Reference] holds more than " + std::to_string(network_.ports) +
                            " values");
            }
            if (parse_field(word, ohms) != Field::kNumber || ohms <= 0.0) {
                return fail("[Reference]: '" + word + "' is not an impedance in ohms above 0");
            }
            network_.reference_ohms.push_back(ohms);
            --reference_pending_;
        }
        return true;
    }

    bool read_option_line(const std::string &text) {
        if (option_line_ != 0) {
            return fail("a second option line (the first is on line " +
                        std::to_string(option_line_) + ")");
        }
        if (!network_.frequencies.empty() || !record_.empty()) {
            return fail("the option line comes after network data");
        }
        option_line_ = line_;
        const std::vector<std::string> list = words(text);
        for (std::size_t i = 0; i < list.size(); ++i) {
            const std::string w = lower(list[i]);
            if (unit_scale(w) > 0.0) {
                scale_ = unit_scale(w);
                network_.unit =
                    w == "hz" ? "Hz" : (w == "khz" ? "kHz" : (w == "mhz" ? "MHz" : "GHz"));
            } else if (w == "s") {
                continue;
            } else if (w == "y" || w == "z" || w == "h" || w == "g") {
                return fail("option line: " + list[i] +
                            " parameters; only S (scattering) parameters are read");
            } else if (w == "db" || w == "ma" || w == "ri") {
                network_.format = lower(w) == "db" ? "DB" : (w == "ma" ? "MA" : "RI");
            } else if (w == "r") {
                double ohms = 0.0;
                if (i + 1 >= list.size() || parse_field(list[i + 1], ohms) != Field::kNumber ||
                    ohms <= 0.0) {
                    return fail("option line: R needs a reference impedance in ohms above 0");
                }
                reference_ = ohms;
                ++i;
            } else {
                return fail("option line: '" + list[i] +
                            "' is none of the units Hz, kHz, MHz, GHz, the parameter S, the "
                            "formats RI, MA, DB, or R and an impedance");
            }
        }
        return true;
    }

    // The name of the m-th pair of a record, S_ij, in the file's order.
    std::string file_order_name(std::size_t m) const {
        const auto n = static_cast<std::size_t>(network_.ports);
        std::size_t i = m / n;
        std::size_t j = m % n;
        if (n == 2 && (network_.version == 1 || !order_12_21_)) {
            std::swap(i, j);  // S11 S21 S12 S22
        }
        return "S" + std::to_string(i + 1) + std::to_string(j + 1);
    }

    // A frequency as the file writes it, in its unit.
    std::string in_file_unit(double f) const {
        std::ostringstream text;
        text << f / scale_ << " " << (network_.unit.empty() ? "GHz" : network_.unit);
        return text.str();
    }

    std::size_t values_per_record() const {
        const auto n = static_cast<std::size_t>(network_.ports);
        return 1 + 2 * n * n;
    }

    bool read_data(const std::string &line) {
        if (network_.version == 2 && !in_data_) {
            return fail("data outside [Network Data]");
        }
        if (option_line_ == 0) {
            return fail("data before the option line (such as '# GHz S MA R 50')");
        }
        if (network_.ports == 0) {
            return fail(
                "a version 1 file says its number of ports by its extension: name it .s2p or "
                ".s4p");
        }
        std::vector<double> values;
        for (const std::string &word : words(line)) {
            double value = 0.0;
            const Field field = parse_field(word, value);
            if (field == Field::kNotNumber) {
                return fail("'" + word + "' is not a number");
            }
            if (field == Field::kNotFinite) {
                return fail("'" + word + "' is not a finite number");
            }
            values.push_back(value);
        }
        // In a version 1 2-port file, noise parameters follow the network
        // data, five values a line, from a frequency no higher than the last.
        if (network_.version == 1 && network_.ports == 2 && record_.empty() && values.size() == 5 &&
            !network_.frequencies.empty() && values[0] * scale_ <= network_.frequencies.back()) {
            network_.noise_data_ignored = true;
            in_noise_ = true;
            return true;
        }
        if (record_.empty()) {
            record_line_ = line_;
        }
        const std::size_t needed = values_per_record();
        if (record_.size() + values.size() > needed) {
            return fail(std::to_string(record_.size() + values.size()) +
                        " values for the frequency on line " + std::to_string(record_line_) +
                        ", where a " + std::to_string(network_.ports) + "-port record holds " +
                        std::to_string(needed) + " (the frequency and " +
                        std::to_string(needed / 2) + " pairs)");
        }
        record_.insert(record_.end(), values.begin(), values.end());
        if (record_.size() < needed && network_.version == 1 && network_.ports <= 2) {
            return fail(std::to_string(values.size()) + " values where a 2-port line holds " +
                        std::to_string(needed) + " (the frequency and 4 pairs)");
        }
        return record_.size() < needed || finish_record();
    }

    std::complex<double> pair(std::size_t at) const {
        const double a = record_[at];
        const double b = record_[at + 1];
        const double angle = b * kPi / 180.0;
        if (network_.format == "RI") {
            return {a, b};
        }
        if (network_.format == "DB") {
            return std::polar(std::pow(10.0, a / 20.0), angle);
        }
        return std::polar(a, angle);
    }

    bool finish_record() {
        if (record_.empty()) {
            return true;
        }
        if (record_.size() < values_per_record()) {
            return fail("the record for " + in_file_unit(record_[0] * scale_) + " begun on line " +
                        std::to_string(record_line_) + " ends here with " +
                        std::to_string(record_.size()) + " of " +
                        std::to_string(values_per_record()) + " values");
        }
        const double f = record_[0] * scale_;
        if (!std::isfinite(f)) {
            std::ostringstream text;
            text << "frequency " << record_[0] << " "
                 << (network_.unit.empty() ? "GHz" : network_.unit)
                 << " is beyond any finite number of Hz";
            return fail_at(record_line_, text.str());
        }
        if (f < 0.0) {
            return fail_at(record_line_, "negative frequency " + in_file_unit(f));
        }
        if (!network_.frequencies.empty() && f <= network_.frequencies.back()) {
            return fail_at(record_line_, "frequency " + in_file_unit(f) +
                                             " is not above the one before it, " +
                                             in_file_unit(network_.frequencies.back()) +
                                             " (frequencies must rise)");
        }
        const int n = network_.ports;
        std::vector<std::complex<double>> matrix(static_cast<std::size_t>(n * n));
        for (std::size_t m = 0; m < matrix.size(); ++m) {
            matrix[m] = pair(1 + 2 * m);
            // Gains beyond 10^6 (120 dB) are no channel's: the values are wrong.
            if (!(std::abs(matrix[m]) <= kLargestMagnitude)) {
                return fail_at(record_line_, file_order_name(m) + " at " + in_file_unit(f) +
                                                 " has a magnitude that is not a finite number "
                                                 "up to 1e6");
            }
        }
        if (n == 2 && (network_.version == 1 || !order_12_21_)) {
            std::swap(matrix[1], matrix[2]);  // the file's order is S11 S21 S12 S22
        }
        network_.frequencies.push_back(f);
        network_.s.push_back(std::move(matrix));
        record_.clear();
        return true;
    }

    bool finish() {
        if (!record_.empty()) {
            return fail("the file ends inside the record for " + in_file_unit(record_[0] * scale_) +
                        " begun on line " + std::to_string(record_line_) + ": " +
                        std::to_string(record_.size()) + " of " +
                        std::to_string(values_per_record()) + " values");
        }
        if (reference_pending_ > 0) {
            return fail("[Reference] holds fewer than " + std::to_string(network_.ports) +
                        " values");
        }
        if (option_line_ == 0) {
            return fail("no option line (such as '# GHz S MA R 50')");
        }
        if (network_.frequencies.empty()) {
            return fail("no network data");
        }
        if (expected_frequencies_ != 0 && expected_frequencies_ != network_.frequencies.size()) {
            return fail("[Number of Frequencies] says " + std::to_string(expected_frequencies_) +
                        " and the network data holds " +
                        std::to_string(network_.frequencies.size()));
        }
        if (network_.frequencies.size() < 2) {
            return fail("one frequency only; a response needs at least two");
        }
        if (network_.reference_ohms.empty()) {
            network_.reference_ohms.assign(static_cast<std::size_t>(network_.ports), reference_);
        }
        return true;
    }

    const std::string &path_;
    Network &network_;
    std::string &error_;
    std::size_t line_ = 0;
    std::size_t option_line_ = 0;
    double scale_ = 1e9;  // GHz unless the option line says otherwise
    double reference_ = 50.0;
    bool order_12_21_ = false;
    bool order_given_ = false;
    bool in_data_ = false;
    bool in_noise_ = false;
    bool in_information_ = false;
    bool done_ = false;
    std::size_t reference_pending_ = 0;
    std::size_t expected_frequencies_ = 0;
    std::vector<double> record_;
    std::size_t record_line_ = 0;
};

}  // namespace

bool looks_like_touchstone(const std::string &path) {
    if (ports_from_extension(path) != 0) {
        return true;
    }
    std::ifstream in(path);
    std::string line;
    bool first = true;
    while (std::getline(in, line)) {
        if (first) {
            skip_byte_order_mark(line);
            first = false;
        }
        line = trim(line);
        if (line.empty()) {
            continue;
        }
        if (line[0] == '!' || lower(line).rfind("[version]", 0) == 0) {
            return true;
        }
        if (line[0] != '#') {
            return false;
        }
        const std::vector<std::string> list = words(line.substr(1));
        for (const std::string &word : list) {
            double number = 0.0;
            if (!is_option_word(word) && parse_field(word, number) != Field::kNumber) {
                return false;
            }
        }
        return !list.empty();
    }
    return false;
}

bool read_touchstone(const std::string &path, Network &network, std::string &error) {
    std::ifstream in(path);
    if (!in) {
        error = path + ": cannot open the Touchstone file";
        return false;
    }
    return read_touchstone(in, path, network, error);
}

bool read_touchstone(std::istream &in, const std::string &path, Network &network,
                     std::string &error) {
    TouchstoneReader reader(path, network, error);
    const bool ok = reader.read(in);
    if (ok && network.format.empty()) {
        network.format = "MA";
    }
    if (ok && network.unit.empty()) {
        network.unit = "GHz";
    }
    return ok;
}

}  // namespace amisim
