// The reserved jitter and noise parameters of a model's parameter file: the
// forms that are read, the ones left out with the reason, and what the run
// takes from them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/amisim/stimulus/reserved_parameters.h"

namespace {

// A parameter file whose Reserved_Parameters hold the given declarations,
// beside a model-specific parameter of the same name as a reserved one.
std::string ami_file(const std::string &reserved) {
    return "(Some_Tx\n (Description \"a (parenthesised) text\")\n (Reserved_Parameters\n"
           "  (AMI_Version (Usage Info) (Type String) (Value \"7.1\"))\n" +
           reserved + " )\n (Model_Specific (Tx_Rj (Usage In) (Type Float) (Value 9)))\n)\n";
}

TEST(ReservedParameters, ReadsEachFormItAccepts) {
    const std::string text = ami_file(
        "  (Tx_Rj (Usage Info) (Type Float) (Value 1.5e-13) (Description \"random\"))\n"
        "  (Tx_Dj (Usage Info) (Type UI) (Format Range 0.1 0 0.3) (Default 0.2))\n"
        "  (Tx_Sj (Usage In) (Type Float) (List 2e-12 3e-12))\n"
        "  (Tx_Sj_Frequency (Usage Info) (Type Float) (Corner 1e6 5e5 2e6))\n"
        "  (Tx_DCD (Usage Info) (Type Float) (Format Increment 1e-12 0 4e-12 1e-12))\n"
        "  (Rx_Rj (Usage Info) (Type UI) (Steps +0.01 0 0.05 0.01) (Default 0.02))\n"
        "  (Rx_Noise (Usage Info) (Type Float) (Format Value 0.003))\n");
    const amisim::ReservedReading reading = amisim::read_reserved_parameters(text);
    ASSERT_TRUE(reading.readable);
    EXPECT_TRUE(reading.notes.empty()) << reading.notes.front();
    struct Expected {
        const char *name;
        double value;
        amisim::ReservedUnit unit;
        const char *form;
    };
    const Expected expected[] = {
        {"Tx_Rj", 1.5e-13, amisim::ReservedUnit::kSeconds, "Value"},
        {"Tx_Dj", 0.2, amisim::ReservedUnit::kUnitIntervals, "Range, its Default"},
        {"Tx_Sj", 2e-12, amisim::ReservedUnit::kSeconds, "List, first entry"},
        {"Tx_Sj_Frequency", 1e6, amisim::ReservedUnit::kHertz, "Corner, typ"},
        {"Tx_DCD", 1e-12, amisim::ReservedUnit::kSeconds, "Increment, typ"},
        {"Rx_Rj", 0.02, amisim::ReservedUnit::kUnitIntervals, "Steps, its Default"},
        {"Rx_Noise", 0.003, amisim::ReservedUnit::kVolts, "Value"},
    };
    ASSERT_EQ(reading.values.size(), std::size(expected));
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        EXPECT_EQ(reading.values[i].name, expected[i].name);
        EXPECT_EQ(reading.values[i].value, expected[i].value) << expected[i].name;
        EXPECT_EQ(reading.values[i].unit, expected[i].unit) << expected[i].name;
        EXPECT_EQ(reading.values[i].form, expected[i].form) << expected[i].name;
    }
}

