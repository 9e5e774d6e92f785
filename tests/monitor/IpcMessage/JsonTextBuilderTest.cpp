#include <ostream>
#include <string>

#include <gtest/gtest.h>

#include "IpcClient/IpcMessage.h"

namespace {

TEST(JsonTextBuilder, WritesMembersAndNestedBuildersWithoutWhiteSpace) {
  JsonTextBuilder object(1000, JsonTextBuilder::kObject);
  object.Key("a").Value(1).Key("b\"").Value(std::string("x")).Key("c").Value(-7);
  EXPECT_EQ(object.Finish(), R"({"a":1,"b\"":"x","c":-7})");  // keys escaped like texts
  EXPECT_EQ(object.Finish(), R"({"a":1,"b\"":"x","c":-7})");  // Finish leaves the text alone

  JsonTextBuilder inner(1000, JsonTextBuilder::kObject);
  inner.Key("n").Value(std::string(""));
  JsonTextBuilder array(1000, JsonTextBuilder::kArray);
  array.Value(2).Value(inner).Value(std::string("[true]"));
  EXPECT_EQ(array.Finish(), R"([2,{"n":""},[true]])");
  EXPECT_EQ(JsonTextBuilder(1000, JsonTextBuilder::kObject).Finish(), "{}");
  EXPECT_EQ(JsonTextBuilder(1000, JsonTextBuilder::kArray).Finish(), "[]");
}

// The value rules in one table: what is embedded, and how quoting escapes.
struct ValueCase {
  const char* name;
  std::string text;
  std::string written;
};

void PrintTo(const ValueCase& value, std::ostream* out) {
  *out << value.name;
}

class JsonTextBuilderValue : public ::testing::TestWithParam<ValueCase> {};

TEST_P(JsonTextBuilderValue, WritesTheTextAsExpected) {
  JsonTextBuilder builder(1000, JsonTextBuilder::kArray);
  builder.Value(GetParam().text);
  EXPECT_EQ(builder.Finish(), "[" + GetParam().written + "]");
}

INSTANTIATE_TEST_SUITE_P(
    Rules, JsonTextBuilderValue,
    ::testing::Values(
        ValueCase{"EmptyText", "", R"("")"}, ValueCase{"PlainWord", "hello", R"("hello")"},
        ValueCase{"Object", R"({"a":[1,2],"b":"c"})", R"({"a":[1,2],"b":"c"})"},
        ValueCase{"Array", "[1,2]", "[1,2]"},
        ValueCase{"ObjectWithTrailingWhiteSpace", "{} \n", "{} \n"},
        ValueCase{"ScalarJsonIsQuoted", "123", R"("123")"},
        ValueCase{"BraceThenGarbage", "{abc", R"("{abc")"},
        ValueCase{"BraceThenInjectedMember", R"({"x":1},"type":"EVIL")",
                  R"("{\"x\":1},\"type\":\"EVIL\"")"},
        ValueCase{"TwoDocuments", "{}{}", R"("{}{}")"},
        ValueCase{"UnclosedArray", "[1,", R"("[1,")"},
        ValueCase{"NumberOutOfDoubleRange", "[1e400]", R"("[1e400]")"},
        ValueCase{"QuoteAndBackslash", R"(say "hi" \o/)", R"("say \"hi\" \\o/")"},
        ValueCase{"ShortEscapes", "\b\f\n\r\t", R"("\b\f\n\r\t")"},
        ValueCase{"OtherControlBytes", std::string("\x01\x1f\0z", 4), R"("\u0001\u001f\u0000z")"},
        ValueCase{"DeleteAndSlashStayAsTheyAre", "\x7f/", "\"\x7f/\""},
        ValueCase{"NulAfterADocument", std::string("{}\0x", 4), R"("{}\u0000x")"},
        ValueCase{"ValidUtf8Unchanged", "\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80",
                  "\"\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80\""},
        ValueCase{"StrayByteReplaced",
                  "a\xFF"
                  "b",
                  "\"a\xEF\xBF\xBD"
                  "b\""},
        ValueCase{"OverlongFormReplacedBytewise", "\xC0\xAF", "\"\xEF\xBF\xBD\xEF\xBF\xBD\""},
        ValueCase{"EncodedSurrogateReplaced", "\xED\xA0\x80",
                  "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""},
        ValueCase{"BeyondU10FFFFReplaced", "\xF4\x90\x80\x80",
                  "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""},
        ValueCase{"CutShortSequenceReplaced", "x\xE4\xB8", "\"x\xEF\xBF\xBD\xEF\xBF\xBD\""},
        ValueCase{"LargestCodePointKept", "\xF4\x8F\xBF\xBF", "\"\xF4\x8F\xBF\xBF\""},
        ValueCase{"JsonWithInvalidUtf8IsQuoted", "[\"\xFF\"]", "\"[\\\"\xEF\xBF\xBD\\\"]\""}),
    [](const ::testing::TestParamInfo<ValueCase>& info) { return info.param.name; });

std::string Nested(int depth) {
  return std::string(static_cast<size_t>(depth), '[') +
         std::string(static_cast<size_t>(depth), ']');
}

TEST(JsonTextBuilder, EmbedsNestingUpToTheBoundAndQuotesDeeper) {
  EXPECT_TRUE(IsEmbeddableJson(Nested(kMaxEmbeddedJsonDepth)));
  EXPECT_FALSE(IsEmbeddableJson(Nested(kMaxEmbeddedJsonDepth + 1)));
  // Far deeper than any stack would take when parsed recursively.
  const std::string deep = Nested(200000);
  JsonTextBuilder builder(1000, JsonTextBuilder::kObject);
  builder.Key("d").Value(deep);
  EXPECT_EQ(builder.Finish(), "{\"d\":\"" + deep + "\"}");
}

TEST(IsWellFormedJson, AcceptsScalarsAndRefusesWhatIsNotOneValue) {
  EXPECT_TRUE(IsWellFormedJson("  \"s\" ", 512));
  EXPECT_TRUE(IsWellFormedJson("null", 512));
  EXPECT_FALSE(IsWellFormedJson("", 512));
  EXPECT_FALSE(IsWellFormedJson("NaN", 512));
  EXPECT_FALSE(IsWellFormedJson("[1] 2", 512));
  EXPECT_FALSE(IsWellFormedJson("{\"a\":1,}", 512));
  EXPECT_TRUE(IsWellFormedJson("{\"a\":[{}]}", 3));
  EXPECT_FALSE(IsWellFormedJson("{\"a\":[{}]}", 2));
}

}  // namespace
