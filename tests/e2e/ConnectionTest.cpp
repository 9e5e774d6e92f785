// The connection to the agent across the agent's absence: reconnection with fresh
// registration, delivery of what was queued meanwhile, and the end after too many attempts.
#include <json/json.h>

#include <ctime>
#include <thread>

#include "e2e/MonitorSessionTest.h"

namespace e2e {
namespace {

class ConnectionTest : public MonitorSessionTest {};

TEST_F(ConnectionTest, AgentRestartLeadsToReconnectionRegistrationAndQueuedDelivery) {
  // 2 % of real time: heartbeats every 2.4 s, reconnection attempts every 0.2 s, so the
  // outage below stays far from the 30 attempts that end the monitor.
  ASSERT_TRUE(StartConnectedSession({{"TBX_TIME_SCALE", "0.02"}}));
  ASSERT_TRUE(agent_.WaitForMessage("T_MSG_PULL_FILE_CONF"));
  ASSERT_TRUE(agent_.Quit());
  ASSERT_TRUE(WaitForLog("korvex disconnected."));

  // Longer than one heartbeat period, so at least one heartbeat is queued while nobody
  // listens, and it is built more than a second before the agent is back.
  std::this_thread::sleep_for(std::chrono::milliseconds(4000));
  const int64_t restartedAt = static_cast<int64_t>(std::time(nullptr));
  ASSERT_TRUE(agent_.Start());

  ASSERT_TRUE(agent_.WaitForEvents(
      "both registration documents again",
      [](const AgentEvent& e) { return e.event == "frame" && e.kind == "REG"; }, 4));
  ASSERT_TRUE(agent_.WaitForMessage("T_MSG_PULL_CONF", 2));
  ASSERT_TRUE(agent_.WaitForMessage("T_MSG_PULL_FILE_CONF", 2));
  ASSERT_TRUE(agent_.WaitForEvents(
      "a heartbeat built during the outage", [restartedAt](const AgentEvent& e) {
        if (e.event != "frame" || e.type != "T_MSG_KORVEXMONITOR_IPC_HEART")
          return false;
        Json::Value beat;
        Json::Reader reader;
        return reader.parse(e.data, beat) && beat["ts"].asInt64() < restartedAt;
      }));
  EXPECT_TRUE(monitor_.IsRunning());
  EXPECT_EQ(CountInLog("korvex connected"), 2u);
}

TEST_F(ConnectionTest, WithoutAnAgentTheMonitorGivesUpAfterThirtyAttempts) {
  ASSERT_TRUE(StartMonitor());
  ASSERT_TRUE(WaitForExit(monitor_));
  EXPECT_EQ(monitor_.ExitStatus(), 0) << monitor_.Describe();
  EXPECT_EQ(CountInLog("retry 0 connect korvex"), 1u);
  EXPECT_EQ(CountInLog("retry 29 connect korvex"), 1u);
  EXPECT_EQ(CountInLog("retry 30 connect korvex"), 1u);
  EXPECT_EQ(CountInLog("retry 31 connect korvex"), 0u);
  EXPECT_EQ(CountInLog("try connec maxcnt:exit"), 1u);
  bool reported = false;
  for (const std::string& line : install_.ReportLines()) {
    reported = reported || line.find("connect korvex ipc fail") != std::string::npos;
  }
  EXPECT_TRUE(reported) << "no error report of the failed connection";
}

}  // namespace
}  // namespace e2e
