#include "IpcClient/IpcClientMonitor.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "IpcClient/IpcClient.h"
#include "support/FakeTransmit.h"
#include "support/TestSupport.h"
#include "tbxUtil/TbxTestSeams.h"
#include "valko/ModuleManager.h"
#include "valko/MsgTransmitProxy.h"

namespace {

using korvex_test::CountOccurrences;
using korvex_test::FakeTransmit;

const char kUnload[] =
    "{\"check\":\"unload\",\"cmd_idx\":\"1\",\"view_type\":\"KorvexMonitor\","
    "\"view_object\":\"\",\"view_param\":\"\"}";

// Refuses every handler, as a registry that is not ready would.
class RefusingRegistration : public FakeTransmit {
 public:
  bool RegisterProtocolHandler(const std::string&, IProtocolHandler*) override { return false; }
};

// Counts the ticks of its own timer; started with the monitor's unload interval, each of its
// ticks means the monitor's timer had its turn too.
class TickCounter : public tbx::CTimerEvent {
 public:
  explicit TickCounter(uint32_t intervalMs) : id(startTimer(intervalMs)) {}
  ~TickCounter() override { killTimer(id); }
  void OnTimer(uint64_t) override { ++ticks; }
  const uint64_t id;
  std::atomic<int> ticks{0};
};

// The timer loop on a thread of its own for as long as the object lives.
class TimerLoopThread {
 public:
  TimerLoopThread() : thread_([] { tbx::CTimerLoop::exec(); }) {}
  ~TimerLoopThread() {
    tbx::testing::QuitTimerLoop();
    thread_.join();
  }

 private:
  std::thread thread_;
};

// The counts of the "retry N connect korvex" lines of `log`, in order.
std::vector<int> RetryCounts(const std::string& log) {
  std::vector<int> counts;
  for (const std::string& line : korvex_test::SplitLines(log)) {
    const std::string::size_type at = line.find("retry ");
    if (at != std::string::npos && line.find(" connect korvex", at) != std::string::npos) {
      counts.push_back(std::atoi(line.c_str() + at + 6));
    }
  }
  return counts;
}

class IpcClientMonitorTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { korvex_test::OpenProcessLog(); }

  void SetUp() override {
    // The first check after 60 ms, then one every 10 ms; the unload timer every 60 ms.
    tbx::testing::OverrideTimeScale(0.001);
    logStart_ = korvex_test::ReadProcessLog().size();
    proxy_ = CSingleton<CMsgTransmitProxy>::NewInstance();
    ASSERT_NE(proxy_, nullptr);
  }
  void TearDown() override {
    CSingleton<CIpcClientMonitor>::RemoveInstance();
    CSingleton<CModuleManager>::RemoveInstance();
    CSingleton<CMsgTransmitProxy>::RemoveInstance();
    tbx::testing::OverrideTimeScale(0);
  }

  // What this test added to the process log.
  std::string NewLog() const { return korvex_test::ReadProcessLog().substr(logStart_); }

  std::vector<IProtocolHandler*> HandlersOf(const std::string& type) const {
    std::vector<IProtocolHandler*> handlers;
    for (const FakeTransmit::Registration& registration : transmit_.handlers()) {
      if (registration.first == type) {
        handlers.push_back(registration.second);
      }
    }
    return handlers;
  }

  // A module manager in `dir` that has loaded the echo module.
  CModuleManager* LoadEchoModule(const korvex_test::TempDir& dir) {
    std::filesystem::create_directories(dir.File("modules"));
    std::filesystem::copy_file(ECHO_MODULE, dir.File("modules/libecho.so"));
    EXPECT_TRUE(
        korvex_test::WriteText(dir.File("conf/monitor_module_config"), "modules/libecho.so\n"));
    CModuleManager* modules = CSingleton<CModuleManager>::NewInstance();
    if (modules == nullptr || !modules->SetConfigPath(dir.File("conf/monitor_module_config")) ||
        !modules->LoadModule()) {
      return nullptr;
    }
    return modules;
  }

  size_t logStart_ = 0;
  CMsgTransmitProxy* proxy_ = nullptr;
  FakeTransmit transmit_;
};

TEST_F(IpcClientMonitorTest, StartRegistersTheCommandHandlerOnceAndRunsTheThread) {
  ASSERT_TRUE(proxy_->InitProxy(&transmit_));
  CIpcClientMonitor* monitor = CSingleton<CIpcClientMonitor>::NewInstance();
  ASSERT_NE(monitor, nullptr);
  ASSERT_TRUE(monitor->Start());
  ASSERT_EQ(HandlersOf("T_MSG_CHECK").size(), 1u);
  EXPECT_NE(HandlersOf("T_MSG_CHECK")[0], nullptr);
  EXPECT_TRUE(monitor->IsThreadRunning());
  EXPECT_TRUE(korvex_test::WaitUntil(
      [&] { return NewLog().find("start ipc monitor thread") != std::string::npos; }));

  // A second start finds everything in place.
  ASSERT_TRUE(monitor->Start());
  EXPECT_EQ(transmit_.handlers().size(), 1u);
  EXPECT_EQ(CountOccurrences(NewLog(), "ipc client try start thread."), 1u);
}

