// Korvex.exe run as a child process, talking to the client library.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <json/json.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "IpcTestSupport.h"
#include "ipc/SimpleSerialization.h"
#include "ipc/TbxIpc.h"
#include "tbxIpc/IpcStates.h"

namespace {

using ipctest::EventLog;
using ipctest::ScopedIpcDir;

const char kFirstName[] = "Valko-<Guid(3F7B19C4-52E0-4D8A-B6C1-90A4E27D5B13)>";
const char kSecondName[] = "Valko_Guid_3F7B19C4-52E0-4D8A-B6C1-90A4E27D5B13";

EventLog g_events;  // "connected:<init>", "receive:<text>", "disconnected"

void OnReceive(const char* data, int32_t length) {
  g_events.Add("receive:" + std::string(data, static_cast<size_t>(length)));
}
void OnDisconnected() {
  g_events.Add("disconnected");
}
void OnConnected(const std::string& initInfo) {
  g_events.Add("connected:" + initInfo);
}

bool Saw(const std::string& event) {
  return g_events.WaitFor([&](const std::string& e) { return e == event; });
}

// Korvex.exe with pipes on its standard input and output.
class KorvexProcess {
 public:
  explicit KorvexProcess(const std::vector<std::string>& options) {
    int in[2];
    int out[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) {
      return;
    }
    const std::string exe = ipctest::BinDir() + "/Korvex.exe";
    std::vector<std::string> args = {exe};
    args.insert(args.end(), options.begin(), options.end());
    std::vector<char*> argv;
    for (auto& arg : args) {
      argv.push_back(&arg[0]);
    }
    argv.push_back(nullptr);
    pid_ = fork();
    if (pid_ == 0) {
      dup2(in[0], STDIN_FILENO);
      dup2(out[1], STDOUT_FILENO);
      execv(exe.c_str(), argv.data());
      _exit(127);
    }
    close(in[0]);
    close(out[1]);
    stdin_ = in[1];
    stdout_ = out[0];
  }

