#include <filesystem>
#include <regex>

#include <gtest/gtest.h>

#include "TestProcess.h"
#include "tbx/LogMessage.h"
#include "tbx/StringUtil.h"
#include "tbxUtil/StandinSupport.h"

namespace {

using korvex_test::CountOccurrences;
using korvex_test::ReadText;
using korvex_test::TempDir;
using tbxtest::RunChild;

std::vector<std::string> Lines(const std::string& text) {
  return tbx::CStringUtil::stringSplit(text, "\n", true);
}

// The record after its "YYYY-MM-DD HH:MM:SS.mmm " time stamp with the thread id replaced by
// "<tid>"; "" when the stamp or the thread part is malformed.
std::string WithoutStampAndId(const std::string& line) {
  static const std::regex kRecord(
      R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} (\[[A-Z]+\] \[[^|\]]*\|)\d+(\].*))");
  std::smatch parts;
  return std::regex_match(line, parts, kRecord) ? parts.str(1) + "<tid>" + parts.str(2) : "";
}

TEST(LogMessageTest, ARecordCarriesTimeLevelThreadSourceLineAndText) {
  TempDir dir;
  ASSERT_EQ(0, RunChild({"log", dir.path(), "1048576", "1", "3"}));
  std::vector<std::string> lines = Lines(ReadText(dir.File("logs/tbx_test_child.log")));
  ASSERT_EQ(3u, lines.size());
  EXPECT_EQ("[INFO] [child-main-thread|<tid>] IpcClient\\IpcClient:42 record 0 xxx",
            WithoutStampAndId(lines[0]));
  EXPECT_EQ("[ERROR] [child-main-thread|<tid>] Main:7 failure text", WithoutStampAndId(lines[1]));
  EXPECT_EQ("[WARN] [child-main-thread|<tid>] plain warning", WithoutStampAndId(lines[2]));
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
    all += ReadText(path);
  }
  EXPECT_GE(files, 3);
  EXPECT_EQ(120u, CountOccurrences(all, "IpcClient\\IpcClient:42 record "));
  EXPECT_NE(std::string::npos, all.find("record 0 "));
  EXPECT_NE(std::string::npos, all.find("record 119 "));
  EXPECT_LT(all.find("record 0 "), all.find("record 119 "));
}

TEST(LogMessageTest, FormatsRecordsOfAnyLength) {
  TempDir dir;
  ASSERT_EQ(0, RunChild({"log", dir.path(), "1048576", "1", "100000"}));
  std::string log = ReadText(dir.File("logs/tbx_test_child.log"));
  EXPECT_NE(std::string::npos, log.find("record 0 " + std::string(100000, 'x') + "\n"));
}

TEST(LogMessageTest, RecordsBeforeTheLoggerExistsAreDropped) {
  // This test process never opens the log.
  tbx::CLogMessage::log(tbx::TBX_LOG_INFO, "Main", 1, "dropped %s", "quietly");
  tbx::CLogMessage::WriteLogMessage("dropped", tbx::TBX_LOG_ERROR);
  tbx::standin::FlushLog();
  EXPECT_EQ("", tbx::standin::LogFilePath());
}

TEST(ProcessEndTest, TerminateAndExitProcessKeepTheLastLine) {
  TempDir dir;
  EXPECT_EQ(1, RunChild({"terminate", dir.path()}));
  EXPECT_NE(std::string::npos,
            ReadText(dir.File("logs/tbx_test_child.log")).find("try connec maxcnt:exit\n"));
  TempDir other;
  EXPECT_EQ(0, RunChild({"exitprocess", other.path(), "0"}));
  EXPECT_EQ(7, RunChild({"exitprocess", other.path(), "7"}));
  std::string log = ReadText(other.File("logs/tbx_test_child.log"));
  EXPECT_EQ(2u, CountOccurrences(log, "on cmd stop monitor...\n"));
}

}  // namespace
