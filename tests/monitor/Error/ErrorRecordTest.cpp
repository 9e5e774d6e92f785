// The error-record file: gate, three-line window, exact record text, concurrent writers.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <regex>
#include <sstream>
#include <thread>
#include <vector>

#include "KorvexCommon/Error.h"
#include "support/TestSupport.h"

namespace {

using korvex_test::CountOccurrences;
using korvex_test::ReadProcessLog;
using korvex_test::ReadText;
using korvex_test::SplitLines;
using korvex_test::WriteText;

class ErrorRecordTest : public ::testing::Test {
 protected:
  void SetUp() override {
    korvex_test::OpenProcessLog();
    korvex_test::FreezeClockUtc(korvex_test::kMarch9th2024At170542);
    EnableErrorRecords(true);
  }
  void TearDown() override {
    EnableErrorRecords(false);
    korvex_test::FreezeClockUtc(0);
  }

  // The record line written at the frozen moment by this process.
  static std::string Record(const std::string& message) {
    return "2024-03-09 17:05:42 [" + std::to_string(korvex_test::CurrentProcessId()) + "] " +
           message;
  }

  korvex_test::TempDir dir_;
  korvex_test::ScopedApplicationDir appDir_{dir_.path()};
};

TEST_F(ErrorRecordTest, ClosedGateLeavesTheFileAsItWasAndOnlyLogs) {
  EnableErrorRecords(false);
  WriteText(dir_.File("MonitorError.data"), "X");
  const size_t logged = CountOccurrences(ReadProcessLog(), "not write error info into file");

  WriteErrorRecord("MonitorError.data", "never written");
  WriteErrorRecord("DefaultError.data", "never written");

  EXPECT_EQ(ReadText(dir_.File("MonitorError.data")), "X");
  EXPECT_FALSE(korvex_test::PathExists(dir_.File("DefaultError.data")));
  const std::string log = ReadProcessLog();
  EXPECT_EQ(CountOccurrences(log, "not write error info into file"), logged + 2);
  EXPECT_EQ(CountOccurrences(log, "never written"), 0u);
}

// The file keeps the two newest earlier lines and the new record, without a final line end.
TEST_F(ErrorRecordTest, KeepsAThreeLineWindowEndingWithTheNewRecord) {
  struct Case {
    const char* before;  // nullptr: no file
    std::vector<std::string> messages;
    std::string after;
  };
  const Case cases[] = {
      {nullptr, {"exception crash"}, Record("exception crash")},
      {"X", {"R"}, "X\n" + Record("R")},
      {"X\nY\nZ", {"R"}, "Y\nZ\n" + Record("R")},
      {nullptr, {""}, Record("")},  // the blank after the bracket stays
      {nullptr,
       {"m1", "m2", "m3", "m4", "m5"},
       Record("m3") + "\n" + Record("m4") + "\n" + Record("m5")},
  };
  for (const Case& c : cases) {
    std::filesystem::remove(dir_.File("MonitorError.data"));
    if (c.before != nullptr) {
      WriteText(dir_.File("MonitorError.data"), c.before);
    }
    for (const std::string& message : c.messages) {
      WriteErrorRecord("MonitorError.data", message);
    }
    EXPECT_EQ(ReadText(dir_.File("MonitorError.data")), c.after);
  }
}

TEST_F(ErrorRecordTest, TheTwoRecordFilesAreIndependent) {
  WriteText(dir_.File("MonitorError.data"), "M");
  WriteText(dir_.File("DefaultError.data"), "D");
  WriteErrorRecord("MonitorError.data", "to monitor");
  WriteErrorRecord("DefaultError.data", "to default");
  EXPECT_EQ(ReadText(dir_.File("MonitorError.data")), "M\n" + Record("to monitor"));
  EXPECT_EQ(ReadText(dir_.File("DefaultError.data")), "D\n" + Record("to default"));
}

TEST_F(ErrorRecordTest, LogsTheLinesReadAndTheNewContent) {
  WriteText(dir_.File("MonitorError.data"), "X\nY\nZ");
  WriteErrorRecord("MonitorError.data", "R");
  const std::string log = ReadProcessLog();
  EXPECT_NE(log.find("get vecLines size[3]"), std::string::npos);
  EXPECT_NE(log.find("get file [" + dir_.File("MonitorError.data") + "] info strContent:[Y\nZ\n" +
                     Record("R") + "]"),
            std::string::npos);
}

// The file as one snapshot, or nothing when it could not be opened (not yet created).
std::optional<std::string> Snapshot(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    return std::nullopt;
  }
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

// The contents logged for `path` as written, in log order, from the log text `log`.
std::vector<std::string> LoggedContents(const std::string& log, const std::string& path) {
  std::vector<std::string> contents;
  const std::string opening = "get file [" + path + "] info strContent:[";
  for (size_t at = log.find(opening); at != std::string::npos; at = log.find(opening, at)) {
    at += opening.size();
    const size_t end = log.find("]\n", at);
    if (end == std::string::npos) {
      break;
    }
    contents.push_back(log.substr(at, end - at));
  }
  return contents;
}

// Writers race on one file while everybody reads it. Every snapshot must be a whole file, and
// all contents (the snapshots read, and every content written as the log shows it) must agree
// on one order of records: a record followed by two different records means a write was lost
// (two writers rewrote the same earlier content).
TEST_F(ErrorRecordTest, ConcurrentWritersNeverLoseARecordWithinTheWindow) {
  korvex_test::FreezeClockUtc(0);  // real time: the records differ by writer and number only
  const std::string path = dir_.File("MonitorError.data");
  constexpr int kWriters = 6;
  constexpr int kRecordsPerWriter = 25;
  const size_t logStart = ReadProcessLog().size();

  std::mutex snapshotsMutex;
  std::vector<std::string> snapshots;
  auto keep = [&](std::optional<std::string> snapshot) {
    if (snapshot) {
      std::lock_guard<std::mutex> hold(snapshotsMutex);
      snapshots.push_back(std::move(*snapshot));
    }
  };
  std::atomic<bool> writing{true};
  std::thread poller([&] {
    while (writing.load()) {
      keep(Snapshot(path));
    }
  });
  std::vector<std::thread> writers;
  for (int w = 0; w < kWriters; ++w) {
    writers.emplace_back([&, w] {
      for (int k = 0; k < kRecordsPerWriter; ++k) {
        WriteErrorRecord("MonitorError.data",
                         "writer" + std::to_string(w) + "-" + std::to_string(k));
        keep(Snapshot(path));
      }
    });
  }
  for (std::thread& writer : writers) {
    writer.join();
  }
  writing.store(false);
  poller.join();
  const std::vector<std::string> written = LoggedContents(ReadProcessLog().substr(logStart), path);
  EXPECT_EQ(written.size(), static_cast<size_t>(kWriters * kRecordsPerWriter));
  snapshots.insert(snapshots.end(), written.begin(), written.end());

  const std::regex recordLine(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d \[)" +
                              std::to_string(korvex_test::CurrentProcessId()) +
                              R"(\] writer\d+-\d+)");
  std::map<std::string, std::string> successor;
  std::map<std::string, std::string> predecessor;
  size_t conflicts = 0;
  for (const std::string& snapshot : snapshots) {
    const std::vector<std::string> lines = SplitLines(snapshot);
    ASSERT_GE(lines.size(), 1u) << "a reader saw an empty file";
    ASSERT_LE(lines.size(), 3u) << snapshot;
    for (const std::string& line : lines) {
      ASSERT_TRUE(std::regex_match(line, recordLine)) << "partial or foreign line: " << line;
    }
    for (size_t i = 0; i + 1 < lines.size(); ++i) {
      auto next = successor.emplace(lines[i], lines[i + 1]);
      auto previous = predecessor.emplace(lines[i + 1], lines[i]);
      if (next.first->second != lines[i + 1] || previous.first->second != lines[i]) {
        ++conflicts;
      }
    }
  }
  EXPECT_EQ(conflicts, 0u) << "writes were lost: two writers rewrote the same earlier lines";

  const std::vector<std::string> finalLines = SplitLines(ReadText(path));
  ASSERT_EQ(finalLines.size(), 3u);
  EXPECT_NE(finalLines[0], finalLines[1]);
  EXPECT_NE(finalLines[1], finalLines[2]);
  EXPECT_NE(finalLines[0], finalLines[2]);
}

}  // namespace
