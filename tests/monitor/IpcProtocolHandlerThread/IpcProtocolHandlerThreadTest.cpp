#include "IpcClient/IpcProtocolHandlerThread.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include <gtest/gtest.h>

#include "IpcClient/AgentIpcClientPlatform.h"
#include "support/FakeAgentServices.h"
#include "support/FakeIpcClientPlatform.h"
#include "support/ProtocolHandlers.h"
#include "support/TestSupport.h"
#include "tbx/ThreadUtil.h"
#include "tbxUtil/TbxTestSeams.h"
#include "valkoConfig/ConfigTestSeams.h"

namespace {

using korvex_test::GateHandler;
using korvex_test::LogTail;
using korvex_test::RecordingHandler;
using korvex_test::WaitUntil;

// Calls of AddExceptonInfo that count one dropped received message.
size_t DropCalls() {
  const std::vector<std::string> calls = fake_services::CounterCalls();
  return std::count(calls.begin(), calls.end(), "korvexmonitor_drop_recv_ipc_msg/1/1/1");
}

std::string Message(const std::string& type, const std::string& dataJson) {
  return "{\"type\":\"" + type + "\",\"data\":" + dataJson + "}";
}

void SetQueueLimit(int limit) {
  valko::testing::OverrideQueueSizeRatio(limit / 3000.0);
}

// The receiving thread on the counting platform, its cycles at 1 % of their length; the gate
// holds the thread inside a dispatch so that pushed texts stay queued.
class ProtocolThreadTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    korvex_test::OpenProcessLog();
    tbx::testing::OverrideTimeScale(0.01);
  }
  void SetUp() override {
    fake::Reset();
    fake::Configure([](fake::Settings& s) { s.sleepMicrosecondsPerMillisecond = 10; });
    SetQueueLimit(3000);
    thread_ = std::make_unique<CIpcProtocolHandlerThread>(fake::Platform());
    thread_->RegisterProtocolHandler("T_GATE", &gate_);
  }
  void TearDown() override {
    gate_.Open();
    thread_.reset();
    korvex_test::FreezeClock(0);
  }
  void HoldThread() {
    thread_->PushMessage(Message("T_GATE", "\"\""));
    ASSERT_TRUE(gate_.WaitEntered(1));
  }

  GateHandler gate_;
  std::unique_ptr<CIpcProtocolHandlerThread> thread_;
};

TEST_F(ProtocolThreadTest, DropsTextsPastTheLimitAskedAtEachPush) {
  RecordingHandler handler;
  thread_->RegisterProtocolHandler("T_A", &handler);
  HoldThread();
  SetQueueLimit(3);
  for (int i = 0; i < 5; ++i) {
    thread_->PushMessage(Message("T_A", "\"" + std::to_string(i) + "\""));
  }
  EXPECT_EQ(DropCalls(), 2u);
  SetQueueLimit(4);  // room for exactly one more
  thread_->PushMessage(Message("T_A", "\"5\""));
  thread_->PushMessage(Message("T_A", "\"6\""));
  EXPECT_EQ(DropCalls(), 3u);

  gate_.Open();
  ASSERT_TRUE(WaitUntil([&] { return handler.CallCount() == 4; }));
  EXPECT_EQ(handler.Calls(), (std::vector<std::string>{"0", "1", "2", "5"}));
}

TEST_F(ProtocolThreadTest, LogsTheFirstAndEveryThousandthDrop) {
  LogTail log;
  HoldThread();
  SetQueueLimit(0);
  for (int i = 0; i < 1001; ++i) {
    thread_->PushMessage("x");
  }
  fake_services::SetCounterTotal(4294968000);  // past 32 bits: the total prints in full
  thread_->PushMessage("x");
  EXPECT_EQ(log.Count("network drop recv message count 1", 3), 1);
  EXPECT_EQ(log.Count("network drop recv message count 1001"), 1);
  EXPECT_EQ(log.Count("network drop recv message count 4294968001"), 1);
  EXPECT_EQ(log.CountContaining("network drop recv message count"), 3);
}

