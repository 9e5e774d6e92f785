// The reactions to the resource monitor's findings: report texts and reasons, the order of
// report, record and dump, the four-hour spacing of high I/O and the one-day dump window of
// handle over-use. Reactions that end the process run in a child.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <regex>
#include <string>
#include <vector>

#include "KorvexCommon/Error.h"
#include "KorvexCommon/MonitorEvent.h"
#include "support/FakeTransmit.h"
#include "support/TestSupport.h"
#include "tbx/ThreadUtil.h"
#include "tbxUtil/TbxTestSeams.h"
#include "valko/Config.h"
#include "valko/Monitor.h"
#include "valko/MsgTransmitProxy.h"
// The executable is the home of the proxy's singleton: the proxy library resolves it here.
#include "valko/MsgTransmitProxyHome.h"

// Reaches the dump window, which only a sequence of processes could otherwise move.
class CMonitorEventTestPeer {
 public:
  static void SetFdWindow(CMonitorEvent& event, uint32_t start, uint32_t dumpsTaken) {
    event.fdWindowStart = start;
    event.fdDumpCount = dumpsTaken;
  }
};

namespace {

using korvex_test::ChildResult;
using korvex_test::ReadProcessLog;
using korvex_test::ReadReports;
using korvex_test::ReadText;
using korvex_test::ReportsOfKind;
using korvex_test::RunInChild;
using korvex_test::WriteText;

const int64_t kNow = korvex_test::kMarch9th2024At170542;

class MonitorEventTest : public ::testing::Test {
 protected:
  void SetUp() override {
    korvex_test::OpenProcessLog();
    korvex_test::FreezeClockUtc(kNow);
    tbx::testing::OverrideTimeScale(0.001);  // the pause before the last-log request
  }
  void TearDown() override {
    tbx::testing::OverrideTimeScale(0);
    korvex_test::FreezeClockUtc(0);
    EnableErrorRecords(false);
  }

  // Runs `reaction` in a child on a handler with records switched on (or not) into
  // `recordFile` (nullptr: none set), and expects the child to have ended through Terminate.
  void RunReaction(const std::function<void(CMonitorEvent&)>& reaction, bool records = true,
                   const char* recordFile = "MonitorError.data") {
    ChildResult child = RunInChild([&] {
      EnableErrorRecords(true);
      CMonitorEvent event("korvexmonitor");
      event.SetWriteErrorRecord(records);
      if (recordFile != nullptr) {
        event.SetErrorRecordFile(recordFile);
      }
      reaction(event);
      std::_Exit(42);  // the reaction returned: it should have ended the process
    });
    ASSERT_TRUE(child.exited) << "ended by signal " << child.signal;
    ASSERT_EQ(child.exitCode, 1) << "the reaction did not end the process through Terminate";
    childPid_ = child.pid;
  }

  std::string Record(const std::string& message) const {
    return "2024-03-09 17:05:42 [" + std::to_string(childPid_) + "] " + message;
  }
  std::string RecordFile() const { return ReadText(dir_.File("MonitorError.data")); }
  std::vector<std::string> ReportKinds() const {
    std::vector<std::string> kinds;
    for (const Json::Value& report : ReadReports(dir_.path())) {
      kinds.push_back(report["kind"].asString());
    }
    return kinds;
  }
  Json::Value OnlyKillSelf() const {
    std::vector<Json::Value> reports = ReportsOfKind(dir_.path(), "kill_self");
    EXPECT_EQ(reports.size(), 1u);
    return reports.empty() ? Json::Value() : reports[0];
  }
  std::string LastLogText() const {
    std::vector<Json::Value> reports = ReportsOfKind(dir_.path(), "last_log");
    EXPECT_EQ(reports.size(), 1u);
    return reports.empty() ? std::string() : reports[0]["text"].asString();
  }