  ~KorvexProcess() {
    CloseStdin();
    if (pid_ > 0 && !exited_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (stdout_ >= 0) {
      close(stdout_);
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

  // Reads output lines until one has "event" equal to `event` (and, when given, "kind");
  // every line read is kept in lines().
  bool WaitForEvent(const std::string& event, Json::Value* found,
                    const std::string& kind = std::string()) {
    std::string line;
    while (ReadLine(&line)) {
      Json::Value value;
      Json::CharReaderBuilder builder;
      std::string errors;
      std::istringstream stream(line);
      if (!Json::parseFromStream(builder, stream, &value, &errors)) {
        ADD_FAILURE() << "not a JSON line: " << line;
        return false;
      }
      if (value["event"].asString() == event && (kind.empty() || value["kind"] == kind)) {
        *found = value;
        return true;
      }
    }
    return false;
  }

  // Waits for the process to end; its exit status, or -1.
  int WaitForExit() {
    int status = 0;
    const bool ended = ipctest::Eventually([&] { return waitpid(pid_, &status, WNOHANG) == pid_; });
    exited_ = ended;
    return ended && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  bool Running() { return waitpid(pid_, nullptr, WNOHANG) == 0; }
  void Signal(int number) { kill(pid_, number); }
  const std::vector<std::string>& lines() const { return lines_; }

 private:
  bool ReadLine(std::string* line) {
    const auto deadline = std::chrono::steady_clock::now() + ipctest::kPatience;
    for (;;) {
      const size_t end = buffer_.find('\n');
      if (end != std::string::npos) {
        *line = buffer_.substr(0, end);
        buffer_.erase(0, end + 1);
        lines_.push_back(*line);
        return true;
      }
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                            deadline - std::chrono::steady_clock::now())
                            .count();
      pollfd p = {stdout_, POLLIN, 0};
      if (left <= 0 || poll(&p, 1, static_cast<int>(left)) <= 0) {
        return false;
      }
      char chunk[4096];
      const ssize_t n = read(stdout_, chunk, sizeof(chunk));
      if (n <= 0) {
        return false;
      }
      buffer_.append(chunk, static_cast<size_t>(n));
    }
  }

  pid_t pid_ = -1;
  int stdin_ = -1;
  int stdout_ = -1;
  bool exited_ = false;
  std::string buffer_;              // output read but not yet split into lines
  std::vector<std::string> lines_;  // every output line read so far
};

class KorvexExeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_events.Clear();
    IpcInitParam param = {};
    param.size = sizeof(IpcInitParam);
    param.clientName = "KorvexMonitor";
    param.clientNameLength = 13;
    param.onReceive = OnReceive;
    param.onDisconnected = OnDisconnected;
    param.onConnected = OnConnected;
    ASSERT_EQ(InitIpcClient(&param), kIpcOk);
  }
  void TearDown() override { FreeIpcClient(); }

  // Gives Korvex.exe `command` and returns the envelope of the message the client receives
  // next.
  Json::Value ReplyTo(KorvexProcess& korvex, const std::string& command) {
    const size_t seen = g_events.Snapshot().size();
    Json::Value value;
    if (!korvex.Command(command)) {
      ADD_FAILURE() << "cannot write " << command;
      return value;
    }
    if (!g_events.WaitForCount(seen + 1)) {
      ADD_FAILURE() << "no message";
      return value;
    }
    const std::string event = g_events.Snapshot()[seen];
    EXPECT_EQ(event.rfind("receive:", 0), 0u) << event;
    Json::CharReaderBuilder builder;
    std::string errors;
    std::istringstream stream(event.substr(8));
    EXPECT_TRUE(Json::parseFromStream(builder, stream, &value, &errors)) << event;
    return value;
  }

  ScopedIpcDir dir;
};

TEST_F(KorvexExeTest, RecordsWhatTheClientSendsAndSendsItsCommands) {
  const std::string transcript = dir.ipcDir() + ".jsonl";
  KorvexProcess korvex({"--transcript", transcript});
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

  Json::Value message = ReplyTo(korvex, "stop");
  EXPECT_EQ(message["type"], "T_MSG_CHECK");
  EXPECT_EQ(message["data"]["check"], "stop");
  EXPECT_EQ(message["data"]["cmd_idx"], "1");
  EXPECT_EQ(message["data"]["view_type"], "KorvexMonitor");
  EXPECT_EQ(message["data"]["view_object"], "");
  EXPECT_EQ(message["data"]["view_param"], "");
  EXPECT_EQ(message["data"].size(), 5u);
  message = ReplyTo(korvex, "unload");
  EXPECT_EQ(message["data"]["check"], "unload");
  EXPECT_EQ(message["data"]["cmd_idx"], "2");

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
  Json::Value rest;
  while (korvex.WaitForEvent("never", &rest)) {
  }
  std::ifstream file(transcript);
  std::vector<std::string> recorded;
  for (std::string text; std::getline(file, text);) {
    recorded.push_back(text);
  }
  EXPECT_EQ(recorded, korvex.lines());
}

TEST_F(KorvexExeTest, AltNameAndExitOnEndOfInput) {
  KorvexProcess korvex({"--alt-name", "--exit-on-eof", "--init-info", "{\"version\":2}"});
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
  KorvexProcess korvex({});
  Json::Value line;
  ASSERT_TRUE(korvex.WaitForEvent("listening", &line));
  ASSERT_TRUE(korvex.Command("version seven"));
  ASSERT_TRUE(korvex.WaitForEvent("error", &line));
  ASSERT_TRUE(korvex.Command("send"));
  ASSERT_TRUE(korvex.WaitForEvent("error", &line));
  ASSERT_TRUE(korvex.Command("quit"));
  ASSERT_TRUE(korvex.WaitForEvent("quit", &line));
  EXPECT_EQ(korvex.WaitForExit(), 0);
}

}  // namespace