TEST_F(ProtocolThreadTest, LogsFailuresArrivalsAndUnhandledTypes) {
  LogTail log;
  RecordingHandler quiet;
  RecordingHandler marker;
  thread_->RegisterProtocolHandler("T_MSG_FILE_GET", &quiet);
  thread_->RegisterProtocolHandler("T_MARK", &marker);
  for (const std::string& text : {std::string(), std::string("not json"), std::string("[1]"),
                                  Message("T_NUMBER_DATA", "5"), std::string("{\"data\":\"x\"}"),
                                  Message("T_MSG_FILE_GET", "{}"), Message("T_MARK", "{}")}) {
    thread_->PushMessage(text);
  }
  // The handlers are called in arrival order: once the marker's has run, every text before it
  // was handled, and no handler runs any more when they go out of scope.
  ASSERT_TRUE(WaitUntil([&] { return marker.CallCount() == 1; }));
  EXPECT_EQ(log.Count("CProtocol::Deserialize Fail : "), 3);
  EXPECT_EQ(log.Count("CProtocol::Deserialize Fail : T_NUMBER_DATA", 3), 1);
  EXPECT_EQ(log.Count("GetMessage : ", 4), 1);  // the dispatch under the empty type
  EXPECT_EQ(log.Count("ProtocolHandler Find NULL : ", 3), 1);
  EXPECT_EQ(log.Count("GetMessage : T_MSG_FILE_GET"), 0);
  EXPECT_EQ(quiet.Calls(), std::vector<std::string>{"{}"});
}

TEST_F(ProtocolThreadTest, ReportsLivenessWhenIdleAndAfterEveryMessage) {
  ASSERT_TRUE(WaitUntil([] { return !fake_services::Heartbeats().empty(); }));
  // 50 queued texts are taken in 50 consecutive cycles, which hold at most one idle report.
  std::vector<size_t> beatsSeen;
  RecordingHandler handler([&] { beatsSeen.push_back(fake_services::Heartbeats().size()); });
  thread_->RegisterProtocolHandler("T_A", &handler);
  HoldThread();
  for (int i = 0; i < 50; ++i) {
    thread_->PushMessage(Message("T_A", "{}"));
  }
  gate_.Open();
  ASSERT_TRUE(WaitUntil([&] { return handler.CallCount() == 50; }));
  EXPECT_GE(beatsSeen.back() - beatsSeen.front(), 49u);

  uint64_t protocolId = 0;
  RecordingHandler whoAmI([&] { protocolId = tbx::CThreadUtil::GetCurrentThreadId(); });
  thread_->RegisterProtocolHandler("T_ID", &whoAmI);
  thread_->PushMessage(Message("T_ID", "{}"));
  ASSERT_TRUE(WaitUntil([&] { return whoAmI.CallCount() == 1; }));
  for (const fake_services::Heartbeat& beat : fake_services::Heartbeats()) {
    EXPECT_EQ(beat.threadId, static_cast<uint32_t>(protocolId));
    EXPECT_EQ(beat.name, "Protocol");
    EXPECT_EQ(beat.timeoutSeconds, 1800u);
  }
  EXPECT_EQ(tbx::CThreadUtil::GetThreadName(static_cast<int64_t>(protocolId)), "Protocol");
}

TEST_F(ProtocolThreadTest, CountsDispatchesLongerThan300Seconds) {
  LogTail log;
  int64_t now = 1700000000;
  korvex_test::FreezeClock(now);
  const std::vector<int64_t> jumps{300, -5000, 301, 7200};  // seconds each dispatch "takes"
  size_t next = 0;
  RecordingHandler clockMover([&] { korvex_test::FreezeClock(now += jumps[next++]); });
  RecordingHandler marker;
  thread_->RegisterProtocolHandler("T_SLOW", &clockMover);
  thread_->RegisterProtocolHandler("T_MARK", &marker);
  for (size_t i = 0; i < jumps.size(); ++i) {
    thread_->PushMessage(Message("T_SLOW", "{}"));
  }
  thread_->PushMessage(Message("T_MARK", "{}"));
  ASSERT_TRUE(WaitUntil([&] { return marker.CallCount() == 1; }));
  EXPECT_EQ(log.Count("over time ipc handle, strMsgType[T_SLOW] interval[301]", 3), 1);
  EXPECT_EQ(log.Count("over time ipc handle, strMsgType[T_SLOW] interval[7200]"), 1);
  EXPECT_EQ(log.CountContaining("over time ipc handle"), 2);
  EXPECT_EQ(thread_->TakeLongHandleCount(), 2u);
  EXPECT_EQ(thread_->TakeLongHandleCount(), 0u);
}

// The agent libraries themselves: the process has no resource monitor to report to.
TEST(ProtocolThreadWithoutMonitor, DispatchesWithoutLivenessReports) {
  RecordingHandler handler;
  CIpcProtocolHandlerThread thread(CAgentIpcClientPlatform::Instance());
  thread.RegisterProtocolHandler("T_A", &handler);
  thread.PushMessage(Message("T_A", "\"x\""));
  EXPECT_TRUE(WaitUntil([&] { return handler.CallCount() == 1; }));
}

