// What results.json is written with: any text a model returns gives valid
// JSON, and numbers come back as the same doubles.
#include "tools/amisim/report/json_writer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>

namespace {

TEST(JsonWriter, TextsOfAnyBytesBecomeValidStrings) {
    struct Case {
        const char *name;
        std::string text;
        std::string json;
    };
    for (const Case &c : std::vector<Case>{
             {"quotes and backslashes", "a\"b\\c", "\"a\\\"b\\\\c\""},
             {"line ends and tabs", "x\r\n\ty", "\"x\\r\\n\\ty\""},
             {"other control characters", std::string("\x01\x1f\x7f", 3),
              "\"\\u0001\\u001f\\u007f\""},
             {"UTF-8 kept", "\xce\xa9 \xe2\x82\xac \xf0\x9f\x98\x80",
              "\"\xce\xa9 \xe2\x82\xac \xf0\x9f\x98\x80\""},
             {"a lone continuation byte", "a\x80z", "\"a\xef\xbf\xbdz\""},
             {"a truncated sequence", "\xe2\x82", "\"\xef\xbf\xbd\xef\xbf\xbd\""},
             {"an overlong form", "\xc0\xaf", "\"\xef\xbf\xbd\xef\xbf\xbd\""},
             {"a surrogate", "\xed\xa0\x80", "\"\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\""},
         }) {
        EXPECT_EQ(amisim::json_string(c.text), c.json) << c.name;
    }
}

TEST(JsonWriter, NumbersRoundTripAndNonFiniteAreNull) {
    amisim::JsonWriter json;
    json.begin_object();
    json.key("x").value(0.1 + 0.2);
    json.key("inf").value(-HUGE_VAL);
    json.key("list").value(std::vector<double>{1.0 / 3.0, std::nan("")});
    json.key("empty").begin_array();
    json.end_array();
    json.end_object();
    const std::string text = json.text();
    EXPECT_EQ(text,
              "{\n  \"x\": 0.30000000000000004,\n  \"inf\": null,\n"
              "  \"list\": [0.33333333333333331, null],\n  \"empty\": []\n}\n");
    EXPECT_EQ(std::strtod("0.30000000000000004", nullptr), 0.1 + 0.2);
}

}  // namespace
