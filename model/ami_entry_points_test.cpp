// The IBIS-AMI entry points as a simulator drives them.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstring>
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
