// The IBIS-AMI entry points as a simulator drives them.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "Halvorin_7314_Tx.h"
#include "model/model_instance_test_support.h"

namespace {

constexpr char kInfoZero[] = "**Info** Configured 0 items through parameter string.\n";
constexpr char kDefaultEcho[] = "(Halvorin_7314_Tx(TX_Corner 0)(TX_Preemph 0))";

TEST(AmiInit, WithoutParametersUsesTheDefaults) {
    for (const char *parameters : {static_cast<const char *>(nullptr), ""}) {
        std::vector<double> impulse{1.0, 0.5, 0.25, -1.0, 2.0, 3.0};
        const std::vector<double> original = impulse;
        ModelInstance model(parameters, &impulse, 3, 1);
        EXPECT_EQ(model.result(), 1);
        EXPECT_EQ(model.message(), kInfoZero);
        EXPECT_EQ(model.echo(), kDefaultEcho);
        EXPECT_EQ(impulse, original);
        ASSERT_NE(model.handle(), nullptr);
        EXPECT_EQ(model.self().tx_corner, 0);
        EXPECT_EQ(model.self().tx_preemph, 0);
    }
}

TEST(AmiInit, InstanceHoldsTheParameterTreeAndLendsItsStrings) {
    ModelInstance model(nullptr);
    AmiMemory &self = model.self();
    EXPECT_STREQ(self.params.name, "Halvorin_7314_Tx");
    ASSERT_EQ(self.params.count, 2);
    EXPECT_STREQ(self.params.entries[0].name, "TX_Corner");
    EXPECT_EQ(self.params.entries[0].type, PARAM_INT);
    EXPECT_STREQ(self.params.entries[1].name, "TX_Preemph");
    EXPECT_EQ(self.params.entries[1].type, PARAM_INT);
    EXPECT_EQ(model.echo(), self.params_out);
    EXPECT_EQ(model.message(), self.msg);
}

TEST(AmiInit, WithoutAMemoryHandleRefusesToStart) {
    char *params_out = nullptr;
    char *msg = nullptr;
    EXPECT_EQ(AMI_Init(nullptr, 0, 0, 1e-12, 1e-10, nullptr, &params_out, nullptr, &msg), 0);
    ASSERT_NE(msg, nullptr);
    EXPECT_NE(std::string(msg).find("**Error** "), std::string::npos);
}

TEST(AmiInit, ToleratesMissingOutputPointers) {
    void *memory = nullptr;
    EXPECT_EQ(AMI_Init(nullptr, 0, 0, 1e-12, 1e-10, nullptr, nullptr, &memory, nullptr), 1);
    EXPECT_NE(memory, nullptr);
    EXPECT_EQ(AMI_Close(memory), 1);
}

TEST(AmiGetWave, WithPreemphasisOffPassesTheWaveAndClearsTheOutputParameters) {
    ModelInstance model("");
    std::vector<double> wave{0.5, -0.5, 0.5, 0.5, -0.5};
    const std::vector<double> original = wave;
    char dummy[] = "stale";
    char *params_out = dummy;
    EXPECT_EQ(AMI_GetWave(wave.data(), 5, nullptr, &params_out, model.handle()), 1);
    EXPECT_EQ(wave, original);
    EXPECT_EQ(params_out, nullptr);
}

TEST(AmiGetWave, WithoutAnInstanceDoesNothing) {
    std::vector<double> wave{1.0, 2.0};
    char dummy[] = "untouched";
    char *params_out = dummy;
    EXPECT_EQ(AMI_GetWave(wave.data(), 2, nullptr, &params_out, nullptr), 1);
    EXPECT_EQ(params_out, dummy);
    EXPECT_EQ(wave, (std::vector<double>{1.0, 2.0}));
}

TEST(AmiClose, WithoutAnInstanceReturnsOne) {
    EXPECT_EQ(AMI_Close(nullptr), 1);
}

TEST(AmiInit, InstancesAreIndependent) {
    ModelInstance first(nullptr);
    ModelInstance second("");
    EXPECT_NE(first.handle(), second.handle());
    EXPECT_NE(first.self().params.entries, second.self().params.entries);
    EXPECT_NE(first.self().params_out, second.self().params_out);
}

std::string info_line(int count) {
    return "**Info** Configured " + std::to_string(count) + " items through parameter string.\n";
}

TEST(AmiInit, ConfiguresBothParametersFromTheString) {
    ModelInstance model("(Halvorin_7314_Tx (TX_Corner 1) (TX_Preemph 1))");
    EXPECT_EQ(model.message(), info_line(2));
    EXPECT_EQ(model.echo(), "(Halvorin_7314_Tx(TX_Corner 1)(TX_Preemph 1))");
    EXPECT_EQ(model.self().tx_corner, 1);
    EXPECT_EQ(model.self().tx_preemph, 1);

    ModelInstance formatted("(Halvorin_7314_Tx (Format TX_Corner -1) (TX_Preemph 0x1))");
    EXPECT_EQ(formatted.message(), info_line(2));
    EXPECT_EQ(formatted.self().tx_corner, -1);
    EXPECT_EQ(formatted.self().tx_preemph, 1);
}

TEST(AmiInit, ReportsOfTheReadingComeBeforeTheInfoLine) {
    ModelInstance model("(Halvorin_7314_Tx (TX_Corner abc) (TX_Preemph 1 2))");
    EXPECT_EQ(model.message(),
              "**Error** Could not convert value for TX_Corner.\n"
              "**Warning** Extra white space and text encountered in value for TX_Preemph.\n"
              "**Error** Could not convert value for TX_Preemph.\n" +
                  info_line(1));
    EXPECT_EQ(model.echo(), "(Halvorin_7314_Tx(TX_Corner 0)(TX_Preemph 1))");
}

TEST(AmiInit, UnknownNamesAndOtherHeadsConfigureNothing) {
    for (const char *text :
         {"(Other_Model (TX_Corner 1) (TX_Preemph 1))",
          "(Halvorin_7314_Tx (tx_corner 1) (TX_Corn 1) (Extra (TX_Preemph 1)))"}) {
        ModelInstance model(text);
        EXPECT_EQ(model.message(), info_line(0)) << text;
        EXPECT_EQ(model.echo(), kDefaultEcho);
    }
}

TEST(AmiInit, StrayQuoteIsReportedAndSkipped) {
    ModelInstance model("(Halvorin_7314_Tx (TX_Corner 1\"x) (TX_Preemph 1))");
    EXPECT_EQ(model.message(),
              "**Warning** Ignoring unexpected quote found at \"x) (TX_Preemph 1)).\n\n"
              "**Warning** Extra white space and text encountered in value for TX_Corner.\n"
              "**Error** Could not convert value for TX_Corner.\n" +
                  info_line(2));
    EXPECT_EQ(model.echo(), "(Halvorin_7314_Tx(TX_Corner 1)(TX_Preemph 1))");
}

// A value beyond 32 bits must not wrap into a valid corner (4294967297 would
// become 1) nor pass validation.
TEST(AmiInit, IntegersBeyondThirtyTwoBitsAreRefused) {
    ModelInstance model("(Halvorin_7314_Tx (TX_Corner 4294967297) (TX_Preemph 4294967296))");
    EXPECT_EQ(model.message(),
              "**Error** Could not convert value for TX_Corner.\n"
              "**Error** Could not convert value for TX_Preemph.\n" +
                  info_line(0));
    EXPECT_EQ(model.echo(), kDefaultEcho);

    ModelInstance invalid("(Halvorin_7314_Tx (TX_Corner 5) (TX_Preemph -1))");
    EXPECT_EQ(invalid.message(), info_line(2) + "**Warning** Invalid TX_Corner\n\n" +
                                     "**Warning** Invalid TX_Preemph\n\n");
    EXPECT_EQ(invalid.echo(), kDefaultEcho);
}

// Each parameter's accepted values end exactly at its documented bounds.
TEST(AmiInit, ParameterBoundsAreExact) {
    struct Case {
        const char *parameter;
        int32_t value;
        bool accepted;
    };
    const Case cases[] = {
        {"TX_Corner", -2, false},         {"TX_Corner", -1, true},
        {"TX_Corner", 0, true},           {"TX_Corner", 1, true},
        {"TX_Corner", 2, false},          {"TX_Preemph", -1, false},
        {"TX_Preemph", 0, true},          {"TX_Preemph", 1, true},
        {"TX_Preemph", 2, false},         {"TX_Corner", INT32_MIN, false},
        {"TX_Preemph", INT32_MAX, false},
    };
    for (const Case &c : cases) {
        const std::string value = std::to_string(c.value);
        SCOPED_TRACE(std::string(c.parameter) + " " + value);
        ModelInstance model(
            ("(Halvorin_7314_Tx (" + std::string(c.parameter) + " " + value + "))").c_str());
        const bool corner = std::string(c.parameter) == "TX_Corner";
        EXPECT_EQ(corner ? model.self().tx_corner : model.self().tx_preemph,
                  c.accepted ? c.value : 0);
        EXPECT_EQ(
            model.message(),
            info_line(1) +
                (c.accepted ? "" : std::string("**Warning** Invalid ") + c.parameter + "\n\n"));
    }
}

// The filter cannot be designed for these intervals: Init fails, says which
// value, and leaves an instance that passes samples through and closes.
TEST(AmiInit, RefusesASampleIntervalThatIsNotAFiniteTimeAboveZero) {
    struct Case {
        const char *name;
        double interval;
    };
    const Case cases[] = {
        {"0", 0.0},
        {"-1e-12", -1e-12},
        {"nan", std::numeric_limits<double>::quiet_NaN()},
        {"inf", std::numeric_limits<double>::infinity()},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<double> impulse{1.0, 0.5, 0.25};
        ModelInstance model("(Halvorin_7314_Tx (TX_Preemph 1))", &impulse, 3, 0, c.interval);
        EXPECT_EQ(model.result(), 0);
        EXPECT_EQ(model.message(), info_line(1) + "**Error** Halvorin_7314_Tx: sample_interval " +
                                       c.name +
                                       " s is not a finite time above 0; the model is not "
                                       "initialised and AMI_GetWave passes samples through.\n");
        EXPECT_EQ(model.echo(), "(Halvorin_7314_Tx(TX_Corner 0)(TX_Preemph 1))");
        EXPECT_EQ(impulse, (std::vector<double>{1.0, 0.5, 0.25}));
        std::vector<double> wave{0.5, -0.5, 0.5};
        EXPECT_EQ(AMI_GetWave(wave.data(), 3, nullptr, nullptr, model.handle()), 1);
        EXPECT_EQ(wave, (std::vector<double>{0.5, -0.5, 0.5}));
    }
}

// Hostile strings make the reader report on nearly every character. Its
// reports are cut at a message boundary, the first ones kept; the model's
// own lines follow, and a last line counts what was left out.
TEST(AmiInit, MessageStaysWithin64KiBWhateverTheParameterString) {
    constexpr std::size_t kMiB = 1u << 20;
    std::string random(kMiB, ' ');
    uint32_t state = 12345;
    for (char &c : random) {
        state = state * 1103515245u + 12345u;
        c = static_cast<char>(1 + (state >> 16) % 255);
    }
    std::string nested = "(Halvorin_7314_Tx";
    while (nested.size() < kMiB) {
        nested += "(TX_Corner ";
    }
    struct Case {
        const char *name;
        std::string text;
    };
    const Case cases[] = {
        {"a MiB of (", std::string(kMiB, '(')},
        {"deep nesting", nested},
        {"random bytes", random},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ModelInstance model(c.text.c_str());
        const std::string msg = model.message();
        EXPECT_LE(msg.size(), 64u * 1024u);
        // The reader's reports of the string's first 128 KiB alone exceed
        // the cap; the message starts with them.
        char *reports = nullptr;
        Param entries[2] = {{"TX_Corner", PARAM_INT, {}}, {"TX_Preemph", PARAM_INT, {}}};
        ParseTree(c.text.substr(0, 128 * 1024).c_str(), "Halvorin_7314_Tx", 2, entries, &reports);
        ASSERT_NE(reports, nullptr);
        const std::string first(reports);
        std::free(reports);
        const std::size_t kept = msg.find("**Info** Configured ");
        ASSERT_NE(kept, std::string::npos);
        EXPECT_GT(kept, 60000u);
        EXPECT_LT(kept, first.size());
        EXPECT_TRUE(msg.compare(0, kept, first, 0, kept) == 0);
        const std::size_t last_line = msg.rfind('\n', msg.size() - 2) + 1;
        EXPECT_EQ(msg.substr(last_line, 30), "**Warning** Halvorin_7314_Tx: ");
        const std::string tail = " further messages about the parameter string were left out.\n";
        ASSERT_GT(msg.size(), tail.size());
        EXPECT_EQ(msg.substr(msg.size() - tail.size()), tail);
    }
}

// The deliverable itself, loaded the way a simulator loads it.
TEST(ModelLibrary, LoadsWithDlopenAndResolvesTheEntryPoints) {
    void *library = dlopen(AMI_MODEL_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    using InitFunction =
        long (*)(double *, long, long, double, double, char *, char **, void **, char **);
    auto init = reinterpret_cast<InitFunction>(dlsym(library, "AMI_Init"));
    auto close = reinterpret_cast<long (*)(void *)>(dlsym(library, "AMI_Close"));
    ASSERT_NE(init, nullptr);
    ASSERT_NE(close, nullptr);
    EXPECT_NE(dlsym(library, "AMI_GetWave"), nullptr);
    char *params_out = nullptr;
    char *msg = nullptr;
    void *memory = nullptr;
    EXPECT_EQ(init(nullptr, 0, 0, 1e-12, 1e-10, nullptr, &params_out, &memory, &msg), 1);
    EXPECT_STREQ(params_out, kDefaultEcho);
    EXPECT_EQ(close(memory), 1);
    dlclose(library);
}

}  // namespace
