// The stand-in's command line and the parameter strings it builds.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/amisim/cli/options.h"

#include <fstream>
#include <sstream>

#include "tools/amisim/cli/option_table.h"
#include "tools/amisim/stimulus/prbs.h"

namespace {

bool parse(std::vector<std::string> words, amisim::Options &options, std::string &error) {
    words.insert(words.begin(), "amisim");
    std::vector<char *> argv;
    for (std::string &word : words) {
        argv.push_back(word.data());
    }
    return amisim::parse_options(static_cast<int>(argv.size()), argv.data(), options, error);
}

TEST(AmisimOptions, ReadsEveryOptionInBothSpellings) {
    amisim::Options o;
    std::string error;
    ASSERT_TRUE(
        parse({"--set", "TX_Corner=1", "--set=TX_Preemph=1", "--bits=100", "--samples-per-bit",
               "16", "--sample-interval", "2e-12", "--prbs", "15", "--bits-per-call", "7",
               "--channel", "c.txt", "--out", "o", "--waves", "--convolution=direct", "m.so"},
              o, error))
        << error;
    EXPECT_EQ(o.model, "m.so");
    ASSERT_EQ(o.settings.size(), 2u);
    EXPECT_EQ(o.settings[1], (std::pair<std::string, std::string>{"TX_Preemph", "1"}));
    EXPECT_EQ(o.bits, 100);
    EXPECT_EQ(o.samples_per_bit, 16);
    EXPECT_TRUE(o.sample_interval_given);
    EXPECT_EQ(o.sample_interval, 2e-12);
    EXPECT_EQ(o.prbs_order, 15);
    EXPECT_EQ(o.bits_per_call, 7);
    EXPECT_EQ(o.channel_file, "c.txt");
    EXPECT_EQ(o.output_folder, "o");
    EXPECT_TRUE(o.waves);
    EXPECT_EQ(o.convolution, amisim::Convolution::kDirect);

    amisim::Options large;
    ASSERT_TRUE(parse({"--bits", "10000000000"}, large, error)) << error;
    EXPECT_EQ(large.bits, 10000000000);  // beyond 32 bits, on both word sizes
    EXPECT_FALSE(large.waves);
    EXPECT_EQ(large.convolution, amisim::Convolution::kAuto);
}

// The error-rate options: each jitter and noise option sets its reserved
// parameter in its unit (times in seconds, or in UI with the suffix), in
// the order given, and turns the analysis on; --seed alone does not.
TEST(AmisimOptions, JitterAndNoiseOptionsSetTheirReservedParameters) {
    amisim::Options o;
    std::string error;
    ASSERT_TRUE(parse({"--tx-rj", "2e-13", "--rx-dcd=0.05UI", "--tx-sj-frequency", "1e6",
                       "--rx-noise", "0.004", "--noise", "0.01", "--aggressor", "f.s4p",
                       "--aggressor", "n.s4p", "--aggressor-ports", "1,2", "--target-ber", "1e-9"},
                      o, error))
        << error;
    EXPECT_TRUE(o.ber);
    ASSERT_EQ(o.impairments.size(), 4u);
    struct Expected {
        const char *name;
        double value;
        amisim::ReservedUnit unit;
    };
    const Expected expected[] = {{"Tx_Rj", 2e-13, amisim::ReservedUnit::kSeconds},
                                 {"Rx_DCD", 0.05, amisim::ReservedUnit::kUnitIntervals},
                                 {"Tx_Sj_Frequency", 1e6, amisim::ReservedUnit::kHertz},
                                 {"Rx_Noise", 0.004, amisim::ReservedUnit::kVolts}};
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        EXPECT_EQ(o.impairments[i].name, expected[i].name);
        EXPECT_EQ(o.impairments[i].value, expected[i].value) << expected[i].name;
        EXPECT_EQ(o.impairments[i].unit, expected[i].unit) << expected[i].name;
    }
    EXPECT_EQ(o.input_noise, 0.01);
    EXPECT_EQ(o.aggressors, (std::vector<std::string>{"f.s4p", "n.s4p"}));
    EXPECT_EQ(o.aggressor_ports, "1,2");
    EXPECT_EQ(o.target_ber, 1e-9);

