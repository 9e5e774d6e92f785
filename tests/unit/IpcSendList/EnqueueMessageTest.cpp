#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "IpcClient/IpcClient.h"
#include "SendListTestSupport.h"
#include "tbx/LogMessage.h"
#include "tbxUtil/TbxTestSeams.h"

namespace {

using sendlist_test::Message;
using sendlist_test::ScopedQueueLimit;

// Places the application directory, and with it the log, in a fresh temporary directory.
class LogInTempDir : public ::testing::Environment {
 public:
  void SetUp() override {
    dir_ =
        std::filesystem::temp_directory_path() /
        ("unit_IpcSendList_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
         "_" + std::to_string(reinterpret_cast<uintptr_t>(this)));
    std::filesystem::create_directories(dir_);
    tbx::testing::OverrideApplicationDir(dir_.string());
    tbx::CLogMessage::SetLogDirName("log");
    ASSERT_NE(tbx::CLogMessage::GetInstance(), nullptr);
  }
  void TearDown() override {
    tbx::testing::OverrideApplicationDir("");
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }

 private:
  std::filesystem::path dir_;
};

[[maybe_unused]] const auto* const kLogEnvironment =
    ::testing::AddGlobalTestEnvironment(new LogInTempDir);

// The log lines written since construction.
class LogTail {
 public:
  LogTail() : start_(std::filesystem::file_size(tbx::CLogMessage::GetLogFilePath())) {}

  std::vector<std::string> Lines() const {
    tbx::CLogMessage::Flush();
    std::ifstream file(tbx::CLogMessage::GetLogFilePath());
    file.seekg(static_cast<std::streamoff>(start_));
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);) {
      lines.push_back(line);
    }
    return lines;
  }

 private:
  uintmax_t start_;  // log size in bytes when the tail began
};

bool EndsWith(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

TEST(EnqueueMessage, AcceptedMessagesAddTheirDataLengthToBufferedBytes) {
  CIpcClient client;
  EXPECT_TRUE(client.EnqueueMessage(Message("{}", 0)));
  EXPECT_TRUE(client.EnqueueMessage(Message("12345", 4)));
  EXPECT_EQ(client.bufferedBytes.load(), 7);
  EXPECT_EQ(client.dropCount.load(), 0u);
  EXPECT_EQ(client.sendCount.load(), 0u);
  EXPECT_EQ(client.SendList().Count(), 2u);
}

TEST(EnqueueMessage, RefusedPrioritiesAndFullListsCountAsDrops) {
  ScopedQueueLimit limit(0);
  ASSERT_EQ(limit.limit(), 0);
  CIpcClient client;
  EXPECT_FALSE(client.EnqueueMessage(Message("abc", -1)));
  EXPECT_FALSE(client.EnqueueMessage(Message("abc", 5)));
  EXPECT_TRUE(client.EnqueueMessage(Message("abc", 2)));  // limit 0 still takes one
  EXPECT_FALSE(client.EnqueueMessage(Message("abc", 2)));
  EXPECT_EQ(client.dropCount.load(), 3u);
  EXPECT_EQ(client.bufferedBytes.load(), 3);
  EXPECT_EQ(client.SendList().Count(), 1u);
}

TEST(EnqueueMessage, WarnsOnThe1stAnd1001stDropOnly) {
  CIpcClient client;
  LogTail tail;
  const std::string kDropLine = "drop ipc msg count ";
  auto dropLines = [&] {
    std::vector<std::string> found;
    for (const std::string& line : tail.Lines()) {
      if (line.find(kDropLine) != std::string::npos) {
        found.push_back(line);
      }
    }
    return found;
  };

  client.EnqueueMessage(Message("x", 9));
  std::vector<std::string> lines = dropLines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_TRUE(EndsWith(lines[0], "drop ipc msg count 1")) << lines[0];
  EXPECT_NE(lines[0].find("[WARN]"), std::string::npos) << lines[0];
  EXPECT_NE(lines[0].find("IpcClient\\IpcClient:"), std::string::npos) << lines[0];

  client.EnqueueMessage(Message("x", 9));
  EXPECT_EQ(dropLines().size(), 1u);

  for (int i = 2; i < 1001; ++i) {
    client.EnqueueMessage(Message("x", -3));
  }
  lines = dropLines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_TRUE(EndsWith(lines[1], "drop ipc msg count 1001")) << lines[1];
  EXPECT_EQ(client.dropCount.load(), 1001u);

  // After the statistics report takes the counter, the next drop is the 1st again.
  client.dropCount.exchange(0);
  client.EnqueueMessage(Message("x", 5));
  lines = dropLines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_TRUE(EndsWith(lines[2], "drop ipc msg count 1")) << lines[2];
}

}  // namespace
