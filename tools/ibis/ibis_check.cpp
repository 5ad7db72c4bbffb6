// ibis_check: checks IBIS files against the rules of the syntax check.
// Usage: ibis_check [--executables] FILE.ibs...
//        ibis_check --rules
// Prints each finding as FILE:LINE: RULE: MESSAGE and exits 1 if there is
// any, 2 on bad usage or an unreadable file. --executables then prints the
// Executable lines of a clean file as: BITS PLATFORM LIBRARY PARAMETER_FILE.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "tools/ibis/ibis_checker.h"

int main(int argc, char **argv) {
    bool list_executables = false;
    int first = 1;
    if (argc == 2 && std::strcmp(argv[1], "--rules") == 0) {
        for (const ibis::Rule &rule : ibis::rules()) {
            std::printf("%-19s %s\n", rule.id, rule.statement);
        }
        return 0;
    }
    if (argc > 1 && std::strcmp(argv[1], "--executables") == 0) {
        list_executables = true;
        first = 2;
    }
    if (first >= argc) {
        std::fprintf(stderr,
                     "usage: ibis_check [--executables] FILE.ibs...\n       ibis_check --rules\n");
        return 2;
    }
    int status = 0;
    for (int i = first; i < argc; ++i) {
        const std::string path = argv[i];
        std::ifstream in(path, std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "ibis_check: cannot read %s\n", path.c_str());
            return 2;
        }
        std::stringstream text;
        text << in.rdbuf();
        const std::string file_name = path.substr(path.find_last_of('/') + 1);
        const ibis::CheckReport report = ibis::check_ibis(text.str(), file_name);
        for (const ibis::Finding &finding : report.findings) {
            std::printf("%s:%d: %s: %s\n", path.c_str(), finding.line, finding.rule.c_str(),
                        finding.message.c_str());
        }
        if (!report.findings.empty()) {
            status = 1;
        } else if (list_executables) {
            for (const ibis::Executable &e : report.executables) {
                std::printf("%d %s %s %s\n", e.bits, e.platform.c_str(), e.library.c_str(),
                            e.parameter_file.c_str());
            }
        }
    }
    return status;
}
