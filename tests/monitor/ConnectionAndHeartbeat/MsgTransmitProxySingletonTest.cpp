#include "IpcClient/MsgTransmitProxySingleton.h"

#include <gtest/gtest.h>

#include "IpcClient/IpcClient.h"
#include "KorvexCommon/KorvexMonitorHeartbeat.h"
#include "support/TestSupport.h"
#include "valko/MsgTransmitProxy.h"

namespace {

class CreateIpcClientAndProxyTest : public ::testing::Test {
 protected:
  void SetUp() override { korvex_test::OpenProcessLog(); }
  void TearDown() override {
    CSingleton<CKorvexMonitorHeartbeat>::RemoveInstance();
    CSingleton<CMsgTransmitProxy>::RemoveInstance();
    CSingleton<CIpcClient>::RemoveInstance();
  }
};

TEST_F(CreateIpcClientAndProxyTest, TheProxyLibraryHandsOutTheClientThatQueuesWhatItIsGiven) {
  ASSERT_EQ(GetMsgTransmitInstance(), nullptr) << "an interface before the wiring";
  ASSERT_TRUE(CreateIpcClientAndProxy());

  CIpcClient* client = CSingleton<CIpcClient>::GetInstance();
  ASSERT_NE(client, nullptr);
  // GetMsgTransmitInstance lives in the proxy library and reads the singleton exported here.
  EXPECT_EQ(GetMsgTransmitInstance(), static_cast<IMsgTransmitInterface*>(client));

  ASSERT_EQ(client->SendList().Count(), 0u);
  ASSERT_NE(CSingleton<CKorvexMonitorHeartbeat>::NewInstance(), nullptr);
  EXPECT_EQ(client->SendList().Count(), 1u) << "no connection is needed to queue the first one";
  EXPECT_GT(client->bufferedBytes.load(), 0);
}

}  // namespace
