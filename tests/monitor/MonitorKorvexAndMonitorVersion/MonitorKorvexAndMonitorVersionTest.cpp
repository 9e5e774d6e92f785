// The agent/monitor directory check against a faked process table.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "FakeProcessUtil.h"
#include "KorvexCommon/MonitorKorvexAndMonitorVersion.h"
#include "support/TestSupport.h"
#include "tbx/TimerEvent.h"
#include "tbxUtil/TbxTestSeams.h"
#include "valko/ValkoCommon.h"

namespace {

using Ids = std::vector<uint64_t>;
using Texts = std::vector<std::string>;

const char kAgent[] = "Korvex.exe";
const char kMonitor[] = "KorvexMonitor.exe";
const char kMismatch[] = "Korvex dir is not same as KorvexMonitor";
const char kKillFailed[] = "kill KorvexMonitor fail when there are diff Korvex and KorvexMonitor";

class DirectoryCheckTest : public ::testing::Test {
 protected:
  void SetUp() override {
    korvex_test::OpenProcessLog();
    ASSERT_TRUE(tbx::InitValkoCommon("/opt/valko"));
    tbx::testing::OverrideProcessUtil(&processes_);
  }
  void TearDown() override {
    tbx::testing::OverrideProcessUtil(nullptr);
    while (CSingleton<tbx::CValkoPathInfo>::GetInstance() != nullptr) {
      CSingleton<tbx::CValkoPathInfo>::RemoveInstance();
    }
  }

  // Starts the check as start-up does, which checks once at once.
  void CheckOnce() {
    CMonitorKorvexAndMonitorVersion check;
    ASSERT_TRUE(check.Start("korvexmonitor"));
  }

  Texts Reports() const {
    Texts texts;
    for (const Json::Value& report : korvex_test::ReportsOfKind(dir_.path(), "err_info")) {
      EXPECT_EQ(report["code"].asInt(), 0);
      texts.push_back(report["text"].asString());
    }
    return texts;
  }

