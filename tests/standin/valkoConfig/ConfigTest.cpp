#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include <filesystem>
#include <regex>

#include "support/TestSupport.h"
#include "valko/Config.h"
#include "valkoConfig/ConfigTestSeams.h"

namespace {

using korvex_test::TempAppDir;
using korvex_test::WriteText;

class QueueSizeRatio : public ::testing::Test {
 protected:
  void SetUp() override { valko::testing::ClearQueueSizeRatioOverride(); }
  void TearDown() override { valko::testing::ClearQueueSizeRatioOverride(); }

  // Writes the ratio file, then makes the next call read it.
  void WriteRatioFile(const std::string& content) {
    ASSERT_TRUE(WriteText(dir_.File("conf/online_client_conf"), content));
    valko::testing::ClearQueueSizeRatioOverride();
  }

  TempAppDir dir_;
};

TEST_F(QueueSizeRatio, ScalesTheBaseByTheConfiguredRatioRoundedDown) {
  WriteRatioFile("# queues\nqueue_size_ratio = 0.5\n");
  EXPECT_EQ(COnlineClientConf::CalcMaxCountWithQueueSizeRatio(3000), 1500);
  WriteRatioFile("queue_size_ratio=2.5\n");
  EXPECT_EQ(COnlineClientConf::CalcMaxCountWithQueueSizeRatio(3), 7);
  WriteRatioFile("queue_size_ratio = 0\n");
  EXPECT_EQ(COnlineClientConf::CalcMaxCountWithQueueSizeRatio(3000), 0);
}

TEST_F(QueueSizeRatio, DefaultsToOneWithoutFileOrKey) {
  EXPECT_EQ(COnlineClientConf::CalcMaxCountWithQueueSizeRatio(3000), 3000);
  WriteRatioFile("other_key = 4\n");
  EXPECT_EQ(COnlineClientConf::CalcMaxCountWithQueueSizeRatio(3000), 3000);
}

TEST_F(QueueSizeRatio, MalformedValuesFallBackToOne) {
  for (const char* value : {"abc", "-1", "1.5x", "", "+2", "0x10", "nan", "inf", "1e999"}) {
    WriteRatioFile(std::string("queue_size_ratio = ") + value + "\n");
    EXPECT_EQ(COnlineClientConf::CalcMaxCountWithQueueSizeRatio(3000), 3000) << value;
  }
}

TEST_F(QueueSizeRatio, AHugeRatioSaturatesInsteadOfOverflowing) {
  WriteRatioFile("queue_size_ratio = 100000000000000000000\n");
  EXPECT_EQ(COnlineClientConf::CalcMaxCountWithQueueSizeRatio(3000), INT64_MAX);
}

TEST_F(QueueSizeRatio, ManyThreadsAskingAtOnceAllSeeTheConfiguredLimit) {
  WriteRatioFile("queue_size_ratio = 0.25\n");
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 20000; ++i) {
        if (COnlineClientConf::CalcMaxCountWithQueueSizeRatio(3000) != 750) {
          ++wrong;
        }
      }
    });
  }
  for (std::thread& thread : threads) {
    thread.join();
  }
  EXPECT_EQ(wrong.load(), 0);
}

class ConfigFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    config_ = CSingleton<CConfig>::NewInstance();
    ASSERT_NE(config_, nullptr);
  }
  void TearDown() override { CSingleton<CConfig>::RemoveInstance(); }

  TempAppDir dir_;
  CConfig* config_ = nullptr;
};

TEST_F(ConfigFiles, ClientVersionIsTheTrimmedFirstLineAndAbsentOrEmptyIsFalse) {
  std::string version = "stale";
  EXPECT_FALSE(config_->GetClientVersion(version));
  EXPECT_EQ(version, "");
  ASSERT_TRUE(WriteText(dir_.File("conf/version"), "\n"));
  version = "stale";
  EXPECT_FALSE(config_->GetClientVersion(version));
  EXPECT_EQ(version, "");
  ASSERT_TRUE(WriteText(dir_.File("conf/version"), "  3.2.0.1 \r\nsecond line\n"));
  EXPECT_TRUE(config_->GetClientVersion(version));
  EXPECT_EQ(version, "3.2.0.1");
}

TEST_F(ConfigFiles, MachineUuidIsLoadedWhenPresentAndKeptWhenLaterAbsent) {
  EXPECT_FALSE(config_->LoadMachineUuidFromFile());
  EXPECT_EQ(valko::testing::LoadedMachineUuid(), "");
  ASSERT_TRUE(WriteText(dir_.File("conf/machine_uuid"), "4f2a-77\n"));
  EXPECT_TRUE(config_->LoadMachineUuidFromFile());
  EXPECT_EQ(valko::testing::LoadedMachineUuid(), "4f2a-77");
  std::filesystem::remove(dir_.File("conf/machine_uuid"));
  EXPECT_FALSE(config_->LoadMachineUuidFromFile());
  EXPECT_EQ(valko::testing::LoadedMachineUuid(), "4f2a-77");
}

TEST_F(ConfigFiles, IdentityAddressIsANonLoopbackIpv4AddressOrNothing) {
  std::string address = "stale";
  if (config_->GetIdentityIp(address)) {
    const std::string octet = "(25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9]?[0-9])";
    EXPECT_TRUE(std::regex_match(address,
                                 std::regex(octet + "\\." + octet + "\\." + octet + "\\." + octet)))
        << address;
    EXPECT_NE(address.rfind("127.", 0), 0u) << address;
  } else {
    EXPECT_EQ(address, "");
  }
}

}  // namespace
