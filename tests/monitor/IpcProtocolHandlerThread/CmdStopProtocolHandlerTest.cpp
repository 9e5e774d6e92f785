#include "IpcClient/CmdStopProtocolHandler.h"

#include <gtest/gtest.h>

#include "support/TestSupport.h"

namespace {

using korvex_test::LogTail;
using Verb = CCmdStopProtocolHandler::Verb;

class CmdStopProtocolHandlerTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { korvex_test::OpenProcessLog(); }
};

std::string Command(const std::string& check, const std::string& viewType = "\"KorvexMonitor\"",
                    const std::string& tail = ",\"view_object\":\"\",\"view_param\":\"p\"") {
  return "{\"check\":" + check + ",\"cmd_idx\":\"17\",\"view_type\":" + viewType + tail + "}";
}

TEST_F(CmdStopProtocolHandlerTest, IgnoresEveryOtherCommandWithoutATrace) {
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
      Command("\"stop\"") + "x" + std::string(1, '\0'),
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
  EXPECT_EQ(log.CountContaining("IpcClientMonitor"), 0);
}

TEST_F(CmdStopProtocolHandlerTest, UnloadLeavesOneRequestUntilCleared) {
  CCmdStopProtocolHandler handler;
  LogTail log;
  EXPECT_EQ(CCmdStopProtocolHandler::ParseCommand(Command("\"stop\"")), Verb::kStop);
  // Command data that arrived as a string ends at its first NUL byte, as a received text does.
  EXPECT_EQ(CCmdStopProtocolHandler::ParseCommand(Command("\"stop\"") + std::string(1, '\0') + "]"),
            Verb::kStop);
  handler.Handle(Command("\"unload\""));
  handler.Handle(Command("\"unload\"", "\"KorvexMonitor\"",
                         ",\"view_object\":\"\","
                         "\"view_param\":\"\",\"extra\":[1]"));
  EXPECT_TRUE(handler.IsUnloadRequested());
  EXPECT_EQ(log.Count("on cmd unload monitor...", 4), 2);
  handler.ClearUnloadRequest();
  EXPECT_FALSE(handler.IsUnloadRequested());
}

TEST_F(CmdStopProtocolHandlerTest, LogsAnEmptyCommand) {
  CCmdStopProtocolHandler handler;
  LogTail log;
  handler.Handle("");
  EXPECT_EQ(log.Count("CCmdStopProtocolHandler Msg Empty", 2), 1);
  EXPECT_EQ(log.CountContaining("IpcClientMonitor"), 1);
}

}  // namespace
