#include <filesystem>
#include <regex>

#include <gtest/gtest.h>

#include "TestProcess.h"
#include "tbx/LogMessage.h"
#include "tbx/StringUtil.h"

namespace {

using tbxtest::CountOf;
using tbxtest::ReadWholeFile;
using tbxtest::RunChild;
using tbxtest::TempDir;

std::vector<std::string> Lines(const std::string& text) {
  return tbx::CStringUtil::stringSplit(text, "\n", true);
}

TEST(LogMessageTest, ARecordCarriesTimeLevelThreadSourceLineAndText) {
  TempDir dir;
  ASSERT_EQ(0, RunChild({"log", dir.path(), "1048576", "1", "3"}));
  std::vector<std::string> lines = Lines(ReadWholeFile(dir.File("logs/tbx_test_child.log")));
  ASSERT_EQ(3u, lines.size());
  const std::string stamp = R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} )";
  const std::string thread = R"(\[child-main-thread\|\d+\] )";
  EXPECT_TRUE(std::regex_match(lines[0], std::regex(stamp + R"(\[INFO\] )" + thread +
                                                    R"(IpcClient\\IpcClient:42 record 0 xxx)")))
      << lines[0];
  EXPECT_TRUE(std::regex_match(
      lines[1], std::regex(stamp + R"(\[ERROR\] )" + thread + "Main:7 failure text")))
      << lines[1];
  EXPECT_TRUE(
      std::regex_match(lines[2], std::regex(stamp + R"(\[WARN\] )" + thread + "plain warning")))
      << lines[2];
}

TEST(LogMessageTest, RollsOverAtTheSizeLimitWithoutLosingOrSplittingRecords) {
  TempDir dir;
  const uint64_t limit = 4096;
  ASSERT_EQ(0, RunChild({"log", dir.path(), std::to_string(limit), "120", "60"}));
  std::string all;
  int files = 0;
  // Oldest first: tbx_test_child.4.log ... tbx_test_child.1.log, then the current file.
  for (int index = 5; index >= 0; --index) {
    std::string name =
        index == 0 ? "tbx_test_child.log" : "tbx_test_child." + std::to_string(index) + ".log";
    std::string path = dir.File("logs/" + name);
    if (!std::filesystem::exists(path)) {
      continue;
    }
    ++files;
    EXPECT_LE(std::filesystem::file_size(path), limit) << name;
    all += ReadWholeFile(path);
  }
  EXPECT_GE(files, 3);
  EXPECT_EQ(120u, CountOf(all, "IpcClient\\IpcClient:42 record "));
  EXPECT_NE(std::string::npos, all.find("record 0 "));
  EXPECT_NE(std::string::npos, all.find("record 119 "));
  EXPECT_LT(all.find("record 0 "), all.find("record 119 "));
}

TEST(LogMessageTest, FormatsRecordsOfAnyLength) {
  TempDir dir;
  ASSERT_EQ(0, RunChild({"log", dir.path(), "1048576", "1", "100000"}));
  std::string log = ReadWholeFile(dir.File("logs/tbx_test_child.log"));
  EXPECT_NE(std::string::npos, log.find("record 0 " + std::string(100000, 'x') + "\n"));
}

TEST(LogMessageTest, RecordsBeforeTheLoggerExistsAreDropped) {
  // This test process never opens the log.
  tbx::CLogMessage::log(tbx::TBX_LOG_INFO, "Main", 1, "dropped %s", "quietly");
  tbx::CLogMessage::WriteLogMessage("dropped", tbx::TBX_LOG_ERROR);
  tbx::CLogMessage::Flush();
  EXPECT_EQ("", tbx::CLogMessage::GetLogFilePath());
}

TEST(ProcessEndTest, TerminateAndExitProcessKeepTheLastLine) {
  TempDir dir;
  EXPECT_EQ(1, RunChild({"terminate", dir.path()}));
  EXPECT_NE(std::string::npos,
            ReadWholeFile(dir.File("logs/tbx_test_child.log")).find("try connec maxcnt:exit\n"));
  TempDir other;
  EXPECT_EQ(0, RunChild({"exitprocess", other.path(), "0"}));
  EXPECT_EQ(7, RunChild({"exitprocess", other.path(), "7"}));
  std::string log = ReadWholeFile(other.File("logs/tbx_test_child.log"));
  EXPECT_EQ(2u, CountOf(log, "on cmd stop monitor...\n"));
}

}  // namespace
