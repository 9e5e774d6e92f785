#include "KorvexCommon/KorvexMonitorHeartbeat.h"

#include <gtest/gtest.h>
#include <json/json.h>

#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "support/FakeTransmit.h"
#include "support/TestSupport.h"
#include "tbxUtil/TbxTestSeams.h"
#include "valko/MsgTransmitProxy.h"

namespace {

using korvex_test::FakeTransmit;
using korvex_test::SentMessage;

constexpr int64_t kJanuary1st2100 = 4102444800;  // past every 32-bit seconds counter

// A timer that is never due within a test; only its id is used.
class IdleTimer : public tbx::CTimerEvent {
 public:
  void OnTimer(uint64_t) override {}
};

class HeartbeatTest : public ::testing::Test {
 protected:
  void SetUp() override {
    korvex_test::OpenProcessLog();
    proxy_ = CSingleton<CMsgTransmitProxy>::NewInstance();
    ASSERT_NE(proxy_, nullptr);
  }
  void TearDown() override {
    while (CSingleton<CKorvexMonitorHeartbeat>::GetInstance() != nullptr) {
      CSingleton<CKorvexMonitorHeartbeat>::RemoveInstance();
    }
    CSingleton<CMsgTransmitProxy>::RemoveInstance();
    korvex_test::FreezeClock(0);
    tbx::testing::OverrideTimeScale(0);
  }

  CKorvexMonitorHeartbeat* CreateHeartbeat() {
    return CSingleton<CKorvexMonitorHeartbeat>::NewInstance();
  }

  CMsgTransmitProxy* proxy_ = nullptr;
  FakeTransmit transmit_;
};

TEST_F(HeartbeatTest, ConstructionQueuesExactlyOneHeartbeatWithTheStyledBody) {
  korvex_test::FreezeClock(korvex_test::kMarch9th2024At170542);
  ASSERT_TRUE(proxy_->InitProxy(&transmit_));
  ASSERT_NE(CreateHeartbeat(), nullptr);

  const std::vector<SentMessage> sent = transmit_.sent();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].type, "T_MSG_KORVEXMONITOR_IPC_HEART");
  EXPECT_EQ(sent[0].traceId, "");
  EXPECT_EQ(sent[0].priority, 1);
  EXPECT_FALSE(sent[0].keepFlag);
  // Key order whatever the build order, three blanks in, " : ", a final line end.
  EXPECT_EQ(sent[0].data,
            "{\n"
            "   \"plugin_name\" : \"KorvexMonitor\",\n"
            "   \"proc_name\" : \"" +
                korvex_test::OwnExecutableFileName() +
                "\",\n"
                "   \"state\" : \"running\",\n"
                "   \"ts\" : 1710003942\n"
                "}\n");
}

TEST_F(HeartbeatTest, TsIsTheCurrentTimeInWholeSecondsAsAJsonInteger) {
  ASSERT_TRUE(proxy_->InitProxy(&transmit_));
  const int64_t before = static_cast<int64_t>(std::time(nullptr));
  ASSERT_NE(CreateHeartbeat(), nullptr);
  const int64_t after = static_cast<int64_t>(std::time(nullptr));

  ASSERT_EQ(transmit_.sent().size(), 1u);
  Json::Value beat;
  ASSERT_TRUE(Json::Reader().parse(transmit_.sent()[0].data, beat));
  ASSERT_TRUE(beat["ts"].isIntegral()) << transmit_.sent()[0].data;
  EXPECT_GE(beat["ts"].asInt64(), before);
  EXPECT_LE(beat["ts"].asInt64(), after);

  // A time beyond 32 bits keeps every digit.
  korvex_test::FreezeClock(kJanuary1st2100);
  ASSERT_TRUE(CSingleton<CKorvexMonitorHeartbeat>::GetInstance()->SendHeartbeat());
  ASSERT_EQ(transmit_.sent().size(), 2u);
  EXPECT_NE(transmit_.sent()[1].data.find("   \"ts\" : 4102444800\n}\n"), std::string::npos)
      << transmit_.sent()[1].data;
}

TEST_F(HeartbeatTest, EveryTickOfItsOwnTimerSendsOneMoreAndOtherTimersSendNothing) {
  ASSERT_TRUE(proxy_->InitProxy(&transmit_));
  tbx::testing::OverrideTimeScale(0.001);  // a tick every 120 ms
  CKorvexMonitorHeartbeat* heartbeat = CreateHeartbeat();
  ASSERT_NE(heartbeat, nullptr);
  ASSERT_EQ(transmit_.sent().size(), 1u);

  IdleTimer other;
  const uint64_t otherId = other.startTimer(3600000);
  ASSERT_NE(otherId, 0u);
  heartbeat->OnTimer(otherId);
  EXPECT_EQ(transmit_.sent().size(), 1u) << "another timer's tick sent a heartbeat";

  std::thread loop([] { tbx::CTimerLoop::exec(); });
  const bool ticked = korvex_test::WaitUntil([&] { return transmit_.sent().size() >= 3; });
  tbx::testing::QuitTimerLoop();
  loop.join();
  ASSERT_TRUE(ticked) << "the heartbeat timer did not fire twice";
  for (const SentMessage& message : transmit_.sent()) {
    EXPECT_EQ(message.type, "T_MSG_KORVEXMONITOR_IPC_HEART");
  }
}

TEST_F(HeartbeatTest, WithoutATransmitInterfaceNothingIsSentAndTheNextTryGoesOut) {
  CKorvexMonitorHeartbeat* heartbeat = CreateHeartbeat();
  ASSERT_NE(heartbeat, nullptr) << "the heartbeat exists even when the first one is skipped";
  EXPECT_FALSE(heartbeat->SendHeartbeat());

  ASSERT_TRUE(proxy_->InitProxy(&transmit_));
  EXPECT_TRUE(heartbeat->SendHeartbeat());
  EXPECT_EQ(transmit_.sent().size(), 1u);
}

}  // namespace
