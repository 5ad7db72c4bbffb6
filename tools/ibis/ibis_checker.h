// A syntax check of IBIS component files, for the model's own IBIS file
// where no IBIS parser is at hand. It knows the keywords of component and
// buffer-model files (not package-model, EBD or EMI files) and checks the
// rules listed by rules(): each finding names the rule it breaks.
#ifndef IBIS_CHECKER_H
#define IBIS_CHECKER_H

#include <string>
#include <vector>

namespace ibis {

struct Rule {
    const char *id;
    const char *statement;
};

// Every rule the check applies, in the order of the file.
const std::vector<Rule> &rules();

struct Finding {
    int line;  // 1-based; 0 for the file as a whole
    std::string rule;
    std::string message;
};

// One Executable line of an [Algorithmic Model].
struct Executable {
    int line;
    std::string platform;  // Platform_Compiler_Bits, e.g. Linux_gcc_64
    int bits;              // 32 or 64
    std::string library;
    std::string parameter_file;
};

struct CheckReport {
    std::vector<Finding> findings;
    std::string version;  // [IBIS Ver]
    std::string file_rev;
    std::vector<std::string> models;
    std::vector<Executable> executables;
};

// Checks the text of an IBIS file whose actual name is file_name (without
// folder), which [File Name] must give exactly.
CheckReport check_ibis(const std::string &text, const std::string &file_name);

}  // namespace ibis

#endif  // IBIS_CHECKER_H
