// The value a parameter of a model's parameter file (.ami) declares, read
// off the tree of lists (models/parameter_lists.h) in one of these forms,
// with or without the Format keyword before it:
//   (Value v ...)                  v
//   (Range typ min max)            Default when given, else typ
//   (List a b ...)                 Default when given, else a
//   (Corner typ slow fast)         typ
//   (Increment typ min max step)   Default when given, else typ
//   (Steps typ min max step)       Default when given, else typ
// Anything else (a Table, Gaussian, Dual-Dirac or DjRj format) has no
// value here.
#ifndef AMISIM_DECLARED_VALUES_H
#define AMISIM_DECLARED_VALUES_H

#include <memory>
#include <string>

#include "tools/amisim/models/parameter_lists.h"

namespace amisim {

struct DeclaredValue {
    const ParameterList *format = nullptr;  // the list of the form, e.g. (Range ...)
    std::string word;                       // the value
    std::string form;                       // how it was read, e.g. "Range, its Default"
};

// The declared value; with numbers, every word of the form and the Default
// must be numbers. False, with a note saying why, where there is none.
bool declared_value(const ParameterList &parameter, bool numbers, DeclaredValue &value,
                    std::string &note);

// The same, as a number.
bool declared_number(const ParameterList &parameter, double &value, std::string &form,
                     std::string &note);

// A parameter file's text read into top; reserved is its root's
// Reserved_Parameters list, null where there is none. False, with the
// reader's message in error, where the text does not read.
bool read_reserved_list(const std::string &ami_text, std::unique_ptr<ParameterList> &top,
                        const ParameterList *&reserved, std::string &error);

// The first value of a list, or "" for none or a null list.
std::string first_value(const ParameterList *list);

}  // namespace amisim

#endif  // AMISIM_DECLARED_VALUES_H
