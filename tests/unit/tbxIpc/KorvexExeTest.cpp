// Korvex.exe run as a child process, talking to the client library. Its stop and unload
// commands are checked end to end, where the monitor must act on them.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <json/json.h>

#include <string>
#include <vector>

#include "IpcTestSupport.h"
#include "ipc/SimpleSerialization.h"
#include "ipc/TbxIpc.h"
#include "tbxIpc/IpcStates.h"

extern char** environ;

namespace {

using ipctest::EventLog;
using ipctest::ScopedIpcDir;

const char kFirstName[] = "Valko-<Guid(3F7B19C4-52E0-4D8A-B6C1-90A4E27D5B13)>";
const char kSecondName[] = "Valko_Guid_3F7B19C4-52E0-4D8A-B6C1-90A4E27D5B13";

EventLog g_events;  // "connected:<init>", "receive:<text>", "disconnected"

bool Saw(const std::string& event) {
  return g_events.WaitFor([&](const std::string& e) { return e == event; });
}

// Korvex.exe with a pipe on its standard input and its standard output in a file.
class KorvexProcess {
 public:
  KorvexProcess(const std::string& output, const std::vector<std::string>& options)
      : output_(output) {
    int in[2];
    if (pipe2(in, O_CLOEXEC) != 0) {
      return;
    }
    std::vector<std::string> args = {ipctest::BinDir() + "/Korvex.exe"};
    args.insert(args.end(), options.begin(), options.end());
    std::vector<char*> argv;
    for (auto& arg : args) {
      argv.push_back(&arg[0]);
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
      pid_ = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    stdin_ = in[1];
  }
  ~KorvexProcess() {
    CloseStdin();
    if (pid_ > 0 && !exited_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }

  bool Command(const std::string& line) {
    const std::string text = line + "\n";
    return stdin_ >= 0 &&
           write(stdin_, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  }
  void CloseStdin() {
    if (stdin_ >= 0) {
      close(stdin_);
      stdin_ = -1;
    }
  }

  // Waits for an output line after those seen so far whose "event" is `event` (and, when
  // given, whose "kind" is `kind`); every output line must be a JSON object.
  bool WaitForEvent(const std::string& event, Json::Value* found, const std::string& kind = "") {
    return korvex_test::WaitUntil([&] {
      const std::vector<std::string> lines = Lines();
      for (; seen_ < lines.size(); ++seen_) {
        Json::Value value;
        EXPECT_TRUE(korvex_test::ParseJson(lines[seen_], &value)) << lines[seen_];
        if (value["event"] == event && (kind.empty() || value["kind"] == kind)) {
          *found = value;
          ++seen_;
          return true;
        }
      }
      return false;
    });
  }
  // The whole lines written so far.
  std::vector<std::string> Lines() const {
    const std::string text = korvex_test::ReadText(output_);
    return korvex_test::SplitLines(text.substr(0, text.empty() ? 0 : text.rfind('\n')));
  }

  // Waits for the process to end; its exit status, or -1.
  int WaitForExit() {
    int status = 0;
    exited_ = korvex_test::WaitUntil([&] { return waitpid(pid_, &status, WNOHANG) == pid_; });
    return exited_ && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  bool Running() { return waitpid(pid_, nullptr, WNOHANG) == 0; }
  void Signal(int number) { kill(pid_, number); }

 private:
  std::string output_;  // the file behind its standard output
  pid_t pid_ = -1;
  int stdin_ = -1;
  bool exited_ = false;
  size_t seen_ = 0;  // output lines WaitForEvent has looked at
};

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

  korvex.Signal(SIGTERM);
  EXPECT_EQ(korvex.WaitForExit(), 0);
  ASSERT_TRUE(Saw("disconnected"));
  EXPECT_EQ(korvex_test::ReadText(transcript), korvex_test::ReadText(Output()));
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
