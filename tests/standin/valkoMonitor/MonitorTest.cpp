#include "valko/Monitor.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <mutex>
#include <thread>
#include <vector>

#include "support/TestSupport.h"
#include "tbxUtil/TbxTestSeams.h"
#include "valkoMonitor/MonitorTestSeams.h"

namespace {

using korvex_test::TempAppDir;
using korvex_test::WaitUntil;

// Every callback so far.
struct Seen {
  std::vector<std::pair<int64_t, int64_t>> cpu;  // (percent, thread id)
  std::vector<int32_t> memory;
  std::vector<IoRecord> io;
  std::vector<int32_t> fd;
  std::vector<std::string> hangs;
  size_t total() const { return cpu.size() + memory.size() + io.size() + fd.size() + hangs.size(); }
};

// Records every callback; read from the test thread while the sampling thread adds to it.
class RecordingEvents : public IResourceMonitorEvent {
 public:
  void OnCpuMax(int64_t percent, int64_t threadId) override {
    Add([&](Seen& s) { s.cpu.emplace_back(percent, threadId); });
  }
  void OnMemoryMax(int32_t mb) override {
    Add([&](Seen& s) { s.memory.push_back(mb); });
  }
  void OnHighIO(IoRecord record) override {
    Add([&](Seen& s) { s.io.push_back(record); });
  }
  void OnMaxFd(int32_t count) override {
    Add([&](Seen& s) { s.fd.push_back(count); });
  }
  void OnThreadHang(const std::string& text) override {
    Add([&](Seen& s) { s.hangs.push_back(text); });
  }
  Seen seen() const {
    std::lock_guard<std::mutex> hold(mutex_);
    return seen_;
  }

 private:
  void Add(const std::function<void(Seen&)>& add) {
    std::lock_guard<std::mutex> hold(mutex_);
    add(seen_);
  }
  mutable std::mutex mutex_;
  Seen seen_;  // guarded by mutex_
};

// A statistics source that counts how often it is asked: with monitor_point_period_ms equal
// to sample_period_ms it is asked once per sample, a clock the tests count samples with.
class CountingPoint : public IMonitorInfo {
 public:
  std::string GetMonitorInfo() override { return "counting point " + std::to_string(++asked); }
  std::atomic<int> asked{0};
};

class Monitor : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { korvex_test::OpenProcessLog(); }

  void SetUp() override {
    monitor_ = CSingleton<CMonitor>::NewInstance();
    ASSERT_NE(monitor_, nullptr);
    monitor_->SetConfigPath(dir_.File("conf/monitor_resource_config"));
    ASSERT_TRUE(monitor_->AddMonitorPoint(&clock_));
  }
  void TearDown() override {
    CSingleton<CMonitor>::RemoveInstance();
    tbx::testing::OverrideTimeScale(0);
  }

  void Configure(const std::string& limits) {
    ASSERT_TRUE(korvex_test::WriteText(dir_.File("conf/monitor_resource_config"), limits));
  }
  // Waits until `count` more samples have been taken.
  bool WaitSamples(int count) {
    int target = clock_.asked + count;
    return WaitUntil([&] { return clock_.asked >= target; });
  }

  TempAppDir dir_;
  CountingPoint clock_;
  RecordingEvents events_;
  CMonitor* monitor_ = nullptr;
};

TEST_F(Monitor, TooManyDescriptorsAreReportedWithTheirCount) {
  if (korvex_test::UnderWine()) {
    GTEST_SKIP() << "Wine counts no handles: GetProcessHandleCount reports 0";
  }
  Configure("sample_period_ms = 20\nmonitor_point_period_ms = 20\nfd_max = 3\n");
  ASSERT_TRUE(monitor_->StartMonitor(&events_, "test"));
  ASSERT_TRUE(WaitUntil([&] { return !events_.seen().fd.empty(); }));
  valko::testing::StopMonitor();
  EXPECT_GT(events_.seen().fd.front(), 3);
  EXPECT_TRUE(events_.seen().memory.empty());  // the other limits are off
  EXPECT_TRUE(events_.seen().cpu.empty());
  EXPECT_TRUE(events_.seen().io.empty());
}

