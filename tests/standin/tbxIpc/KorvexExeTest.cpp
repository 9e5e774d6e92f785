// Korvex.exe run as a child process, talking to the client library. Its stop and unload
// commands are checked end to end, where the monitor must act on them.
#include <gtest/gtest.h>
#include <json/json.h>

#include <string>
#include <vector>

#include "IpcTestSupport.h"
#include "KorvexProcess.h"
#include "ipc/SimpleSerialization.h"
#include "ipc/TbxIpc.h"
#include "tbxIpc/IpcStates.h"

namespace {

using ipctest::EventLog;
using ipctest::KorvexProcess;
using ipctest::ScopedIpcDir;

const char kFirstName[] = "Valko-<Guid(3F7B19C4-52E0-4D8A-B6C1-90A4E27D5B13)>";
const char kSecondName[] = "Valko_Guid_3F7B19C4-52E0-4D8A-B6C1-90A4E27D5B13";

EventLog g_events;  // "connected:<init>", "receive:<text>", "disconnected"

bool Saw(const std::string& event) {
  return g_events.WaitFor([&](const std::string& e) { return e == event; });
}

class KorvexExeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_events.Clear();
    IpcInitParam param = {};
    param.size = sizeof(IpcInitParam);
    param.clientName = "KorvexMonitor";
    param.clientNameLength = 13;
    param.onReceive = [](const char* data, int32_t length) {
      g_events.Add("receive:" + std::string(data, static_cast<size_t>(length)));
    };
    param.onDisconnected = [] { g_events.Add("disconnected"); };
    param.onConnected = [](const std::string& init) { g_events.Add("connected:" + init); };
    ASSERT_EQ(InitIpcClient(&param), kIpcOk);
  }
  void TearDown() override { FreeIpcClient(); }

  std::string Output() const { return dir.ipcDir() + ".out"; }

  ScopedIpcDir dir;
};

TEST_F(KorvexExeTest, RecordsWhatTheClientSendsAndSendsItsCommands) {
  const std::string transcript = dir.ipcDir() + ".jsonl";
  KorvexProcess korvex(Output(), {"--transcript", transcript});
  Json::Value line;
  ASSERT_TRUE(korvex.WaitForEvent("listening", &line));
  EXPECT_EQ(line["name"], kFirstName);

  ASSERT_EQ(ConnectIpcServer(kFirstName), kIpcOk);
  ASSERT_TRUE(Saw("connected:{\"version\":0}"));
  ASSERT_TRUE(korvex.WaitForEvent("connected", &line));
  const Json::Value client = line["client"];

  const std::string doc = "{\n   \"is_reg\" : 1\n}\n";
  ASSERT_EQ(IpcRegData(doc.data(), static_cast<uint32_t>(doc.size())), kIpcOk);
  ASSERT_EQ(IpcSendData("{\"type\":\"T_MSG_PULL_CONF\"}", 26), kIpcOk);
  CSimpleSerialization header;
  header.AddString("type", "T_MSG_X");
  const int32_t prio = -2;
  header.Serialize("prio", CSimpleSerialization::kFixed, 4, &prio);
  const uint8_t ipcMsg = 1;
  header.Serialize("ipc_msg", CSimpleSerialization::kFixed, 1, &ipcMsg);
  header.AddString("obj_id", "o1");
  ASSERT_EQ(IpcSendDataEx("{\"a\":\"\xff\"}", header.GetSerializationBuffer()), kIpcOk);

  ASSERT_TRUE(korvex.WaitForEvent("frame", &line, "REG"));
  EXPECT_EQ(line["text"], doc);
  EXPECT_EQ(line["client"], client);
  ASSERT_TRUE(korvex.WaitForEvent("frame", &line, "DATA"));
  EXPECT_EQ(line["text"], "{\"type\":\"T_MSG_PULL_CONF\"}");
  ASSERT_TRUE(korvex.WaitForEvent("frame", &line, "DATA_EX"));
  EXPECT_EQ(line["type"], "T_MSG_X");
  EXPECT_EQ(line["prio"], -2);
  EXPECT_EQ(line["ipc_msg"], 1);
  EXPECT_EQ(line["obj_id"], "o1");
  EXPECT_EQ(line["text"], "{\"a\":\"\xEF\xBF\xBD\"}") << "invalid UTF-8 shown as U+FFFD";

  // JSON data is embedded, anything else (an unclosed document too) is sent as a string.
  ASSERT_TRUE(korvex.Command("send T_MSG_ECHO {\"b\": [1, 2]}"));
  ASSERT_TRUE(Saw("receive:{\"type\":\"T_MSG_ECHO\",\"data\":{\"b\": [1, 2]}}"));
  ASSERT_TRUE(korvex.Command("send T_MSG_NOTE two words"));
  ASSERT_TRUE(Saw("receive:{\"type\":\"T_MSG_NOTE\",\"data\":\"two words\"}"));
  ASSERT_TRUE(korvex.Command("send T_MSG_NOTE {\"unclosed\": 1"));
  ASSERT_TRUE(Saw("receive:{\"type\":\"T_MSG_NOTE\",\"data\":\"{\\\"unclosed\\\": 1\"}"));

  ASSERT_TRUE(korvex.Command("version 7"));
  ASSERT_TRUE(korvex.Command("drop"));
  ASSERT_TRUE(Saw("disconnected"));
  ASSERT_EQ(ConnectIpcServer(kFirstName), kIpcOk);
  ASSERT_TRUE(Saw("connected:{\"version\":7}"));

  korvex.CloseStdin();  // the agent outlives its input unless told otherwise
  ASSERT_EQ(IpcSendData("after eof", 9), kIpcOk);
  ASSERT_TRUE(korvex.WaitForEvent("frame", &line, "DATA"));
  EXPECT_EQ(line["text"], "after eof");
  EXPECT_TRUE(korvex.Running());
  EXPECT_TRUE(korvex_test::WaitUntil([&] {
    return korvex_test::ReadText(transcript) == korvex_test::ReadText(Output());
  })) << "the transcript holds what the standard output shows";
}

