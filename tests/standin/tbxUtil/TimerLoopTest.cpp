#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "tbx/TimerEvent.h"
#include "tbxUtil/TbxTestSeams.h"

namespace {

using tbx::CTimerLoop;

// Runs the loop on the calling thread until a callback quits it; a watchdog quits it after
// 20 s of real time. True when a callback (not the watchdog) ended it.
bool RunLoop() {
  std::mutex mutex;
  std::condition_variable done;
  bool finished = false;
  std::atomic<bool> timedOut{false};
  std::thread watchdog([&] {
    std::unique_lock<std::mutex> lock(mutex);
    if (!done.wait_for(lock, std::chrono::seconds(20), [&] { return finished; })) {
      timedOut = true;
      tbx::testing::QuitTimerLoop();
    }
  });
  int result = CTimerLoop::exec();
  {
    std::lock_guard<std::mutex> hold(mutex);
    finished = true;
  }
  done.notify_all();
  watchdog.join();
  return result == 0 && !timedOut;
}

// A timer object whose callback is a function; records the ids it saw.
class Probe : public tbx::CTimerEvent {
 public:
  explicit Probe(std::function<void(Probe&, uint64_t)> onTimer = nullptr)
      : onTimer_(std::move(onTimer)) {}
  void OnTimer(uint64_t timerId) override {
    fired.push_back(timerId);
    if (onTimer_) {
      onTimer_(*this, timerId);
    }
  }
  std::vector<uint64_t> fired;  // touched on the loop thread only

 private:
  std::function<void(Probe&, uint64_t)> onTimer_;
};

class TimerLoopTest : public ::testing::Test {
 protected:
  void TearDown() override { tbx::testing::OverrideTimeScale(0); }
};

TEST_F(TimerLoopTest, FiresDueTimersEarliestFirstWhateverTheStartOrder) {
  std::vector<char> order;
  Probe slow([&](Probe&, uint64_t) {
    order.push_back('s');
    tbx::testing::QuitTimerLoop();
  });
  Probe medium([&](Probe& self, uint64_t id) {
    order.push_back('m');
    self.killTimer(id);
  });
  Probe fast([&](Probe& self, uint64_t id) {
    order.push_back('f');
    self.killTimer(id);
  });
  ASSERT_NE(0u, slow.startTimer(300));
  ASSERT_NE(0u, medium.startTimer(150));
  ASSERT_NE(0u, fast.startTimer(20));
  ASSERT_TRUE(RunLoop());
  EXPECT_EQ((std::vector<char>{'f', 'm', 's'}), order);
}

TEST_F(TimerLoopTest, RepeatsUntilKilledAndReportsItsOwnId) {
  Probe repeating([](Probe& self, uint64_t id) {
    if (self.fired.size() == 4) {
      EXPECT_TRUE(self.killTimer(id));
      EXPECT_FALSE(self.killTimer(id));  // already stopped
    }
  });
  Probe stopper([&](Probe&, uint64_t) {
    if (repeating.fired.size() >= 4) {
      tbx::testing::QuitTimerLoop();
    }
  });
  uint64_t id = repeating.startTimer(5);
  ASSERT_NE(0u, id);
  ASSERT_NE(0u, stopper.startTimer(60));
  ASSERT_TRUE(RunLoop());
  EXPECT_EQ(std::vector<uint64_t>(4, id), repeating.fired);
}

TEST_F(TimerLoopTest, RefusesAZeroIntervalAndForeignOrUnknownIds) {
  Probe first;
  Probe second;
  EXPECT_EQ(0u, first.startTimer(0));
  uint64_t a = first.startTimer(100000);
  uint64_t b = first.startTimer(100000);
  EXPECT_NE(0u, a);
  EXPECT_NE(a, b);
  EXPECT_FALSE(second.killTimer(a));
  EXPECT_FALSE(first.killTimer(0));
  EXPECT_TRUE(first.killTimer(a));
}

TEST_F(TimerLoopTest, ATimerStartedInsideACallbackFires) {
  Probe inner([](Probe&, uint64_t) { tbx::testing::QuitTimerLoop(); });
  uint64_t innerId = 0;
  Probe outer([&](Probe& self, uint64_t id) {
    self.killTimer(id);
    innerId = inner.startTimer(10, 77);
  });
  ASSERT_NE(0u, outer.startTimer(10));
  ASSERT_TRUE(RunLoop());
  ASSERT_NE(0u, innerId);
  EXPECT_EQ(std::vector<uint64_t>{innerId}, inner.fired);
}

TEST_F(TimerLoopTest, QuitFromAnotherThreadEndsTheLoop) {
  std::thread loop([] { EXPECT_EQ(0, CTimerLoop::exec()); });
  tbx::testing::QuitTimerLoop();  // before or after the loop started: it returns either way
  loop.join();
}

TEST_F(TimerLoopTest, ADestroyedObjectIsNeverCalledBack) {
  auto doomed = std::make_unique<Probe>();
  ASSERT_NE(0u, doomed->startTimer(1));
  doomed.reset();
  Probe stopper([](Probe& self, uint64_t) {
    if (self.fired.size() == 5) {
      tbx::testing::QuitTimerLoop();
    }
  });
  stopper.startTimer(5);
  EXPECT_TRUE(RunLoop());  // a callback into the freed object would fault here
}

std::atomic<bool> g_entered{false};
std::atomic<bool> g_destroying{false};
std::atomic<bool> g_finished{false};

// Its callback uses a member while the object is destroyed on another thread: the subclass
// kills its timer first, so the wait happens while the member still exists.
class BlockingTimer : public tbx::CTimerEvent {
 public:
  void Start() { id_ = startTimer(5); }
  ~BlockingTimer() override { killTimer(id_); }
  void OnTimer(uint64_t) override {
    g_entered = true;
    while (!g_destroying) {
      std::this_thread::yield();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ++calls_;
    g_finished = calls_ > 0;
  }

 private:
  uint64_t id_ = 0;            // the running timer
  std::atomic<int> calls_{0};  // callbacks completed
};

TEST_F(TimerLoopTest, DestructionWaitsForTheObjectsRunningCallback) {
  auto* slow = new BlockingTimer;
  slow->Start();
  std::thread loop([] { CTimerLoop::exec(); });
  while (!g_entered) {
    std::this_thread::yield();
  }
  g_destroying = true;
  delete slow;
  EXPECT_TRUE(g_finished);
  tbx::testing::QuitTimerLoop();
  loop.join();
}

class SelfDestroyingTimer : public tbx::CTimerEvent {
 public:
  explicit SelfDestroyingTimer(bool* destroyed) : destroyed_(destroyed) {}
  ~SelfDestroyingTimer() override { *destroyed_ = true; }
  void OnTimer(uint64_t) override {
    tbx::testing::QuitTimerLoop();
    delete this;  // must not wait for its own callback
  }

 private:
  bool* destroyed_;
};

TEST_F(TimerLoopTest, AnObjectMayDestroyItselfInItsCallback) {
  bool destroyed = false;
  (new SelfDestroyingTimer(&destroyed))->startTimer(5);
  EXPECT_TRUE(RunLoop());
  EXPECT_TRUE(destroyed);
}

}  // namespace