TEST_F(IpcClientMonitorTest, StartFailsUntilTheHandlerCanBeRegistered) {
  CIpcClientMonitor* monitor = CSingleton<CIpcClientMonitor>::NewInstance();
  ASSERT_NE(monitor, nullptr);
  // Before the proxy knows an interface, and then with one that refuses.
  EXPECT_FALSE(monitor->Start());
  RefusingRegistration refusing;
  ASSERT_TRUE(proxy_->InitProxy(&refusing));
  EXPECT_FALSE(monitor->Start());
  EXPECT_EQ(CountOccurrences(NewLog(), "ipc client add stop handler error."), 2u);
  EXPECT_FALSE(monitor->IsThreadRunning());
  EXPECT_EQ(CountOccurrences(NewLog(), "ipc client try start thread."), 0u);

  ASSERT_TRUE(proxy_->InitProxy(&transmit_));
  EXPECT_TRUE(monitor->Start());
  EXPECT_EQ(HandlersOf("T_MSG_CHECK").size(), 1u);
  EXPECT_TRUE(monitor->IsThreadRunning());
}

TEST_F(IpcClientMonitorTest, TwoUnloadsBeforeATickUnloadTheModulesOnceAndOnlyOnItsOwnTimer) {
  ASSERT_TRUE(proxy_->InitProxy(&transmit_));
  korvex_test::TempDir dir;
  korvex_test::ScopedApplicationDir app(dir.path());
  CModuleManager* modules = LoadEchoModule(dir);
  ASSERT_NE(modules, nullptr);
  // The module found this executable's proxy: its handler is registered here and answers here.
  ASSERT_EQ(HandlersOf("T_MSG_ECHO").size(), 1u);
  ASSERT_TRUE(transmit_.DispatchProtocol("T_MSG_ECHO", "{\"n\":1}"));
  ASSERT_EQ(transmit_.sent().size(), 1u);
  EXPECT_EQ(transmit_.sent()[0].type, "T_MSG_ECHO_ACK");

  CIpcClientMonitor* monitor = CSingleton<CIpcClientMonitor>::NewInstance();
  ASSERT_TRUE(monitor->Start());
  ASSERT_TRUE(transmit_.DispatchProtocol("T_MSG_CHECK", kUnload));
  ASSERT_TRUE(transmit_.DispatchProtocol("T_MSG_CHECK", kUnload));

  TickCounter other(3600000);  // never due here; only its id is handed over
  ASSERT_NE(other.id, 0u);
  monitor->OnTimer(other.id);
  EXPECT_TRUE(transmit_.unregistered().empty()) << "another timer's tick unloaded the modules";

  TickCounter probe(CIpcClientMonitor::kUnloadIntervalMilliseconds);
  {
    TimerLoopThread loop;
    ASSERT_TRUE(korvex_test::WaitUntil([&] { return !transmit_.unregistered().empty(); }))
        << "the unload request was not carried out";
    // Loaded again: the second request went with the first, so later ticks leave it alone.
    ASSERT_TRUE(modules->LoadModule());
    const int reloadedAt = probe.ticks;
    ASSERT_TRUE(korvex_test::WaitUntil([&] { return probe.ticks >= reloadedAt + 3; }));
  }
  EXPECT_EQ(transmit_.unregistered(), std::vector<std::string>{"T_MSG_ECHO"});
  EXPECT_EQ(HandlersOf("T_MSG_ECHO").size(), 1u);
  EXPECT_EQ(CountOccurrences(NewLog(), "on cmd unload monitor..."), 2u);
}

TEST_F(IpcClientMonitorTest, WithoutAClientTheThreadNeverAttemptsAConnection) {
  ASSERT_TRUE(proxy_->InitProxy(&transmit_));
  ASSERT_EQ(CSingleton<CIpcClient>::GetInstance(), nullptr);
  CIpcClientMonitor* monitor = CSingleton<CIpcClientMonitor>::NewInstance();
  ASSERT_TRUE(monitor->Start());
  // Each tick of the probe spans six checks of the thread.
  TickCounter probe(CIpcClientMonitor::kUnloadIntervalMilliseconds);
  {
    TimerLoopThread loop;
    ASSERT_TRUE(korvex_test::WaitUntil([&] { return probe.ticks >= 5; }));
  }
  EXPECT_NE(NewLog().find("start ipc monitor thread"), std::string::npos);
  EXPECT_TRUE(RetryCounts(NewLog()).empty()) << NewLog();
}

TEST_F(IpcClientMonitorTest, AnUnreachableAgentEndsTheProcessAfterTheThirtyFirstFailedCheck) {
  ASSERT_TRUE(proxy_->InitProxy(&transmit_));
  korvex_test::TempDir dir;
  korvex_test::ScopedApplicationDir app(dir.path());
  const korvex_test::ChildResult child = korvex_test::RunInChild([] {
    // A client that never saw a server; nothing listens under the agent's names.
    if (CSingleton<CIpcClient>::NewInstance() == nullptr ||
        !CSingleton<CIpcClientMonitor>::NewInstance()->Start()) {
      std::_Exit(3);
    }
    std::this_thread::sleep_for(std::chrono::seconds(60));
    std::_Exit(4);  // the monitor should have ended the process long before
  });
  ASSERT_TRUE(child.exited) << "signal " << child.signal;
  EXPECT_EQ(child.exitCode, 0);

  std::vector<int> expected;
  for (int count = 0; count <= 30; ++count) {
    expected.push_back(count);
  }
  const std::string log = NewLog();
  EXPECT_EQ(RetryCounts(log), expected);
  ASSERT_EQ(CountOccurrences(log, "try connec maxcnt:exit"), 1u);
  EXPECT_GT(log.find("try connec maxcnt:exit"), log.find("retry 30 connect korvex"));

  const std::vector<Json::Value> reports = korvex_test::ReportsOfKind(dir.path(), "err_info");
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0]["text"].asString(), "connect korvex ipc fail");
  EXPECT_EQ(reports[0]["code"].asInt(), 0);
}

}  // namespace
