// The modulation of a model's parameter file: each version's parameters in
// their forms, what is left out and why, the example receiver's own file,
// and the command line over the file.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tools/amisim/stimulus/modulation.h"

namespace {

using amisim::ModulationSetting;
using amisim::ReservedUnit;
using amisim::SymbolMapping;
using ::testing::NanSensitiveDoubleEq;
using ::testing::Pointwise;

std::string ami_file(const std::string &version, const std::string &reserved) {
    std::string text = "(A_Model\n (Reserved_Parameters\n";
    if (!version.empty()) {
        text += "  (AMI_Version (Usage Info) (Type String) (Value \"" + version + "\"))\n";
    }
    return text + reserved + " )\n (Model_Specific (Modulation (Usage In) (Type String)" +
           " (Value \"PAM8\")))\n)\n";
}

TEST(Modulation, ReadsEachVersionsParameters) {
    const double none = std::nan("");
    struct Row {
        const char *name;
        std::string text;
        int levels;
        SymbolMapping mapping;
        std::vector<double> thresholds;
        std::vector<amisim::EyeOffset> offsets;
        const char *source;
    };
    const Row rows[] = {
        {"IBIS 6.1 PAM4, its thresholds, offsets and mapping",
         ami_file("6.1",
                  "  (Modulation (Usage Info) (Type String) (Value \"PAM4\"))\n"
                  "  (PAM4_Mapping (Usage Info) (Type String) (Value \"standard\"))\n"
                  "  (PAM4_UpperThreshold (Usage Info) (Type Float) (Value 0.2))\n"
                  "  (PAM4_CenterThreshold (Usage Info) (Type Float) (Range 0.01 -0.1 0.1))\n"
                  "  (PAM4_LowerThreshold (Usage In) (Type Float) (List -0.21 -0.19)"
                  " (Default -0.19))\n"
                  "  (PAM4_UpperEyeOffset (Usage Info) (Type UI) (Value 0.05))\n"
                  "  (PAM4_LowerEyeOffset (Usage Info) (Type Float) (Value -2e-12))\n"),
         4,
         SymbolMapping::kNatural,
         {-0.19, 0.01, 0.2},
         {{-2e-12, ReservedUnit::kSeconds},
          {0.0, ReservedUnit::kSeconds},
          {0.05, ReservedUnit::kUnitIntervals}},
         amisim::kFromFile},
        {"IBIS 7.1 PAM_n, its levels and thresholds",
         ami_file("7.1",
                  "  (Modulation (Usage Info) (Type String) (Value \"PAM_n\"))\n"
                  "  (Modulation_Levels (Usage Info) (Type Integer) (Value 3))\n"
                  "  (PAM_Thresholds (Usage Info) (Type Float) (Value -0.15 0.15))\n"),
         3,
         SymbolMapping::kGray,
         {-0.15, 0.15},
         {},
         amisim::kFromFile},
        {"PAM4 with its centre threshold alone",
         ami_file("7.0",
                  "  (Modulation (Usage Info) (Type String) (Value \"PAM4\"))\n"
                  "  (PAM4_CenterThreshold (Usage Info) (Type Float) (Value 0.02))\n"),
         4,
         SymbolMapping::kGray,
         {none, 0.02, none},
         {},
         amisim::kFromFile},
        {"no Modulation",
         ami_file("", "  (Tx_Rj (Usage Info) (Type Float) (Value 1e-12))\n"),
         2,
         SymbolMapping::kGray,
         {},
         {},
         amisim::kFromDefault},
    };
    for (const Row &row : rows) {
        const ModulationSetting setting = amisim::read_modulation(row.text);
        EXPECT_TRUE(setting.readable) << row.name;
        EXPECT_EQ(setting.levels, row.levels) << row.name;
        EXPECT_EQ(setting.mapping, row.mapping) << row.name;
        EXPECT_THAT(setting.thresholds, Pointwise(NanSensitiveDoubleEq(), row.thresholds))
            << row.name;
        ASSERT_EQ(setting.eye_offsets.size(), row.offsets.size()) << row.name;
        for (std::size_t e = 0; e < row.offsets.size(); ++e) {
            EXPECT_EQ(setting.eye_offsets[e].value, row.offsets[e].value) << row.name;
            EXPECT_EQ(setting.eye_offsets[e].unit, row.offsets[e].unit) << row.name;
        }
        EXPECT_EQ(setting.source, row.source) << row.name;
        for (const std::string &note : setting.notes) {
            EXPECT_EQ(note.find("left out"), std::string::npos) << row.name << ": " << note;
        }
    }
}

// The example receiver's own file lists NRZ and PAM4, its Default NRZ.
TEST(Modulation, ReadsTheExampleReceiversFile) {
    std::ifstream file(EXAMPLE_RX_AMI);
    ASSERT_TRUE(file) << EXAMPLE_RX_AMI;
    std::ostringstream text;
    text << file.rdbuf();
    const ModulationSetting setting = amisim::read_modulation(text.str());
    EXPECT_EQ(setting.levels, 2);
    EXPECT_EQ(setting.source, amisim::kFromFile);
    EXPECT_EQ(setting.version, "7.1");
    EXPECT_EQ(setting.notes, std::vector<std::string>{"Modulation NRZ (List, its Default)"});
}

// The parameter a model's file ties to the modulation, to tell the model
// the link's: a Model_Specific String of Usage In named ...Modulation whose
// List names modulations only (the example receiver's Rx_Modulation).
TEST(Modulation, FindsTheParameterAModelTiesToTheModulation) {
    std::ifstream file(EXAMPLE_RX_AMI);
    std::ostringstream example;
    example << file.rdbuf();
    amisim::ModulationParameter found;
    ASSERT_TRUE(amisim::find_modulation_parameter(example.str(), found));
    EXPECT_EQ(found.name, "Rx_Modulation");
    EXPECT_EQ(found.levels, (std::vector<int>{2, 4}));
    EXPECT_EQ(found.declared, "NRZ");
    struct Row {
        const char *name;
        const char *parameter;
        bool found;
    };
    const Row rows[] = {
        {"a List of modulations, its Default",
         "(line_MODULATION (Usage In) (Type String) (List \"NRZ\" \"pam4\" \"PAM8\") (Default "
         "\"pam4\"))",
         true},
        {"Usage Info", "(Rx_Modulation (Usage Info) (Type String) (List \"NRZ\" \"PAM4\"))", false},
        {"Type Integer", "(Rx_Modulation (Usage In) (Type Integer) (List 2 4))", false},
        {"a name not ending in Modulation",
         "(Modulation_Mode (Usage In) (Type String) (List \"NRZ\" \"PAM4\"))", false},
        {"a value that is no modulation",
         "(Rx_Modulation (Usage In) (Type String) (List \"NRZ\" \"fast\"))", false},
        {"a Value, not a List", "(Rx_Modulation (Usage In) (Type String) (Value \"PAM4\"))", false},
    };
    for (const Row &row : rows) {
        const std::string text = std::string("(A_Model (Model_Specific ") + row.parameter + "))";
        amisim::ModulationParameter parameter;
        EXPECT_EQ(amisim::find_modulation_parameter(text, parameter), row.found) << row.name;
        if (row.found) {
            EXPECT_EQ(parameter.name, "line_MODULATION");
            EXPECT_EQ(parameter.levels, (std::vector<int>{2, 4, 8}));
            EXPECT_EQ(parameter.values[1], "pam4");
            EXPECT_EQ(parameter.declared, "pam4");
        }
    }
}

TEST(Modulation, LeavesOutWhatItCannotUseAndSaysWhy) {
    const std::string pam4 = "  (Modulation (Usage Info) (Type String) (Value \"PAM4\"))\n";
    struct Row {
        const char *name;
        std::string reserved;
        const char *version;
        int levels;
        const char *note;
    };
    const Row rows[] = {
        {"a threshold the model reports",
         pam4 + "  (PAM4_UpperThreshold (Usage Out) (Type Float) (Value 0.2))\n", "7.1", 4,
         "PAM4_UpperThreshold left out: Usage Out (the model reports it as it runs)"},
        {"thresholds not ascending",
         pam4 + "  (PAM4_UpperThreshold (Usage Info) (Type Float) (Value 0.0))\n" +
             "  (PAM4_CenterThreshold (Usage Info) (Type Float) (Value 0.1))\n",
         "7.1", 4, "thresholds left out: not ascending from the lowest eye to the highest"},
        {"PAM4 thresholds for NRZ",
         "  (Modulation (Usage Info) (Type String) (Value \"NRZ\"))\n"
         "  (PAM4_CenterThreshold (Usage Info) (Type Float) (Value 0.1))\n",
         "7.1", 2, "PAM4_CenterThreshold left out: the modulation is NRZ"},
        {"an unknown modulation",
         "  (Modulation (Usage Info) (Type String) (Value \"Duobinary\"))\n", "7.1", 2,
         "Modulation left out: \"Duobinary\" is not NRZ, PAM4 or PAM_n"},
        {"PAM_n without its levels",
         "  (Modulation (Usage Info) (Type String) (Value \"PAM_n\"))\n", "7.1", 2,
         "Modulation left out: PAM_n without Modulation_Levels"},
        {"PAM_Thresholds of another count",
         pam4 + "  (PAM_Thresholds (Usage Info) (Type Float) (List -0.1 0.1))\n", "7.1", 4,
         "PAM_Thresholds left out: 2 values for 3 eyes of PAM4"},
        {"PAM4 in a file older than it", pam4, "5.1", 4,
         "PAM4 is defined from IBIS 6.1 on; read from this AMI_Version 5.1 file all the same"},
    };
    for (const Row &row : rows) {
        const ModulationSetting setting =
            amisim::read_modulation(ami_file(row.version, row.reserved));
        EXPECT_EQ(setting.levels, row.levels) << row.name;
        EXPECT_TRUE(setting.thresholds.empty()) << row.name;
        EXPECT_NE(std::find(setting.notes.begin(), setting.notes.end(), row.note),
                  setting.notes.end())
            << row.name << ": " << ::testing::PrintToString(setting.notes);
    }
    EXPECT_FALSE(amisim::read_modulation("(A_Model (Reserved_Parameters").readable);
}

TEST(Modulation, CommandLineOverridesTheFileAndSaysSo) {
    const ModulationSetting file = amisim::read_modulation(
        ami_file("6.1",
                 "  (Modulation (Usage Info) (Type String) (Value \"PAM4\"))\n"
                 "  (PAM4_CenterThreshold (Usage Info) (Type Float) (Value 0.02))\n"
                 "  (PAM4_CenterEyeOffset (Usage Info) (Type UI) (Value 0.1))\n"));
    struct Row {
        const char *name;
        amisim::ModulationOverride command_line;
        int levels;
        std::vector<double> thresholds;
        std::vector<int> offsets;  // samples, at 16 a unit interval
        const char *note;          // the last
    };
    const double none = std::nan("");
    const Row rows[] = {
        {"nothing", {}, 4, {none, 0.02, none}, {0, 2, 0}, "PAM4_CenterEyeOffset 0.1 UI (Value)"},
        {"thresholds",
         {0, false, SymbolMapping::kGray, {-0.2, 0.0, 0.2}},
         4,
         {-0.2, 0.0, 0.2},
         {0, 2, 0},
         "thresholds from the command line override the file's"},
        {"NRZ",
         {2, false, SymbolMapping::kGray, {}},
         2,
         {},
         {0},
         "the file's thresholds and eye offsets left out: they are for PAM4"},
        {"natural mapping",
         {4, true, SymbolMapping::kNatural, {}},
         4,
         {none, 0.02, none},
         {0, 2, 0},
         "natural mapping from the command line overrides the file's Gray"},
    };
    for (const Row &row : rows) {
        ModulationSetting setting = file;
        std::string error;
        ASSERT_TRUE(amisim::override_modulation(row.command_line, setting, error)) << row.name;
        EXPECT_EQ(setting.levels, row.levels) << row.name;
        EXPECT_THAT(setting.thresholds, Pointwise(NanSensitiveDoubleEq(), row.thresholds))
            << row.name;
        EXPECT_EQ(amisim::eye_offsets_in_samples(setting, 1e-10, 16), row.offsets) << row.name;
        EXPECT_EQ(setting.notes.back(), row.note) << row.name;
    }
    // The file's centre threshold, the others each eye's own centre.
    EXPECT_EQ(amisim::decision_thresholds(file, {-0.3, 0.0, 0.3}),
              (std::vector<double>{-0.3, 0.02, 0.3}));

    for (const amisim::ModulationOverride &bad :
         {amisim::ModulationOverride{64, false, SymbolMapping::kGray, {}},
          amisim::ModulationOverride{0, false, SymbolMapping::kGray, {0.1, 0.0, 0.2}},
          amisim::ModulationOverride{0, false, SymbolMapping::kGray, {0.0}}}) {
        ModulationSetting setting = file;
        std::string error;
        EXPECT_FALSE(amisim::override_modulation(bad, setting, error));
        EXPECT_FALSE(error.empty());
    }
}

// The receiver decides: its file's modulation is the link's; the
// transmitter's stands where the receiver's declares none.
TEST(Modulation, TheReceiversFileDecidesTheLinks) {
    const ModulationSetting pam4 = amisim::read_modulation(
        ami_file("7.1", "  (Modulation (Usage Info) (Type String) (Value \"PAM4\"))\n"));
    const ModulationSetting nrz = amisim::read_modulation(
        ami_file("7.1", "  (Modulation (Usage Info) (Type String) (Value \"NRZ\"))\n"));
    const ModulationSetting none = amisim::read_modulation(ami_file("7.1", ""));
    EXPECT_EQ(amisim::combine_modulations(pam4, none).levels, 4);
    const ModulationSetting both = amisim::combine_modulations(pam4, nrz);
    EXPECT_EQ(both.levels, 2);
    EXPECT_EQ(both.notes.back(),
              "the files disagree: the transmitter's PAM4 (Gray) gives way to the receiver's NRZ "
              "(Gray)");
}

}  // namespace
