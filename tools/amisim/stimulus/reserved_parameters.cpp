#include "tools/amisim/stimulus/reserved_parameters.h"

#include <memory>
#include <sstream>

#include "tools/amisim/models/parameter_lists.h"
#include "tools/amisim/stimulus/declared_values.h"

namespace amisim {

ReservedReading read_reserved_parameters(const std::string &ami_text) {
    ReservedReading reading;
    std::unique_ptr<ParameterList> top;
    const ParameterList *reserved = nullptr;
    std::string error;
    if (!read_reserved_list(ami_text, top, reserved, error)) {
        reading.readable = false;
        reading.notes.push_back("not read: " + error);
        return reading;
    }
    if (reserved == nullptr) {
        return reading;
    }
    struct Known {
        const char *name;
        bool time;  // a jitter, in seconds or UI
        ReservedUnit float_unit;
    };
    static constexpr Known kKnown[] = {
        {"Tx_Rj", true, ReservedUnit::kSeconds},  {"Tx_Dj", true, ReservedUnit::kSeconds},
        {"Tx_Sj", true, ReservedUnit::kSeconds},  {"Tx_Sj_Frequency", false, ReservedUnit::kHertz},
        {"Tx_DCD", true, ReservedUnit::kSeconds}, {"Rx_Rj", true, ReservedUnit::kSeconds},
        {"Rx_Dj", true, ReservedUnit::kSeconds},  {"Rx_Sj", true, ReservedUnit::kSeconds},
        {"Rx_DCD", true, ReservedUnit::kSeconds}, {"Rx_Noise", false, ReservedUnit::kVolts},
    };
    for (const auto &parameter : reserved->children) {
        const Known *known = nullptr;
        for (const Known &k : kKnown) {
            if (parameter->name == k.name) {
                known = &k;
            }
        }
        if (known == nullptr) {
            continue;
        }
        const std::string left_out = parameter->name + " left out: ";
        const std::string usage = first_value(parameter->child("Usage"));
        if (usage != "Info" && usage != "In") {
            reading.notes.push_back(left_out + "Usage " + (usage.empty() ? "missing" : usage));
            continue;
        }
        const std::string type = first_value(parameter->child("Type"));
        ReservedValue read;
        read.name = parameter->name;
        if (type == "Float") {
            read.unit = known->float_unit;
        } else if (type == "UI" && known->time) {
            read.unit = ReservedUnit::kUnitIntervals;
        } else {
            reading.notes.push_back(left_out + "Type " + (type.empty() ? "missing" : type));
            continue;
        }
        std::string note;
        if (!declared_number(*parameter, read.value, read.form, note)) {
            reading.notes.push_back(left_out + note);
            continue;
        }
        if (read.value < 0.0) {
            reading.notes.push_back(left_out + "negative");
            continue;
        }
        reading.values.push_back(read);
    }
    return reading;
}

std::vector<std::string> ami_files_beside(const std::string &library_path) {
    std::string stem = library_path;
    const std::size_t slash = stem.find_last_of('/');
    const std::size_t dot = stem.find_last_of('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) {
        stem.erase(dot);
    }
    std::vector<std::string> candidates{stem + ".ami"};
    const std::size_t name_start = slash == std::string::npos ? 0 : slash + 1;
    for (const char *suffix : {"_32", "_64"}) {
        if (stem.size() >= name_start + 4 && stem.compare(stem.size() - 3, 3, suffix) == 0) {
            candidates.push_back(stem.substr(0, stem.size() - 3) + ".ami");
        }
    }
    return candidates;
}

std::vector<std::string> apply_reserved(const ReservedReading &reading, double unit_interval,
                                        Impairments &impairments) {
    struct Target {
        const char *name;
        double *place;
    };
    const Target targets[] = {
        {"Tx_Rj", &impairments.tx.rj},
        {"Tx_Dj", &impairments.tx.dj},
        {"Tx_Sj", &impairments.tx.sj},
        {"Tx_Sj_Frequency", &impairments.tx.sj_frequency},
        {"Tx_DCD", &impairments.tx.dcd},
        {"Rx_Rj", &impairments.rx.rj},
        {"Rx_Dj", &impairments.rx.dj},
        {"Rx_Sj", &impairments.rx.sj},
        {"Rx_DCD", &impairments.rx.dcd},
        {"Rx_Noise", &impairments.rx_noise},
        // Not an IBIS parameter: the command line's frequency of Rx_Sj.
        {"Rx_Sj_Frequency", &impairments.rx.sj_frequency},
    };
    std::vector<std::string> lines;
    for (const ReservedValue &read : reading.values) {
        for (const Target &target : targets) {
            if (read.name != target.name) {
                continue;
            }
            std::ostringstream line;
            line << read.name << " = " << read.value;
            switch (read.unit) {
                case ReservedUnit::kUnitIntervals:
                    *target.place = read.value * unit_interval;
                    line << " UI = " << *target.place << " s";
                    break;
                case ReservedUnit::kSeconds:
                    *target.place = read.value;
                    line << " s";
                    break;
                case ReservedUnit::kVolts:
                    *target.place = read.value;
                    line << " V";
                    break;
                case ReservedUnit::kHertz:
                    *target.place = read.value;
                    line << " Hz";
                    break;
            }
            line << " (" << read.form << ")";
            lines.push_back(line.str());
        }
    }
    return lines;
}

}  // namespace amisim
