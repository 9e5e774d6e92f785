// The agent/monitor directory check against a faked process table.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "FakeProcessUtil.h"
#include "KorvexCommon/MonitorKorvexAndMonitorVersion.h"
#include "tbx/TimerEvent.h"
#include "tbxUtil/TbxTestSeams.h"
#include "unit/KorvexCommonSupport/TestSupport.h"
#include "valko/ValkoCommon.h"

namespace {

using korvex_test::CountOccurrences;
using korvex_test::ReadProcessLog;
using Ids = std::vector<uint64_t>;
using Texts = std::vector<std::string>;

const char kAgent[] = "Korvex.exe";
const char kMonitor[] = "KorvexMonitor.exe";

class DirectoryCheckTest : public ::testing::Test {
 protected:
  void SetUp() override {
    korvex_test::OpenProcessLog();
    CSingleton<tbx::CValkoPathInfo>::NewInstance()->SetValkoRootPath("/opt/valko");
    tbx::testing::OverrideProcessUtil(&processes_);
    logStart_ = ReadProcessLog().size();
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
  // The log written since the test began.
  std::string Log() const { return ReadProcessLog().substr(logStart_); }

  korvex_test::TempDir dir_;
  korvex_test::ScopedApplicationDir appDir_{dir_.path()};
  FakeProcessUtil processes_;
  size_t logStart_ = 0;
};

TEST_F(DirectoryCheckTest, OneAgentAndOneMonitorInOneDirectoryIsFine) {
  processes_.Add(10, kAgent, "/opt/valko/bin/Korvex.exe");
  processes_.Add(20, kMonitor, "/opt/valko/bin/KorvexMonitor.exe");
  CheckOnce();
  EXPECT_EQ(Reports(), Texts{});
  EXPECT_EQ(processes_.terminated, Ids{});
  EXPECT_EQ(processes_.listCalls, (Texts{"Korvex.exe/10/0", "KorvexMonitor.exe/10/0"}));
  EXPECT_EQ(Log().find("Korvex"), std::string::npos) << Log();
}

TEST_F(DirectoryCheckTest, NoAgentAndOneMonitorIsNoFinding) {
  processes_.Add(20, kMonitor, "/opt/valko/bin/KorvexMonitor.exe");
  CheckOnce();
  EXPECT_EQ(Reports(), Texts{});
  EXPECT_EQ(processes_.terminated, Ids{});
}

TEST_F(DirectoryCheckTest, AgentAndMonitorInDifferentDirectoriesEndEveryMonitor) {
  processes_.Add(10, kAgent, "/opt/valko/p/Korvex.exe");
  processes_.Add(20, kMonitor, "/opt/valko/q/KorvexMonitor.exe");
  processes_.Add(21, kMonitor, "/opt/valko/q/KorvexMonitor.exe");
  CheckOnce();
  EXPECT_EQ(Reports(), Texts{"Korvex dir is not same as KorvexMonitor"});
  EXPECT_EQ(processes_.terminated, (Ids{20, 21}));
  const std::string log = Log();
  EXPECT_NE(log.find("Korvex dir is not same as KorvexMonitor, Korvex dir is /opt/valko/p, "
                     "KorvexMonitor dir is /opt/valko/q"),
            std::string::npos);
  EXPECT_NE(log.find("kill KorvexMonitor success"), std::string::npos);
}

TEST_F(DirectoryCheckTest, TwoAgentDirectoriesAreReportedWithoutLookingAtMonitors) {
  processes_.Add(10, kAgent, "/opt/valko/a/Korvex.exe");
  processes_.Add(11, kAgent, "/opt/valko/b/Korvex.exe");
  processes_.Add(20, kMonitor, "/opt/valko/a/KorvexMonitor.exe");
  CheckOnce();
  EXPECT_EQ(Reports(), Texts{"2 diff Korvex dir"});
  EXPECT_NE(Log().find("there are 2 diff Korvex dir"), std::string::npos);
  EXPECT_EQ(processes_.terminated, Ids{20});
  EXPECT_EQ(processes_.pathQueries.count(20), 0u) << "monitor directories were collected";
}

TEST_F(DirectoryCheckTest, TwoMonitorDirectoriesAreReported) {
  processes_.Add(10, kAgent, "/opt/valko/a/Korvex.exe");
  processes_.Add(20, kMonitor, "/opt/valko/a/KorvexMonitor.exe");
  processes_.Add(21, kMonitor, "/opt/valko/b/KorvexMonitor.exe");
  CheckOnce();
  EXPECT_EQ(Reports(), Texts{"2 diff KorvexMonitor dir"});
  EXPECT_NE(Log().find("there are 2 diff KorvexMonitor dir"), std::string::npos);
  EXPECT_EQ(processes_.terminated, (Ids{20, 21}));
}

TEST_F(DirectoryCheckTest, DirectoriesCompareExactly) {
  // Two agents from one directory count once.
  processes_.Add(10, kAgent, "/opt/valko/a/Korvex.exe");
  processes_.Add(11, kAgent, "/opt/valko/a/Korvex.exe");
  processes_.Add(20, kMonitor, "/opt/valko/a/KorvexMonitor.exe");
  CheckOnce();
  EXPECT_EQ(Reports(), Texts{});

  // Letter case makes a different directory.
  processes_.Add(12, kAgent, "/opt/valko/A/Korvex.exe");
  CheckOnce();
  EXPECT_EQ(Reports(), Texts{"2 diff Korvex dir"});
}

TEST_F(DirectoryCheckTest, ProcessesOutsideTheAgentRootOrWithoutDirectoryAreIgnored) {
  processes_.Add(10, kAgent, "/opt/valko/bin/Korvex.exe");
  processes_.Add(11, kAgent, "/opt/other/Korvex.exe");
  processes_.Add(12, kAgent, "/opt/valko2/bin/Korvex.exe");  // shares the root's text only
  processes_.Add(13, kAgent, "Korvex.exe");                  // no directory part
  processes_.Add(14, kAgent, "");                            // vanished
  processes_.Add(20, kMonitor, "/opt/valko/bin/KorvexMonitor.exe");
  processes_.Add(21, kMonitor, "/opt/valkoX/KorvexMonitor.exe");
  CheckOnce();
  EXPECT_EQ(Reports(), Texts{});
  EXPECT_EQ(processes_.terminated, Ids{});
}

TEST_F(DirectoryCheckTest, TheRootItselfAndItsSubdirectoriesCount) {
  processes_.Add(10, kAgent, "/opt/valko/Korvex.exe");
  processes_.Add(20, kMonitor, "/opt/valko/sub/KorvexMonitor.exe");
  CheckOnce();
  EXPECT_EQ(Reports(), Texts{"Korvex dir is not same as KorvexMonitor"});
}

class KillLoopTest : public DirectoryCheckTest {
 protected:
  void SetUp() override {
    DirectoryCheckTest::SetUp();
    processes_.Add(10, kAgent, "/opt/valko/p/Korvex.exe");  // every check below is a mismatch
  }
  void AddMonitors(const Ids& ids) {
    for (uint64_t id : ids) {
      processes_.Add(id, kMonitor, "/opt/valko/q/KorvexMonitor.exe");
    }
  }
};

TEST_F(KillLoopTest, AListedProcessWithAnotherNameIsLoggedAndLeftRunning) {
  AddMonitors({20});
  processes_.Add(21, kMonitor, "/opt/valko/q/KorvexMonitor.exe", "notepad.exe");
  processes_.Add(22, kMonitor, "/opt/valko/q/KorvexMonitor.exe", "korvexmonitor.exe.old");
  CheckOnce();
  EXPECT_EQ(processes_.terminated, (Ids{20, 22})) << "the name test ignores letter case";
  EXPECT_NE(Log().find("21 proc name is notepad.exe, it not start with KorvexMonitor"),
            std::string::npos);
  EXPECT_NE(Log().find("kill KorvexMonitor success"), std::string::npos);
}

TEST_F(KillLoopTest, AFailedTerminationStopsTheLoopAndIsReported) {
  AddMonitors({20, 21, 22});
  processes_.RefuseTermination(21);
  CheckOnce();
  EXPECT_EQ(processes_.terminated, (Ids{20, 21}));
  EXPECT_EQ(Reports(),
            (Texts{"Korvex dir is not same as KorvexMonitor",
                   "kill KorvexMonitor fail when there are diff Korvex and KorvexMonitor"}));
  EXPECT_EQ(CountOccurrences(Log(), "kill KorvexMonitor fail\n"), 1u);
  EXPECT_EQ(Log().find("kill KorvexMonitor success"), std::string::npos);
}

TEST_F(KillLoopTest, TheCallingProcessIsTerminatedLast) {
  AddMonitors({20, 21, 22});
  processes_.SetSelf(20);
  CheckOnce();
  EXPECT_EQ(processes_.terminated, (Ids{21, 22, 20}));
}

TEST_F(KillLoopTest, TheCallingProcessSurvivesWhenAnotherMonitorCannotBeEnded) {
  AddMonitors({20, 21, 22});
  processes_.SetSelf(20);
  processes_.RefuseTermination(21);
  CheckOnce();
  EXPECT_EQ(processes_.terminated, Ids{21});
  EXPECT_EQ(Reports().back(),
            "kill KorvexMonitor fail when there are diff Korvex and KorvexMonitor");
}

TEST_F(KillLoopTest, AFailedSelfTerminationIsReported) {
  AddMonitors({20, 21});
  processes_.SetSelf(21);
  processes_.RefuseTermination(21);
  CheckOnce();
  EXPECT_EQ(processes_.terminated, (Ids{20, 21}));
  EXPECT_EQ(Reports().back(),
            "kill KorvexMonitor fail when there are diff Korvex and KorvexMonitor");
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
  ::setenv("TBX_STANDIN_FAIL", "CTimerEvent::startTimer", 1);
  CMonitorKorvexAndMonitorVersion check;
  const bool started = check.Start("korvexmonitor");
  ::unsetenv("TBX_STANDIN_FAIL");
  EXPECT_FALSE(started);
  EXPECT_EQ(processes_.listCalls, Texts{});
  EXPECT_NE(Log().find("start timer fail for monitor korvex and monitor process"),
            std::string::npos);
}

// The timer loop runs the check on its own: the 30-minute timer, sped up, named "ver_monitor".
std::string g_timerInfo;

TEST_F(DirectoryCheckTest, TheTimerLoopRunsTheCheckEveryThirtyMinutes) {
  tbx::testing::OverrideTimeScale(0.00001);  // 30 minutes become 18 ms
  CMonitorKorvexAndMonitorVersion check;
  ASSERT_TRUE(check.Start("other"));
  processes_.onList = [] {
    g_timerInfo = tbx::CTimerLoop::GetCurrentTimerInfo();
    tbx::CTimerLoop::Quit();
  };
  std::atomic<bool> done{false};
  std::thread watchdog([&] {  // ends a loop whose timer never fires, so the test fails, not hangs
    for (int i = 0; i < 3000 && !done.load(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (!done.load()) {
      tbx::CTimerLoop::Quit();
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
