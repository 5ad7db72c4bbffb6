// make_ibis: writes the model's IBIS file from the generic buffer
// description, after checking it.
// Usage: make_ibis VERSION OUTPUT.ibs
#include <cstdio>
#include <fstream>
#include <string>

#include "tools/ibis/buffer_description.h"
#include "tools/ibis/ibis_checker.h"
#include "tools/ibis/ibis_writer.h"

int main(int argc, char **argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_ibis VERSION OUTPUT.ibs\n");
        return 2;
    }
    ibis::KitNames names;
    names.version = argv[1];
    const std::string path = argv[2];
    const std::string text = ibis::write_ibis(names, ibis::BufferDescription{});

    const std::string file_name = path.substr(path.find_last_of('/') + 1);
    const ibis::CheckReport report = ibis::check_ibis(text, file_name);
    for (const ibis::Finding &finding : report.findings) {
        std::fprintf(stderr, "%s:%d: %s: %s\n", path.c_str(), finding.line, finding.rule.c_str(),
                     finding.message.c_str());
    }
    if (!report.findings.empty()) {
        return 1;
    }
    std::ofstream out(path, std::ios::binary);
    out << text;
    out.close();
    if (!out) {
        std::fprintf(stderr, "make_ibis: cannot write %s\n", path.c_str());
        return 1;
    }
    return 0;
}
