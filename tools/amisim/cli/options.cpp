#include "tools/amisim/cli/options.h"

#include <utility>

#include "tools/amisim/cli/option_table.h"

namespace amisim {

namespace {

// Lines of at most width characters from text, each after indent.
std::string wrapped(const std::string &text, std::size_t indent, std::size_t width,
                    std::size_t first_column) {
    std::string out;
    std::size_t column = first_column;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find(' ', at);
        if (end == std::string::npos) {
            end = text.size();
        }
        const std::string word = text.substr(at, end - at);
        if (column > indent && column + 1 + word.size() > width) {
            out += "\n" + std::string(indent, ' ');
            column = indent;
        } else if (column > indent) {
            out += ' ';
            ++column;
        } else if (column < indent) {
            out += std::string(indent - column, ' ');
            column = indent;
        }
        out += word;
        column += word.size();
        at = end + 1;
    }
    return out + "\n";
}

// A help text without the README's backquotes.
std::string plain(const char *text) {
    std::string out;
    for (const char *c = text; *c != '\0'; ++c) {
        if (*c != '`') {
            out += *c;
        }
    }
    return out;
}

const OptionSpec *find_option(const std::string &name) {
    for (const OptionSpec &option : option_table()) {
        if (name == option.name) {
            return &option;
        }
    }
    return name == "-h" ? find_option("--help") : nullptr;
}

}  // namespace

std::string usage() {
    static constexpr std::pair<OptionGroup, const char *> kGroups[] = {
        {OptionGroup::kModel, "Model parameters"},
        {OptionGroup::kChannel, "Channel"},
        {OptionGroup::kReceiver,
         "Receiver (the whole link: stimulus, MODEL's AMI_GetWave, channel, receiver)"},
        {OptionGroup::kModels, "How the models run"},
        {OptionGroup::kSimulation, "Simulation"},
        {OptionGroup::kErrorRate, "Error rate: jitter, noise and crosstalk"},
        {OptionGroup::kOutput, "Output"},
    };
    constexpr std::size_t kIndent = 25;
    constexpr std::size_t kWidth = 79;
    std::string text = R"(Usage: amisim [OPTIONS] [MODEL.so]

A stand-in for a channel simulator: loads an IBIS-AMI model, calls AMI_Init
with the channel's impulse responses and AMI_GetWave with a PRBS waveform
through the channel, reports what the model did, and calls AMI_Close.

MODEL.so defaults to Halvorin_7314_Tx_64.so beside this program. Each model
runs in a host process of its own word size (amisim-host-64 or
amisim-host-32 beside this program), so the transmitter and the receiver
may be 32-bit or 64-bit libraries, and a model that crashes or hangs is
reported instead of ending the run.
)";
    for (const auto &[group, title] : kGroups) {
        text += "\n" + std::string(title) + ":\n";
        for (const OptionSpec &option : option_table()) {
            if (option.group != group) {
                continue;
            }
            std::string head = "  " + std::string(option.name);
            if (*option.argument != '\0') {
                head += " " + std::string(option.argument);
            }
            std::string help = plain(option.help);
            std::string notes;
            if (*option.default_text != '\0' && option.kind != ArgumentKind::kNone) {
                notes = "default " + plain(option.default_text);
            }
            if (*option.applies != '\0' && std::string(option.applies) != "every run") {
                notes +=
                    (notes.empty() ? "only for " : "; only for ") + std::string(option.applies);
            }
            if (!notes.empty()) {
                help += " (" + notes + ")";
            }
            text += head;
            text +=
                wrapped(help, kIndent, kWidth, head.size() + 1 > kIndent ? kWidth : head.size());
        }
    }
    text += "\nExit status: 0 on success, 1 when the model fails, 2 on bad input.\n";
    return text;
}

bool parse_options(int argc, char **argv, Options &options, std::string &error) {
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument.empty() || argument[0] != '-') {
            if (!options.model.empty()) {
                error =
                    "more than one model given ('" + options.model + "' and '" + argument + "')";
                return false;
            }
            options.model = argument;
            continue;
        }
        std::string name = argument;
        std::string value;
        bool inline_value = false;
        const auto equals = argument.find('=');
        if (argument.rfind("--", 0) == 0 && equals != std::string::npos) {
            name = argument.substr(0, equals);
            value = argument.substr(equals + 1);
            inline_value = true;
        }
        const OptionSpec *option = find_option(name);
        if (option == nullptr) {
            error = "unknown option '" + argument + "'";
            return false;
        }
        switch (option->kind) {
            case ArgumentKind::kNone:
                if (inline_value) {
                    error = name + " takes no value";
                    return false;
                }
                break;
            case ArgumentKind::kRequired:
                if (!inline_value) {
                    if (i + 1 >= argc) {
                        error = name + " needs a value";
                        return false;
                    }
                    value = argv[++i];
                }
                break;
            case ArgumentKind::kOptional:
                // The value is optional: --name=VALUE, or the next argument
                // unless it is an option.
                if (!inline_value && i + 1 < argc && argv[i + 1][0] != '-') {
                    value = argv[++i];
                }
                break;
        }
        if (!option->take(value, options, error)) {
            return false;
        }
    }
    if (options.have_parameter_string && !options.settings.empty()) {
        error = "use either --params or --set, not both";
        return false;
    }
    if (!options.rx && (options.have_rx_parameter_string || !options.rx_settings.empty())) {
        error = std::string(options.have_rx_parameter_string ? "--rx-params" : "--rx-set") +
                " sets the receiver's parameters; it needs --rx";
        return false;
    }
    if (options.have_rx_parameter_string && !options.rx_settings.empty()) {
        error = "use either --rx-params or --rx-set, not both";
        return false;
    }
    const double per_call = static_cast<double>(options.bits_per_call) * options.samples_per_bit;
    if (per_call > static_cast<double>(kMaxSamplesPerCall)) {
        error = "--bits-per-call times --samples-per-bit is " +
                std::to_string(static_cast<long long>(per_call)) + " samples; at most " +
                std::to_string(kMaxSamplesPerCall) + " are allowed in one AMI_GetWave call";
        return false;
    }
    return true;
}

std::string parameter_string_for(const std::string &root, const std::string &defaults,
                                 const std::vector<std::pair<std::string, std::string>> &settings) {
    if (settings.empty() && !defaults.empty()) {
        return defaults;
    }
    std::string text = "(" + root;
    for (const auto &[name, value] : settings) {
        const bool quote = value.empty() || value.find_first_of(" \t\r\n()") != std::string::npos;
        text += " (" + name + " " + (quote ? "\"" + value + "\"" : value) + ")";
    }
    return text + ")";
}

std::string root_name_of(const std::string &parameter_string) {
    const auto open = parameter_string.find('(');
    if (open == std::string::npos) {
        return "";
    }
    const auto begin = parameter_string.find_first_not_of(" \t\r\n", open + 1);
    if (begin == std::string::npos) {
        return "";
    }
    const auto end = parameter_string.find_first_of(" \t\r\n()", begin);
    return parameter_string.substr(begin, end == std::string::npos ? end : end - begin);
}

}  // namespace amisim
