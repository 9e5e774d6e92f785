// The common end of the send operations: accepted messages count their bytes, refused ones
// count as drops with a warning on the 1st, 1001st... drop since the last report.
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "IpcClientTestSupport.h"

namespace ipcclient_test {
namespace {

using korvex_test::EndsWith;

using EnqueueMessageTest = IpcClientTest;

// Accepted messages add their data length to the buffered bytes; priorities outside 0..4 and
// a full list count as drops.
TEST_F(EnqueueMessageTest, CountsBufferedBytesOrDrops) {
  LimitQueue(1);
  EXPECT_TRUE(client_->EnqueueMessage(Message("T_MSG_TEST", 0, "{}")));
  EXPECT_TRUE(client_->EnqueueMessage(Message("T_MSG_TEST", 4, "12345")));
  EXPECT_FALSE(client_->EnqueueMessage(Message("T_MSG_TEST", -1, "abc")));
  EXPECT_FALSE(client_->EnqueueMessage(Message("T_MSG_TEST", 5, "abc")));
  EXPECT_TRUE(client_->EnqueueMessage(Message("T_MSG_TEST", 2, "abc")));
  EXPECT_TRUE(client_->EnqueueMessage(Message("T_MSG_TEST", 2, "abc")));  // limit 1 takes two
  EXPECT_FALSE(client_->EnqueueMessage(Message("T_MSG_TEST", 2, "abc")));
  EXPECT_EQ(client_->bufferedBytes.load(), 13);
  EXPECT_EQ(client_->dropCount.load(), 3u);
  EXPECT_EQ(client_->sendCount.load(), 0u);
  EXPECT_EQ(client_->SendList().Count(), 4u);
}

TEST_F(EnqueueMessageTest, WarnsOnThe1stAnd1001stDropOnly) {
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

  client_->EnqueueMessage(Message("T_MSG_TEST", 9, "x"));
  std::vector<std::string> lines = dropLines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_TRUE(EndsWith(lines[0], "drop ipc msg count 1")) << lines[0];
  EXPECT_NE(lines[0].find("[WARN]"), std::string::npos) << lines[0];
  EXPECT_NE(lines[0].find("IpcClient\\IpcClient:"), std::string::npos) << lines[0];

  client_->EnqueueMessage(Message("T_MSG_TEST", 9, "x"));
  EXPECT_EQ(dropLines().size(), 1u);

  for (int i = 2; i < 1001; ++i) {
    client_->EnqueueMessage(Message("T_MSG_TEST", -3, "x"));
  }
  lines = dropLines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_TRUE(EndsWith(lines[1], "drop ipc msg count 1001")) << lines[1];
  EXPECT_EQ(client_->dropCount.load(), 1001u);

  // After the statistics report takes the counter, the next drop is the 1st again.
  std::map<std::string, std::string> report;
  client_->GetMtInfo(report);
  EXPECT_EQ(report["korvexmonitor_ipc_drop_count"], "1001");
  client_->EnqueueMessage(Message("T_MSG_TEST", 5, "x"));
  lines = dropLines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_TRUE(EndsWith(lines[2], "drop ipc msg count 1")) << lines[2];
}

}  // namespace
}  // namespace ipcclient_test
