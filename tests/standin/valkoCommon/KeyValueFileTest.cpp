#include "valkoCommon/KeyValueFile.h"

#include <gtest/gtest.h>

#include "support/TestSupport.h"

namespace {

using valko::standin::CKeyValueFile;

TEST(KeyValueFile, ReadsPairsSkippingCommentsBlankAndMalformedLines) {
  CKeyValueFile file;
  file.Parse(
      "# fd_max = 1\n"
      "\n"
      "  fd_max  =  200  # trailing comment\r\n"
      "no equals sign here\n"
      "= orphan value\n"
      "mem_max_mb=5\n"
      "mem_max_mb = 6\n"
      "empty =\n");
  std::string text;
  EXPECT_TRUE(file.GetText("fd_max", text));
  EXPECT_EQ(text, "200");
  uint64_t number = 0;
  EXPECT_TRUE(file.GetUnsigned("mem_max_mb", number));
  EXPECT_EQ(number, 6u);  // the last occurrence wins
  EXPECT_TRUE(file.GetText("empty", text));
  EXPECT_EQ(text, "");
  EXPECT_FALSE(file.GetUnsigned("empty", number));
  EXPECT_FALSE(file.GetText("no equals sign here", text));
  EXPECT_FALSE(file.GetText("", text));
}

TEST(KeyValueFile, NumbersMustBeWholeNonNegativeAndInRange) {
  CKeyValueFile file;
  file.Parse(
      "big = 18446744073709551615\n"
      "too_big = 18446744073709551616\n"
      "negative = -3\n"
      "decimal = 1.5\n"
      "suffix = 10ms\n");
  uint64_t number = 7;
  EXPECT_TRUE(file.GetUnsigned("big", number));
  EXPECT_EQ(number, UINT64_MAX);
  number = 7;
  for (const char* key : {"too_big", "negative", "decimal", "suffix", "absent"}) {
    EXPECT_FALSE(file.GetUnsigned(key, number)) << key;
  }
  EXPECT_EQ(number, 7u);  // a refused value leaves the output alone
  double decimal = 0;
  EXPECT_TRUE(file.GetDecimal("decimal", decimal));
  EXPECT_DOUBLE_EQ(decimal, 1.5);
  EXPECT_FALSE(file.GetDecimal("negative", decimal));
}

TEST(KeyValueFile, AMissingFileLoadsNothingAndForgetsEarlierKeys) {
  korvex_test::TempDir dir;
  ASSERT_TRUE(korvex_test::WriteText(dir.File("a.conf"), "key = 1\n"));
  CKeyValueFile file;
  std::string text;
  ASSERT_TRUE(file.Load(dir.File("a.conf")));
  EXPECT_TRUE(file.GetText("key", text));
  EXPECT_FALSE(file.Load(dir.File("missing.conf")));
  EXPECT_FALSE(file.GetText("key", text));
}

}  // namespace
