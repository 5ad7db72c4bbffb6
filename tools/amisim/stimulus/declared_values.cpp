#include "tools/amisim/stimulus/declared_values.h"

namespace amisim {

bool declared_value(const ParameterList &parameter, bool numbers, DeclaredValue &value,
                    std::string &note) {
    const ParameterList *default_value = parameter.child("Default");
    struct Format {
        const char *name;
        std::size_t count;  // values, at least
        bool takes_default;
        const char *first;  // what the first value is
    };
    static constexpr Format kFormats[] = {
        {"Value", 1, false, ""},          {"Range", 3, true, "typ"},
        {"List", 1, true, "first entry"}, {"Corner", 3, false, "typ"},
        {"Increment", 4, true, "typ"},    {"Steps", 4, true, "typ"},
    };
    for (const Format &format : kFormats) {
        const ParameterList *node = parameter.child(format.name);
        if (node == nullptr) {
            continue;
        }
        if (node->values.size() < format.count) {
            note = std::string(format.name) + " has too few values";
            return false;
        }
        double number = 0.0;
        for (const std::string &word : node->values) {
            if (numbers && !parameter_number(word, number)) {
                note = std::string(format.name) + " holds \"" + word + "\", not a number";
                return false;
            }
        }
        value.format = node;
        value.form = format.name;
        if (format.takes_default && default_value != nullptr && !default_value->values.empty()) {
            value.word = default_value->values.front();
            if (numbers && !parameter_number(value.word, number)) {
                note = "its Default \"" + value.word + "\" is not a number";
                return false;
            }
            value.form += ", its Default";
            return true;
        }
        value.word = node->values.front();
        if (*format.first != '\0') {
            value.form += std::string(", ") + format.first;
        }
        return true;
    }
    note = "no Value, Range, List, Corner, Increment or Steps";
    return false;
}

bool declared_number(const ParameterList &parameter, double &value, std::string &form,
                     std::string &note) {
    DeclaredValue declared;
    if (!declared_value(parameter, true, declared, note)) {
        return false;
    }
    form = declared.form;
    return parameter_number(declared.word, value);
}

bool read_reserved_list(const std::string &ami_text, std::unique_ptr<ParameterList> &top,
                        const ParameterList *&reserved, std::string &error) {
    top = read_parameter_lists(ami_text, error);
    reserved = nullptr;
    if (!error.empty()) {
        return false;
    }
    if (!top->children.empty()) {
        reserved = top->children.front()->child("Reserved_Parameters");
    }
    return true;
}

std::string first_value(const ParameterList *list) {
    return list == nullptr || list->values.empty() ? std::string() : list->values.front();
}

}  // namespace amisim
