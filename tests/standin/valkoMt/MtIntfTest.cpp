#include "valko/MtIntf.h"

#include <gtest/gtest.h>
#include <json/json.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

#include "support/FakeTransmit.h"
#include "support/TestSupport.h"
#include "tbxUtil/TbxTestSeams.h"
#include "valkoMt/MtService.h"

namespace {

using korvex_test::FakeTransmit;
using korvex_test::WaitUntil;
using valko::standin::CMtService;

// A source with one fixed counter (none when built without) that counts how often it is asked.
class FixedSource : public IMtInfo {
 public:
  FixedSource() = default;
  FixedSource(const std::string& key, const std::string& value) : info_{{key, value}} {}
  bool GetMtInfo(std::map<std::string, std::string>& info) override {
    ++asked;
    for (const auto& item : info_) {
      info.insert(item);
    }
    return true;
  }
  std::atomic<int> asked{0};

 private:
  std::map<std::string, std::string> info_;
};

class MtReport : public ::testing::Test {
 protected:
  void SetUp() override { tbx::testing::OverrideTimeScale(0.001); }  // a report every 60 ms
  void TearDown() override {
    service_.Stop();
    tbx::testing::OverrideTimeScale(0);
  }

  CMtService service_;
  FakeTransmit transmit_;
};

TEST(MtCounters, KeepRunningTotalsPerName) {
  EXPECT_EQ(CMtIntf::AddExceptonInfo("totals_a", 3, true, true), 3u);
  EXPECT_EQ(CMtIntf::AddExceptonInfo("totals_a", 4, true, true), 7u);
  EXPECT_EQ(CMtIntf::AddExceptonInfo("totals_b", 1, true, true), 1u);
  EXPECT_EQ(CMtIntf::AddExceptonInfo("totals_a", 2, true, false), 2u);  // set, not added
  EXPECT_EQ(CMtIntf::AddExceptonInfo("totals_a", 0, true, true), 2u);
}

TEST(MtCounters, ConcurrentAddsHandOutEveryTotalExactlyOnce) {
  constexpr int kThreads = 8;
  constexpr int kAdds = 5000;
  std::vector<std::vector<uint64_t>> totals(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&totals, t] {
      for (int i = 0; i < kAdds; ++i) {
        totals[t].push_back(CMtIntf::AddExceptonInfo("concurrent", 1, true, true));
      }
    });
  }
  for (std::thread& thread : threads) {
    thread.join();
  }
  std::vector<uint64_t> all;
  for (const auto& list : totals) {
    all.insert(all.end(), list.begin(), list.end());
  }
  std::sort(all.begin(), all.end());
  ASSERT_EQ(all.size(), static_cast<size_t>(kThreads * kAdds));
  for (size_t i = 0; i < all.size(); ++i) {
    ASSERT_EQ(all[i], i + 1);
  }
}

TEST_F(MtReport, SendsCountersAndSourcesAsOneMessage) {
  FixedSource source("ipc_recv_count", "12");
  ASSERT_TRUE(service_.AddSource(&source));
  service_.AddCounter("ipc_drop_count", 5, true, true);
  service_.AddCounter("hidden", 1, false, true);
  ASSERT_TRUE(service_.Init());
  ASSERT_TRUE(service_.Start(&transmit_, "korvexmonitor"));
  ASSERT_TRUE(WaitUntil([&] { return !transmit_.sent().empty(); }));
  service_.Stop();

  korvex_test::SentMessage message = transmit_.sent().front();
  EXPECT_EQ(message.type, "T_MSG_MT_INFO");
  EXPECT_EQ(message.traceId, "");
  EXPECT_EQ(message.priority, 4);
  EXPECT_FALSE(message.keepFlag);
  Json::Value data;
  ASSERT_TRUE(korvex_test::ParseJson(message.data, &data)) << message.data;
  EXPECT_EQ(data["owner"].asString(), "korvexmonitor");
  EXPECT_EQ(data["info"]["ipc_drop_count"].asString(), "5");
  EXPECT_EQ(data["info"]["ipc_recv_count"].asString(), "12");
  EXPECT_FALSE(data["info"].isMember("hidden"));
  service_.RemoveSource(&source);
}

TEST_F(MtReport, NothingIsSentWhileThereIsNothingToReport) {
  FixedSource empty;
  ASSERT_TRUE(service_.AddSource(&empty));
  service_.AddCounter("hidden", 1, false, true);
  ASSERT_TRUE(service_.Init());
  ASSERT_TRUE(service_.Start(&transmit_, "korvexmonitor"));
  ASSERT_TRUE(WaitUntil([&] { return empty.asked >= 3; }));  // three report periods passed
  service_.Stop();
  EXPECT_TRUE(transmit_.sent().empty());
  service_.RemoveSource(&empty);
}

TEST_F(MtReport, ARemovedSourceIsNotAskedAgain) {
  FixedSource clock("clock", "1");
  FixedSource removed("removed", "1");
  ASSERT_TRUE(service_.AddSource(&clock));
  ASSERT_TRUE(service_.AddSource(&removed));
  EXPECT_FALSE(service_.AddSource(&removed));  // once only
  ASSERT_TRUE(service_.Init());
  ASSERT_TRUE(service_.Start(&transmit_, "korvexmonitor"));
  ASSERT_TRUE(WaitUntil([&] { return removed.asked >= 1; }));
  ASSERT_TRUE(service_.RemoveSource(&removed));
  int asked = removed.asked;
  int clockNow = clock.asked;
  ASSERT_TRUE(WaitUntil([&] { return clock.asked >= clockNow + 3; }));
  EXPECT_EQ(removed.asked, asked);
  EXPECT_FALSE(service_.RemoveSource(&removed));
  service_.RemoveSource(&clock);
}

TEST_F(MtReport, StartNeedsInitAnInterfaceAndNoRunningReport) {
  EXPECT_FALSE(service_.Start(&transmit_, "korvexmonitor"));  // before Init
  ASSERT_TRUE(service_.Init());
  EXPECT_FALSE(service_.Start(nullptr, "korvexmonitor"));
  ASSERT_TRUE(service_.Start(&transmit_, "korvexmonitor"));
  EXPECT_FALSE(service_.Start(&transmit_, "korvexmonitor"));
  service_.Stop();
  EXPECT_TRUE(service_.Start(&transmit_, "korvexmonitor"));
}

}  // namespace
