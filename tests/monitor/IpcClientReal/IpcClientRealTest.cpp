// The IPC client against the stand-in IPC library and a server in the test: the queue that
// survives a restart of the agent's server. What a fresh connection sends is checked byte for
// byte end to end; the client's logic in detail against fakes of the library.
#include <stdlib.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "IpcClient/IpcClient.h"
#include "support/TestSupport.h"
#include "tbxIpc/IpcFrame.h"
#include "tbxIpc/IpcServer.h"
#include "tbxUtil/TbxTestSeams.h"
#include "monitor/IpcClient/AgentExpectations.h"
#include "valkoMt/MtService.h"

namespace {

using ipcclient_expect::kServerName;
using korvex_test::WaitUntil;

// The agent's end: records every frame of every client in arrival order.
class RecordingServer {
 public:
  RecordingServer()
      : server_(CIpcServer::Handlers{nullptr,
                                     [this](uint64_t, const CIpcServer::Message& message) {
                                       std::lock_guard<std::mutex> hold(mutex_);
                                       messages_.push_back(message);
                                       changed_.notify_all();
                                     },
                                     nullptr, nullptr}) {}

  CIpcServer& server() { return server_; }

  // Waits until `count` frames have arrived in all; false after 10 s.
  bool WaitFor(size_t count) {
    std::unique_lock<std::mutex> hold(mutex_);
    return changed_.wait_for(hold, std::chrono::seconds(10),
                             [&] { return messages_.size() >= count; });
  }
  std::vector<CIpcServer::Message> Messages() {
    std::lock_guard<std::mutex> hold(mutex_);
    return messages_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<CIpcServer::Message> messages_;  // guarded by mutex_
  CIpcServer server_;  // last: its handler threads end before the record goes
};

std::string Joined(const std::vector<std::string>& texts) {
  std::string joined;
  for (const std::string& text : texts) {
    joined += text + " ";
  }
  return joined;
}

class IpcClientRealTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    korvex_test::OpenProcessLog();
    tbx::testing::OverrideTimeScale(0.1);
  }
  void SetUp() override {
    client_ = CSingleton<CIpcClient>::NewInstance();
    ASSERT_NE(client_, nullptr);
    ASSERT_TRUE(client_->InitClient());
  }
  void TearDown() override {
    // The maintenance component outlives the client: it must not ask a deleted one.
    valko::standin::CMtService::Instance().RemoveSource(client_);
    CSingleton<CIpcClient>::RemoveInstance();
  }

  bool Connect() {
    return client_->ConnectServer() && WaitUntil([&] { return client_->IsConnected(); });
  }

  korvex_test::TempAppDir dir_;  // the queue configuration's home
  korvex_test::ScopedEnv ipcDir_{"TBX_IPC_DIR", dir_.File("ipc")};
  CIpcClient* client_ = nullptr;
  RecordingServer agent_;
};

TEST_F(IpcClientRealTest, AfterAServerRestartTheQueueArrivesInPriorityOrderExactlyOnce) {
  ASSERT_EQ(agent_.server().Start(kServerName), 0);
  ASSERT_TRUE(Connect());
  ASSERT_TRUE(agent_.WaitFor(4));
  agent_.server().Stop();
  ASSERT_TRUE(WaitUntil([&] { return !client_->IsConnected(); }));

  // The send thread was waiting on the empty list: it takes the first message at once, fails
  // to send it and puts it back. As the head of the most urgent list, and alone in it until the
  // configuration requests follow, it is the one taken whatever else is queued meanwhile, and
  // its place does not change.
  ASSERT_TRUE(client_->SendMsg("T_MSG_FIRST", "{}", "", 0, false));
  std::vector<std::string> expected[5];
  expected[0].push_back("T_MSG_FIRST");
  for (int i = 0; i < 40; ++i) {
    const int priority = 1 + (i * 7) % 4;  // 1..4, interleaved
    const std::string type = "T_MSG_" + std::to_string(i);
    ASSERT_TRUE(client_->SendMsg(type, "{\"i\":" + std::to_string(i) + "}", "", priority, false));
    expected[priority].push_back(type);
  }
  ASSERT_TRUE(WaitUntil([&] { return client_->SendList().Count() == 41; }));  // first one back

  ASSERT_EQ(agent_.server().Start(kServerName), 0);
  ASSERT_TRUE(client_->NeedReconnect());
  ASSERT_TRUE(Connect());
  // Everything sent: 2 requests before the restart, 43 messages after it.
  ASSERT_TRUE(WaitUntil([&] { return client_->sendCount.load() == 45; }));
  ASSERT_TRUE(agent_.WaitFor(4 + 2 + 43));  // what was sent has also been read
  const std::vector<CIpcServer::Message> messages = agent_.Messages();
  EXPECT_EQ(messages.size(), 4u + 2u + 43u);
  // The connected callback queues the configuration requests after the send thread may have
  // seen the connection, so their place among the others is not fixed; they come once each.
  std::vector<std::string> arrived;
  std::vector<std::string> requests;
  for (size_t i = 4; i < messages.size(); ++i) {
    if (messages[i].kind == kIpcFrameData) {
      const std::string& text = messages[i].text;
      const size_t at = text.find("\"type\":\"") + 8;
      const std::string type = text.substr(at, text.find('"', at) - at);
      (type.rfind("T_MSG_PULL_", 0) == 0 ? requests : arrived).push_back(type);
    }
  }
  EXPECT_EQ(Joined(requests), "T_MSG_PULL_CONF T_MSG_PULL_FILE_CONF ");
  std::vector<std::string> all;
  for (const std::vector<std::string>& list : expected) {
    all.insert(all.end(), list.begin(), list.end());
  }
  EXPECT_EQ(Joined(arrived), Joined(all));
  EXPECT_EQ(client_->dropCount.load(), 0u);
  EXPECT_EQ(client_->SendList().Count(), 0u);
}

}  // namespace
