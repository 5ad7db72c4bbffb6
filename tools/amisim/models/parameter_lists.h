// A parameter string or a parameter file (.ami) read into a tree of lists
// with the toolkit's own lexer and grammar, driven one character at a time
// as its parameter-string reader drives them: each list is a name followed
// by values, by further lists, or by both.
#ifndef AMISIM_PARAMETER_LISTS_H
#define AMISIM_PARAMETER_LISTS_H

#include <memory>
#include <string>
#include <vector>

namespace amisim {

struct ParameterList {
    std::string name;
    std::vector<std::string> values;  // as the lexer gives them, quotes removed
    std::vector<std::unique_ptr<ParameterList>> children;

    // The first child of that name, or null.
    const ParameterList *child(const std::string &wanted) const;
};

// The lists of the text as the children of an unnamed root. error receives
// the grammar's and the lexer's messages, or says that the lists are not
// closed; it is empty when the text reads cleanly.
std::unique_ptr<ParameterList> read_parameter_lists(const std::string &text, std::string &error);

// A whole word that is a finite decimal number (a leading + allowed).
bool parameter_number(const std::string &word, double &value);

}  // namespace amisim

#endif  // AMISIM_PARAMETER_LISTS_H
