// The monitor under pressure: a flood of received messages far past the receive limit, and a
// resource limit that it passes.
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "e2e/MonitorSessionTest.h"

namespace e2e {
namespace {

class LimitsTest : public MonitorSessionTest {};

// Resident memory tells whether freed memory is reused. An AddressSanitizer build holds freed
// blocks back in a quarantine, which would look like growth: switch it off for that monitor.
EnvList MemoryMeasuringEnv() {
#if defined(__SANITIZE_ADDRESS__)
  const char* inherited = std::getenv("ASAN_OPTIONS");
  std::string options = inherited != nullptr ? std::string(inherited) + ":" : std::string();
  return {{"ASAN_OPTIONS", options + "quarantine_size_mb=0:thread_local_quarantine_size_kb=0"}};
#else
  return {};
#endif
}

TEST_F(LimitsTest, ReceiveFloodIsDroppedAndCountedWithBoundedMemory) {
  // Receive limit 3000 x 0.01 = 30 messages.
  ASSERT_TRUE(install_.WriteFile("conf/online_client_conf", "queue_size_ratio = 0.01\n"));
  ASSERT_TRUE(StartConnectedSession(MemoryMeasuringEnv()));
  const long residentBefore = MonitorResidentKiB();
  ASSERT_GT(residentBefore, 0);

  // 16000 messages of 4 KiB: 64 MiB that an unbounded queue would have to hold.
  const int kMessages = 16000;
  const std::string payload(4096, 'f');
  std::string batch;
  for (int i = 0; i < kMessages; ++i) {
    batch += "send T_MSG_FLOOD " + payload + "\n";
    if (batch.size() > (1u << 20)) {
      ASSERT_TRUE(agent_.process().WriteStdin(batch));
      batch.clear();
    }
  }
  ASSERT_TRUE(agent_.process().WriteStdin(batch));
  ASSERT_TRUE(agent_.WaitForEvents(
      "every flood message sent",
      [](const AgentEvent& e) { return e.event == "sent" && e.line["command"] == "send"; },
      kMessages));

  ASSERT_TRUE(WaitForLog("network drop recv message count 1"));
  const long residentAfter = MonitorResidentKiB();
  EXPECT_LT(residentAfter - residentBefore, 24 * 1024)
      << "resident memory grew from " << residentBefore << " KiB to " << residentAfter << " KiB";
  EXPECT_TRUE(monitor_.IsRunning());

  // Stop commands that land while the queue is still full are dropped like the flood; one
  // that finds room ends the monitor.
  ASSERT_TRUE(WaitFor("the monitor ending on stop", [&] {
    agent_.Command("stop");
    return monitor_.WaitForExit(std::chrono::milliseconds(300));
  }));
  EXPECT_EQ(monitor_.ExitStatus(), 0) << monitor_.Describe();
}

TEST_F(LimitsTest, AFloodLoggingEveryMessageKeepsTheLogDirectoryWithinItsBound) {
  constexpr uintmax_t kFileLimit = 5242880;
  constexpr size_t kFilesKept = 6;  // the file being written and five older ones
  ASSERT_TRUE(StartConnectedSession());

  // Each message logs its 64 KiB type twice, on arrival and as unhandled: 400 of them log
  // about 50 MiB, far more than the directory may keep.
  const int kMessages = 400;
  const std::string line = "send T_MSG_" + std::string(64 * 1024, 'L') + " {}\n";
  std::string batch;
  for (int i = 0; i < kMessages; ++i) {
    batch += line;
  }
  ASSERT_TRUE(agent_.process().WriteStdin(batch));
  // The receive queue is first in, first out: the echo is answered after the flood was handled.
  ASSERT_TRUE(agent_.Send("T_MSG_ECHO", "{\"after\":\"flood\"}"));
  ASSERT_TRUE(agent_.WaitForMessage("T_MSG_ECHO_ACK"));

  std::vector<uintmax_t> sizes;
  std::error_code ec;
  for (const auto& entry :
       std::filesystem::directory_iterator(install_.Path("korvex_monitor_log"), ec)) {
    sizes.push_back(entry.file_size(ec));
  }
  EXPECT_EQ(sizes.size(), kFilesKept) << "the flood should have filled every file kept";
  for (uintmax_t size : sizes) {
    EXPECT_LE(size, kFileLimit);
  }
  EXPECT_EQ(CountInLog("Start KorvexMonitor"), 0u) << "the oldest records should be gone";
  EXPECT_TRUE(monitor_.IsRunning());
}

TEST_F(LimitsTest, PassingTheMemoryLimitIsReportedRecordedAndEndsTheMonitor) {
  ASSERT_TRUE(install_.WriteFile("conf/monitor_resource_config",
                                 "sample_period_ms = 1000\nmem_max_mb = 1\n"));
  ASSERT_TRUE(StartAgent());
  ASSERT_TRUE(StartMonitor());
  ASSERT_TRUE(WaitForExit(monitor_));
  EXPECT_EQ(monitor_.ExitStatus(), 1) << monitor_.Describe();

  bool killSelf = false;
  for (const std::string& line : install_.ReportLines()) {
    killSelf = killSelf || (line.find("\"kill_self\"") != std::string::npos &&
                            line.find("memory_max:") != std::string::npos);
  }
  EXPECT_TRUE(killSelf) << "no kill_self report with memory_max";
  const std::vector<std::string> records = install_.ErrorRecordMessages();
  EXPECT_NE(std::find(records.begin(), records.end(), "Monitor High Mem"), records.end());
  EXPECT_EQ(CountInLog("OnMemoryMax"), 1u);
}

}  // namespace
}  // namespace e2e
