// The agent's control command: "stop" ends the monitor, "unload" unloads its modules while it
// runs on.
#include "e2e/MonitorSessionTest.h"

namespace e2e {
namespace {

class ControlTest : public MonitorSessionTest {};

TEST_F(ControlTest, StopEndsTheMonitorWithStatusZeroAndTheLastLogLineOnDisk) {
  ASSERT_TRUE(StartConnectedSession());
  ASSERT_TRUE(agent_.Command("stop"));
  ASSERT_TRUE(WaitForExit(monitor_));
  EXPECT_EQ(monitor_.ExitStatus(), 0) << monitor_.Describe();

  const std::vector<std::string> log = SplitLines(install_.ReadLog());
  ASSERT_FALSE(log.empty());
  bool nearTheEnd = false;
  for (size_t i = log.size() > 5 ? log.size() - 5 : 0; i < log.size(); ++i) {
    nearTheEnd = nearTheEnd || log[i].find("on cmd stop monitor...") != std::string::npos;
  }
  EXPECT_TRUE(nearTheEnd) << "last log line: " << log.back();
  EXPECT_TRUE(agent_.WaitForEvents("the agent seeing the monitor go",
                                   [](const AgentEvent& e) { return e.event == "disconnected"; }));
}

TEST_F(ControlTest, StopForAnotherPluginIsIgnored) {
  ASSERT_TRUE(StartConnectedSession());
  ASSERT_TRUE(agent_.Send("T_MSG_CHECK",
                          "{\"check\":\"stop\",\"cmd_idx\":\"1\",\"view_type\":\"korvexmonitor\","
                          "\"view_object\":\"\",\"view_param\":\"\"}"));
  ASSERT_TRUE(WaitForLog("GetMessage : T_MSG_CHECK"));
  // Two more heartbeats: the monitor has gone on well past the 3-second (scaled) stop pause.
  const size_t beats = agent_.MessagesOfType("T_MSG_KORVEXMONITOR_IPC_HEART").size();
  ASSERT_TRUE(agent_.WaitForMessage("T_MSG_KORVEXMONITOR_IPC_HEART", beats + 2));
  EXPECT_TRUE(monitor_.IsRunning());
  EXPECT_EQ(CountInLog("on cmd stop monitor..."), 0u);
}

TEST_F(ControlTest, UnloadRemovesTheEchoModuleWhileTheMonitorRunsOn) {
  ASSERT_TRUE(StartConnectedSession());
  ASSERT_TRUE(agent_.Send("T_MSG_ECHO", "{\"n\":1}"));
  AgentEvent ack;
  ASSERT_TRUE(agent_.WaitForMessage("T_MSG_ECHO_ACK", 1, &ack));
  EXPECT_EQ(ack.data, "{\"n\":1}");

  ASSERT_TRUE(agent_.Command("unload"));
  ASSERT_TRUE(WaitForLog("on cmd unload monitor..."));
  ASSERT_TRUE(WaitForLog(TargetSystem::ModuleFileName("echo") + " unloaded"));

  // The next echo request finds no handler any more and goes unanswered.
  ASSERT_TRUE(agent_.Send("T_MSG_ECHO", "{\"n\":2}"));
  ASSERT_TRUE(WaitForLog("ProtocolHandler Find NULL : T_MSG_ECHO"));
  const size_t beats = agent_.MessagesOfType("T_MSG_KORVEXMONITOR_IPC_HEART").size();
  ASSERT_TRUE(agent_.WaitForMessage("T_MSG_KORVEXMONITOR_IPC_HEART", beats + 2));
  EXPECT_EQ(agent_.MessagesOfType("T_MSG_ECHO_ACK").size(), 1u);
  EXPECT_TRUE(monitor_.IsRunning());
  EXPECT_EQ(agent_.CountEvents("disconnected"), 0u);
}

}  // namespace
}  // namespace e2e
