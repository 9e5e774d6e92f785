// Which init info texts fix the protocol version, and to what.
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "IpcClient/IpcClient.h"

namespace {

struct Case {
  const char* name;
  std::string text;
  bool malformed;
  std::optional<int32_t> version;
};

void PrintTo(const Case& c, std::ostream* out) {
  *out << c.name;
}

class InitInfoVersionTest : public ::testing::TestWithParam<Case> {};

TEST_P(InitInfoVersionTest, ReadsTheVersionOnlyFromAWholeInt32) {
  const Case& c = GetParam();
  const CIpcClient::InitInfoVersion parsed = CIpcClient::ReadInitInfoVersion(c.text);
  EXPECT_EQ(parsed.malformed, c.malformed);
  EXPECT_EQ(parsed.version, c.version);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, InitInfoVersionTest,
    ::testing::Values(
        Case{"EmptyIsVersionZero", "", false, 0}, Case{"Integer", "{\"version\":2}", false, 2},
        Case{"NegativeInteger", "{\"version\":-1}", false, -1},
        Case{"SmallestInt32", "{\"version\":-2147483648}", false, INT32_MIN},
        Case{"BelowInt32", "{\"version\":-2147483649}", false, std::nullopt},
        Case{"LargestInt32", "{\"version\":2147483647}", false, INT32_MAX},
        Case{"UnsignedAboveInt32", "{\"version\":2147483648}", false, std::nullopt},
        Case{"UnsignedAboveInt64", "{\"version\":18446744073709551615}", false, std::nullopt},
        Case{"WholeReal", "{\"version\":3.0}", false, 3},
        Case{"WholeRealInExponentForm", "{\"version\":1e3}", false, 1000},
        Case{"FractionalReal", "{\"version\":3.5}", false, std::nullopt},
        Case{"RealAboveInt32", "{\"version\":2147483648.0}", false, std::nullopt},
        Case{"RealBelowInt32", "{\"version\":-2147483649.0}", false, std::nullopt},
        Case{"String", "{\"version\":\"2\"}", false, std::nullopt},
        Case{"Boolean", "{\"version\":true}", false, std::nullopt},
        Case{"Null", "{\"version\":null}", false, std::nullopt},
        Case{"Object", "{\"version\":{\"major\":2}}", false, std::nullopt},
        Case{"Missing", "{\"ver\":2}", false, std::nullopt},
        Case{"CommentsAllowed", "// agent\n{ /* the protocol */ \"version\" : 6 }", false, 6},
        Case{"OtherMembersIgnored", "{\"name\":\"agent\",\"version\":1,\"x\":[1,2]}", false, 1},
        Case{"Array", "[{\"version\":2}]", true, std::nullopt},
        Case{"Number", "2", true, std::nullopt},
        Case{"Unterminated", "{\"version\":2", true, std::nullopt},
        Case{"NotJson", "version=2", true, std::nullopt},
        Case{"DeepNesting", std::string(100000, '[') + std::string(100000, ']'), true,
             std::nullopt},
        Case{"DeepNestingInsideTheObject",
             "{\"version\":2,\"x\":" + std::string(100000, '[') + std::string(100000, ']') + "}",
             true, std::nullopt}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

}  // namespace