  korvex_test::TempDir dir_;
  korvex_test::ScopedApplicationDir appDir_{dir_.path()};
  int childPid_ = 0;
};

using Kinds = std::vector<std::string>;

TEST_F(MonitorEventTest, CpuMaxRecordsFirstThenReportsWithTheThreadNameAndSendsTheLog) {
  RunReaction([&](CMonitorEvent& event) {
    tbx::CThreadUtil::SetThreadName("hot_worker");
    const int64_t threadId = static_cast<int64_t>(tbx::CThreadUtil::GetCurrentThreadId());
    WriteText(dir_.File("thread_id"), std::to_string(threadId));
    event.OnCpuMax(95, threadId);
  });
  const std::string threadId = ReadText(dir_.File("thread_id"));

  EXPECT_EQ(ReportKinds(), (Kinds{"kill_self", "last_log"}));
  const Json::Value report = OnlyKillSelf();
  EXPECT_EQ(report["text"].asString(), "hot_worker:" + threadId + " cpu_max:95");
  EXPECT_EQ(report["reason"].asInt(), 1);
  EXPECT_EQ(RecordFile(), Record("Monitor High Cpu"));

  // The record's write is in the log sent afterwards, before the event's own log line.
  const std::string lastLog = LastLogText();
  const size_t recorded = lastLog.rfind("strContent:[" + Record("Monitor High Cpu") + "]");
  const size_t logged = lastLog.rfind("OnCpuMax : 95, high cpu thread is hot_worker");
  ASSERT_NE(recorded, std::string::npos);
  ASSERT_NE(logged, std::string::npos);
  EXPECT_LT(recorded, logged);
}

TEST_F(MonitorEventTest, CpuMaxWithoutAPositiveThreadIdHasNoThreadName) {
  RunReaction([](CMonitorEvent& event) { event.OnCpuMax(80, 0); });
  EXPECT_EQ(OnlyKillSelf()["text"].asString(), ":0 cpu_max:80");

  std::remove(dir_.File("report/reports.jsonl").c_str());
  RunReaction([](CMonitorEvent& event) { event.OnCpuMax(81, -7); });
  EXPECT_EQ(OnlyKillSelf()["text"].asString(), ":-7 cpu_max:81");
  EXPECT_NE(ReadProcessLog().find("OnCpuMax : 81, high cpu thread is \n"), std::string::npos);
}

TEST_F(MonitorEventTest, MemoryMaxReportsAndSendsTheLogBeforeTheRecord) {
  RunReaction([](CMonitorEvent& event) { event.OnMemoryMax(512); });

  EXPECT_EQ(ReportKinds(), (Kinds{"kill_self", "last_log"}));
  const Json::Value report = OnlyKillSelf();
  EXPECT_EQ(report["text"].asString(), "memory_max:512");
  EXPECT_EQ(report["reason"].asInt(), 2);
  EXPECT_EQ(RecordFile(), Record("Monitor High Mem"));
  const std::string lastLog = LastLogText();
  EXPECT_NE(lastLog.find("OnMemoryMax 512"), std::string::npos);
  EXPECT_EQ(lastLog.find(Record("Monitor High Mem")), std::string::npos)
      << "recorded before the log was sent";
  EXPECT_NE(ReadProcessLog().find(" get error [MonitorError.data] [1]"), std::string::npos);
}

TEST_F(MonitorEventTest, WithRecordsSwitchedOffNoReactionWritesARecord) {
  RunReaction([](CMonitorEvent& event) { event.OnCpuMax(95, 0); }, false);
  RunReaction([](CMonitorEvent& event) { event.OnMemoryMax(512); }, false);
  RunReaction(
      [](CMonitorEvent& event) {
        CMonitorEventTestPeer::SetFdWindow(event, static_cast<uint32_t>(kNow), 5);
        event.OnMaxFd(4000);
      },
      false);
  EXPECT_FALSE(korvex_test::PathExists(dir_.File("MonitorError.data")));
  EXPECT_FALSE(korvex_test::PathExists(dir_.File("DefaultError.data")));
  EXPECT_EQ(ReportsOfKind(dir_.path(), "kill_self").size(), 3u);
}

TEST_F(MonitorEventTest, RecordsGoToDefaultErrorDataUntilAFileIsSet) {
  RunReaction([](CMonitorEvent& event) { event.OnMemoryMax(1); }, true, nullptr);
  EXPECT_EQ(ReadText(dir_.File("DefaultError.data")), Record("Monitor High Mem"));
  EXPECT_FALSE(korvex_test::PathExists(dir_.File("MonitorError.data")));
}

// Without a configuration instance a resource dump is "CConfig Null.dmp".
TEST_F(MonitorEventTest, FirstMaxFdReportsAndDumpsWithoutARecord) {
  RunReaction([](CMonitorEvent& event) { event.OnMaxFd(4000); });

  EXPECT_EQ(ReportKinds(), (Kinds{"kill_self", "dump_file"}));
  const Json::Value report = OnlyKillSelf();
  EXPECT_EQ(report["text"].asString(), "fd_max:4000");
  EXPECT_EQ(report["reason"].asInt(), 5);
  const Json::Value dump = ReportsOfKind(dir_.path(), "dump_file")[0];
  EXPECT_EQ(dump["source"].asString(), dir_.File("CConfig Null.dmp"));
  EXPECT_TRUE(dump["copied"].asBool());
  EXPECT_FALSE(korvex_test::PathExists(dir_.File("CConfig Null.dmp")));
  EXPECT_FALSE(korvex_test::PathExists(dir_.File("MonitorError.data")));
}

// The window opened at kNow holds five dumps; the reaction runs at kNow + `elapsed` after
// `dumpsTaken` of them. True when it dumped, false when it recorded instead.
class MaxFdWindowTest : public MonitorEventTest {
 protected:
  bool DumpedAfter(uint32_t elapsed, uint32_t dumpsTaken) {
    std::filesystem::remove_all(dir_.File("report"));
    std::filesystem::remove(dir_.File("MonitorError.data"));
    korvex_test::FreezeClockUtc(kNow + elapsed);
    RunReaction([&](CMonitorEvent& event) {
      CMonitorEventTestPeer::SetFdWindow(event, static_cast<uint32_t>(kNow), dumpsTaken);
      event.OnMaxFd(4000);
    });
    const bool dumped = !ReportsOfKind(dir_.path(), "dump_file").empty();
    const bool recorded = RecordFile().find("Monitor Max Fd") != std::string::npos;
    EXPECT_NE(dumped, recorded) << "exactly one of dump and record";
    return dumped;
  }
};

TEST_F(MaxFdWindowTest, FiveDumpsPerDayLongWindowThenRecordsInstead) {
  EXPECT_TRUE(DumpedAfter(10, 4));
  EXPECT_FALSE(DumpedAfter(10, 5));
  EXPECT_EQ(RecordFile(), "2024-03-09 17:05:52 [" + std::to_string(childPid_) + "] Monitor Max Fd");
  EXPECT_FALSE(DumpedAfter(86400, 5));  // exactly one day after the start: the same window
  EXPECT_TRUE(DumpedAfter(86401, 5));   // one second later a new window begins
}

TEST_F(MonitorEventTest, ThreadHangReportsStacksVersionAndProgramThenDumps) {
  WriteText(dir_.File("conf/version"), "3.2.1");
  RunReaction([](CMonitorEvent& event) {
    CSingleton<CConfig>::NewInstance();
    CMonitor* monitor = CSingleton<CMonitor>::NewInstance();
    monitor->SetThreadHeartbeat(4242, "stuck_worker", 1800);
    event.OnThreadHang("thread stuck_worker hangs");
  });

  EXPECT_EQ(ReportKinds(), (Kinds{"kill_self", "dump_file"}));
  const Json::Value report = OnlyKillSelf();
  EXPECT_EQ(report["text"].asString(), "thread stuck_worker hangs");
  EXPECT_EQ(report["reason"].asInt(), 3);
  EXPECT_EQ(report["program"].asString(), korvex_test::OwnProgramName());
  EXPECT_EQ(report["version"].asString(), "3.2.1");
  const std::string stack = report["stack"].asString();
  const size_t split = stack.find('\n');
  ASSERT_NE(split, std::string::npos);
  EXPECT_NE(stack.substr(0, split).find("stuck_worker"), std::string::npos) << stack;
  EXPECT_NE(stack.find("\nthread ", split), std::string::npos)
      << "the process's own stacks follow the threads text: " << stack;

  std::string address;
  if (!CSingleton<CConfig>::NewInstance()->GetIdentityIp(address)) {
    address = "0.0.0.0";
  }
  CSingleton<CConfig>::RemoveInstance();
  EXPECT_EQ(ReportsOfKind(dir_.path(), "dump_file")[0]["source"].asString(),
            dir_.File("3.2.1-" + address + "-2024_3_9_17_5_42_threadHang.dmp"));
  EXPECT_FALSE(korvex_test::PathExists(dir_.File("MonitorError.data")));
  EXPECT_NE(ReadProcessLog().find("thread stuck_worker hangs"), std::string::npos);
}

TEST_F(MonitorEventTest, ThreadHangWithoutMonitorOrConfigurationStillReports) {
  RunReaction([](CMonitorEvent& event) { event.OnThreadHang("hang"); });
  const Json::Value report = OnlyKillSelf();
  EXPECT_EQ(report["version"].asString(), "");
  EXPECT_EQ(report["stack"].asString().substr(0, 1), "\n");
  EXPECT_EQ(ReportsOfKind(dir_.path(), "dump_file")[0]["source"].asString(),
            dir_.File("CConfig Null.dmp"));
}

IoRecord HighIo() {
  return IoRecord{100, 200, 150, 250, "ignored"};
}

TEST_F(MonitorEventTest, HighIoIsReportedAtMostOncePerFourHoursAndTheProcessGoesOn) {
  EnableErrorRecords(true);
  CMonitorEvent event("korvexmonitor");
  event.SetWriteErrorRecord(true);
  event.SetErrorRecordFile("MonitorError.data");

  event.OnHighIO(HighIo());
  EXPECT_EQ(ReportKinds(), (Kinds{"kill_self", "last_log"}));
  const Json::Value report = OnlyKillSelf();
  EXPECT_EQ(report["text"].asString(), "rio_max:100 wio_max:200 rio:150 wio:250");
  EXPECT_EQ(report["reason"].asInt(), 7);

  const size_t handledLines = korvex_test::CountOccurrences(ReadProcessLog(), "OnHighIO 100, 200");
  korvex_test::FreezeClockUtc(kNow + 14399);
  event.OnHighIO(HighIo());
  EXPECT_EQ(ReportKinds().size(), 2u) << "handled within four hours";
  EXPECT_EQ(korvex_test::CountOccurrences(ReadProcessLog(), "OnHighIO 100, 200"), handledLines);

  korvex_test::FreezeClockUtc(kNow + 14400);
  event.OnHighIO(HighIo());
  EXPECT_EQ(ReportKinds().size(), 4u) << "not handled exactly four hours later";

  korvex_test::FreezeClockUtc(kNow + 14400 + 14399);  // spacing counts from the last handled one
  event.OnHighIO(HighIo());
  EXPECT_EQ(ReportKinds().size(), 4u);
  EXPECT_FALSE(korvex_test::PathExists(dir_.File("MonitorError.data")));
}

class HighIoMessageTest : public MonitorEventTest {
 protected:
  void TearDown() override {
    while (CSingleton<CMsgTransmitProxy>::GetInstance() != nullptr) {
      CSingleton<CMsgTransmitProxy>::RemoveInstance();
    }
    MonitorEventTest::TearDown();
  }
  korvex_test::FakeTransmit transmit_;
};

TEST_F(HighIoMessageTest, ForTheOwnerKorvexHighIoBecomesAnOsAbnormalMessage) {
  CSingleton<CMsgTransmitProxy>::NewInstance()->InitProxy(&transmit_);
  CMonitorEvent event("korvex");
  event.OnHighIO(HighIo());

  EXPECT_TRUE(ReadReports(dir_.path()).empty()) << "no self-termination report";
  ASSERT_EQ(transmit_.sent().size(), 1u);
  const korvex_test::SentMessage sent = transmit_.sent()[0];
  EXPECT_EQ(sent.type, "T_MSG_OS_ABNORMAL");
  EXPECT_EQ(sent.traceId, "");
  EXPECT_EQ(sent.priority, 1);
  EXPECT_FALSE(sent.keepFlag);

  // The styled text: members in key order, one per line, three blanks in, a final line end.
  const std::regex styled(
      "\\{\n   \"available_mem\" : [0-9]+,\n   \"mem_usage\" : -?[0-9]+,\n   \"rio\" : 150,\n"
      "   \"rio_max\" : 100,\n   \"wio\" : 250,\n   \"wio_max\" : 200\n\\}\n");
  EXPECT_TRUE(std::regex_match(sent.data, styled)) << sent.data;

  korvex_test::FreezeClockUtc(kNow + 60);
  event.OnHighIO(HighIo());
  EXPECT_EQ(transmit_.sent().size(), 1u) << "the spacing applies to messages too";
}

TEST_F(HighIoMessageTest, WithoutATransmitInterfaceNothingIsSentAndNothingBreaks) {
  CMonitorEvent event("korvex");
  event.OnHighIO(HighIo());
  EXPECT_TRUE(transmit_.sent().empty());
  EXPECT_TRUE(ReadReports(dir_.path()).empty());
  EXPECT_NE(ReadProcessLog().find("T_MSG_OS_ABNORMAL not sent"), std::string::npos);
}

}  // namespace