  korvex_test::TempAppDir dir_;
  FakeProcessUtil processes_;
};

struct Process {
  uint64_t id;
  const char* listedAs;   // kAgent or kMonitor
  std::string path;       // of the executable
  std::string name = "";  // what the name query reports when not the listed name
};
// /opt/<dir> as the system writes it, as the agent root /opt/valko is.
std::string Opt(const std::string& dir) {
  return korvex_test::SystemPath("/opt/" + dir);
}
// An agent or a monitor in /opt/<dir>.
Process A(uint64_t id, const std::string& dir) {
  return {id, kAgent, Opt(dir + "/" + kAgent)};
}
Process M(uint64_t id, const std::string& dir, const std::string& name = "") {
  return {id, kMonitor, Opt(dir + "/" + kMonitor), name};
}

struct Case {
  const char* name;
  std::vector<Process> processes;
  Ids terminated;
  Texts reports;
  Texts logged = {};     // pieces the log must hold
  Texts notLogged = {};  // pieces it must not hold
  uint64_t self = 1;
  Ids refused = {};       // terminating these fails
  Ids pathNotAsked = {};  // ids whose path must not be looked at
};

// Only agents and monitors below the agent root count; directories compare exactly. The kill
// loop skips a listed process of another name (letter case aside), stops at the first failure
// and ends the calling process last.
TEST_F(DirectoryCheckTest, EndsTheMonitorsWhenAgentAndMonitorDirectoriesDiffer) {
  const Case cases[] = {
      {"OneDirectory", {A(10, "valko/bin"), M(20, "valko/bin")}, {}, {}, {}, {"Korvex"}},
      {"NoAgent", {M(20, "valko/q")}, {}, {}},
      {"DifferentDirectories",
       {A(10, "valko/p"), M(20, "valko/q"), M(21, "valko/q")},
       {20, 21},
       {kMismatch},
       {"Korvex dir is not same as KorvexMonitor, Korvex dir is " + Opt("valko/p") +
            ", KorvexMonitor dir is " + Opt("valko/q"),
        "kill KorvexMonitor success"}},
      {"TwoAgentDirectories",
       {A(10, "valko/a"), A(11, "valko/b"), M(20, "valko/a")},
       {20},
       {"2 diff Korvex dir"},
       {"there are 2 diff Korvex dir"},
       {},
       1,
       {},
       {20}},
      {"TwoMonitorDirectories",
       {A(10, "valko/a"), M(20, "valko/a"), M(21, "valko/b")},
       {20, 21},
       {"2 diff KorvexMonitor dir"},
       {"there are 2 diff KorvexMonitor dir"}},
      {"OneDirectoryTwice", {A(10, "valko/a"), A(11, "valko/a"), M(20, "valko/a")}, {}, {}},
      {"LetterCase",
       {A(10, "valko/a"), A(12, "valko/A"), M(20, "valko/a")},
       {20},
       {"2 diff Korvex dir"}},
      {"OutsideTheRootOrWithoutDirectory",
       {A(10, "valko/bin"),
        A(11, "other"),
        A(12, "valko2/bin"),
        {13, kAgent, kAgent},
        {14, kAgent, ""},
        M(20, "valko/bin"),
        M(21, "valkoX")},
       {},
       {}},
      {"TheRootItselfAndASubdirectory", {A(10, "valko"), M(20, "valko/sub")}, {20}, {kMismatch}},
      {"AnotherNameIsLeftRunning",
       {A(10, "valko/p"), M(20, "valko/q"), M(21, "valko/q", "notepad.exe"),
        M(22, "valko/q", "korvexmonitor.exe.old")},
       {20, 22},
       {kMismatch},
       {"21 proc name is notepad.exe, it not start with KorvexMonitor",
        "kill KorvexMonitor success"}},
      {"AFailedTerminationStopsTheLoop",
       {A(10, "valko/p"), M(20, "valko/q"), M(21, "valko/q"), M(22, "valko/q")},
       {20, 21},
       {kMismatch, kKillFailed},
       {"kill KorvexMonitor fail\n"},
       {"kill KorvexMonitor success"},
       1,
       {21}},
      {"TheCallingProcessLast",
       {A(10, "valko/p"), M(20, "valko/q"), M(21, "valko/q"), M(22, "valko/q")},
       {21, 22, 20},
       {kMismatch},
       {},
       {},
       20},
      {"TheCallingProcessSurvivesAnotherFailure",
       {A(10, "valko/p"), M(20, "valko/q"), M(21, "valko/q"), M(22, "valko/q")},
       {21},
       {kMismatch, kKillFailed},
       {},
       {},
       20,
       {21}},
      {"AFailedSelfTermination",
       {A(10, "valko/p"), M(20, "valko/q"), M(21, "valko/q")},
       {20, 21},
       {kMismatch, kKillFailed},
       {},
       {},
       21,
       {21}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeProcessUtil processes;
    for (const Process& process : c.processes) {
      processes.Add(process.id, process.listedAs, process.path, process.name);
    }
    for (uint64_t id : c.refused) {
      processes.RefuseTermination(id);
    }
    processes.SetSelf(c.self);
    tbx::testing::OverrideProcessUtil(&processes);
    std::filesystem::remove_all(dir_.File("report"));
    const std::string logBefore = korvex_test::ReadProcessLog();
    CheckOnce();
    const std::string log = korvex_test::ReadProcessLog().substr(logBefore.size());
    EXPECT_EQ(processes.terminated, c.terminated);
    EXPECT_EQ(Reports(), c.reports);
    for (const std::string& piece : c.logged) {
      EXPECT_NE(log.find(piece), std::string::npos) << piece << " in " << log;
    }
    for (const std::string& piece : c.notLogged) {
      EXPECT_EQ(log.find(piece), std::string::npos) << piece << " in " << log;
    }
    for (uint64_t id : c.pathNotAsked) {
      EXPECT_EQ(processes.pathQueries.count(id), 0u) << id;
    }
  }
}

TEST_F(DirectoryCheckTest, OnlyTheStartUpOwnerChecksAtOnce) {
  CMonitorKorvexAndMonitorVersion check;
  EXPECT_EQ(check.GetTimerId(), 0u);
  ASSERT_TRUE(check.Start("korvex"));
  EXPECT_NE(check.GetTimerId(), 0u);
  EXPECT_EQ(processes_.listCalls, Texts{});
}

TEST_F(DirectoryCheckTest, ATimerCallbackChecksOnlyForItsOwnTimer) {
  CMonitorKorvexAndMonitorVersion check;
  ASSERT_TRUE(check.Start("other"));
  check.OnTimer(check.GetTimerId() + 1);
  EXPECT_EQ(processes_.listCalls, Texts{});
  check.OnTimer(check.GetTimerId());
  EXPECT_EQ(processes_.listCalls, (Texts{"Korvex.exe/10/0", "KorvexMonitor.exe/10/0"}));
}

TEST_F(DirectoryCheckTest, AFailedTimerStartIsLoggedAndNothingIsChecked) {
  korvex_test::LogTail log;
  CMonitorKorvexAndMonitorVersion check;
  {
    korvex_test::ScopedFailList fail("CTimerEvent::startTimer");
    EXPECT_FALSE(check.Start("korvexmonitor"));
  }
  EXPECT_EQ(processes_.listCalls, Texts{});
  EXPECT_EQ(log.Count("start timer fail for monitor korvex and monitor process"), 1);
}

// The timer loop runs the check on its own: the 30-minute timer, sped up, named "ver_monitor".
std::string g_timerInfo;

TEST_F(DirectoryCheckTest, TheTimerLoopRunsTheCheckEveryThirtyMinutes) {
  tbx::testing::OverrideTimeScale(0.00001);  // 30 minutes become 18 ms
  CMonitorKorvexAndMonitorVersion check;
  ASSERT_TRUE(check.Start("other"));
  processes_.onList = [] {
    g_timerInfo = tbx::CTimerLoop::GetCurrentTimerInfo();
    tbx::testing::QuitTimerLoop();
  };
  std::atomic<bool> done{false};
  std::thread watchdog([&] {  // ends a loop whose timer never fires, so the test fails, not hangs
    if (!korvex_test::WaitUntil([&] { return done.load(); }, std::chrono::seconds(30))) {
      tbx::testing::QuitTimerLoop();
    }
  });
  tbx::CTimerLoop::exec();
  done.store(true);
  watchdog.join();
  tbx::testing::OverrideTimeScale(0);

  ASSERT_FALSE(processes_.listCalls.empty());
  EXPECT_EQ(g_timerInfo, "timer id " + std::to_string(check.GetTimerId()) + ", tag " +
                             std::to_string(tbx::CTimerEvent::StringToMagicNum("ver_monitor")) +
                             ", interval 1800000 ms");
}

}  // namespace
