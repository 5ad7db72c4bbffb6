#include "tools/amisim/stimulus/modulation.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <initializer_list>
#include <memory>
#include <sstream>

#include "tools/amisim/models/parameter_lists.h"
#include "tools/amisim/stimulus/declared_values.h"

namespace amisim {

namespace {

// The PAM4 parameters of each eye, lowest first.
constexpr const char *kPam4Thresholds[] = {"PAM4_LowerThreshold", "PAM4_CenterThreshold",
                                           "PAM4_UpperThreshold"};
constexpr const char *kPam4Offsets[] = {"PAM4_LowerEyeOffset", "PAM4_CenterEyeOffset",
                                        "PAM4_UpperEyeOffset"};

std::string upper_case(std::string word) {
    std::transform(word.begin(), word.end(), word.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return word;
}

std::string number_text(double value) {
    std::ostringstream text;
    text << value;
    return text.str();
}

// The levels a Modulation names: 0 for PAM_n (Modulation_Levels says), -1
// for a name it does not know.
int levels_named(const std::string &name) {
    const std::string word = upper_case(name);
    if (word == "NRZ") {
        return 2;
    }
    if (word == "PAM_N" || word == "PAMN") {
        return 0;
    }
    if (word.size() > 3 && word.size() <= 5 && word.compare(0, 3, "PAM") == 0 &&
        std::all_of(word.begin() + 3, word.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return std::stoi(word.substr(3));
    }
    return -1;
}

bool ascending_where_given(const std::vector<double> &values) {
    double last = -HUGE_VAL;
    for (double v : values) {
        if (std::isnan(v)) {
            continue;
        }
        if (!(v > last)) {
            return false;
        }
        last = v;
    }
    return true;
}

// Reads the reserved parameters of one file into a setting.
class Reader {
  public:
    Reader(const ParameterList &reserved, ModulationSetting &setting)
        : reserved_(reserved), setting_(setting) {}

    void read() {
        read_version();
        read_levels();
        read_mapping();
        read_thresholds();
        read_offsets();
    }

  private:
    // The parameter when declared with Usage Info or In and one of the
    // types (the one it has into type); null where not declared, or left
    // out with a note.
    const ParameterList *usable(const char *name, std::initializer_list<const char *> types,
                                std::string *type = nullptr) {
        const ParameterList *parameter = reserved_.child(name);
        if (parameter == nullptr) {
            return nullptr;
        }
        const std::string left_out = std::string(name) + " left out: ";
        const std::string usage = first_value(parameter->child("Usage"));
        if (usage == "Out") {
            note(left_out + "Usage Out (the model reports it as it runs)");
            return nullptr;
        }
        if (usage != "Info" && usage != "In") {
            note(left_out + "Usage " + (usage.empty() ? "missing" : usage));
            return nullptr;
        }
        const std::string declared = first_value(parameter->child("Type"));
        if (std::find_if(types.begin(), types.end(),
                         [&](const char *t) { return declared == t; }) == types.end()) {
            note(left_out + "Type " + (declared.empty() ? "missing" : declared));
            return nullptr;
        }
        if (type != nullptr) {
            *type = declared;
        }
        return parameter;
    }

    // Notes once a parameter the file's AMI_Version predates.
    void since(const char *name, double first_version) {
        if (version_ > 0.0 && version_ < first_version - 1e-9) {
            note(std::string(name) + " is defined from IBIS " + number_text(first_version) +
                 " on; read from this AMI_Version " + setting_.version + " file all the same");
        }
    }

    void read_version() {
        const ParameterList *parameter = reserved_.child("AMI_Version");
        DeclaredValue declared;
        std::string why;
        if (parameter == nullptr || !declared_value(*parameter, false, declared, why)) {
            return;
        }
        setting_.version = declared.word;
        if (!parameter_number(declared.word, version_)) {
            version_ = 0.0;
        }
    }

    bool string_value(const ParameterList &parameter, DeclaredValue &declared) {
        std::string why;
        if (!declared_value(parameter, false, declared, why)) {
            note(parameter.name + " left out: " + why);
            return false;
        }
        return true;
    }

    bool number_value(const ParameterList &parameter, double &value, std::string &form) {
        std::string why;
        if (!declared_number(parameter, value, form, why)) {
            note(parameter.name + " left out: " + why);
            return false;
        }
        return true;
    }

    void read_levels() {
        const ParameterList *modulation = usable("Modulation", {"String"});
        DeclaredValue declared;
        if (modulation == nullptr || !string_value(*modulation, declared)) {
            return;
        }
        int levels = levels_named(declared.word);
        if (levels < 0) {
            note("Modulation left out: \"" + declared.word + "\" is not NRZ, PAM4 or PAM_n");
            return;
        }
        std::string read = "Modulation " + declared.word + " (" + declared.form + ")";
        if (levels == 4) {
            since("PAM4", 6.1);
        } else if (levels != 2) {
            since("PAM_n", 7.0);
        }
        if (levels == 0) {
            const ParameterList *count = usable("Modulation_Levels", {"Integer"});
            double value = 0.0;
            std::string form;
            if (count == nullptr || !number_value(*count, value, form)) {
                note("Modulation left out: " + declared.word + " without Modulation_Levels");
                return;
            }
            levels = static_cast<int>(value);
            if (value != levels) {
                note("Modulation left out: Modulation_Levels " + number_text(value) +
                     " is not a whole number");
                return;
            }
            read += ", Modulation_Levels " + number_text(value) + " (" + form + ")";
        }
        if (levels < 2 || levels > kMaxLevels) {
            note("Modulation left out: " + std::to_string(levels) + " levels, not 2 to " +
                 std::to_string(kMaxLevels));
            return;
        }
        setting_.levels = levels;
        setting_.source = kFromFile;
        note(read);
    }

    void read_mapping() {
        const ParameterList *mapping = usable("PAM4_Mapping", {"String"});
        DeclaredValue declared;
        if (mapping == nullptr || !string_value(*mapping, declared)) {
            return;
        }
        if (setting_.levels != 4) {
            note("PAM4_Mapping left out: the modulation is " + modulation_name(setting_.levels));
            return;
        }
        const std::string word = upper_case(declared.word);
        if (word == "GRAY") {
            setting_.mapping = SymbolMapping::kGray;
        } else if (word == "STANDARD" || word == "NATURAL" || word == "BINARY") {
            setting_.mapping = SymbolMapping::kNatural;
        } else {
            note("PAM4_Mapping left out: \"" + declared.word + "\" is neither Gray nor standard");
            return;
        }
        since("PAM4_Mapping", 6.1);
        note("PAM4_Mapping " + declared.word + " (" + declared.form + ")");
    }

    void read_thresholds() {
        std::vector<double> thresholds(3, std::nan(""));
        bool any = false;
        for (std::size_t e = 0; e < 3; ++e) {
            const ParameterList *parameter = usable(kPam4Thresholds[e], {"Float"});
            double value = 0.0;
            std::string form;
            if (parameter == nullptr || !number_value(*parameter, value, form)) {
                continue;
            }
            if (setting_.levels != 4) {
                note(std::string(kPam4Thresholds[e]) + " left out: the modulation is " +
                     modulation_name(setting_.levels));
                continue;
            }
            since(kPam4Thresholds[e], 6.1);
            note(std::string(kPam4Thresholds[e]) + " " + number_text(value) + " V (" + form + ")");
            thresholds[e] = value;
            any = true;
        }
        const std::vector<double> listed = pam_thresholds(any);
        if (!any) {
            if (listed.empty()) {
                return;
            }
            thresholds = listed;
        }
        if (!ascending_where_given(thresholds)) {
            note("thresholds left out: not ascending from the lowest eye to the highest");
            return;
        }
        setting_.thresholds = thresholds;
        setting_.thresholds_source = kFromFile;
    }

    // PAM_Thresholds, when it holds one threshold per eye (empty
    // otherwise, or when the PAM4 ones were given).
    std::vector<double> pam_thresholds(bool pam4_given) {
        const ParameterList *parameter = usable("PAM_Thresholds", {"Float"});
        if (parameter == nullptr) {
            return {};
        }
        const std::string left_out = "PAM_Thresholds left out: ";
        if (pam4_given) {
            note(left_out + "the PAM4 thresholds are given");
            return {};
        }
        const ParameterList *list = parameter->child("Value");
        const char *form = "Value";
        if (list == nullptr) {
            list = parameter->child("List");
            form = "List";
        }
        if (list == nullptr) {
            note(left_out + "no Value or List");
            return {};
        }
        const auto eyes = static_cast<std::size_t>(setting_.levels - 1);
        if (list->values.size() != eyes) {
            note(left_out + std::to_string(list->values.size()) + " values for " +
                 std::to_string(eyes) + " eyes of " + modulation_name(setting_.levels));
            return {};
        }
        std::vector<double> thresholds(eyes);
        for (std::size_t e = 0; e < eyes; ++e) {
            if (!parameter_number(list->values[e], thresholds[e])) {
                note(left_out + form + " holds \"" + list->values[e] + "\", not a number");
                return {};
            }
        }
        since("PAM_Thresholds", 7.0);
        std::string read = "PAM_Thresholds";
        for (double t : thresholds) {
            read += " " + number_text(t);
        }
        note(read + " V (" + form + ")");
        return thresholds;
    }

    void read_offsets() {
        std::vector<EyeOffset> offsets(3);
        bool any = false;
        for (std::size_t e = 0; e < 3; ++e) {
            std::string type;
            const ParameterList *parameter = usable(kPam4Offsets[e], {"Float", "UI"}, &type);
            std::string form;
            if (parameter == nullptr || !number_value(*parameter, offsets[e].value, form)) {
                continue;
            }
            if (setting_.levels != 4) {
                note(std::string(kPam4Offsets[e]) + " left out: the modulation is " +
                     modulation_name(setting_.levels));
                continue;
            }
            const bool in_ui = type == "UI";
            offsets[e].unit = in_ui ? ReservedUnit::kUnitIntervals : ReservedUnit::kSeconds;
            since(kPam4Offsets[e], 6.1);
            note(std::string(kPam4Offsets[e]) + " " + number_text(offsets[e].value) +
                 (in_ui ? " UI (" : " s (") + form + ")");
            any = true;
        }
        if (any) {
            setting_.eye_offsets = offsets;
        }
    }

    void note(const std::string &text) { setting_.notes.push_back(text); }

    const ParameterList &reserved_;
    ModulationSetting &setting_;
    double version_ = 0.0;  // AMI_Version as a number; 0 where unknown
};

}  // namespace

ModulationSetting read_modulation(const std::string &ami_text) {
    ModulationSetting setting;
    std::unique_ptr<ParameterList> top;
    const ParameterList *reserved = nullptr;
    std::string error;
    if (!read_reserved_list(ami_text, top, reserved, error)) {
        setting.readable = false;
        setting.notes.push_back("not read: " + error);
        return setting;
    }
    if (reserved != nullptr) {
        Reader(*reserved, setting).read();
    }
    return setting;
}

ModulationSetting combine_modulations(const ModulationSetting &tx, const ModulationSetting &rx) {
    const bool rx_declares = rx.source == kFromFile;
    ModulationSetting link = rx_declares || tx.source != kFromFile ? rx : tx;
    link.notes.clear();
    for (const auto *side : {&tx, &rx}) {
        const char *who = side == &tx ? "transmitter's file: " : "receiver's file: ";
        for (const std::string &note : side->notes) {
            link.notes.push_back(who + note);
        }
    }
    if (rx_declares && tx.source == kFromFile &&
        (tx.levels != rx.levels || (tx.levels > 2 && tx.mapping != rx.mapping))) {
        link.notes.push_back("the files disagree: the transmitter's " + modulation_name(tx.levels) +
                             " (" + mapping_name(tx.mapping) + ") gives way to the receiver's " +
                             modulation_name(rx.levels) + " (" + mapping_name(rx.mapping) + ")");
    }
    return link;
}

bool override_modulation(const ModulationOverride &command_line, ModulationSetting &setting,
                         std::string &error) {
    const int levels = command_line.levels == 0 ? setting.levels : command_line.levels;
    if (levels < 2 || levels > kMaxLevels) {
        error = "levels: " + std::to_string(levels) + ", not 2 to " + std::to_string(kMaxLevels);
        return false;
    }
    const std::vector<double> &thresholds = command_line.thresholds;
    if (!thresholds.empty()) {
        if (thresholds.size() != static_cast<std::size_t>(levels - 1)) {
            error = std::to_string(thresholds.size()) + " thresholds for the " +
                    std::to_string(levels - 1) + " eyes of " + modulation_name(levels);
            return false;
        }
        if (!std::all_of(thresholds.begin(), thresholds.end(),
                         [](double t) { return std::isfinite(t); }) ||
            !ascending_where_given(thresholds)) {
            error = "thresholds not finite or not ascending";
            return false;
        }
    }
    const bool file_declares = setting.source == kFromFile;
    if (command_line.levels != 0) {
        std::string note = modulation_name(levels) + " from the command line";
        if (file_declares) {
            note += levels != setting.levels
                        ? " overrides the file's " + modulation_name(setting.levels)
                        : ", as the file says";
        }
        setting.notes.push_back(note);
        if (levels != setting.levels &&
            (!setting.thresholds.empty() || !setting.eye_offsets.empty())) {
            setting.notes.push_back(
                "the file's thresholds and eye offsets left out: they are for " +
                modulation_name(setting.levels));
            setting.thresholds.clear();
            setting.thresholds_source.clear();
            setting.eye_offsets.clear();
        }
        setting.levels = levels;
        setting.source = kFromCommandLine;
    }
    if (command_line.mapping_given && command_line.mapping != setting.mapping) {
        setting.notes.push_back(
            std::string(mapping_name(command_line.mapping)) + " mapping from the command line" +
            (file_declares ? std::string(" overrides the file's ") + mapping_name(setting.mapping)
                           : std::string()));
        setting.mapping = command_line.mapping;
    }
    if (!thresholds.empty()) {
        setting.notes.push_back(
            std::string("thresholds from the command line") +
            (setting.thresholds_source == kFromFile ? " override the file's" : ""));
        setting.thresholds = thresholds;
        setting.thresholds_source = kFromCommandLine;
    }
    return true;
}

bool find_modulation_parameter(const std::string &ami_text, ModulationParameter &parameter) {
    std::unique_ptr<ParameterList> top;
    const ParameterList *reserved = nullptr;
    std::string error;
    if (!read_reserved_list(ami_text, top, reserved, error) || top->children.empty()) {
        return false;
    }
    const ParameterList *specific = top->children.front()->child("Model_Specific");
    if (specific == nullptr) {
        return false;
    }
    const std::string suffix = "MODULATION";
    for (const auto &candidate : specific->children) {
        const std::string name = upper_case(candidate->name);
        const ParameterList *list = candidate->child("List");
        DeclaredValue declared;
        if (name.size() < suffix.size() ||
            name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0 ||
            first_value(candidate->child("Usage")) != "In" ||
            first_value(candidate->child("Type")) != "String" || list == nullptr ||
            list->values.empty() || !declared_value(*candidate, false, declared, error)) {
            continue;
        }
        std::vector<int> levels;
        for (const std::string &value : list->values) {
            levels.push_back(levels_named(value));
        }
        if (std::all_of(levels.begin(), levels.end(), [](int n) { return n >= 2; })) {
            parameter = {candidate->name, list->values, levels, declared.word};
            return true;
        }
    }
    return false;
}

std::vector<double> eye_offsets_in_ui(const ModulationSetting &setting, double unit_interval) {
    std::vector<double> offsets(static_cast<std::size_t>(std::max(setting.levels - 1, 0)), 0.0);
    for (std::size_t e = 0; e < offsets.size() && e < setting.eye_offsets.size(); ++e) {
        const EyeOffset &offset = setting.eye_offsets[e];
        offsets[e] = offset.unit == ReservedUnit::kUnitIntervals ? offset.value
                                                                 : offset.value / unit_interval;
    }
    return offsets;
}

std::vector<int> eye_offsets_in_samples(const ModulationSetting &setting, double unit_interval,
                                        int samples_per_bit) {
    std::vector<int> samples;
    for (double ui : eye_offsets_in_ui(setting, unit_interval)) {
        samples.push_back(static_cast<int>(std::lround(ui * samples_per_bit)));
    }
    return samples;
}

std::vector<double> decision_thresholds(const ModulationSetting &setting,
                                        const std::vector<double> &centres) {
    std::vector<double> thresholds = centres;
    for (std::size_t e = 0; e < thresholds.size() && e < setting.thresholds.size(); ++e) {
        if (!std::isnan(setting.thresholds[e])) {
            thresholds[e] = setting.thresholds[e];
        }
    }
    return thresholds;
}

}  // namespace amisim
