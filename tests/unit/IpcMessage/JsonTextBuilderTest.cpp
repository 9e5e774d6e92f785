#include <ostream>
#include <string>

#include <gtest/gtest.h>

#include "IpcClient/IpcMessage.h"

namespace {

TEST(JsonTextBuilder, ReservesCapacityRoundedUpToTheNextThousand) {
  EXPECT_EQ(JsonTextBuilder(1000, JsonTextBuilder::kObject).reserved(), 2000);
  EXPECT_EQ(JsonTextBuilder(0, JsonTextBuilder::kObject).reserved(), 1000);
  EXPECT_EQ(JsonTextBuilder(999, JsonTextBuilder::kArray).reserved(), 1000);
  EXPECT_EQ(JsonTextBuilder(1999, JsonTextBuilder::kArray).reserved(), 2000);
}

TEST(JsonTextBuilder, GrowsInThousandByteStepsWhenAnAppendWouldPassTheReservation) {
  JsonTextBuilder builder(1000, JsonTextBuilder::kObject);
  builder.Key("k");  // text {"k": is 5 bytes
  // needed = 5 + 1985 + 10 = 2000: not more than reserved, so no growth.
  builder.Value(std::string(1985, 'a'));
  EXPECT_EQ(builder.reserved(), 2000);
  // text is now 5 + 1987 + 1 = 1993 bytes; needed = 1993 + 1 + 10 = 2004 -> 3000.
  builder.Key("x");
  EXPECT_EQ(builder.reserved(), 3000);
  // A value far beyond the reservation jumps straight to the step that covers it:
  // needed = 1997 + 5000 + 10 = 7007 -> 8000.
  builder.Value(std::string(5000, 'b'));
  EXPECT_EQ(builder.reserved(), 8000);
  EXPECT_EQ(builder.Finish().size(), 1997u + 5002u + 1u);
}

TEST(JsonTextBuilder, WritesMembersWithoutWhiteSpaceAndClosesOnFinish) {
  JsonTextBuilder builder(1000, JsonTextBuilder::kObject);
  builder.Key("a").Value(1).Key("b").Value(std::string("x")).Key("c").Value(-7);
  EXPECT_EQ(builder.Finish(), R"({"a":1,"b":"x","c":-7})");
  // Finish leaves the builder's own text alone.
  EXPECT_EQ(builder.Finish(), R"({"a":1,"b":"x","c":-7})");
}

TEST(JsonTextBuilder, ArrayOfValuesAndNestedBuilders) {
  JsonTextBuilder inner(1000, JsonTextBuilder::kObject);
  inner.Key("n").Value(std::string(""));
  JsonTextBuilder array(1000, JsonTextBuilder::kArray);
  array.Value(2).Value(inner).Value(std::string("[true]"));
  EXPECT_EQ(array.kind(), JsonTextBuilder::kArray);
  EXPECT_EQ(array.Finish(), R"([2,{"n":""},[true]])");
}

TEST(JsonTextBuilder, BuilderWithoutMembersFinishesAsEmptyDocument) {
  EXPECT_EQ(JsonTextBuilder(1000, JsonTextBuilder::kObject).Finish(), "{}");
  EXPECT_EQ(JsonTextBuilder(1000, JsonTextBuilder::kArray).Finish(), "[]");
}

TEST(JsonTextBuilder, KeysAreEscapedLikeTextValues) {
  JsonTextBuilder builder(1000, JsonTextBuilder::kObject);
  builder.Key("a\"b").Value(1);
  EXPECT_EQ(builder.Finish(), R"({"a\"b":1})");
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
