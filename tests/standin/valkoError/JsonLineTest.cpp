#include "valkoError/JsonLine.h"

#include <gtest/gtest.h>
#include <json/json.h>

#include "support/TestSupport.h"

namespace {

using valko::standin::CJsonLine;

// Through Quote, which takes bytes on every system (AddText first reads them in the system's
// narrow encoding).
std::string RoundTrip(const std::string& text) {
  std::string line = "{\"t\":" + CJsonLine::Quote(text) + "}";
  Json::Value value;
  EXPECT_TRUE(korvex_test::ParseJson(line, &value)) << line;
  return value["t"].asString();
}

TEST(JsonLine, KeepsMembersInTheOrderAdded) {
  EXPECT_EQ(CJsonLine().AddText("z", "1").AddInteger("a", -5).AddBool("m", false).Finish(),
            "{\"z\":\"1\",\"a\":-5,\"m\":false}\n");
  EXPECT_EQ(CJsonLine().Finish(), "{}\n");
}

TEST(JsonLine, EscapesQuotesBackslashesAndControlCharacters) {
  EXPECT_EQ(CJsonLine::Quote(std::string("a\"b\\c\n\r\t\x01\x1f\x7f", 11)),
            "\"a\\\"b\\\\c\\n\\r\\t\\u0001\\u001f\\u007f\"");
  EXPECT_EQ(RoundTrip(std::string("nul\0inside", 10)), std::string("nul\0inside", 10));
}

TEST(JsonLine, PassesValidUtf8AndReplacesEveryInvalidByte) {
  EXPECT_EQ(RoundTrip("caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80"),
            "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80");
  const std::string replacement = "\xef\xbf\xbd";
  EXPECT_EQ(RoundTrip("a\xff"
                      "b"),
            "a" + replacement + "b");
  EXPECT_EQ(RoundTrip("\xc3"), replacement);                                      // cut short
  EXPECT_EQ(RoundTrip("\xc0\xaf"), replacement + replacement);                    // overlong
  EXPECT_EQ(RoundTrip("\xed\xa0\x80"), replacement + replacement + replacement);  // surrogate
  EXPECT_EQ(RoundTrip("\xf4\x90\x80\x80"),
            replacement + replacement + replacement + replacement);  // above U+10FFFF
}

}  // namespace