    amisim::Options seeded;
    ASSERT_TRUE(parse({"--seed", "42"}, seeded, error)) << error;
    EXPECT_EQ(seeded.seed, 42u);
    EXPECT_FALSE(seeded.ber);
    for (const std::vector<std::string> &words : {std::vector<std::string>{"--tx-rj", "-1e-12"},
                                                  {"--tx-dj", "2ps"},
                                                  {"--rx-sj", "UI"},
                                                  {"--tx-sj-frequency", "1e6UI"},
                                                  {"--target-ber", "0"}}) {
        amisim::Options refused;
        EXPECT_FALSE(parse(words, refused, error)) << words[0] << " " << words[1];
    }
}

// --rx takes a file only when one follows it; its settings go apart from
// the transmitter's.
TEST(AmisimOptions, ReceiverFileIsOptional) {
    struct Case {
        const char *name;
        std::vector<std::string> words;
        std::string model;
        std::string rx_model;
    };
    for (const Case &c : std::vector<Case>{
             {"last", {"tx.so", "--rx"}, "tx.so", ""},
             {"before an option", {"--rx", "--bits", "8", "tx.so"}, "tx.so", ""},
             {"with a file", {"--rx", "rx.so", "tx.so"}, "tx.so", "rx.so"},
             {"inline", {"--rx=rx.so", "tx.so"}, "tx.so", "rx.so"},
             {"inline and empty", {"--rx=", "tx.so"}, "tx.so", ""},
         }) {
        SCOPED_TRACE(c.name);
        amisim::Options o;
        std::string error;
        ASSERT_TRUE(parse(c.words, o, error)) << error;
        EXPECT_TRUE(o.rx);
        EXPECT_EQ(o.model, c.model);
        EXPECT_EQ(o.rx_model, c.rx_model);
    }
    amisim::Options o;
    std::string error;
    ASSERT_TRUE(parse({"--set", "A=1", "--rx", "--rx-set", "B=2", "--rx-set=C=x y"}, o, error))
        << error;
    EXPECT_EQ(o.settings, (std::vector<std::pair<std::string, std::string>>{{"A", "1"}}));
    EXPECT_EQ(o.rx_settings,
              (std::vector<std::pair<std::string, std::string>>{{"B", "2"}, {"C", "x y"}}));
    amisim::Options none;
    ASSERT_TRUE(parse({"tx.so"}, none, error));
    EXPECT_FALSE(none.rx);
}

TEST(AmisimOptions, RejectsNonsenseWithTheReason) {
    struct Case {
        std::vector<std::string> words;
        const char *message;
    };
    for (const Case &c : std::vector<Case>{
             {{"--bits", "12x"}, "--bits: '12x' is not a whole number"},
             {{"--bits", "-5"}, "--bits: '-5'"},
             {{"--samples-per-bit", "99999"}, "from 1 to 4096"},
             {{"--sample-interval", "0"}, "--sample-interval: '0'"},
             {{"--sample-interval", "inf"}, "--sample-interval: 'inf'"},
             {{"--prbs", "11"}, "not one of 7, 9, 15, 23, 31"},
             {{"--set", "=3"}, "is not NAME=VALUE"},
             {{"--bits", "10000000001"}, "from 1 to 10000000000"},
             {{"--convolution", "FFT"}, "not one of auto, direct, fft"},
             {{"--bits-per-call", "200000", "--samples-per-bit", "32"}, "at most 4194304"},
             {{"--set", "A B=3"}, "may not hold blanks"},
             {{"--params"}, "--params needs a value"},
             {{"--out", ""}, "--out needs a folder name"},
             {{"-x"}, "unknown option '-x'"},
             {{"--params", "(m)", "--set", "a=1"}, "either --params or --set"},
             {{"--rx-set", "a=1"}, "--rx-set sets the receiver's parameters; it needs --rx"},
             {{"--rx-params", "(r)"}, "--rx-params sets the receiver's parameters; it needs --rx"},
             {{"--rx", "--rx-params", "(r)", "--rx-set", "a=1"}, "either --rx-params or --rx-set"},
             {{"--rx", "--rx-set", "a"}, "--rx-set: 'a' is not NAME=VALUE"},
             {{"--rx", "--rx-set", "(a=1"}, "--rx-set: the name '(a' may not hold"},
             {{"--rx", "--rx"}, "--rx given twice"},
             {{"--rx", "--rx-params"}, "--rx-params needs a value"},
         }) {
        amisim::Options o;
        std::string error;
        EXPECT_FALSE(parse(c.words, o, error)) << c.message;
        EXPECT_NE(error.find(c.message), std::string::npos) << error;
    }
}