// Dispatch on the calling thread; the receiving thread stays idle.
class DispatchTest : public ::testing::Test {
 protected:
  CIpcProtocolHandlerThread thread_{fake::Platform()};
  RecordingHandler first_;
  RecordingHandler second_;
};

TEST_F(DispatchTest, RegistrationRules) {
  EXPECT_FALSE(thread_.RegisterProtocolHandler("", &first_));
  EXPECT_FALSE(thread_.RegisterProtocolHandler("T_A", nullptr));
  EXPECT_FALSE(thread_.DispatchProtocol("", "d"));
  EXPECT_FALSE(thread_.DispatchProtocol("T_A", "d"));

  EXPECT_TRUE(thread_.RegisterProtocolHandler("T_A", &first_));
  EXPECT_TRUE(thread_.RegisterProtocolHandler("T_A", &first_));
  EXPECT_TRUE(thread_.RegisterProtocolHandler("T_A", &second_));
  EXPECT_TRUE(thread_.RegisterProtocolHandler("T_B", &first_));
  std::vector<std::string> order;
  RecordingHandler third([&] { order.push_back("third"); });
  RecordingHandler fourth([&] { order.push_back("fourth"); });
  thread_.RegisterProtocolHandler("T_C", &fourth);
  thread_.RegisterProtocolHandler("T_C", &third);
  EXPECT_TRUE(thread_.DispatchProtocol("T_C", "d"));
  EXPECT_EQ(order, (std::vector<std::string>{"fourth", "third"}));

  EXPECT_TRUE(thread_.DispatchProtocol("T_A", "d1"));
  EXPECT_EQ(first_.CallCount(), 1u);
  EXPECT_EQ(second_.CallCount(), 1u);

  EXPECT_FALSE(thread_.UnRegisterProtocolHandler("", &first_));
  EXPECT_FALSE(thread_.UnRegisterProtocolHandler("T_A", nullptr));
  EXPECT_TRUE(thread_.UnRegisterProtocolHandler("T_A", &first_));
  EXPECT_TRUE(thread_.UnRegisterProtocolHandler("T_A", &first_));  // absent is fine
  EXPECT_TRUE(thread_.DispatchProtocol("T_A", "d2"));
  EXPECT_TRUE(thread_.DispatchProtocol("T_B", "d3"));
  EXPECT_EQ(first_.Calls(), (std::vector<std::string>{"d1", "d3"}));
  EXPECT_EQ(second_.Calls(), (std::vector<std::string>{"d1", "d2"}));
}

TEST_F(DispatchTest, HandlersMayChangeTheRegistryFromInsideHandle) {
  RecordingHandler remover([&] {
    thread_.UnRegisterProtocolHandler("T_A", &second_);
    thread_.RegisterProtocolHandler("T_B", &first_);
  });
  thread_.RegisterProtocolHandler("T_A", &remover);
  thread_.RegisterProtocolHandler("T_A", &second_);
  EXPECT_TRUE(thread_.DispatchProtocol("T_A", "d"));
  EXPECT_EQ(second_.CallCount(), 0u);  // removed before its turn
  EXPECT_TRUE(thread_.DispatchProtocol("T_B", "d"));
  EXPECT_EQ(first_.CallCount(), 1u);

  RecordingHandler* self = nullptr;
  RecordingHandler removesItself([&] { thread_.UnRegisterProtocolHandler("T_S", self); });
  self = &removesItself;
  thread_.RegisterProtocolHandler("T_S", &removesItself);
  EXPECT_TRUE(thread_.DispatchProtocol("T_S", "d"));
  EXPECT_FALSE(thread_.DispatchProtocol("T_S", "d"));
  EXPECT_EQ(removesItself.CallCount(), 1u);
}

TEST_F(DispatchTest, UnregisterWaitsForARunningDispatchAndEndsCalls) {
  GateHandler gate;
  thread_.RegisterProtocolHandler("T_A", &gate);
  std::thread dispatcher([&] { thread_.DispatchProtocol("T_A", "d"); });
  ASSERT_TRUE(gate.WaitEntered(1));
  std::atomic<bool> removing{false};
  std::atomic<bool> unregistered{false};
  std::thread remover([&] {
    removing = true;
    thread_.UnRegisterProtocolHandler("T_A", &gate);
    unregistered = true;
  });
  EXPECT_TRUE(WaitUntil([&] { return removing.load(); }));
  // Room for a removal that does not wait to come back: it must not while the handler runs.
  EXPECT_FALSE(WaitUntil([&] { return unregistered.load(); }, std::chrono::milliseconds(50)));
  gate.Open();
  remover.join();
  dispatcher.join();
  EXPECT_FALSE(thread_.DispatchProtocol("T_A", "d"));
}

}  // namespace
