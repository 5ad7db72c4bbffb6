// The keyword readers: their tables, and the report of an unknown keyword
// under the buffer's room rule.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "Kestrom_AMI_Model.h"

namespace {

using ::testing::StrEq;

using Reader = int32_t (*)(const char *, char *, uint32_t);

struct KeywordCase {
    const char *name;
    Reader reader;
    std::string keyword;
    int32_t code;
    std::string report;  // empty when the keyword is known
};

// Printed by name: gtest would otherwise dump the bytes, padding included.
void PrintTo(const KeywordCase &row, std::ostream *os) {
    *os << row.name;
}

std::string control_report(const std::string &keyword) {
    return "**Warning** Control mode " + keyword + " not recognized. Defaulting to \"off\".\n";
}

std::string opt_report(const std::string &keyword) {
    return "**Error** Optimization mode " + keyword + " not recognized. Defaulting to \"off\".\n";
}

std::vector<KeywordCase> keyword_cases() {
    std::vector<KeywordCase> cases = {
        {"control_off", GetControlMode, "off", 0, ""},
        {"control_Off", GetControlMode, "Off", 0, ""},
        {"control_fixed", GetControlMode, "fixed", 1, ""},
        {"control_Fixed", GetControlMode, "Fixed", 1, ""},
        {"control_auto", GetControlMode, "auto", 2, ""},
        {"control_Auto", GetControlMode, "Auto", 2, ""},
        {"control_on_is_auto", GetControlMode, "on", 2, ""},
        {"control_On_is_auto", GetControlMode, "On", 2, ""},
        {"control_adapt", GetControlMode, "adapt", 3, ""},
        {"control_Adapt", GetControlMode, "Adapt", 3, ""},
        {"opt_off", GetOptMode, "off", 0, ""},
        {"opt_on", GetOptMode, "on", 1, ""},
        {"opt_Off", GetOptMode, "Off", 0, ""},
        {"opt_On", GetOptMode, "On", 1, ""},
    };
    const std::vector<std::pair<const char *, std::string>> unknown = {
        {"capitals", "ADAPT"},
        {"trailing_blank", "adapt "},
        {"leading_blank", " off"},
        {"empty", ""},
        {"oN", "oN"},
        {"prefix", "of"},
        {"longer", "offf"},
        {"OFF", "OFF"},
        {"fixed_for_opt", "fixed"},
    };
    for (const auto &[name, keyword] : unknown) {
        // "fixed" is a control mode, so only the optimisation reader rejects it.
        if (keyword != "fixed") {
            cases.push_back({name, GetControlMode, keyword, 0, control_report(keyword)});
        }
        cases.push_back({name, GetOptMode, keyword, 0, opt_report(keyword)});
    }
    return cases;
}

class Keywords : public ::testing::TestWithParam<KeywordCase> {};

TEST_P(Keywords, GiveTheirCodeAndReportOnlyUnknownOnes) {
    const KeywordCase &c = GetParam();
    std::vector<char> buffer(512, '\0');
    EXPECT_EQ(c.reader(c.keyword.c_str(), buffer.data(), 512), c.code);
    EXPECT_THAT(buffer.data(), StrEq(c.report));
}

INSTANTIATE_TEST_SUITE_P(BothReaders, Keywords, ::testing::ValuesIn(keyword_cases()),
                         [](const ::testing::TestParamInfo<KeywordCase> &row) {
                             return std::string(row.param.reader == GetControlMode ? "Control_"
                                                                                   : "Opt_") +
                                    row.param.name;
                         });

// The room rule at its boundary, for both readers and keywords of several
// lengths: the report goes in when length + report = size - 1, and not at
// all one byte below.
TEST(KeywordReport, AppendedWholeOrNotAtAll) {
    const std::string before = "**Info** earlier line\n";
    for (std::size_t keyword_length : {1U, 200U, 70000U}) {
        const std::string keyword(keyword_length, 'k');
        for (auto [reader, report] :
             {std::pair<Reader, std::string>{GetControlMode, control_report(keyword)},
              {GetOptMode, opt_report(keyword)}}) {
            SCOPED_TRACE("keyword of " + std::to_string(keyword_length) + " characters");
            const auto exact = static_cast<uint32_t>(before.size() + report.size() + 1);
            for (uint32_t size : {exact, exact - 1}) {
                std::vector<char> buffer(exact + 16, 'x');
                std::copy(before.begin(), before.end(), buffer.begin());
                buffer[before.size()] = '\0';
                EXPECT_EQ(reader(keyword.c_str(), buffer.data(), size), 0);
                EXPECT_THAT(buffer.data(), StrEq(size == exact ? before + report : before));
                EXPECT_EQ(buffer[exact], 'x') << "wrote past the buffer";
            }
        }
    }
}

TEST(KeywordReport, TwoUnknownKeywordsGiveTwoLinesInCallOrder) {
    char buffer[256] = "";
    GetControlMode("Off ", buffer, sizeof buffer);
    GetOptMode("ON", buffer, sizeof buffer);
    EXPECT_THAT(buffer, StrEq(control_report("Off ") + opt_report("ON")));
}

TEST(KeywordReport, NoBufferOrNullKeywordStillAnswersOff) {
    EXPECT_EQ(GetControlMode("bogus", nullptr, 100), 0);
    EXPECT_EQ(GetOptMode("bogus", nullptr, 0), 0);
    char buffer[4] = "abc";
    EXPECT_EQ(GetControlMode("bogus", buffer, 0), 0);
    EXPECT_THAT(buffer, StrEq("abc"));
    char empty[128] = "";
    EXPECT_EQ(GetControlMode(nullptr, empty, sizeof empty), 0);
    EXPECT_THAT(empty, StrEq(control_report("")));
}

}  // namespace