TEST(AmisimParameters, SettingsGoUnderTheRootWithAwkwardValuesQuoted) {
    EXPECT_EQ(amisim::parameter_string_for("M", "(M(a 0))", {}), "(M(a 0))");
    EXPECT_EQ(amisim::parameter_string_for("M", "(M(a 0))", {{"a", "1"}}), "(M (a 1))");
    EXPECT_EQ(
        amisim::parameter_string_for("M", "", {{"a", "1"}, {"b", "x y"}, {"c", ""}, {"d", "(z)"}}),
        "(M (a 1) (b \"x y\") (c \"\") (d \"(z)\"))");
}

TEST(AmisimParameters, RootNameComesFromTheHeadOfAnEcho) {
    EXPECT_EQ(amisim::root_name_of("(Halvorin_7314_Tx(TX_Corner 0)(TX_Preemph 0))"),
              "Halvorin_7314_Tx");
    EXPECT_EQ(amisim::root_name_of("  ( Model (a 1))"), "Model");
    EXPECT_EQ(amisim::root_name_of("(Bare)"), "Bare");
    EXPECT_EQ(amisim::root_name_of(""), "");
    EXPECT_EQ(amisim::root_name_of("(   "), "");
}

// The README's table of options is the one the parser and --help are made
// from; every option of the table is in --help.
TEST(AmisimOptions, TheReadmeAndTheHelpListEveryOptionOfTheTable) {
    std::ifstream readme(AMISIM_README);
    ASSERT_TRUE(readme) << AMISIM_README;
    std::stringstream text;
    text << readme.rdbuf();
    EXPECT_NE(text.str().find(amisim::options_markdown()), std::string::npos)
        << "the README's table of options should read:\n"
        << amisim::options_markdown();
    const std::string help = amisim::usage();
    for (const amisim::OptionSpec &option : amisim::option_table()) {
        EXPECT_NE(help.find(std::string("  ") + option.name + " "), std::string::npos)
            << option.name;
    }
}

// Maximal-length sequences: the period is 2^n - 1 and every n-bit window
// except all zeros appears once per period.
TEST(Prbs, SequencesHaveFullPeriodAndBalance) {
    for (int order : {7, 9, 15}) {
        const std::size_t period = (std::size_t{1} << order) - 1;
        const auto bits = amisim::prbs_bits(order, 2 * period);
        ASSERT_EQ(bits.size(), 2 * period);
        std::size_t ones = 0;
        for (std::size_t i = 0; i < period; ++i) {
            ASSERT_EQ(bits[i], bits[i + period]) << "order " << order << " at " << i;
            ones += bits[i];
        }
        EXPECT_EQ(ones, (period + 1) / 2) << "order " << order;
        for (std::size_t p = 1; p < period; p += period / 7 + 1) {
            bool same = true;
            for (std::size_t i = 0; i < period && same; ++i) {
                same = bits[i] == bits[i + p];
            }
            EXPECT_FALSE(same) << "order " << order << " repeats after " << p;
        }
    }
    EXPECT_TRUE(amisim::prbs_bits(8, 10).empty());
    EXPECT_TRUE(amisim::prbs_order_supported(31));
}

}  // namespace
