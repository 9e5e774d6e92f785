#include <atomic>
#include <thread>

#include <gtest/gtest.h>

#include "support/TestSupport.h"
#include "tbx/ThreadUtil.h"

namespace {

using tbx::CThreadUtil;

// Runs until released; records its id and name as the thread saw them.
class Worker : public CThreadUtil {
 public:
  void run() override {
    CThreadUtil::SetThreadName(name);
    id = CThreadUtil::GetCurrentThreadId();
    started = true;
    while (!release) {
      std::this_thread::yield();
    }
    ++runs;
  }
  std::string name = "ipc_monitor_with_a_long_name";
  std::atomic<uint64_t> id{0};
  std::atomic<bool> started{false};
  std::atomic<bool> release{false};
  std::atomic<int> runs{0};
};

TEST(ThreadUtilTest, RunsOnceAtATimeAndMayBeStartedAgainAfterItEnded) {
  Worker worker;
  worker.waitForThreadFinish();  // never started: returns at once
  ASSERT_TRUE(worker.startThread());
  while (!worker.started) {
    std::this_thread::yield();
  }
  EXPECT_TRUE(worker.IsThreadRunning());
  EXPECT_FALSE(worker.startThread());
  worker.release = true;
  worker.waitForThreadFinish();
  EXPECT_FALSE(worker.IsThreadRunning());
  EXPECT_EQ(1, worker.runs);
  ASSERT_TRUE(worker.startThread());
  worker.waitForThreadFinish();
  EXPECT_EQ(2, worker.runs);
}

TEST(ThreadUtilTest, KeepsTheFullNameUnderTheSystemWideThreadId) {
  Worker worker;
  worker.release = true;
  ASSERT_TRUE(worker.startThread());
  worker.waitForThreadFinish();
  EXPECT_NE(CThreadUtil::GetCurrentThreadId(), worker.id.load());
  EXPECT_EQ("ipc_monitor_with_a_long_name",
            CThreadUtil::GetThreadName(static_cast<int64_t>(worker.id.load())));
  EXPECT_EQ("", CThreadUtil::GetThreadName(-5));
  // The system keeps at least the first 15 bytes (Linux exactly those), under the same id.
  const std::string name = "Protocol-handler-thread";
  CThreadUtil::SetThreadName(name);
  uint64_t self = CThreadUtil::GetCurrentThreadId();
  EXPECT_EQ(static_cast<uint64_t>(korvex_test::SystemThreadId()), self);
  const std::string kept = korvex_test::SystemThreadName();
  EXPECT_GE(kept.size(), 15u);
  EXPECT_EQ(name.substr(0, kept.size()), kept);
  EXPECT_EQ(name, CThreadUtil::GetThreadName(static_cast<int64_t>(self)));
}

// Deletes itself from run(): the destructor must not join its own thread.
class SelfDeleting : public CThreadUtil {
 public:
  explicit SelfDeleting(std::atomic<bool>* done) : done_(done) {}
  void run() override {
    std::atomic<bool>* done = done_;
    delete this;
    *done = true;
  }

 private:
  std::atomic<bool>* done_;
};

TEST(ThreadUtilTest, AThreadMayDestroyItsOwnObject) {
  std::atomic<bool> done{false};
  ASSERT_TRUE((new SelfDeleting(&done))->startThread());
  while (!done) {
    std::this_thread::yield();
  }
}

}  // namespace