TEST_F(Monitor, TooMuchMemoryIsReportedInMebibytes) {
  Configure("sample_period_ms = 20\nmem_max_mb = 1\n");
  ASSERT_TRUE(monitor_->StartMonitor(&events_, "test"));
  ASSERT_TRUE(WaitUntil([&] { return !events_.seen().memory.empty(); }));
  valko::testing::StopMonitor();
  int64_t residentMb = korvex_test::ResidentBytes() / (1024 * 1024);
  int32_t reported = events_.seen().memory.front();
  EXPECT_GT(reported, 1);
  // The same figure in the same unit, give or take what the process allocated since.
  EXPECT_LE(reported, residentMb + 64);
  EXPECT_GE(reported, residentMb / 2);
  EXPECT_TRUE(events_.seen().fd.empty());
}

TEST_F(Monitor, ABusyThreadPassesTheCpuLimitAndIsNamedAsTheBusiest) {
  Configure("sample_period_ms = 100\ncpu_max_percent = 1\ncpu_max_samples = 2\n");
  std::atomic<bool> stop{false};
  std::atomic<int64_t> spinnerId{0};
  std::thread spinner([&] {
    spinnerId = korvex_test::SystemThreadId();
    volatile uint64_t sink = 0;
    while (!stop) {
      sink = sink + 1;
    }
  });
  ASSERT_TRUE(WaitUntil([&] { return spinnerId != 0; }));
  ASSERT_TRUE(monitor_->StartMonitor(&events_, "test"));
  bool reported = WaitUntil([&] { return !events_.seen().cpu.empty(); });
  valko::testing::StopMonitor();
  stop = true;
  spinner.join();
  ASSERT_TRUE(reported);
  EXPECT_GT(events_.seen().cpu.front().first, 1);
  EXPECT_LE(events_.seen().cpu.front().first, 100);
  EXPECT_EQ(events_.seen().cpu.front().second, spinnerId.load());
}

