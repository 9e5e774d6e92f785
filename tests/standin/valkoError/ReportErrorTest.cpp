#include "valko/ReportError.h"

#include <gtest/gtest.h>
#include <json/json.h>

#include <filesystem>
#include <set>
#include <thread>
#include <vector>

#include "support/TestSupport.h"
#include "tbx/LogMessage.h"
#include "tbxUtil/StandinSupport.h"

namespace {

using korvex_test::ReadText;
using korvex_test::TempAppDir;
using korvex_test::WriteText;

class ReportError : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { korvex_test::OpenProcessLog(); }

  // The report lines, without the empty piece after the last line end.
  std::vector<std::string> Lines() const {
    std::vector<std::string> lines =
        korvex_test::SplitLines(ReadText(dir_.File("report/reports.jsonl")));
    if (!lines.empty() && lines.back().empty()) {
      lines.pop_back();
    }
    return lines;
  }
  static Json::Value Parse(const std::string& line) {
    Json::Value value;
    EXPECT_TRUE(korvex_test::ParseJson(line, &value)) << line;
    return value;
  }

  Json::Value OnlyRecord() const {
    std::vector<std::string> lines = Lines();
    EXPECT_EQ(lines.size(), 1u);
    return lines.empty() ? Json::Value() : Parse(lines[0]);
  }

  TempAppDir dir_;
};

TEST_F(ReportError, ErrInfoIsOneLineInTheDocumentedForm) {
  EXPECT_TRUE(CReportError::SendErrInfo("disk \"full\"\n", CReportError::ERR_NO_NONE));
  EXPECT_EQ(ReadText(dir_.File("report/reports.jsonl")),
            "{\"kind\":\"err_info\",\"text\":\"disk \\\"full\\\"\\n\",\"code\":0}\n");
}

TEST_F(ReportError, KillSelfCarriesTheReasonAndTheLongFormItsContext) {
  EXPECT_TRUE(CReportError::SendKillSelfInfo("fd_max:1200", CReportError::KILL_SELF_MAX_FD));
  EXPECT_TRUE(CReportError::SendKillSelfInfo("thread x hung", CReportError::KILL_SELF_THREAD_HANG,
                                             "KorvexMonitor", "3.2.0.1", "stack\ntext"));
  std::vector<std::string> lines = Lines();
  ASSERT_EQ(lines.size(), 2u);
  Json::Value shortForm = Parse(lines[0]);
  EXPECT_EQ(shortForm["kind"].asString(), "kill_self");
  EXPECT_EQ(shortForm["text"].asString(), "fd_max:1200");
  EXPECT_EQ(shortForm["reason"].asInt(), 5);
  EXPECT_FALSE(shortForm.isMember("program"));
  Json::Value longForm = Parse(lines[1]);
  EXPECT_EQ(longForm["reason"].asInt(), 3);
  EXPECT_EQ(longForm["program"].asString(), "KorvexMonitor");
  EXPECT_EQ(longForm["version"].asString(), "3.2.0.1");
  EXPECT_EQ(longForm["stack"].asString(), "stack\ntext");
}

TEST_F(ReportError, CrashInfoKeepsInformationBackTraceAndFlag) {
  EXPECT_TRUE(CReportError::SendCrashInfo("exception code : b", "#0 main", true));
  Json::Value record = OnlyRecord();
  EXPECT_EQ(record["kind"].asString(), "crash_info");
  EXPECT_EQ(record["information"].asString(), "exception code : b");
  EXPECT_EQ(record["back_trace"].asString(), "#0 main");
  EXPECT_TRUE(record["flag"].asBool());
}

TEST_F(ReportError, LastLogIsTheTailOfTheProcessLogOrAllOfIt) {
  tbx::CLogMessage::WriteLogMessage("a line the tail must end with", tbx::TBX_LOG_INFO);
  EXPECT_TRUE(CReportError::SendLastLog(40));
  EXPECT_TRUE(CReportError::SendLastLog(100u * 1024 * 1024));
  const std::string log = korvex_test::ReadProcessLog();
  ASSERT_GE(log.size(), 40u);
  const std::vector<std::string> lines = Lines();
  ASSERT_EQ(lines.size(), 2u);
  Json::Value record = Parse(lines[0]);
  EXPECT_EQ(record["kind"].asString(), "last_log");
  EXPECT_EQ(record["bytes"].asInt(), 40);
  EXPECT_EQ(record["file"].asString(), tbx::standin::LogFilePath());
  EXPECT_EQ(record["text"].asString(), log.substr(log.size() - 40));
  EXPECT_EQ(Parse(lines[1])["text"].asString(), log);
}

TEST_F(ReportError, ADumpIsCopiedToSurviveItsRemovalAndAMissingOneIsNotCopied) {
  std::string dump = dir_.File("3.2.0.1-10.0.0.1-2024_3_9_17_5_42_maxFd.dmp");
  std::string content("signal 11\n\0binary\xff", 19);
  ASSERT_TRUE(WriteText(dump, content));
  EXPECT_TRUE(CReportError::SendDumpFile(dump, ""));
  std::filesystem::remove(dump);
  EXPECT_EQ(ReadText(dir_.File("report/3.2.0.1-10.0.0.1-2024_3_9_17_5_42_maxFd.dmp")), content);
  EXPECT_FALSE(CReportError::SendDumpFile(dir_.File("absent.dmp"), ""));
  const std::vector<std::string> lines = Lines();
  ASSERT_EQ(lines.size(), 2u);
  Json::Value copied = Parse(lines[0]);
  EXPECT_EQ(copied["kind"].asString(), "dump_file");
  EXPECT_EQ(copied["file"].asString(), "3.2.0.1-10.0.0.1-2024_3_9_17_5_42_maxFd.dmp");
  EXPECT_TRUE(copied["copied"].asBool());
  Json::Value missing = Parse(lines[1]);
  EXPECT_EQ(missing["kind"].asString(), "dump_file");
  EXPECT_EQ(missing["file"].asString(), "");
  EXPECT_FALSE(missing["copied"].asBool());
}

TEST_F(ReportError, ConcurrentReportersLeaveWholeLinesOnly) {
  constexpr int kThreads = 8;
  constexpr int kReports = 150;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      // Longer than a pipe buffer, so a record split over several writes would show.
      std::string filler(8192, static_cast<char>('a' + t));
      for (int i = 0; i < kReports; ++i) {
        CReportError::SendErrInfo(std::to_string(t) + ":" + std::to_string(i) + ":" + filler,
                                  CReportError::ERR_NO_NONE);
      }
    });
  }
  for (std::thread& thread : threads) {
    thread.join();
  }
  std::vector<std::string> lines = Lines();
  ASSERT_EQ(lines.size(), static_cast<size_t>(kThreads * kReports));
  std::set<std::string> seen;
  for (const std::string& line : lines) {
    std::string text = Parse(line)["text"].asString();
    size_t second = text.find(':', text.find(':') + 1);
    ASSERT_NE(second, std::string::npos) << line.substr(0, 80);
    int thread = std::stoi(text);
    EXPECT_EQ(text.substr(second + 1), std::string(8192, static_cast<char>('a' + thread)));
    seen.insert(text.substr(0, second));
  }
  EXPECT_EQ(seen.size(), static_cast<size_t>(kThreads * kReports));
}

}  // namespace
