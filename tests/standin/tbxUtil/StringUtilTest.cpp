#include <climits>

#include <gtest/gtest.h>

#include "tbx/StringUtil.h"

namespace {

using tbx::CStringUtil;
using Pieces = std::vector<std::string>;

TEST(StringUtilTest, RendersIntegersInAnyBase) {
  char buffer[80];
  EXPECT_EQ("c0000005", CStringUtil::IntToString(0xC0000005LL, buffer, 16));
  EXPECT_STREQ("c0000005", buffer);
  EXPECT_EQ("-1", CStringUtil::IntToString(-1, nullptr, 16));
  EXPECT_EQ("-9223372036854775808", CStringUtil::IntToString(LLONG_MIN, nullptr, 10));
  EXPECT_EQ("18446744073709551615", CStringUtil::UIntToString(ULLONG_MAX, nullptr, 10));
  EXPECT_EQ("101", CStringUtil::UIntToString(5, nullptr, 2));
  EXPECT_EQ("z", CStringUtil::UIntToString(35, nullptr, 36));
  EXPECT_EQ("0", CStringUtil::IntToString(0, nullptr, 10));
  EXPECT_EQ("", CStringUtil::IntToString(5, buffer, 1));
  EXPECT_EQ("", CStringUtil::UIntToString(5, nullptr, 37));
}

TEST(StringUtilTest, FormatsTextsLongerThanAnyFixedBuffer) {
  std::string longText(10000, 'y');
  EXPECT_EQ("exception code : c0000005, dump error : 0, mem is enough : 1",
            CStringUtil::strprintf("exception code : %s, dump error : %d, mem is enough : %d",
                                   "c0000005", 0, 1));
  EXPECT_EQ(longText + "!", CStringUtil::strprintf("%s!", longText.c_str()));
}

TEST(StringUtilTest, SplitsKeepingOrSkippingEmptyPieces) {
  EXPECT_EQ((Pieces{"a", "", "b", ""}), CStringUtil::stringSplit("a,,b,", ",", false));
  EXPECT_EQ((Pieces{"a", "b"}), CStringUtil::stringSplit("a,,b,", ",", true));
  EXPECT_EQ((Pieces{""}), CStringUtil::stringSplit("", ",", false));
  EXPECT_EQ((Pieces{}), CStringUtil::stringSplit("", ",", true));
  EXPECT_EQ((Pieces{"a", "b=c"}), CStringUtil::stringSplit("a==b=c", "==", true));
  EXPECT_EQ((Pieces{"abc"}), CStringUtil::stringSplit("abc", "", false));
}

TEST(StringUtilTest, RemovesAndTrims) {
  EXPECT_EQ("abc", CStringUtil::stringRemove("a--b--c--", "--"));
  EXPECT_EQ("a-b", CStringUtil::stringRemove("a-b", ""));
  EXPECT_EQ("x y", CStringUtil::stringTrimmed(" \t\r\nx y\n "));
  EXPECT_EQ("", CStringUtil::stringTrimmed(" \n"));
}

TEST(StringUtilTest, ComparesWithOrWithoutLetterCase) {
  EXPECT_TRUE(CStringUtil::stringStartWith("KorvexMonitor.exe", "korvexmonitor.EXE", true));
  EXPECT_FALSE(CStringUtil::stringStartWith("KorvexMonitor.exe", "korvexmonitor", false));
  EXPECT_FALSE(CStringUtil::stringStartWith("Korvex", "KorvexMonitor", true));
  EXPECT_TRUE(CStringUtil::stringEndWith("/d/x-ERROR.DMP", "-Error.dmp", true));
  EXPECT_FALSE(CStringUtil::stringEndWith("/d/x-Error.dmp.bak", "-Error.dmp", true));
  EXPECT_FALSE(CStringUtil::stringEndWith("dmp", "-Error.dmp", true));
  EXPECT_TRUE(CStringUtil::stringEqual("Abc", "aBC", true));
  EXPECT_FALSE(CStringUtil::stringEqual("Abc", "aBC", false));
  EXPECT_FALSE(CStringUtil::stringEqual("Abc", "Abcd", true));
}

}  // namespace
