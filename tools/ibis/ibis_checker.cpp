#include "tools/ibis/ibis_checker.h"

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tools/ibis/ibis_numbers.h"

namespace ibis {
namespace {

constexpr std::size_t kMaxLineLength = 80;
constexpr std::size_t kMaxTableRows = 100;

// ---- The file as lines and keyword sections -------------------------------

struct Line {
    int line;
    std::string text;  // without comment and trailing white space
};

// What a keyword opens, which decides where it may stand and what it holds.
enum class Kind {
    Version,         // [IBIS Ver]
    Header,          // one-line header keywords
    HeaderText,      // free text: [Source], [Notes], ...
    Component,       // [Component]
    ComponentPart,   // keywords of a component
    ModelSelector,   // [Model Selector]
    Model,           // [Model]
    ModelPart,       // keywords of a model
    Algorithmic,     // [Algorithmic Model]
    EndAlgorithmic,  // [End Algorithmic Model]
    End              // [End]
};

struct Section {
    int line;
    std::string keyword;  // lower case, single spaces
    std::string rest;     // text after the closing bracket
    std::vector<Line> body;
};

const std::map<std::string, Kind> &keywords() {
    static const std::map<std::string, Kind> table = {
        {"ibis ver", Kind::Version},
        {"comment char", Kind::Header},
        {"file name", Kind::Header},
        {"file rev", Kind::Header},
        {"date", Kind::Header},
        {"source", Kind::HeaderText},
        {"notes", Kind::HeaderText},
        {"disclaimer", Kind::HeaderText},
        {"copyright", Kind::HeaderText},
        {"component", Kind::Component},
        {"manufacturer", Kind::ComponentPart},
        {"package", Kind::ComponentPart},
        {"pin", Kind::ComponentPart},
        {"package model", Kind::ComponentPart},
        {"pin mapping", Kind::ComponentPart},
        {"diff pin", Kind::ComponentPart},
        {"series pin mapping", Kind::ComponentPart},
        {"series switch groups", Kind::ComponentPart},
        {"model selector", Kind::ModelSelector},
        {"model", Kind::Model},
        {"model spec", Kind::ModelPart},
        {"receiver thresholds", Kind::ModelPart},
        {"add submodel", Kind::ModelPart},
        {"driver schedule", Kind::ModelPart},
        {"temperature range", Kind::ModelPart},
        {"voltage range", Kind::ModelPart},
        {"pullup reference", Kind::ModelPart},
        {"pulldown reference", Kind::ModelPart},
        {"power clamp reference", Kind::ModelPart},
        {"gnd clamp reference", Kind::ModelPart},
        {"external reference", Kind::ModelPart},
        {"ttgnd", Kind::ModelPart},
        {"ttpower", Kind::ModelPart},
        {"pulldown", Kind::ModelPart},
        {"pullup", Kind::ModelPart},
        {"gnd clamp", Kind::ModelPart},
        {"power clamp", Kind::ModelPart},
        {"isso pu", Kind::ModelPart},
        {"isso pd", Kind::ModelPart},
        {"rgnd", Kind::ModelPart},
        {"rpower", Kind::ModelPart},
        {"rac", Kind::ModelPart},
        {"cac", Kind::ModelPart},
        {"on", Kind::ModelPart},
        {"off", Kind::ModelPart},
        {"r series", Kind::ModelPart},
        {"l series", Kind::ModelPart},
        {"rl series", Kind::ModelPart},
        {"c series", Kind::ModelPart},
        {"lc series", Kind::ModelPart},
        {"rc series", Kind::ModelPart},
        {"series current", Kind::ModelPart},
        {"series mosfet", Kind::ModelPart},
        {"ramp", Kind::ModelPart},
        {"rising waveform", Kind::ModelPart},
        {"falling waveform", Kind::ModelPart},
        {"composite current", Kind::ModelPart},
        {"external model", Kind::ModelPart},
        {"end external model", Kind::ModelPart},
        {"algorithmic model", Kind::Algorithmic},
        {"end algorithmic model", Kind::EndAlgorithmic},
        {"end", Kind::End},
    };
    return table;
}

// Keywords whose whole content stands on the keyword line.
const std::set<std::string> &one_line_keywords() {
    static const std::set<std::string> names = {"ibis ver",
                                                "comment char",
                                                "file name",
                                                "file rev",
                                                "date",
                                                "component",
                                                "manufacturer",
                                                "end",
                                                "voltage range",
                                                "temperature range",
                                                "end algorithmic model",
                                                "pullup reference",
                                                "pulldown reference",
                                                "power clamp reference",
                                                "gnd clamp reference"};
    return names;
}

std::string lower(std::string text) {
    for (char &c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

// Keywords match regardless of case and of space or underscore.
std::string normalise_keyword(const std::string &spelled) {
    std::string name;
    for (char c : lower(spelled)) {
        const char d = c == '_' ? ' ' : c;
        if (d == ' ' && (name.empty() || name.back() == ' ')) {
            continue;
        }
        name += d;
    }
    while (!name.empty() && name.back() == ' ') {
        name.pop_back();
    }
    return name;
}

std::vector<std::string> fields(const std::string &text) {
    std::istringstream in(text);
    std::vector<std::string> out;
    std::string field;
    while (in >> field) {
        out.push_back(field);
    }
    return out;
}

std::string trim(const std::string &text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return "";
    }
    const std::size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

bool is_na(const std::string &field) {
    return field == "NA";
}

// ---- The checker ------------------------------------------------------------

struct PinRow {
    int line;
    std::string signal;
    std::string model;
};

struct ComponentState {
    int line = 0;
    std::set<std::string> seen;
    std::map<std::string, PinRow> pins;
    std::vector<Line> diff_pins;
};

struct ModelState {
    int line = 0;
    std::string name;
    std::string type;  // lower case
    std::set<std::string> seen;
    std::set<std::string> subparameters;
    std::optional<double> vmax;  // largest [Voltage Range] value
    std::map<std::string, std::vector<Line>> tables;
    std::set<std::string> platforms;
};

class Checker {
  public:
    Checker(const std::string &text, const std::string &file_name)
        : text_(text), file_name_(file_name) {}

    CheckReport run() {
        std::vector<Section> sections = read_sections();
        for (std::size_t i = 0; i < sections.size(); ++i) {
            visit(sections[i], i == 0);
        }
        finish_component();
        finish_model();
        finish_file();
        std::stable_sort(report_.findings.begin(), report_.findings.end(),
                         [](const Finding &a, const Finding &b) { return a.line < b.line; });
        return report_;
    }

  private:
    void find(int line, const char *rule, const std::string &message) {
        report_.findings.push_back({line, rule, message});
    }

    // -- Reading: physical lines, comments, keywords.

    std::vector<Section> read_sections() {
        std::vector<Section> sections;
        char comment = '|';
        std::istringstream in(text_);
        std::string raw;
        int number = 0;
        while (std::getline(in, raw)) {
            ++number;
            if (!raw.empty() && raw.back() == '\r') {
                raw.pop_back();
            }
            check_physical(number, raw);
            std::string line = raw;
            const bool comment_char_line =
                line.rfind('[', 0) == 0 && line.find(']') != std::string::npos &&
                normalise_keyword(line.substr(1, line.find(']') - 1)) == "comment char";
            if (!comment_char_line) {
                const std::size_t comment_start = line.find(comment);
                if (comment_start != std::string::npos) {
                    line.resize(comment_start);
                }
            }
            line = trim(line);
            if (line.empty()) {
                continue;
            }
            if (line[0] == '[' && raw[0] == '[') {
                const std::size_t close = line.find(']');
                if (close == std::string::npos) {
                    find(number, "keyword-syntax", "a keyword without its closing bracket");
                    continue;
                }
                Section section{number,
                                normalise_keyword(line.substr(1, close - 1)),
                                trim(line.substr(close + 1)),
                                {}};
                if (keywords().count(section.keyword) == 0) {
                    find(number, "unknown-keyword",
                         "unknown keyword [" + line.substr(1, close - 1) + "]");
                    continue;
                }
                if (comment_char_line) {
                    comment = comment_character(section);
                }
                sections.push_back(section);
            } else if (sections.empty()) {
                find(number, "stray-text", "text before the first keyword: " + line);
            } else {
                sections.back().body.push_back({number, line});
            }
        }
        return sections;
    }

    void check_physical(int number, const std::string &raw) {
        if (raw.size() > kMaxLineLength) {
            find(number, "line-length",
                 std::to_string(raw.size()) + " characters, more than " +
                     std::to_string(kMaxLineLength));
        }
        for (char c : raw) {
            const auto u = static_cast<unsigned char>(c);
            if ((u < 0x20 && c != '\t') || u > 0x7e) {
                find(number, "characters", "a character outside printable ASCII");
                break;
            }
        }
    }

    char comment_character(const Section &section) {
        static const std::string allowed = "!\"#$%&'()*,:;<=>?@\\^`{|}~";
        const std::string &value = section.rest;
        if (value.size() == 6 && allowed.find(value[0]) != std::string::npos &&
            value.substr(1) == "_char") {
            return value[0];
        }
        find(section.line, "comment-char",
             "[Comment Char] must be one character followed by _char");
        return '|';
    }

    // -- Where each keyword may stand.

    void visit(const Section &s, bool first) {
        const Kind kind = keywords().at(s.keyword);
        if (first && kind != Kind::Version) {
            find(s.line, "ibis-version", "[IBIS Ver] must be the first keyword");
        }
        if (after_end_) {
            find(s.line, "stray-text", "a keyword after [End]");
            return;
        }
        if (in_algorithmic_ && kind != Kind::EndAlgorithmic) {
            find(s.line, "algorithmic-model",
                 "[Algorithmic Model] not closed by [End Algorithmic Model]");
            in_algorithmic_ = false;
        }
        if (one_line_keywords().count(s.keyword) != 0 && !s.body.empty()) {
            find(s.body.front().line, "stray-text", "[" + s.keyword + "] takes no further lines");
        }
        switch (kind) {
            case Kind::Version:
            case Kind::Header:
            case Kind::HeaderText:
                visit_header(s, kind);
                break;
            case Kind::Component:
                finish_component();
                finish_model();
                if (!models_started_) {
                    in_component_ = true;
                } else {
                    find(s.line, "keyword-order", "[Component] after a [Model]");
                }
                header_done_ = true;
                component_ = ComponentState{};
                component_.line = s.line;
                ++components_;
                check_component_name(s);
                break;
            case Kind::ComponentPart:
                if (!in_component_) {
                    find(s.line, "keyword-order", "[" + s.keyword + "] outside a component");
                } else if (!component_.seen.insert(s.keyword).second) {
                    find(s.line, "duplicate-keyword", "[" + s.keyword + "] twice in one component");
                } else {
                    visit_component_part(s);
                }
                break;
            case Kind::ModelSelector:
            case Kind::Model:
                finish_component();
                finish_model();
                header_done_ = true;
                in_component_ = false;
                models_started_ = true;
                if (kind == Kind::Model) {
                    start_model(s);
                } else if (!s.rest.empty()) {
                    defined_models_.insert(fields(s.rest).front());
                }
                break;
            case Kind::ModelPart:
            case Kind::Algorithmic:
                if (!model_) {
                    find(s.line, "keyword-order", "[" + s.keyword + "] outside a [Model]");
                } else if (!model_->seen.insert(s.keyword).second) {
                    find(s.line, "duplicate-keyword", "[" + s.keyword + "] twice in one model");
                } else if (kind == Kind::Algorithmic) {
                    visit_algorithmic(s);
                } else {
                    visit_model_part(s);
                }
                break;
            case Kind::EndAlgorithmic:
                if (!in_algorithmic_) {
                    find(s.line, "algorithmic-model",
                         "[End Algorithmic Model] without [Algorithmic Model]");
                }
                in_algorithmic_ = false;
                break;
            case Kind::End:
                after_end_ = true;
                for (const Line &line : s.body) {
                    find(line.line, "stray-text", "text after [End]");
                }
                break;
        }
    }

    // -- File header.

    void visit_header(const Section &s, Kind kind) {
        if (header_done_) {
            find(s.line, "keyword-order", "[" + s.keyword + "] after the first [Component]");
        }
        if (!header_seen_.insert(s.keyword).second) {
            find(s.line, "duplicate-keyword", "[" + s.keyword + "] twice in the file");
            return;
        }
        if (kind == Kind::Version) {
            static const std::set<std::string> versions = {"1.1", "2.1", "3.2", "4.0", "4.1",
                                                           "4.2", "5.0", "5.1", "6.0", "6.1",
                                                           "7.0", "7.1", "7.2"};
            report_.version = s.rest;
            if (versions.count(s.rest) == 0) {
                find(s.line, "ibis-version", "unknown IBIS version '" + s.rest + "'");
            }
        } else if (s.keyword == "file name") {
            if (s.rest != file_name_) {
                find(s.line, "file-name",
                     "[File Name] '" + s.rest + "' is not the file's name '" + file_name_ + "'");
            }
            if (s.rest.size() < 4 || s.rest.substr(s.rest.size() - 4) != ".ibs") {
                find(s.line, "file-name", "the IBIS file's extension must be .ibs");
            }
            check_file_reference(s.line, s.rest);
        } else if (s.keyword == "file rev") {
            report_.file_rev = s.rest;
            if (s.rest.empty()) {
                find(s.line, "text-value", "[File Rev] without a revision");
            }
        } else if (s.keyword == "date" && s.rest.size() > 40) {
            find(s.line, "text-value", "[Date] longer than 40 characters");
        }
    }

    void check_file_reference(int line, const std::string &name) {
        const std::size_t dot = name.find('.');
        const bool one_dot =
            dot != std::string::npos && name.find('.', dot + 1) == std::string::npos;
        const bool characters_ok = std::all_of(name.begin(), name.end(), [](char c) {
            return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_' || c == '-' ||
                   c == '.';
        });
        if (!one_dot || !characters_ok || dot == 0 || dot > 40 || name.size() - dot - 1 > 3 ||
            name.size() == dot + 1) {
            find(line, "file-reference", "'" + name + "' is not a valid IBIS file name");
        }
    }

    // -- Components.

    void check_component_name(const Section &s) {
        if (s.rest.empty() || s.rest.size() > 40) {
            find(s.line, "text-value", "[Component] needs a name of at most 40 characters");
        }
    }

    void visit_component_part(const Section &s) {
        if (s.keyword == "manufacturer") {
            if (s.rest.empty() || s.rest.size() > 40) {
                find(s.line, "text-value", "[Manufacturer] needs a name of at most 40 characters");
            }
        } else if (s.keyword == "package") {
            check_package(s);
        } else if (s.keyword == "pin") {
            check_pins(s);
        } else if (s.keyword == "diff pin") {
            if (fields(s.rest) != std::vector<std::string>{"inv_pin", "vdiff", "tdelay_typ",
                                                           "tdelay_min", "tdelay_max"}) {
                find(s.line, "diff-pin",
                     "[Diff Pin] columns must be inv_pin vdiff tdelay_typ tdelay_min tdelay_max");
            }
            component_.diff_pins = s.body;
        }
    }

    void check_package(const Section &s) {
        std::set<std::string> given;
        for (const Line &line : s.body) {
            std::vector<std::string> f = fields(line.text);
            const std::string name = lower(f.front());
            if (name != "r_pkg" && name != "l_pkg" && name != "c_pkg") {
                find(line.line, "package", "unknown [Package] entry " + f.front());
                continue;
            }
            if (!given.insert(name).second) {
                find(line.line, "package", f.front() + " given twice");
            }
            f.erase(f.begin());
            for (double v : corners(line.line, f, name)) {
                if (v < 0.0) {
                    find(line.line, "package", name + " is negative");
                }
            }
        }
        for (const char *name : {"r_pkg", "l_pkg", "c_pkg"}) {
            if (given.count(name) == 0) {
                find(s.line, "package", std::string("[Package] without ") + name);
            }
        }
    }

    void check_pins(const Section &s) {
        const std::vector<std::string> header = fields(s.rest);
        const std::vector<std::string> base = {"signal_name", "model_name"};
        const std::vector<std::string> full = {"signal_name", "model_name", "r_pin", "l_pin",
                                               "c_pin"};
        std::vector<std::string> named;
        named.reserve(header.size());
        for (const std::string &h : header) {
            named.push_back(lower(h));
        }
        if (named != base && named != full) {
            find(s.line, "pin-table",
                 "[Pin] columns must be signal_name model_name [R_pin L_pin C_pin]");
        }
        const std::size_t width = named == full ? 6 : 3;
        for (const Line &line : s.body) {
            const std::vector<std::string> f = fields(line.text);
            if (f.size() != width) {
                find(line.line, "pin-table",
                     "a pin row of " + std::to_string(f.size()) + " fields, not " +
                         std::to_string(width));
                continue;
            }
            if (f[0].size() > 5) {
                find(line.line, "name-length", "pin name " + f[0] + " longer than 5 characters");
            }
            if (f[1].size() > 40) {
                find(line.line, "name-length", "signal name longer than 40 characters");
            }
            if (f[2].size() > 20) {
                find(line.line, "name-length", "model name longer than 20 characters");
            }
            for (std::size_t i = 3; i < f.size(); ++i) {
                if (!is_na(f[i])) {
                    number(line.line, f[i]);
                }
            }
            if (!component_.pins.emplace(f[0], PinRow{line.line, f[1], f[2]}).second) {
                find(line.line, "pin-table", "pin " + f[0] + " given twice");
            }
            pin_models_.push_back({line.line, f[1], f[2]});
        }
    }

    void finish_component() {
        if (!in_component_) {
            return;
        }
        in_component_ = false;
        for (const char *required : {"manufacturer", "package", "pin"}) {
            if (component_.seen.count(required) == 0) {
                find(component_.line, "required-keyword",
                     std::string("component without [") + required + "]");
            }
        }
        std::set<std::string> paired;
        for (const Line &line : component_.diff_pins) {
            const std::vector<std::string> f = fields(line.text);
            if (f.size() != 6) {
                find(line.line, "diff-pin",
                     "a [Diff Pin] row of " + std::to_string(f.size()) + " fields, not 6");
                continue;
            }
            for (const std::string &pin : {f[0], f[1]}) {
                const auto found = component_.pins.find(pin);
                const std::string model =
                    found == component_.pins.end() ? "" : lower(found->second.model);
                if (found == component_.pins.end() || model == "power" || model == "gnd" ||
                    model == "nc") {
                    find(line.line, "diff-pin", "pin " + pin + " is not a signal pin of [Pin]");
                }
                if (!paired.insert(pin).second) {
                    find(line.line, "diff-pin", "pin " + pin + " in two pairs");
                }
            }
            if (f[0] == f[1]) {
                find(line.line, "diff-pin", "a pin paired with itself");
            }
            if (!is_na(f[2])) {
                number(line.line, f[2]);
            }
            corners(line.line, {f[3], f[4], f[5]}, "tdelay");
        }
    }

    // -- Models.

    void start_model(const Section &s) {
        model_ = ModelState{};
        model_->line = s.line;
        const std::vector<std::string> f = fields(s.rest);
        if (f.size() != 1) {
            find(s.line, "model-name", "[Model] takes one name");
            return;
        }
        model_->name = f.front();
        if (model_->name.size() > 20) {
            find(s.line, "name-length", "model name longer than 20 characters");
        }
        if (!defined_models_.insert(model_->name).second) {
            find(s.line, "model-name", "model " + model_->name + " defined twice");
        }
        report_.models.push_back(model_->name);
        for (const Line &line : s.body) {
            visit_subparameter(line);
        }
    }

    void visit_subparameter(const Line &line) {
        static const std::set<std::string> known = {"model_type",
                                                    "polarity",
                                                    "enable",
                                                    "vinl",
                                                    "vinh",
                                                    "vmeas",
                                                    "cref",
                                                    "rref",
                                                    "vref",
                                                    "c_comp",
                                                    "c_comp_pullup",
                                                    "c_comp_pulldown",
                                                    "c_comp_power_clamp",
                                                    "c_comp_gnd_clamp",
                                                    "cref_rising",
                                                    "cref_falling",
                                                    "rref_rising",
                                                    "rref_falling",
                                                    "vref_rising",
                                                    "vref_falling",
                                                    "vmeas_rising",
                                                    "vmeas_falling",
                                                    "rref_diff",
                                                    "cref_diff"};
        std::vector<std::string> f = fields(line.text);
        const std::string name = lower(f.front());
        f.erase(f.begin());
        if (!f.empty() && f.front() == "=") {
            f.erase(f.begin());
        }
        if (known.count(name) == 0) {
            find(line.line, "model-subparameter", "unknown model sub-parameter " + name);
            return;
        }
        if (!model_->subparameters.insert(name).second) {
            find(line.line, "model-subparameter", name + " given twice");
        }
        if (name == "model_type") {
            static const std::set<std::string> types = {
                "input",         "output",          "i/o",         "3-state",
                "open_drain",    "i/o_open_drain",  "open_sink",   "i/o_open_sink",
                "open_source",   "i/o_open_source", "input_ecl",   "output_ecl",
                "i/o_ecl",       "3-state_ecl",     "terminator",  "series",
                "series_switch", "input_diff",      "output_diff", "i/o_diff",
                "3-state_diff"};
            model_->type = f.size() == 1 ? lower(f.front()) : "";
            if (types.count(model_->type) == 0) {
                find(line.line, "model-subparameter", "unknown Model_type");
            }
        } else if (name == "polarity") {
            if (f.size() != 1 ||
                (lower(f.front()) != "non-inverting" && lower(f.front()) != "inverting")) {
                find(line.line, "model-subparameter",
                     "Polarity must be Non-Inverting or Inverting");
            }
        } else if (name == "enable") {
            if (f.size() != 1 ||
                (lower(f.front()) != "active-high" && lower(f.front()) != "active-low")) {
                find(line.line, "model-subparameter", "Enable must be Active-High or Active-Low");
            }
        } else if (name.rfind("c_comp", 0) == 0) {
            corners(line.line, f, name);
        } else if (f.size() != 1) {
            find(line.line, "model-subparameter", name + " takes one value");
        } else {
            number(line.line, f.front());
        }
    }

    void visit_model_part(const Section &s) {
        if (s.keyword == "voltage range") {
            const std::vector<double> values = corners(s.line, fields(s.rest), "[Voltage Range]");
            if (!values.empty() && values.front() <= 0.0) {
                find(s.line, "voltage-range", "[Voltage Range] typ must be positive");
            }
            if (!values.empty()) {
                model_->vmax = *std::max_element(values.begin(), values.end());
            }
        } else if (s.keyword == "temperature range") {
            corners(s.line, fields(s.rest), "[Temperature Range]");
        } else if (s.keyword == "pulldown" || s.keyword == "pullup" || s.keyword == "gnd clamp" ||
                   s.keyword == "power clamp") {
            check_iv_table(s);
            model_->tables[s.keyword] = s.body;
        } else if (s.keyword == "ramp") {
            check_ramp(s);
        }
    }

    void check_iv_table(const Section &s) {
        if (s.body.size() < 2 || s.body.size() > kMaxTableRows) {
            find(
                s.line, "iv-table",
                "[" + s.keyword + "] has " + std::to_string(s.body.size()) + " rows, not 2 to 100");
        }
        std::optional<double> previous_voltage;
        std::vector<std::vector<double>> columns(3);
        std::vector<int> na_count(3, 0);
        for (const Line &line : s.body) {
            const std::vector<std::string> f = fields(line.text);
            if (f.size() != 4) {
                find(line.line, "iv-table",
                     "an I-V row of " + std::to_string(f.size()) + " fields, not 4");
                continue;
            }
            const std::optional<double> v = number(line.line, f[0]);
            if (v && previous_voltage && *v <= *previous_voltage) {
                find(line.line, "iv-table", "voltages not strictly increasing");
            }
            previous_voltage = v ? v : previous_voltage;
            corners(line.line, {f[1], f[2], f[3]}, "current");
            for (std::size_t c = 0; c < 3; ++c) {
                if (c > 0 && is_na(f[c + 1])) {
                    ++na_count[c];
                } else if (const std::optional<double> i = parse_number(f[c + 1])) {
                    columns[c].push_back(*i);
                }
            }
        }
        static const char *const names[] = {"typ", "min", "max"};
        for (std::size_t c = 0; c < 3; ++c) {
            if (na_count[c] != 0 && !columns[c].empty()) {
                find(s.line, "iv-table",
                     std::string("the ") + names[c] + " column mixes numbers and NA");
            }
            bool rises = false;
            bool falls = false;
            for (std::size_t k = 1; k < columns[c].size(); ++k) {
                rises = rises || columns[c][k] > columns[c][k - 1];
                falls = falls || columns[c][k] < columns[c][k - 1];
            }
            if (rises && falls) {
                find(s.line, "iv-monotonic",
                     "[" + s.keyword + "] " + names[c] + " current is not monotonic");
            }
        }
    }

    void check_ramp(const Section &s) {
        std::set<std::string> given;
        for (const Line &line : s.body) {
            std::vector<std::string> f = fields(line.text);
            const std::string name = lower(f.front());
            f.erase(f.begin());
            if (name == "r_load") {
                if (!f.empty() && f.front() == "=") {
                    f.erase(f.begin());
                }
                const std::optional<double> r =
                    f.size() == 1 ? number(line.line, f.front()) : std::nullopt;
                if (!r || *r <= 0.0) {
                    find(line.line, "ramp", "R_load must be one positive number");
                }
            } else if (name == "dv/dt_r" || name == "dv/dt_f") {
                if (!given.insert(name).second) {
                    find(line.line, "ramp", name + " given twice");
                }
                if (f.size() != 3) {
                    find(line.line, "typ-min-max", name + " needs typ, min and max");
                    continue;
                }
                for (std::size_t c = 0; c < 3; ++c) {
                    if (c > 0 && is_na(f[c])) {
                        continue;
                    }
                    const std::size_t slash = f[c].find('/');
                    const std::optional<double> dv = slash == std::string::npos
                                                         ? std::nullopt
                                                         : parse_number(f[c].substr(0, slash));
                    const std::optional<double> dt = slash == std::string::npos
                                                         ? std::nullopt
                                                         : parse_number(f[c].substr(slash + 1));
                    if (!dv || !dt || *dv <= 0.0 || *dt <= 0.0) {
                        find(line.line, "ramp",
                             "'" + f[c] + "' is not a ratio dV/dt of positive numbers");
                    }
                }
            } else {
                find(line.line, "ramp", "unknown [Ramp] entry " + name);
            }
        }
        for (const char *edge : {"dv/dt_r", "dv/dt_f"}) {
            if (given.count(edge) == 0) {
                find(s.line, "ramp", std::string("[Ramp] without ") + edge);
            }
        }
    }

    void visit_algorithmic(const Section &s) {
        in_algorithmic_ = true;
        if (report_.version < "5.0" && !report_.version.empty()) {
            find(s.line, "ibis-version", "[Algorithmic Model] needs IBIS version 5.0 or later");
        }
        if (s.body.empty()) {
            find(s.line, "algorithmic-model", "[Algorithmic Model] without an Executable line");
        }
        for (const Line &line : s.body) {
            const std::vector<std::string> f = fields(line.text);
            if (lower(f.front()) != "executable") {
                find(line.line, "algorithmic-model", "only Executable lines belong here");
                continue;
            }
            if (f.size() != 4) {
                find(line.line, "executable",
                     "an Executable line has 4 fields, not " + std::to_string(f.size()));
                continue;
            }
            check_executable(line.line, f[1], f[2], f[3]);
        }
    }

    void check_executable(int line, const std::string &platform, const std::string &library,
                          const std::string &parameter_file) {
        std::vector<std::string> parts;
        std::string part;
        std::istringstream in(platform);
        while (std::getline(in, part, '_')) {
            parts.push_back(part);
        }
        const auto word = [](const std::string &w, const char *extra) {
            return !w.empty() && std::all_of(w.begin(), w.end(), [extra](char c) {
                return std::isalnum(static_cast<unsigned char>(c)) != 0 ||
                       std::string(extra).find(c) != std::string::npos;
            });
        };
        const bool form = parts.size() == 3 && platform.back() != '_' && word(parts[0], "") &&
                          word(parts[1], ".+-") && (parts[2] == "32" || parts[2] == "64");
        if (!form) {
            find(line, "executable",
                 "'" + platform +
                     "' is not Platform_Compiler_Bits (bits 32 or 64), "
                     "e.g. Linux_gcc_64");
        } else if (!model_->platforms.insert(platform).second) {
            find(line, "executable", platform + " named twice");
        }
        check_file_reference(line, library);
        check_file_reference(line, parameter_file);
        if (parameter_file.size() < 4 ||
            lower(parameter_file.substr(parameter_file.size() - 4)) != ".ami") {
            find(line, "executable", "the parameter file must have the extension .ami");
        }
        if (form) {
            report_.executables.push_back(
                {line, platform, parts[2] == "32" ? 32 : 64, library, parameter_file});
        }
    }

    void finish_model() {
        if (!model_) {
            return;
        }
        const ModelState &m = *model_;
        const auto has = [&m](const char *keyword) { return m.seen.count(keyword) != 0; };
        if (m.subparameters.count("model_type") == 0) {
            find(m.line, "model-required", "model " + m.name + " without Model_type");
        }
        if (m.subparameters.count("c_comp") == 0 &&
            std::none_of(m.subparameters.begin(), m.subparameters.end(),
                         [](const std::string &p) { return p.rfind("c_comp_", 0) == 0; })) {
            find(m.line, "model-required", "model " + m.name + " without C_comp");
        }
        const std::set<std::string> receivers = {
            "input",     "i/o",     "i/o_open_drain", "i/o_open_sink", "i/o_open_source",
            "input_ecl", "i/o_ecl", "input_diff",     "i/o_diff"};
        const std::set<std::string> pulling_down = {
            "output",    "i/o",           "3-state",     "open_drain", "i/o_open_drain",
            "open_sink", "i/o_open_sink", "output_diff", "i/o_diff",   "3-state_diff"};
        const std::set<std::string> pulling_up = {
            "output",  "i/o",         "3-state",     "open_source", "i/o_open_source", "output_ecl",
            "i/o_ecl", "3-state_ecl", "output_diff", "i/o_diff",    "3-state_diff"};
        const std::string &t = m.type;
        if (receivers.count(t) != 0 &&
            !(m.subparameters.count("vinl") != 0 && m.subparameters.count("vinh") != 0) &&
            !has("model spec") && !has("receiver thresholds")) {
            find(m.line, "model-required", "input model " + m.name + " without Vinl and Vinh");
        }
        if ((pulling_down.count(t) != 0 || pulling_up.count(t) != 0) && !has("ramp")) {
            find(m.line, "model-required", "model " + m.name + " drives but has no [Ramp]");
        }
        if (pulling_down.count(t) != 0 && !has("pulldown")) {
            find(m.line, "model-required", "model " + m.name + " without [Pulldown]");
        }
        if (pulling_up.count(t) != 0 && !has("pullup")) {
            find(m.line, "model-required", "model " + m.name + " without [Pullup]");
        }
        if (t != "terminator" && t.rfind("series", 0) != 0 && !has("voltage range") &&
            !(has("pullup reference") && has("pulldown reference"))) {
            find(m.line, "model-required",
                 "model " + m.name + " without [Voltage Range] or both reference keywords");
        }
        if (m.vmax) {
            for (const char *table : {"pulldown", "pullup"}) {
                const auto found = m.tables.find(table);
                if (found != m.tables.end() && !found->second.empty()) {
                    check_range(table, found->second, *m.vmax);
                }
            }
        }
        model_.reset();
    }

    void check_range(const char *table, const std::vector<Line> &rows, double vmax) {
        const std::optional<double> first = parse_number(fields(rows.front().text).front());
        const std::optional<double> last = parse_number(fields(rows.back().text).front());
        // Written values carry about five digits.
        const double slack = 1e-4 * vmax;
        if (!first || !last || *first > -vmax + slack || *last < 2.0 * vmax - slack) {
            find(rows.front().line, "iv-range",
                 std::string("[") + table + "] does not sweep from -Vmax to 2 Vmax (Vmax " +
                     format_number(vmax) + ")");
        }
    }

    void finish_file() {
        for (const char *required : {"ibis ver", "file name", "file rev"}) {
            if (header_seen_.count(required) == 0) {
                find(0, "required-keyword", std::string("no [") + required + "]");
            }
        }
        if (components_ == 0) {
            find(0, "required-keyword", "no [Component]");
        }
        if (!after_end_) {
            find(0, "required-keyword", "no [End]");
        }
        if (in_algorithmic_) {
            find(0, "algorithmic-model", "[Algorithmic Model] not closed");
        }
        for (const PinRow &pin : pin_models_) {
            const std::string model = lower(pin.model);
            if (model != "power" && model != "gnd" && model != "nc" &&
                defined_models_.count(pin.model) == 0) {
                find(pin.line, "pin-table", "pin model " + pin.model + " is not defined");
            }
        }
    }

    // -- Fields.

    std::optional<double> number(int line, const std::string &field) {
        std::optional<double> value = parse_number(field);
        if (!value) {
            find(line, "number", "'" + field + "' is not a number");
        }
        return value;
    }

    // typ, min, max: returns the numbers among them (typ first).
    std::vector<double> corners(int line, const std::vector<std::string> &f,
                                const std::string &what) {
        std::vector<double> values;
        if (f.size() != 3) {
            find(line, "typ-min-max",
                 what + " needs typ, min and max, not " + std::to_string(f.size()) + " fields");
            return values;
        }
        for (std::size_t c = 0; c < 3; ++c) {
            if (is_na(f[c]) && c == 0) {
                find(line, "typ-min-max", what + " typ must not be NA");
            } else if (!is_na(f[c])) {
                if (const std::optional<double> v = number(line, f[c])) {
                    values.push_back(*v);
                }
            }
        }
        return values;
    }

    const std::string &text_;
    const std::string &file_name_;
    CheckReport report_;
    std::set<std::string> header_seen_;
    bool header_done_ = false;
    bool in_component_ = false;
    bool models_started_ = false;
    bool in_algorithmic_ = false;
    bool after_end_ = false;
    int components_ = 0;
    ComponentState component_;
    std::optional<ModelState> model_;
    std::set<std::string> defined_models_;
    std::vector<PinRow> pin_models_;
};

}  // namespace

const std::vector<Rule> &rules() {
    static const std::vector<Rule> list = {
        {"characters", "Lines hold printable ASCII characters and tabs only."},
        {"line-length",
         "Lines are at most 80 characters long, the limit of every IBIS version (later "
         "versions allow more)."},
        {"keyword-syntax", "A keyword stands at the start of a line in square brackets."},
        {"unknown-keyword",
         "Keywords are those of component and buffer-model files; case and the choice of "
         "space or underscore do not matter."},
        {"stray-text",
         "Only comments stand before the first keyword and after [End]; one-line keywords "
         "take no further lines."},
        {"ibis-version",
         "[IBIS Ver] is the first keyword and names a released version; [Algorithmic Model] "
         "needs 5.0 or later."},
        {"comment-char", "[Comment Char] gives one allowed character followed by _char."},
        {"required-keyword",
         "The file has [IBIS Ver], [File Name], [File Rev], a [Component] and [End]; each "
         "component has [Manufacturer], [Package] and [Pin]."},
        {"keyword-order",
         "Header keywords precede the first [Component]; component keywords follow their "
         "[Component] and precede every [Model]; model keywords follow a [Model]; [End] is "
         "last."},
        {"duplicate-keyword",
         "A header keyword appears once a file, a component keyword once a component, a "
         "model keyword once a model."},
        {"file-name", "[File Name] is the file's actual name, case included, ending in .ibs."},
        {"file-reference",
         "File names use letters, digits, '_', '-' and one '.', a base name of 1 to 40 "
         "characters and an extension of 1 to 3. Case is kept: Linux finds files by exact "
         "name."},
        {"text-value",
         "[File Rev], [Component] and [Manufacturer] have a value; [Date], [Component] and "
         "[Manufacturer] at most 40 characters."},
        {"name-length",
         "Pin names have at most 5 characters, signal names 40, model names 20 (the limits "
         "of every version)."},
        {"number",
         "Numeric fields are IBIS numbers: a decimal, an optional exponent, an optional "
         "scaling letter (T G M k m u n p f) and unit letters."},
        {"typ-min-max", "Corner values are three fields: typ a number, min and max numbers or NA."},
        {"package", "[Package] gives R_pkg, L_pkg and C_pkg, once each, none negative."},
        {"pin-table",
         "[Pin] names its columns signal_name model_name [R_pin L_pin C_pin]; each row has "
         "the pin name and those fields; pin names are unique; a model is POWER, GND, NC or "
         "a [Model] or [Model Selector] of the file."},
        {"diff-pin",
         "[Diff Pin] names its columns inv_pin vdiff tdelay_typ tdelay_min tdelay_max; each "
         "row pairs two distinct signal pins of [Pin], each pin in one pair."},
        {"model-name", "A [Model] has one name, not used by another model."},
        {"model-subparameter",
         "Model sub-parameters are known ones, each once: Model_type a known type, Polarity "
         "Non-Inverting or Inverting, Enable Active-High or Active-Low, C_comp typ, min and "
         "max, the others one number."},
        {"model-required",
         "A model has Model_type and C_comp; input models have Vinl and Vinh (or [Model "
         "Spec] or [Receiver Thresholds]); driving models have [Ramp] and the [Pulldown] "
         "and [Pullup] of the directions they drive; [Voltage Range] or both reference "
         "keywords."},
        {"voltage-range", "[Voltage Range] gives typ, min and max, typ positive."},
        {"iv-table",
         "I-V tables have rows of voltage, I typ, I min, I max, 2 to 100 rows, voltages "
         "strictly increasing, each min or max column all numbers or all NA."},
        {"iv-monotonic", "Each current column of an I-V table is monotonic in the voltage."},
        {"iv-range",
         "[Pulldown] and [Pullup] sweep at least from -Vmax to 2 Vmax, Vmax the largest "
         "[Voltage Range] value."},
        {"ramp",
         "[Ramp] gives dV/dt_r and dV/dt_f once each as ratios of positive numbers (min and "
         "max may be NA); R_load, if given, is positive."},
        {"algorithmic-model",
         "[Algorithmic Model] stands in a [Model], holds one or more Executable lines and "
         "nothing else, and ends with [End Algorithmic Model]."},
        {"executable",
         "An Executable line reads Executable Platform_Compiler_Bits library file.ami; "
         "Platform_Compiler_Bits is three fields joined by '_' (platform, compiler, bits 32 "
         "or 64), e.g. Linux_gcc_64, each once a model."},
    };
    return list;
}

CheckReport check_ibis(const std::string &text, const std::string &file_name) {
    return Checker(text, file_name).run();
}

}  // namespace ibis
