#include <gtest/gtest.h>

#include "IpcClient/IpcProtocolHandlerThread.h"

namespace {

struct Result {
  bool ok;
  std::string type;
  std::string data;
};

Result Deserialize(const std::string& text) {
  Result result{false, "", ""};
  result.ok = CIpcProtocolHandlerThread::Deserialize(text, result.type, result.data);
  return result;
}

// A message whose nesting is `depth` levels, the envelope object included.
std::string NestedMessage(size_t depth) {
  return "{\"type\":\"T\",\"data\":{\"x\":" + std::string(depth - 2, '[') +
         std::string(depth - 2, ']') + "}}";
}

TEST(Deserialize, HandsObjectDataOnCompactlyInDocumentOrder) {
  Result r = Deserialize("{ \"type\" : \"T_A\" , \"data\" : { \"a\" : 1 } }");
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.type, "T_A");
  EXPECT_EQ(r.data, "{\"a\":1}");

  r = Deserialize(
      "{\"data\": {\"z\": [1, 2.5, true, null, {}],\n \"a\": \"q\\\"\\\\\\u0001\\u00e9\"}}");
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.type, "");
  EXPECT_EQ(r.data, "{\"z\":[1,2.5,true,null,{}],\"a\":\"q\\\"\\\\\\u0001\xc3\xa9\"}");
}

TEST(Deserialize, HandsStringDataOnUnescapedWithEveryByte) {
  Result r = Deserialize("{\"type\":\"T_A\",\"data\":\"  two words \\\"quoted\\\"\\n\\u0000!\"}");
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.data, std::string("  two words \"quoted\"\n\0!", 23));
  // Bytes that are not UTF-8 pass through untouched.
  r = Deserialize("{\"type\":\"T\\u0000X\",\"data\":\"\xff\xfe\x80\"}");
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.type, std::string("T\0X", 3));
  EXPECT_EQ(r.data, "\xff\xfe\x80");
  // The other envelope members are not looked at.
  EXPECT_TRUE(Deserialize("{\"type\":7,\"data\":\"\",\"trace\":[[]]}").ok);
}

TEST(Deserialize, RefusesEveryOtherShapeKeepingAStringType) {
  const std::string refused[] = {"",
                                 " ",
                                 "not json",
                                 "{",
                                 "{\"type\":\"T\",\"data\":\"x\"",
                                 "null",
                                 "[1,2]",
                                 "\"text\"",
                                 "{\"data\":null}",
                                 "{\"data\":1}",
                                 "{\"data\":true}",
                                 "{\"data\":false}",
                                 "{\"data\":[]}",
                                 "{\"data\":\"x\"} trailing",
                                 "{\"data\":\"x\"}{}",
                                 "{\"data\":1e999}"};
  for (const std::string& text : refused) {
    Result r = Deserialize(text);
    EXPECT_FALSE(r.ok) << text;
    EXPECT_EQ(r.type, "") << text;
  }
  for (const char* text : {"{\"type\":\"T_X\",\"data\":[{\"a\":1}]}", "{\"type\":\"T_X\"}"}) {
    Result r = Deserialize(text);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.type, "T_X");
  }
  Result r = Deserialize("{\"type\":5,\"data\":5}");
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.type, "");
}

// A sender may count its C string's terminator: the text ends at the first NUL byte.
TEST(Deserialize, ReadsATextUpToItsFirstNulByte) {
  using namespace std::string_literals;
  const struct {
    std::string text;
    bool ok;
  } cases[] = {
      {"{\"type\":\"T_MSG_ECHO\",\"data\":{}}\0"s, true},
      {"{\"type\":\"T_MSG_ECHO\",\"data\":{}} \n\0"s, true},
      {"{\"type\":\"T_MSG_ECHO\",\"data\":{}}\0junk}}\0{"s, true},
      {"{\"type\":\"T_MSG_ECHO\",\"data\":{}} junk\0"s, false},
      {"{\"type\":\"T_MSG_ECHO\",\"data\":\"a\0b\"}"s, false},
      {"\0{\"type\":\"T_MSG_ECHO\",\"data\":{}}"s, false},
  };
  for (const auto& c : cases) {
    Result r = Deserialize(c.text);
    EXPECT_EQ(r.ok, c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(r.type, "T_MSG_ECHO");
      EXPECT_EQ(r.data, "{}");
    }
  }
}

TEST(Deserialize, BoundsNestingAt512Levels) {
  Result r = Deserialize(NestedMessage(512));
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.data, "{\"x\":" + std::string(510, '[') + std::string(510, ']') + "}");
  EXPECT_FALSE(Deserialize(NestedMessage(513)).ok);
  // Far deeper texts, closed or not, fail without exhausting the stack.
  EXPECT_FALSE(Deserialize(NestedMessage(1000000)).ok);
  EXPECT_FALSE(Deserialize("{\"data\":" + std::string(1000000, '{')).ok);
}

}  // namespace
