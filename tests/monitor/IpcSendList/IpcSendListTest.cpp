#include <atomic>
#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "IpcClient/IpcSendList.h"
#include "SendListTestSupport.h"
#include "support/TestSupport.h"

namespace {

using sendlist_test::Message;
using sendlist_test::PopWithoutHanging;
using sendlist_test::ScopedQueueLimit;

class SendList : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(list_.InitSemaphore()); }

  // Pops `n` messages and returns their data texts in the order they left.
  std::vector<std::string> PopData(int n) {
    std::vector<std::string> data;
    for (int i = 0; i < n; ++i) {
      IpcMessage out;
      if (!PopWithoutHanging(list_, out)) {
        break;
      }
      data.push_back(out.data);
    }
    return data;
  }

  CIpcSendList list_;
};

// The limit is asked at every push; each priority has its own bound.
TEST_F(SendList, AcceptsLimitPlusOneMessagesPerPriority) {
  {
    ScopedQueueLimit limit(4);
    ASSERT_EQ(limit.limit(), 4);
    for (int i = 0; i < 5; ++i) {
      EXPECT_TRUE(list_.Push(Message("m" + std::to_string(i), 2), 2)) << i;
    }
    EXPECT_FALSE(list_.Push(Message("m5", 2), 2));
    EXPECT_EQ(list_.Count(), 5u);
    EXPECT_TRUE(list_.Push(Message("other", 1), 1));
    // Taking one message makes room for exactly one more.
    EXPECT_EQ(PopData(2), (std::vector<std::string>{"other", "m0"}));
    EXPECT_TRUE(list_.Push(Message("m5", 2), 2));
    EXPECT_FALSE(list_.Push(Message("m6", 2), 2));
  }
  ScopedQueueLimit raised(5);
  ASSERT_EQ(raised.limit(), 5);
  EXPECT_TRUE(list_.Push(Message("m6", 2), 2));
}

TEST_F(SendList, RealLimitAcceptsThe3001stAndRefusesThe3002nd) {
  // Without an override the limit comes from the (absent) configuration file: ratio 1.
  ASSERT_EQ(QueueLimitInForce(), 3000);
  for (int i = 0; i < 3001; ++i) {
    ASSERT_TRUE(list_.Push(Message("x", 4), 4)) << i;
  }
  EXPECT_FALSE(list_.Push(Message("x", 4), 4));
  EXPECT_TRUE(list_.Push(Message("x", 0), 0));
  EXPECT_EQ(list_.Count(), 3002u);
}

TEST_F(SendList, RefusesPrioritiesOutsideZeroToFour) {
  EXPECT_FALSE(list_.Push(Message("x", -1), -1));
  EXPECT_FALSE(list_.Push(Message("x", 5), 5));
  EXPECT_EQ(list_.Count(), 0u);
}

// A failed send goes back behind what came meanwhile.
TEST_F(SendList, MoreUrgentPrioritiesLeaveFirstEachInOrderAndAPutBackGoesToTheTail) {
  list_.Push(Message("three", 3), 3);
  list_.Push(Message("a", 2), 2);
  list_.Push(Message("b", 2), 2);
  list_.Push(Message("zero", 0), 0);
  EXPECT_EQ(PopData(1), std::vector<std::string>{"zero"});
  IpcMessage first;
  ASSERT_TRUE(PopWithoutHanging(list_, first));
  EXPECT_EQ(first.data, "a");
  list_.Push(Message("c", 2), 2);
  list_.Push(Message("one", 1), 1);
  list_.Push(first, first.priority);
  EXPECT_EQ(PopData(5), (std::vector<std::string>{"one", "b", "c", "a", "three"}));
}

TEST_F(SendList, WakeConsumerEndsABlockedPopWithoutAMessage) {
  IpcMessage out = Message("untouched", 4);
  auto pop = std::async(std::launch::async, [&] { return list_.Pop(out); });
  EXPECT_TRUE(list_.WakeConsumer());
  if (pop.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
    list_.Push(Message("rescue", 0), 0);  // frees the consumer so the test can end
    pop.wait();
    FAIL() << "WakeConsumer did not end the blocked Pop";
  }
  EXPECT_FALSE(pop.get());
  EXPECT_EQ(out.data, "untouched");
  // The wake-up used its count; a real message still arrives afterwards.
  list_.Push(Message("after", 0), 0);
  EXPECT_EQ(PopData(1), std::vector<std::string>{"after"});
}

// A signal that lands while Pop waits interrupts the wait; that is no semaphore failure, so
// Pop must wait on instead of ending the process.
TEST_F(SendList, PopWaitsOnAfterASignalInterruptsIt) {
  if (!korvex_test::WaitInterrupter::Available()) {
    GTEST_SKIP() << "no signal interrupts a wait on this system";
  }
  korvex_test::WaitInterrupter interrupter;

  IpcMessage out;
  std::atomic<bool> started{false};
  uintptr_t consumerThread = 0;
  auto pop = std::async(std::launch::async, [&] {
    consumerThread = korvex_test::WaitInterrupter::CurrentThread();
    started.store(true);
    return list_.Pop(out);
  });
  while (!started.load()) {
    std::this_thread::yield();
  }
  // Many signals over a while, so most arrive while the consumer is blocked in the wait.
  for (int i = 0; i < 200; ++i) {
    interrupter.Interrupt(consumerThread);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  list_.Push(Message("after signals", 3), 3);
  ASSERT_EQ(pop.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_TRUE(pop.get());
  EXPECT_EQ(out.data, "after signals");
  EXPECT_GT(interrupter.Handled(), 0);
}

TEST(SendListSemaphore, PushesBeforeInitAreKeptAndCountedOnInit) {
  CIpcSendList list;
  EXPECT_TRUE(list.Push(Message("early-2", 2), 2));
  EXPECT_TRUE(list.Push(Message("early-0", 0), 0));
  EXPECT_EQ(list.Count(), 2u);
  IpcMessage out = Message("untouched", 0);
  EXPECT_FALSE(list.Pop(out));  // no semaphore yet: nothing to wait on
  EXPECT_FALSE(list.WakeConsumer());
  EXPECT_EQ(out.data, "untouched");

  ASSERT_TRUE(list.InitSemaphore());
  ASSERT_TRUE(PopWithoutHanging(list, out));
  EXPECT_EQ(out.data, "early-0");
  ASSERT_TRUE(PopWithoutHanging(list, out));
  EXPECT_EQ(out.data, "early-2");
  EXPECT_EQ(list.Count(), 0u);
}

TEST(SendListSemaphore, PushAfterDestroyIsKeptUncountedUntilTheNextInit) {
  CIpcSendList list;
  ASSERT_TRUE(list.InitSemaphore());
  EXPECT_TRUE(list.InitSemaphore());  // a second init keeps the semaphore and its count
  ASSERT_TRUE(list.DestroySemaphore());
  EXPECT_FALSE(list.DestroySemaphore());

  EXPECT_TRUE(list.Push(Message("late", 1), 1));
  EXPECT_EQ(list.Count(), 1u);
  IpcMessage out;
  EXPECT_FALSE(list.Pop(out));

  ASSERT_TRUE(list.InitSemaphore());
  ASSERT_TRUE(PopWithoutHanging(list, out));
  EXPECT_EQ(out.data, "late");
}

}  // namespace
