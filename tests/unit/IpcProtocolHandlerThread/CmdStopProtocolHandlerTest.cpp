#include "IpcClient/CmdStopProtocolHandler.h"

#include <gtest/gtest.h>

#include "IpcClient/IpcProtocolHandlerThread.h"
#include "TestSupport.h"

namespace {

using Verb = CCmdStopProtocolHandler::Verb;

std::string Command(const std::string& check, const std::string& viewType = "\"KorvexMonitor\"",
                    const std::string& tail = ",\"view_object\":\"\",\"view_param\":\"p\"") {
  return "{\"check\":" + check + ",\"cmd_idx\":\"17\",\"view_type\":" + viewType + tail + "}";
}

int MonitorLines(const LogTail& log) {
  int count = 0;
  for (const std::string& line : log.Lines()) {
    count += line.find("IpcClientMonitor") != std::string::npos;
  }
  return count;
}

TEST(CmdStopProtocolHandler, IgnoresEveryOtherCommandWithoutATrace) {
  const std::string ignored[] = {
      Command("\"Stop\""),
      Command("\"UNLOAD\""),
      Command("\"\""),
      Command("\"restart\""),
      Command("\"stop\"", "\"korvexmonitor\""),
      Command("\"stop\"", "\"OtherPlugin\""),
      Command("\"stop\"", "3"),
      Command("\"stop\"", "\"KorvexMonitor\"", ",\"view_object\":\"\""),
      Command("\"stop\"", "\"KorvexMonitor\"", ",\"view_object\":{},\"view_param\":\"\""),
      "{\"check\":\"stop\",\"cmd_idx\":5,\"view_type\":\"KorvexMonitor\",\"view_object\":\"\","
      "\"view_param\":\"\"}",
      "{\"check\":[\"unload\"],\"cmd_idx\":\"1\",\"view_type\":\"KorvexMonitor\","
      "\"view_object\":\"\",\"view_param\":\"\"}",
      "[" + Command("\"stop\"") + "]",
      "not json",
      Command("\"stop\"") + "x",
      Command("\"stop\"", "\"KorvexMonitor\"",
              ",\"view_object\":\"\",\"view_param\":\"\",\"deep\":" + std::string(600, '[') +
                  std::string(600, ']')),
  };
  CCmdStopProtocolHandler handler;
  LogTail log;
  for (const std::string& data : ignored) {
    ASSERT_EQ(CCmdStopProtocolHandler::ParseCommand(data), Verb::kIgnore) << data;
    handler.Handle(data);
  }
  EXPECT_FALSE(handler.IsUnloadRequested());
  EXPECT_EQ(MonitorLines(log), 0);
}

TEST(CmdStopProtocolHandler, UnloadLeavesOneRequestUntilCleared) {
  CCmdStopProtocolHandler handler;
  LogTail log;
  EXPECT_EQ(CCmdStopProtocolHandler::ParseCommand(Command("\"stop\"")), Verb::kStop);
  handler.Handle(Command("\"unload\""));
  handler.Handle(Command("\"unload\"", "\"KorvexMonitor\"",
                         ",\"view_object\":\"\","
                         "\"view_param\":\"\",\"extra\":[1]"));
  EXPECT_TRUE(handler.IsUnloadRequested());
  EXPECT_EQ(log.Count("on cmd unload monitor...", 4), 2);
  handler.ClearUnloadRequest();
  EXPECT_FALSE(handler.IsUnloadRequested());
}

TEST(CmdStopProtocolHandler, LogsAnEmptyCommand) {
  CCmdStopProtocolHandler handler;
  LogTail log;
  handler.Handle("");
  EXPECT_EQ(log.Count("CCmdStopProtocolHandler Msg Empty", 2), 1);
  EXPECT_EQ(MonitorLines(log), 1);
}

// The whole road: a received "T_MSG_CHECK" text reaches the handler through the receiving
// thread, which ends the process with status 0 after logging.
TEST(CmdStopProtocolHandlerDeathTest, StopEndsTheProcessWithStatusZero) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  LogTail log;
  EXPECT_EXIT(
      {
        CCmdStopProtocolHandler handler;
        CIpcProtocolHandlerThread thread;
        thread.RegisterProtocolHandler("T_MSG_CHECK", &handler);
        thread.PushMessage("{\"type\":\"T_MSG_CHECK\",\"data\":" + Command("\"stop\"") + "}");
        WaitUntil([] { return false; });
      },
      ::testing::ExitedWithCode(0), "");
  EXPECT_EQ(log.Count("on cmd stop monitor...", 3), 1);
}

}  // namespace
