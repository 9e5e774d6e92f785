#include "IpcClientTestSupport.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>

#include <json/json.h>

#include "Singleton.h"
#include "ipc/SimpleSerialization.h"
#include "tbx/LogMessage.h"
#include "tbxUtil/TbxTestSeams.h"
#include "valko/Config.h"
#include "valkoConfig/ConfigTestSeams.h"

namespace ipcclient_test {

namespace {

// The application directory, and with it the log and the queue configuration, in a fresh
// temporary directory for the whole test program.
class AppDirEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() / ("unit_IpcClient_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir_);
    tbx::testing::OverrideApplicationDir(dir_.string());
    tbx::CLogMessage::SetLogDirName("log");
    ASSERT_NE(tbx::CLogMessage::GetInstance(), nullptr);
    tbx::CLogMessage::GetInstance()->SetLogFileSize(uint64_t{1} << 30);
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
    ::testing::AddGlobalTestEnvironment(new AppDirEnvironment);

uint64_t LogSize() {
  tbx::CLogMessage::Flush();
  std::error_code error;
  const auto size = std::filesystem::file_size(tbx::CLogMessage::GetLogFilePath(), error);
  return error ? 0 : size;
}

bool EndsWith(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

}  // namespace

LogTail::LogTail() : offset_(LogSize()) {}

std::vector<std::string> LogTail::Lines() const {
  tbx::CLogMessage::Flush();
  std::ifstream in(tbx::CLogMessage::GetLogFilePath(), std::ios::binary);
  in.seekg(static_cast<std::streamoff>(offset_));
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) {
    lines.push_back(line);
  }
  return lines;
}

int LogTail::Count(const std::string& text, int level) const {
  // How the stand-in logger renders each level.
  const std::string tag = level == 2   ? "[ERROR]"
                          : level == 3 ? "[WARN]"
                          : level == 4 ? "[INFO]"
                                       : "";
  int count = 0;
  for (const std::string& line : Lines()) {
    count += EndsWith(line, text) && line.find(tag) != std::string::npos;
  }
  return count;
}

int LogTail::CountContaining(const std::string& text) const {
  int count = 0;
  for (const std::string& line : Lines()) {
    count += line.find(text) != std::string::npos;
  }
  return count;
}

std::string EnvelopeType(const std::string& text) {
  Json::Value root;
  Json::Reader reader;
  if (!reader.parse(text, root, false) || !root.isObject() || !root["type"].isString()) {
    return "";
  }
  return root["type"].asString();
}

std::string HeaderField(const std::string& header, const std::string& key, bool* present) {
  std::vector<CSimpleSerialization::Entry> entries;
  if (present != nullptr) {
    *present = false;
  }
  if (!CSimpleSerialization::Parse(header, entries)) {
    return "";
  }
  for (const CSimpleSerialization::Entry& entry : entries) {
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
  fake::Reset();
  client_ = CSingleton<CIpcClient>::NewInstance();
  ASSERT_NE(client_, nullptr);
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
  return fake::WaitUntil([&] { return client_->sendCount.load() >= count; });
}

bool IpcClientTest::WaitIdlePolls(int count) {
  const int target = fake::IdlePolls() + count;
  return fake::WaitUntil([&] { return fake::IdlePolls() >= target; });
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
