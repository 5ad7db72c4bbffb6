// The stand-in's options, each written once: its name, its argument, its
// default, what it does and which runs it applies to. The parser, --help
// and the README's table of options are all made from this table.
#ifndef AMISIM_OPTION_TABLE_H
#define AMISIM_OPTION_TABLE_H

#include <string>
#include <vector>

#include "tools/amisim/cli/options.h"

namespace amisim {

enum class ArgumentKind {
    kNone,      // a flag
    kRequired,  // --name VALUE or --name=VALUE
    kOptional,  // --name, --name=VALUE, or --name VALUE when VALUE is no option
};

enum class OptionGroup { kModel, kChannel, kReceiver, kModels, kSimulation, kErrorRate, kOutput };

struct OptionSpec {
    const char *name;      // "--bits"
    const char *argument;  // "N", "[RX.so]"; "" for a flag
    ArgumentKind kind;
    OptionGroup group;
    const char *default_text;  // "" where there is none
    const char *applies;       // the runs it applies to
    const char *help;          // `code` in backquotes, dropped in --help
    // Takes the option's value into options (value empty for a flag, and for
    // an optional argument that was not given); false with a message.
    bool (*take)(const std::string &value, Options &options, std::string &error);
};

const std::vector<OptionSpec> &option_table();

// The README's table of options: a header, then a row an option.
std::string options_markdown();

}  // namespace amisim

#endif  // AMISIM_OPTION_TABLE_H
