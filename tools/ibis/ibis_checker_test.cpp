// The IBIS syntax check: the model's file passes it, equivalent spellings
// pass it, and each fault injected into the file is caught by the rule that
// names it. Every rule of the check catches at least one of the faults.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "tools/ibis/buffer_description.h"
#include "tools/ibis/ibis_checker.h"
#include "tools/ibis/ibis_writer.h"

namespace {

using ::testing::AllOf;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::Field;
using ::testing::IsEmpty;

constexpr const char *kFileName = "Halvorin_7314_Tx.ibs";

std::string model_file() {
    ibis::KitNames names;
    names.version = "1.0.0";
    return ibis::write_ibis(names, ibis::BufferDescription{});
}

std::string describe(const ibis::CheckReport &report) {
    std::string text;
    for (const ibis::Finding &f : report.findings) {
        text += std::to_string(f.line) + ": " + f.rule + ": " + f.message + "\n";
    }
    return text;
}

TEST(IbisCheck, ModelFilePassesAndNamesBothLibraries) {
    const ibis::CheckReport report = ibis::check_ibis(model_file(), kFileName);
    EXPECT_THAT(report.findings, IsEmpty()) << describe(report);
    EXPECT_EQ(report.version, "7.1");
    EXPECT_EQ(report.file_rev, "1.0.0");
    EXPECT_THAT(report.models, ElementsAre("Halvorin_7314_Tx"));
    using E = ibis::Executable;
    EXPECT_THAT(report.executables,
                ElementsAre(AllOf(Field(&E::platform, "Linux_gcc_32"), Field(&E::bits, 32),
                                  Field(&E::library, "Halvorin_7314_Tx_32.so"),
                                  Field(&E::parameter_file, "Halvorin_7314_Tx.ami")),
                            AllOf(Field(&E::platform, "Linux_gcc_64"), Field(&E::bits, 64),
                                  Field(&E::library, "Halvorin_7314_Tx_64.so"),
                                  Field(&E::parameter_file, "Halvorin_7314_Tx.ami"))));
}

// Replaces the first occurrence of `from` (which must be there) by `to`.
struct Edit {
    const char *name;
    const char *from;
    const char *to;
    const char *rule;  // the rule that must report it; null: none may
};

void PrintTo(const Edit &edit, std::ostream *out) {
    *out << edit.name;
}

std::string edited(const Edit &edit) {
    std::string text = model_file();
    const std::size_t at = text.find(edit.from);
    EXPECT_NE(at, std::string::npos) << edit.from;
    if (at != std::string::npos) {
        text.replace(at, std::string(edit.from).size(), edit.to);
    }
    return text;
}

class EquivalentSpelling : public ::testing::TestWithParam<Edit> {};

TEST_P(EquivalentSpelling, StaysClean) {
    const ibis::CheckReport report = ibis::check_ibis(edited(GetParam()), kFileName);
    EXPECT_THAT(report.findings, IsEmpty()) << describe(report);
}

INSTANTIATE_TEST_SUITE_P(
    Ibis, EquivalentSpelling,
    ::testing::Values(
        Edit{"KeywordCaseAndUnderscores", "[Diff Pin]", "[DIFF_PIN]", nullptr},
        Edit{"CarriageReturnLineEnds", "[File Rev]      1.0.0\n", "[File Rev]      1.0.0\r\n",
             nullptr},
        Edit{"UnitsAfterNumbers", "C_comp          300f", "C_comp          300fF", nullptr},
        Edit{"ExponentNumbers", "R_pkg           100m", "R_pkg           1.0e-1", nullptr},
        Edit{"NaCorners", "C_pkg           200f            150f            250f",
             "C_pkg           200f            NA              NA", nullptr},
        Edit{"CommentAfterData", "R_load = 50", "R_load = 50 | the default", nullptr}),
    [](const auto &param_info) { return std::string(param_info.param.name); });

TEST(IbisCheck, CommentCharacterCanBeChanged) {
    std::string text = model_file();
    for (char &c : text) {
        c = c == '|' ? '#' : c;
    }
    text.insert(text.find('\n') + 1, "[Comment Char] #_char\n");
    const ibis::CheckReport report = ibis::check_ibis(text, kFileName);
    EXPECT_THAT(report.findings, IsEmpty()) << describe(report);
}

class InjectedFault : public ::testing::TestWithParam<Edit> {};

const std::vector<Edit> &faults() {
    static const std::vector<Edit> list = {
        // The README's former example: bits must be the last of three fields.
        {"PlatformX86_64", "Linux_gcc_64", "Linux_gcc_x86_64", "executable"},
        {"PlatformX86", "Linux_gcc_32", "Linux_gcc_x86", "executable"},
        {"PlatformTwice", "Linux_gcc_32 Halvorin_7314_Tx_32.so",
         "Linux_gcc_64 Halvorin_7314_Tx_32.so", "executable"},
        {"ExecutableWithoutParameterFile", "Halvorin_7314_Tx_32.so Halvorin_7314_Tx.ami",
         "Halvorin_7314_Tx_32.so", "executable"},
        {"ParameterFileNotAmi", "Halvorin_7314_Tx_64.so Halvorin_7314_Tx.ami",
         "Halvorin_7314_Tx_64.so Halvorin_7314_Tx.txt", "executable"},
        {"LibraryNameWithTwoDots", "Halvorin_7314_Tx_64.so", "Halvorin_7314_Tx_64.so.1",
         "file-reference"},
        {"AlgorithmicModelNotClosed", "[End Algorithmic Model]\n", "", "algorithmic-model"},
        {"AlgorithmicModelHoldsOtherLines", "[End Algorithmic Model]",
         "Init_Returns_Impulse True\n[End Algorithmic Model]", "algorithmic-model"},
        {"AlgorithmicModelInOldVersion", "[IBIS Ver]      7.1", "[IBIS Ver]      4.2",
         "ibis-version"},
        {"LongLine", "not from measurements or circuit simulation.",
         "not from measurements or circuit simulation, nor from any other source.", "line-length"},
        {"NonAsciiCharacter", "ohm", "\xce\xa9", "characters"},
        {"UnknownVersion", "[IBIS Ver]      7.1", "[IBIS Ver]      7.9", "ibis-version"},
        {"VersionNotFirst", "[IBIS Ver]      7.1\n", "", "ibis-version"},
        {"BadCommentChar", "[File Rev]", "[Comment Char] ab\n[File Rev]", "comment-char"},
        {"FileNameNotTheFiles", "[File Name]     Halvorin_7314_Tx.ibs",
         "[File Name]     halvorin_7314_tx.ibs", "file-name"},
        {"FileRevMissing", "[File Rev]      1.0.0\n", "", "required-keyword"},
        {"FileRevEmpty", "[File Rev]      1.0.0", "[File Rev]", "text-value"},
        {"UnknownKeyword", "[Notes]", "[Note]", "unknown-keyword"},
        {"KeywordUnclosed", "[Pin] ", "[Pin ", "keyword-syntax"},
        {"TextBeforeFirstKeyword", "[IBIS Ver]", "model\n[IBIS Ver]", "stray-text"},
        {"TextAfterEnd", "[End]\n", "[End]\nmore\n", "stray-text"},
        {"EndMissing", "[End]\n", "", "required-keyword"},
        {"HeaderKeywordInComponent", "[Pin] ", "[Date] today\n[Pin] ", "keyword-order"},
        {"ComponentKeywordInModel", "[Algorithmic Model]",
         "[Diff Pin] inv_pin vdiff tdelay_typ tdelay_min tdelay_max\n[Algorithmic Model]",
         "keyword-order"},
        {"ManufacturerTwice", "[Manufacturer]  Halvorin\n",
         "[Manufacturer]  Halvorin\n[Manufacturer]  Halvorin\n", "duplicate-keyword"},
        {"ManufacturerMissing", "[Manufacturer]  Halvorin\n", "", "required-keyword"},
        {"PackageInductanceMissing", "L_pkg           500p            400p            600p\n", "",
         "package"},
        {"PackageResistanceNegative", "R_pkg           100m", "R_pkg           -100m", "package"},
        {"TypicalNotGiven", "C_pkg           200f", "C_pkg           NA", "typ-min-max"},
        {"NotANumber", "L_pkg           500p", "L_pkg           500p5", "number"},
        {"PinRowShort", "3               VDD             POWER", "3               VDD",
         "pin-table"},
        {"PinTwice", "4               VSS", "3               VSS", "pin-table"},
        {"PinModelUndefined", "TXN             Halvorin_7314_Tx",
         "TXN             Halvorin_7314_Rx", "pin-table"},
        {"PinNameTooLong", "1               TXP", "100000          TXP", "name-length"},
        {"ModelNameTooLong", "[Model]         Halvorin_7314_Tx",
         "[Model]         Halvorin_7314_Tx_driver", "name-length"},
        {"ModelWithTwoNames", "[Model]         Halvorin_7314_Tx",
         "[Model]         Halvorin_7314_Tx driver", "model-name"},
        {"DiffPinWithPower", "1          2          200m", "1          3          200m",
         "diff-pin"},
        {"UnknownModelType", "Model_type      Output", "Model_type      Outptu",
         "model-subparameter"},
        {"UnknownPolarity", "Non-Inverting", "Noninverting", "model-subparameter"},
        {"InputWithoutThresholds", "Model_type      Output", "Model_type      I/O",
         "model-required"},
        {"CCompMissing", "C_comp          300f            270f            330f\n", "",
         "model-required"},
        {"CCompTwoValues", "C_comp          300f            270f            330f",
         "C_comp          300f            270f", "typ-min-max"},
        {"VoltageRangeMissing", "[Voltage Range] 1               950m            1.05\n", "",
         "model-required"},
        {"VoltageRangeNegative", "[Voltage Range] 1 ", "[Voltage Range] -1 ", "voltage-range"},
        {"PullupMissing", "[Pullup]", "[GND Clamp]", "model-required"},
        {"RampMissing", "[Ramp]", "[Rising Waveform]", "model-required"},
        {"RampNotARatio", "300m/20p", "300m", "ramp"},
        {"FallingRampMissing", "dV/dt_f", "dV/dt_r", "ramp"},
        {"VoltagesNotIncreasing", "-945m           -18.9m", "-1.2            -18.9m", "iv-table"},
        {"CurrentNotMonotonic", "105m            2.1m", "105m            -5m", "iv-monotonic"},
        {"IvRowShort", "210m            4.2m            3.8182m         4.6667m",
         "210m            4.2m            3.8182m", "iv-table"},
        {"IvColumnMixesNa", "210m            4.2m            3.8182m",
         "210m            4.2m            NA", "iv-table"},
        {"SweepStartsLate", "-1.05           -21m            -19.091m        -23.333m\n", "",
         "iv-range"},
    };
    return list;
}

TEST_P(InjectedFault, IsReportedByItsRule) {
    const Edit &fault = GetParam();
    const ibis::CheckReport report = ibis::check_ibis(edited(fault), kFileName);
    EXPECT_THAT(report.findings, Contains(Field(&ibis::Finding::rule, fault.rule)))
        << describe(report);
    std::set<std::string> known;
    for (const ibis::Rule &rule : ibis::rules()) {
        known.insert(rule.id);
    }
    for (const ibis::Finding &finding : report.findings) {
        EXPECT_EQ(known.count(finding.rule), 1u) << finding.rule;
    }
}

INSTANTIATE_TEST_SUITE_P(Ibis, InjectedFault, ::testing::ValuesIn(faults()),
                         [](const auto &param_info) { return std::string(param_info.param.name); });

TEST(IbisCheck, EveryRuleCatchesAnInjectedFault) {
    std::set<std::string> shown;
    for (const Edit &fault : faults()) {
        shown.insert(fault.rule);
    }
    for (const ibis::Rule &rule : ibis::rules()) {
        EXPECT_EQ(shown.count(rule.id), 1u) << rule.id << " is not shown to catch anything";
    }
}

}  // namespace
