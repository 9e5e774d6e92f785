#include "IpcClientTestSupport.h"

#include <json/json.h>

#include "Singleton.h"
#include "ipc/SimpleSerialization.h"
#include "tbxIpc/SerializationParser.h"
#include "valko/Config.h"
#include "valkoConfig/ConfigTestSeams.h"

namespace ipcclient_test {

std::string EnvelopeType(const std::string& text) {
  Json::Value root;
  Json::Reader reader;
  if (!reader.parse(text, root, false) || !root.isObject() || !root["type"].isString()) {
    return "";
  }
  return root["type"].asString();
}

std::string HeaderField(const std::string& header, const std::string& key, bool* present) {
  std::vector<SerializationEntry> entries;
  if (present != nullptr) {
    *present = false;
  }
  if (!ParseSerializationBuffer(header, entries)) {
    return "";
  }
  for (const SerializationEntry& entry : entries) {
    if (entry.key == key) {
      if (present != nullptr) {
        *present = true;
      }
      return entry.value;
    }
  }
  return "";
}

std::vector<std::string> DeliveredTypes() {
  std::vector<std::string> types;
  for (const fake::Frame& frame : fake::DeliveredFrames()) {
    types.push_back(frame.dataEx ? HeaderField(frame.header, "type") : EnvelopeType(frame.text));
  }
  return types;
}

void IpcClientTest::SetUp() {
  korvex_test::OpenProcessLog();
  fake::Reset();
  NewClient();
}

void IpcClientTest::NewClient() {
  client_ = new CIpcClient(fake::Platform());
  ASSERT_EQ(CSingleton<CIpcClient>::GetInstance(), client_);
}

void IpcClientTest::TearDown() {
  CSingleton<CIpcClient>::RemoveInstance();
  EXPECT_EQ(CSingleton<CIpcClient>::GetInstance(), nullptr);
  valko::testing::ClearQueueSizeRatioOverride();
}

void IpcClientTest::Init() {
  ASSERT_TRUE(client_->InitClient());
  ASSERT_TRUE(fake::Recorded().lastInit.has_value());
}

void IpcClientTest::FireConnected(const std::string& initInfo) {
  fake::Recorded().lastInit->onConnected(initInfo);
}

void IpcClientTest::FireDisconnected() {
  fake::Recorded().lastInit->onDisconnected();
}

void IpcClientTest::FireReceive(const char* data, int32_t length) {
  fake::Recorded().lastInit->onReceive(data, length);
}

void IpcClientTest::ConnectWhileTheFirstSendWaits(const std::string& initInfo) {
  fake::HoldSends(true);
  FireConnected(initInfo);
  fake::HoldSends(false);
}

bool IpcClientTest::WaitSent(uint64_t count) {
  return WaitUntil([&] { return client_->sendCount.load() >= count; });
}

bool IpcClientTest::WaitIdlePolls(int count) {
  const int target = fake::IdlePolls() + count;
  return WaitUntil([&] { return fake::IdlePolls() >= target; });
}

void IpcClientTest::LimitQueue(int64_t limit) {
  valko::testing::OverrideQueueSizeRatio(static_cast<double>(limit) / 3000.0);
  ASSERT_EQ(COnlineClientConf::CalcMaxCountWithQueueSizeRatio(3000), limit);
}

IpcMessage IpcClientTest::Message(const std::string& type, int32_t priority,
                                  const std::string& data) {
  IpcMessage message;
  message.type = type;
  message.data = data;
  message.priority = priority;
  return message;
}

}  // namespace ipcclient_test