TEST_F(Monitor, HeavyWritingPassesTheWriteLimitInKibPerSecond) {
  if (korvex_test::UnderWine()) {
    GTEST_SKIP() << "Wine counts no I/O: GetProcessIoCounters reports 0 bytes";
  }
  Configure("sample_period_ms = 50\nwio_max_kbps = 1\n");
  std::atomic<bool> stop{false};
  std::thread writer([&] {
    std::string block(64 * 1024, 'w');
    while (!stop) {
      std::ofstream out(dir_.File("written"), std::ios::trunc);
      out << block;
      out.close();
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  });
  ASSERT_TRUE(monitor_->StartMonitor(&events_, "test"));
  bool reported = WaitUntil([&] { return !events_.seen().io.empty(); });
  valko::testing::StopMonitor();
  stop = true;
  writer.join();
  ASSERT_TRUE(reported);
  IoRecord record = events_.seen().io.front();
  EXPECT_EQ(record.wio_max, 1);
  EXPECT_EQ(record.rio_max, 0);  // off
  EXPECT_GT(record.wio, 1);
}

TEST_F(Monitor, WithoutAConfigurationNoLimitIsChecked) {
  ASSERT_TRUE(monitor_->StartMonitor(&events_, "test"));  // no file: every limit off
  tbx::testing::OverrideTimeScale(0.01);                  // applies from the next period on
  ASSERT_TRUE(WaitSamples(3));
  valko::testing::StopMonitor();
  EXPECT_EQ(events_.seen().total(), 0u);
}

TEST_F(Monitor, AThreadThatStopsReportingIsDeclaredHungOnce) {
  tbx::testing::OverrideTimeScale(0.01);  // a sample every 10 ms, 2 s of timeout in 20 ms
  Configure("sample_period_ms = 1000\nmonitor_point_period_ms = 1000\n");
  ASSERT_TRUE(monitor_->SetThreadHeartbeat(4242, "worker", 2));
  ASSERT_TRUE(monitor_->SetThreadHeartbeat(4343, "patient", 1800));
  ASSERT_TRUE(monitor_->StartMonitor(&events_, "test"));
  ASSERT_TRUE(WaitUntil([&] { return !events_.seen().hangs.empty(); }));
  ASSERT_TRUE(WaitSamples(10));
  std::vector<std::string> hangs = events_.seen().hangs;
  ASSERT_EQ(hangs.size(), 1u);
  EXPECT_NE(hangs[0].find("worker"), std::string::npos) << hangs[0];
  EXPECT_NE(hangs[0].find("4242"), std::string::npos) << hangs[0];
  EXPECT_NE(hangs[0].find("has not reported for"), std::string::npos) << hangs[0];

  // A new report re-arms the thread; its next silence is a new hang.
  ASSERT_TRUE(monitor_->SetThreadHeartbeat(4242, "worker", 2));
  ASSERT_TRUE(WaitUntil([&] { return events_.seen().hangs.size() == 2; }));
  valko::testing::StopMonitor();
  for (const std::string& hang : events_.seen().hangs) {
    EXPECT_EQ(hang.find("patient"), std::string::npos) << hang;
  }
}

TEST_F(Monitor, ThreadsInfoListsEveryReportingThread) {
  monitor_->SetThreadHeartbeat(11, "ipc_send", 1800);
  monitor_->SetThreadHeartbeat(12, "Protocol", 1800);
  monitor_->SetThreadHeartbeat(11, "ipc_send", 1800);
  monitor_->SetThreadHeartbeat(13, "gone", 1800);
  monitor_->SetThreadHeartbeat(13, "gone", 0);  // no longer watched
  std::string info;
  uint32_t count = 0;
  ASSERT_TRUE(monitor_->GetThreadsInfo(info, count));
  EXPECT_EQ(count, 2u);
  EXPECT_NE(info.find("thread 11 ipc_send last report 0 s ago, timeout 1800 s\n"),
            std::string::npos)
      << info;
  EXPECT_NE(info.find("thread 12 Protocol"), std::string::npos) << info;
  EXPECT_EQ(info.find("gone"), std::string::npos) << info;
}

TEST_F(Monitor, StopEndsALongSamplePeriodAtOnce) {
  Configure("sample_period_ms = 3600000\n");
  ASSERT_TRUE(monitor_->StartMonitor(&events_, "test"));
  valko::testing::StopMonitor();  // would wait an hour if the period were slept through
  EXPECT_EQ(clock_.asked, 0);
}

// Memory is over its limit on every sample, and every system counts it.
TEST_F(Monitor, NoCallbackArrivesAfterStopReturns) {
  Configure("sample_period_ms = 5\nmonitor_point_period_ms = 5\nmem_max_mb = 1\n");
  ASSERT_TRUE(monitor_->StartMonitor(&events_, "test"));
  ASSERT_TRUE(WaitUntil([&] { return events_.seen().memory.size() >= 3; }));
  valko::testing::StopMonitor();
  size_t callbacks = events_.seen().total();
  int samples = clock_.asked;
  std::this_thread::sleep_for(std::chrono::milliseconds(100));  // twenty periods
  EXPECT_EQ(events_.seen().total(), callbacks);
  EXPECT_EQ(clock_.asked, samples);
}

TEST_F(Monitor, StartsOnceAtATimeAndAgainAfterAStop) {
  Configure("sample_period_ms = 5\nmonitor_point_period_ms = 5\n");
  EXPECT_FALSE(monitor_->StartMonitor(nullptr, "test"));
  ASSERT_TRUE(monitor_->StartMonitor(&events_, "test"));
  EXPECT_FALSE(monitor_->StartMonitor(&events_, "test"));
  valko::testing::StopMonitor();
  valko::testing::StopMonitor();  // a second stop is harmless
  ASSERT_TRUE(monitor_->StartMonitor(&events_, "test"));
  EXPECT_TRUE(WaitSamples(2));
}

TEST_F(Monitor, ARemovedPointIsNotAskedAgain) {
  Configure("sample_period_ms = 5\nmonitor_point_period_ms = 5\n");
  CountingPoint removed;
  ASSERT_TRUE(monitor_->AddMonitorPoint(&removed));
  EXPECT_FALSE(monitor_->AddMonitorPoint(&removed));  // once only
  ASSERT_TRUE(monitor_->StartMonitor(&events_, "test"));
  ASSERT_TRUE(WaitUntil([&] { return removed.asked >= 2; }));
  ASSERT_TRUE(valko::testing::RemoveMonitorPoint(&removed));
  int asked = removed.asked;
  ASSERT_TRUE(WaitSamples(5));
  EXPECT_EQ(removed.asked, asked);
  EXPECT_FALSE(valko::testing::RemoveMonitorPoint(&removed));
}

TEST_F(Monitor, PointLinesReachTheLog) {
  Configure("sample_period_ms = 5\nmonitor_point_period_ms = 5\n");
  ASSERT_TRUE(monitor_->StartMonitor(&events_, "test"));
  ASSERT_TRUE(WaitSamples(2));
  valko::testing::StopMonitor();
  EXPECT_NE(korvex_test::ReadProcessLog().find("counting point 1"), std::string::npos);
}

}  // namespace