TEST_F(KorvexExeTest, AStopRequestEndsTheAgentAndItsConnections) {
  if (!KorvexProcess::CanRequestStop()) {
    GTEST_SKIP() << "no console here to carry a console control event to the agent";
  }
  KorvexProcess korvex(Output(), {});
  Json::Value line;
  ASSERT_TRUE(korvex.WaitForEvent("listening", &line));
  ASSERT_EQ(ConnectIpcServer(kFirstName), kIpcOk);
  ASSERT_TRUE(Saw("connected:{\"version\":0}"));
  korvex.CloseStdin();
  ASSERT_TRUE(korvex.RequestStop());
  EXPECT_EQ(korvex.WaitForExit(), 0);
  EXPECT_TRUE(Saw("disconnected"));
}

TEST_F(KorvexExeTest, AltNameAndExitOnEndOfInput) {
  KorvexProcess korvex(Output(), {"--alt-name", "--exit-on-eof", "--init-info", "{\"version\":2}"});
  Json::Value line;
  ASSERT_TRUE(korvex.WaitForEvent("listening", &line));
  EXPECT_EQ(ConnectIpcServer(kFirstName), kIpcNoServer);
  ASSERT_EQ(ConnectIpcServer(kSecondName), kIpcOk);
  ASSERT_TRUE(Saw("connected:{\"version\":2}"));
  ASSERT_TRUE(korvex.WaitForEvent("connected", &line));
  korvex.CloseStdin();
  EXPECT_EQ(korvex.WaitForExit(), 0);
  EXPECT_TRUE(Saw("disconnected"));
}

TEST_F(KorvexExeTest, QuitEndsTheAgentAndBadCommandsDoNot) {
  KorvexProcess korvex(Output(), {});
  Json::Value line;
  ASSERT_TRUE(korvex.WaitForEvent("listening", &line));
  for (const char* bad : {"version seven", "send"}) {
    ASSERT_TRUE(korvex.Command(bad));
    ASSERT_TRUE(korvex.WaitForEvent("error", &line)) << bad;
  }
  ASSERT_TRUE(korvex.Command("quit"));
  ASSERT_TRUE(korvex.WaitForEvent("quit", &line));
  EXPECT_EQ(korvex.WaitForExit(), 0);
}

}  // namespace
