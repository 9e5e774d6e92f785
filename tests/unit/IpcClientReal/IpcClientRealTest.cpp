// The IPC client against the stand-in IPC library and a server in the test: what the agent
// receives, byte for byte, and what survives a restart of the agent's server.
#include <stdlib.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "IpcClient/IpcClient.h"
#include "ipc/SimpleSerialization.h"
#include "tbx/LogMessage.h"
#include "tbxIpc/IpcFrame.h"
#include "tbxIpc/IpcServer.h"
#include "tbxUtil/TbxTestSeams.h"
#include "unit/IpcClient/AgentExpectations.h"

namespace {

using ipcclient_expect::kFallbackServerName;
using ipcclient_expect::kFirstDocument;
using ipcclient_expect::kPullConf;
using ipcclient_expect::kPullFileConf;
using ipcclient_expect::kSecondDocument;
using ipcclient_expect::kServerName;

// The application directory (log, queue configuration) and the socket directory in a fresh
// temporary directory; TBX_IPC_DIR is set before anything connects.
class RealIpcEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "unit_IpcClientReal_XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    setenv("TBX_IPC_DIR", (dir_ / "ipc").c_str(), 1);
    tbx::testing::OverrideTimeScale(0.1);
    tbx::testing::OverrideApplicationDir(dir_.string());
    tbx::CLogMessage::SetLogDirName("log");
    ASSERT_NE(tbx::CLogMessage::GetInstance(), nullptr);
  }
  void TearDown() override {
    tbx::CLogMessage::Flush();
    tbx::testing::OverrideApplicationDir("");
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }

 private:
  std::filesystem::path dir_;
};

[[maybe_unused]] const auto* const g_environment =
    ::testing::AddGlobalTestEnvironment(new RealIpcEnvironment);

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

std::map<std::string, std::string> HeaderFields(const std::string& header) {
  std::vector<CSimpleSerialization::Entry> entries;
  std::map<std::string, std::string> fields;
  if (CSimpleSerialization::Parse(header, entries)) {
    for (const CSimpleSerialization::Entry& entry : entries) {
      fields[entry.key] = entry.value;
    }
  }
  return fields;
}

bool WaitUntil(const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) {
      return done();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

std::string Joined(const std::vector<std::string>& texts) {
  std::string joined;
  for (const std::string& text : texts) {
    joined += text + " ";
  }
  return joined;
}

class IpcClientRealTest : public ::testing::Test {
 protected:
  void SetUp() override {
    client_ = CSingleton<CIpcClient>::NewInstance();
    ASSERT_NE(client_, nullptr);
    ASSERT_TRUE(client_->InitClient());
  }
  void TearDown() override { CSingleton<CIpcClient>::RemoveInstance(); }

  bool Connect() {
    return client_->ConnectServer() && WaitUntil([&] { return client_->IsConnected(); });
  }

  CIpcClient* client_ = nullptr;
  RecordingServer agent_;
};

TEST_F(IpcClientRealTest, TheAgentReceivesBothDocumentsAndTheRequestsByteForByte) {
  ASSERT_EQ(agent_.server().Start(kServerName), 0);
  ASSERT_TRUE(Connect());
  ASSERT_TRUE(agent_.WaitFor(4));
  const std::vector<CIpcServer::Message> messages = agent_.Messages();
  ASSERT_EQ(messages.size(), 4u);
  EXPECT_EQ(messages[0].kind, kIpcFrameReg);
  EXPECT_EQ(messages[0].text, kFirstDocument);
  EXPECT_EQ(messages[1].kind, kIpcFrameReg);
  EXPECT_EQ(messages[1].text, kSecondDocument);
  EXPECT_EQ(messages[2].kind, kIpcFrameData);
  EXPECT_EQ(messages[2].text, kPullConf);
  EXPECT_EQ(messages[3].kind, kIpcFrameData);
  EXPECT_EQ(messages[3].text, kPullFileConf);
}

TEST_F(IpcClientRealTest, ConnectsUnderTheSecondNameWhenOnlyThatOneListens) {
  ASSERT_EQ(agent_.server().Start(kFallbackServerName), 0);
  ASSERT_TRUE(Connect());
  ASSERT_TRUE(agent_.WaitFor(4));
}

TEST_F(IpcClientRealTest, ProtocolVersionTwoSendsEveryMessageWithItsHeader) {
  agent_.server().SetInitInfo("{\"version\":2}");
  ASSERT_EQ(agent_.server().Start(kServerName), 0);
  ASSERT_TRUE(Connect());
  ASSERT_TRUE(client_->SendMsgWithObjId("T_MSG_OBJ", "{\"k\":1}", "obj-7", "", 3, false));
  ASSERT_TRUE(agent_.WaitFor(5));
  const std::vector<CIpcServer::Message> messages = agent_.Messages();
  EXPECT_EQ(client_->IpcVersion(), 2);
  EXPECT_EQ(messages[2].kind, kIpcFrameDataEx);
  EXPECT_EQ(messages[2].text, "{}");
  EXPECT_EQ(HeaderFields(messages[2].header),
            (std::map<std::string, std::string>{{"type", "T_MSG_PULL_CONF"},
                                                {"prio", std::string(4, '\0')}}));
  EXPECT_EQ(messages[4].kind, kIpcFrameDataEx);
  EXPECT_EQ(messages[4].text, "{\"k\":1}");
  EXPECT_EQ(
      HeaderFields(messages[4].header),
      (std::map<std::string, std::string>{
          {"type", "T_MSG_OBJ"}, {"prio", std::string("\x03\0\0\0", 4)}, {"obj_id", "obj-7"}}));
}

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
  expected[0].push_back("T_MSG_PULL_CONF");  // queued on reconnection
  expected[0].push_back("T_MSG_PULL_FILE_CONF");
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
  std::vector<std::string> arrived;
  for (size_t i = 4; i < messages.size(); ++i) {
    if (messages[i].kind == kIpcFrameData) {
      const std::string& text = messages[i].text;
      const size_t at = text.find("\"type\":\"") + 8;
      arrived.push_back(text.substr(at, text.find('"', at) - at));
    }
  }
  std::vector<std::string> all;
  for (const std::vector<std::string>& list : expected) {
    all.insert(all.end(), list.begin(), list.end());
  }
  EXPECT_EQ(Joined(arrived), Joined(all));
  EXPECT_EQ(client_->dropCount.load(), 0u);
  EXPECT_EQ(client_->SendList().Count(), 0u);
}

}  // namespace