TEST(ReservedParameters, LeavesOutWhatItCannotUseAndSaysWhy) {
    struct Row {
        const char *declaration;
        const char *note;
    };
    const Row rows[] = {
        {"(Rx_Dj (Usage Out) (Type Float) (Value 1e-12))", "Rx_Dj left out: Usage Out"},
        {"(Rx_Dj (Type Float) (Value 1e-12))", "Rx_Dj left out: Usage missing"},
        {"(Rx_Dj (Usage Info) (Type Integer) (Value 1))", "Rx_Dj left out: Type Integer"},
        {"(Rx_Noise (Usage Info) (Type UI) (Value 0.1))", "Rx_Noise left out: Type UI"},
        {"(Rx_Sj (Usage Info) (Type Float) (Format Dual-Dirac 1e-12 1e-12 1e-13))",
         "Rx_Sj left out: no Value, Range, List, Corner, Increment or Steps"},
        {"(Rx_Sj (Usage Info) (Type Float) (Value 1ps))",
         "Rx_Sj left out: Value holds \"1ps\", not a number"},
        {"(Rx_Sj (Usage Info) (Type Float) (Range 1e-12 0))",
         "Rx_Sj left out: Range has too few values"},
        {"(Rx_Sj (Usage Info) (Type Float) (List 1e-12 2e-12) (Default x))",
         "Rx_Sj left out: its Default \"x\" is not a number"},
        {"(Rx_DCD (Usage Info) (Type Float) (Value -1e-12))", "Rx_DCD left out: negative"},
    };
    for (const Row &row : rows) {
        const amisim::ReservedReading reading =
            amisim::read_reserved_parameters(ami_file(std::string("  ") + row.declaration + "\n"));
        EXPECT_TRUE(reading.values.empty()) << row.declaration;
        ASSERT_EQ(reading.notes.size(), 1u) << row.declaration;
        EXPECT_EQ(reading.notes[0], row.note);
    }
    const amisim::ReservedReading broken =
        amisim::read_reserved_parameters("(Some_Tx (Reserved_Parameters (Tx_Rj (Usage Info)");
    EXPECT_FALSE(broken.readable);
    EXPECT_TRUE(broken.values.empty());
}

TEST(ReservedParameters, SetTheImpairmentsAndSaySo) {
    const amisim::ReservedReading reading = amisim::read_reserved_parameters(
        ami_file("(Tx_Dj (Usage Info) (Type UI) (Value 0.25))"
                 "(Rx_Sj (Usage Info) (Type Float) (Value 2e-12))"
                 "(Rx_Noise (Usage Info) (Type Float) (Value 0.004))"));
    amisim::Impairments impairments;
    impairments.tx.rj = 1e-13;  // not in the file: kept
    const std::vector<std::string> lines = amisim::apply_reserved(reading, 1e-10, impairments);
    EXPECT_EQ(impairments.tx.dj, 0.25 * 1e-10);
    EXPECT_EQ(impairments.rx.sj, 2e-12);
    EXPECT_EQ(impairments.rx_noise, 0.004);
    EXPECT_EQ(impairments.tx.rj, 1e-13);
    EXPECT_EQ(lines,
              (std::vector<std::string>{"Tx_Dj = 0.25 UI = 2.5e-11 s (Value)",
                                        "Rx_Sj = 2e-12 s (Value)", "Rx_Noise = 0.004 V (Value)"}));
    // The command line's frequency of Rx_Sj, which IBIS lacks, over them.
    amisim::ReservedReading overrides;
    overrides.values.push_back(
        {"Rx_Sj_Frequency", 3e6, amisim::ReservedUnit::kHertz, "command line"});
    EXPECT_EQ(amisim::apply_reserved(overrides, 1e-10, impairments),
              (std::vector<std::string>{"Rx_Sj_Frequency = 3e+06 Hz (command line)"}));
    EXPECT_EQ(impairments.rx.sj_frequency, 3e6);
}

TEST(ReservedParameters, FilesBesideALibrary) {
    EXPECT_EQ(amisim::ami_files_beside("dist/Model_64.so"),
              (std::vector<std::string>{"dist/Model_64.ami", "dist/Model.ami"}));
    EXPECT_EQ(amisim::ami_files_beside("/a.b/lib_32"),
              (std::vector<std::string>{"/a.b/lib_32.ami", "/a.b/lib.ami"}));
    EXPECT_EQ(amisim::ami_files_beside("Model.so"), (std::vector<std::string>{"Model.ami"}));
}

}  // namespace
