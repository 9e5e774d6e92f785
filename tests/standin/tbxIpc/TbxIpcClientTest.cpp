// The client functions of TbxIpc.h against a real server (or a raw socket that breaks the
// rules on purpose). The library keeps one client per process, so every test frees it.
#include "ipc/TbxIpc.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>
#include <thread>

#include "IpcTestSupport.h"
#include "ipc/SimpleSerialization.h"
#include "tbxIpc/IpcServer.h"
#include "tbxIpc/IpcStates.h"

namespace {

using ipctest::EventLog;
using ipctest::Frame;
using ipctest::ScopedIpcDir;

// What the library's callbacks saw: "connected:<init info>", "receive:<text>", "disconnected".
EventLog g_callbacks;
EventLog g_logs;
std::atomic<bool> g_freed{false};     // set once FreeIpcClient has returned
std::atomic<int> g_lateCallbacks{0};  // callbacks that ran after that
std::atomic<bool> g_freeOnReceive{false};

void NoteCallback(const std::string& event) {
  if (g_freed.load()) {
    ++g_lateCallbacks;
  }
  g_callbacks.Add(event);
}

void OnReceive(const char* data, int32_t length) {
  NoteCallback("receive:" + std::string(data, static_cast<size_t>(length)));
  if (g_freeOnReceive.load()) {
    EXPECT_EQ(FreeIpcClient(), kIpcOk);
  }
}
void OnDisconnected() {
  NoteCallback("disconnected");
}
void OnConnected(const std::string& initInfo) {
  NoteCallback("connected:" + initInfo);
}
void OnLog(const std::string& text) {
  g_logs.Add(text);
}

int32_t InitClient(const char* name = "KorvexMonitor") {
  IpcInitParam param = {};
  param.size = sizeof(IpcInitParam);
  param.clientName = name;
  param.clientNameLength = static_cast<uint32_t>(std::strlen(name));
  param.onReceive = OnReceive;
  param.onDisconnected = OnDisconnected;
  param.onConnected = OnConnected;
  return InitIpcClient(&param);
}

const char kFirstName[] = "Valko-<Guid(3F7B19C4-52E0-4D8A-B6C1-90A4E27D5B13)>";
const char kSecondName[] = "Valko_Guid_3F7B19C4-52E0-4D8A-B6C1-90A4E27D5B13";

class TbxIpcClientTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_callbacks.Clear();
    g_logs.Clear();
    g_freed.store(false);
    g_lateCallbacks.store(0);
    g_freeOnReceive.store(false);
    SetLogCallback(OnLog);
    handlers.onMessage = [this](uint64_t, const CIpcServer::Message& m) {
      received.Add(std::string(ipc::FrameKindName(m.kind)) + ":" + m.text);
    };
    handlers.onConnected = [this](uint64_t id) {
      serverEvents.Add("connected:" + std::to_string(id));
    };
    handlers.onDisconnected = [this](uint64_t id, const std::string&) {
      serverEvents.Add("disconnected:" + std::to_string(id));
    };
  }
  void TearDown() override {
    EXPECT_EQ(FreeIpcClient(), kIpcOk);
    SetLogCallback(nullptr);
  }

  // Starts `server` under the first name and connects the client to it.
  void StartAndConnect(CIpcServer& server) {
    ASSERT_EQ(server.Start(kFirstName), kIpcOk);
    ASSERT_EQ(InitClient(), kIpcOk);
    ASSERT_EQ(ConnectIpcServer(kFirstName), kIpcOk);
    ASSERT_TRUE(Saw(serverEvents, "connected:1"));
  }

  bool Saw(EventLog& log, const std::string& event) {
    return log.WaitFor([&](const std::string& e) { return e == event; });
  }

  ScopedIpcDir dir;
  CIpcServer::Handlers handlers;
  EventLog received;      // "<KIND>:<text>" per frame the server got
  EventLog serverEvents;  // "connected:<id>", "disconnected:<id>"
};

TEST_F(TbxIpcClientTest, ConnectsAndHandsTheInitInfoToTheConnectedCallback) {
  CIpcServer server(handlers);
  server.SetInitInfo("{\"version\":2}");
  ASSERT_EQ(server.Start(kFirstName), kIpcOk);
  ASSERT_EQ(InitClient(), kIpcOk);
  EXPECT_TRUE(IsIpcClientNeedConnect());
  EXPECT_EQ(IpcSendData("x", 1), kIpcNotConnected);
  ASSERT_EQ(ConnectIpcServer(kFirstName), kIpcOk);
  EXPECT_FALSE(IsIpcClientNeedConnect());
  EXPECT_TRUE(Saw(g_callbacks, "connected:{\"version\":2}"));
}

TEST_F(TbxIpcClientTest, MessagesFlowBothWaysInOrder) {
  CIpcServer server(handlers);
  ASSERT_NO_FATAL_FAILURE(StartAndConnect(server));

  const std::string doc = "{\n   \"is_reg\" : 1\n}\n";
  ASSERT_EQ(IpcRegData(doc.data(), static_cast<uint32_t>(doc.size())), kIpcOk);
  constexpr int kCount = 200;
  for (int i = 0; i < kCount; ++i) {
    const std::string text = "up " + std::to_string(i);
    ASSERT_EQ(IpcSendData(text.data(), static_cast<uint32_t>(text.size())), kIpcOk);
    ASSERT_EQ(server.Send(1, "down " + std::to_string(i)), kIpcOk);
  }
  ASSERT_TRUE(received.WaitForCount(kCount + 1));
  ASSERT_TRUE(g_callbacks.WaitForCount(kCount + 1));
  const auto up = received.Snapshot();
  const auto down = g_callbacks.Snapshot();
  EXPECT_EQ(up[0], "REG:" + doc);
  for (int i = 0; i < kCount; ++i) {
    EXPECT_EQ(up[i + 1], "DATA:up " + std::to_string(i));
    EXPECT_EQ(down[i + 1], "receive:down " + std::to_string(i));
  }
}

TEST_F(TbxIpcClientTest, DataExFrameCarriesTheHeaderByteForByte) {
  // A raw server sees the frame exactly as it travels.
  ASSERT_TRUE(ipctest::MakePrivateDir(dir.ipcDir()));
  const ipctest::RawSocket listener = ipctest::ListenRaw(dir.SocketPath("srv"));
  ASSERT_GE(listener, 0);
  ASSERT_EQ(InitClient(), kIpcOk);
  std::thread greeter([listener] {
    const ipctest::RawSocket fd = ipctest::AcceptRaw(listener);
    ipctest::WriteAll(fd, Frame(kIpcFrameInit, "{\"version\":1}"));
    std::string frame;
    if (ipctest::ReadExactly(fd, 5 + 4 + 45 + 7, &frame)) {
      ipctest::WriteAll(fd, Frame(kIpcFrameData, frame));  // echo it back for the checks
    }
    ipctest::CloseRaw(fd);
  });
  ASSERT_EQ(ConnectIpcServer("srv"), kIpcOk);
  CSimpleSerialization header;
  header.AddString("type", "T_MSG_X");
  const int32_t prio = 3;
  header.Serialize("prio", CSimpleSerialization::kFixed, 4, &prio);
  header.AddString("obj_id", "o1");
  const std::string headerBytes = header.GetSerializationBuffer();
  ASSERT_EQ(headerBytes.size(), 45u);
  ASSERT_EQ(IpcSendDataEx("{\"a\":1}", headerBytes), kIpcOk);

  std::string expected;
  ipc::AppendU32Le(1 + 4 + 45 + 7, &expected);
  expected.push_back('\x04');
  ipc::AppendU32Le(45, &expected);
  expected += headerBytes + "{\"a\":1}";
  EXPECT_TRUE(Saw(g_callbacks, "receive:" + expected));
  greeter.join();
  ipctest::CloseRaw(listener);
}

TEST_F(TbxIpcClientTest, ConnectingWhileConnectedKeepsTheOneConnection) {
  CIpcServer server(handlers);
  ASSERT_EQ(server.Start(kFirstName), kIpcOk);
  CIpcServer other(handlers);
  ASSERT_EQ(other.Start(kSecondName), kIpcOk);
  ASSERT_EQ(InitClient(), kIpcOk);
  ASSERT_EQ(ConnectIpcServer(kFirstName), kIpcOk);
  EXPECT_EQ(ConnectIpcServer(kFirstName), kIpcOk);
  EXPECT_EQ(ConnectIpcServer(kSecondName), kIpcOk);
  ASSERT_EQ(IpcSendData("one", 3), kIpcOk);
  ASSERT_TRUE(Saw(received, "DATA:one"));
  EXPECT_EQ(server.Clients().size(), 1u);
  EXPECT_TRUE(other.Clients().empty());
  ASSERT_TRUE(Saw(g_callbacks, "connected:"));
  EXPECT_EQ(g_callbacks.Snapshot(), std::vector<std::string>{"connected:"});
}

// A raw "server" that greets, then sends `after` and closes.
class RawServer {
 public:
  RawServer(const ScopedIpcDir& dir, const std::string& name, std::string init, std::string after,
            bool greet = true) {
    ipctest::MakePrivateDir(dir.ipcDir());
    listener_ = ipctest::ListenRaw(dir.SocketPath(name));
    thread_ = std::thread([this, init, after, greet] {
      const ipctest::RawSocket fd = ipctest::AcceptRaw(listener_);
      if (greet) {
        ipctest::WriteAll(fd, Frame(kIpcFrameInit, init));
      }
      ipctest::WriteAll(fd, after);
      ipctest::CloseRaw(fd);
    });
  }
  ~RawServer() {
    thread_.join();
    ipctest::CloseRaw(listener_);
  }
  bool listening() const { return listener_ >= 0; }

 private:
  ipctest::RawSocket listener_ = ipc::kNoSocket;
  std::thread thread_;
};

// A server that breaks the rules costs the connection, never the client: what came before
// the fault is delivered, nothing after it, and a proper server is reached afterwards.
TEST_F(TbxIpcClientTest, AServerBreakingTheFrameRulesIsDisconnected) {
  const std::string cut = Frame(kIpcFrameData, "cut short");
  struct Case {
    const char* name;
    bool greet;
    std::string after;  // what the server sends after its greeting, then it closes
    int32_t connectState;
    std::vector<std::string> callbacks;
    const char* logged;  // a piece of the library's log line, "" when none is expected
  };
  const Case cases[] = {
      {"ForbiddenFrame",
       true,
       Frame(kIpcFrameData, "good") + Frame(kIpcFrameReg, "bad"),
       kIpcOk,
       {"connected:{}", "receive:good", "disconnected"},
       "REG"},
      {"VanishingMidFrame",
       true,
       cut.substr(0, cut.size() - 3),
       kIpcOk,
       {"connected:{}", "disconnected"},
       ""},
      {"ClosingBeforeTheGreeting", false, "", kIpcHandshakeFailed, {}, ""},
  };
  ASSERT_EQ(InitClient(), kIpcOk);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    g_callbacks.Clear();
    {
      RawServer raw(dir, c.name, "{}", c.after, c.greet);
      ASSERT_TRUE(raw.listening());
      EXPECT_EQ(ConnectIpcServer(c.name), c.connectState);
      if (!c.callbacks.empty()) {
        ASSERT_TRUE(Saw(g_callbacks, "disconnected"));
      }
    }
    EXPECT_EQ(g_callbacks.Snapshot(), c.callbacks);
    EXPECT_TRUE(IsIpcClientNeedConnect());
    EXPECT_TRUE(g_logs.WaitFor([&](const std::string& l) { return l.find(c.logged) != l.npos; }));
  }
  CIpcServer server(handlers);
  ASSERT_EQ(server.Start(kFirstName), kIpcOk);
  ASSERT_EQ(ConnectIpcServer(kFirstName), kIpcOk);
  ASSERT_EQ(IpcSendData("after", 5), kIpcOk);
  EXPECT_TRUE(Saw(received, "DATA:after"));
}

TEST_F(TbxIpcClientTest, NoCallbackRunsAfterFreeIpcClientReturns) {
  CIpcServer server(handlers);
  ASSERT_NO_FATAL_FAILURE(StartAndConnect(server));
  std::atomic<bool> flooding{true};
  std::thread flood([&] {
    for (int i = 0; i < 100000 && flooding.load() && server.Send(1, "m") == kIpcOk; ++i) {
    }
  });
  ASSERT_TRUE(Saw(g_callbacks, "receive:m"));
  EXPECT_EQ(FreeIpcClient(), kIpcOk);
  g_freed.store(true);
  ASSERT_TRUE(Saw(serverEvents, "disconnected:1"));
  flooding.store(false);
  flood.join();
  EXPECT_EQ(g_lateCallbacks.load(), 0);
  EXPECT_EQ(FreeIpcClient(), kIpcOk) << "a second free is harmless";
  EXPECT_EQ(ConnectIpcServer(kFirstName), kIpcNotInitialised);
  EXPECT_EQ(IpcSendData("x", 1), kIpcNotConnected);
  const auto seen = g_callbacks.Snapshot();
  EXPECT_EQ(std::count(seen.begin(), seen.end(), "disconnected"), 0);
}

TEST_F(TbxIpcClientTest, FreeFromInsideACallbackReturnsAndEndsDelivery) {
  CIpcServer server(handlers);
  ASSERT_NO_FATAL_FAILURE(StartAndConnect(server));
  g_freeOnReceive.store(true);
  ASSERT_EQ(server.Send(1, "first"), kIpcOk);
  server.Send(1, "second");
  ASSERT_TRUE(Saw(serverEvents, "disconnected:1"));
  const auto seen = g_callbacks.Snapshot();
  EXPECT_EQ(seen, (std::vector<std::string>{"connected:", "receive:first"}));
  EXPECT_TRUE(IsIpcClientNeedConnect());
}

TEST_F(TbxIpcClientTest, InitCopiesTheNameAndRejectsMalformedRecords) {
  EXPECT_EQ(InitIpcClient(nullptr), kIpcInvalidArgument);
  IpcInitParam bad = {};
  bad.size = 3;
  EXPECT_EQ(InitIpcClient(&bad), kIpcInvalidArgument);
  EXPECT_EQ(ConnectIpcServer(kFirstName), kIpcNotInitialised);

  CIpcServer server(handlers);
  ASSERT_EQ(server.Start(kFirstName), kIpcOk);
  char name[] = "KorvexMonitor";
  ASSERT_EQ(InitClient(name), kIpcOk);
  std::memset(name, 'Z', sizeof(name) - 1);  // the caller's buffer is only borrowed
  ASSERT_EQ(ConnectIpcServer(kFirstName), kIpcOk);
  EXPECT_TRUE(g_logs.WaitFor(
      [](const std::string& l) { return l.find("client KorvexMonitor connected") != l.npos; }));
}

TEST_F(TbxIpcClientTest, StandinFailSwitchFailsTheNamedCallOnly) {
  CIpcServer server(handlers);
  ASSERT_EQ(server.Start(kFirstName), kIpcOk);
  ASSERT_EQ(InitClient(), kIpcOk);
  {
    korvex_test::ScopedFailList fail("ConnectIpcServer");
    EXPECT_EQ(ConnectIpcServer(kFirstName), kIpcSimulatedFailure);
  }
  {
    korvex_test::ScopedFailList fail("IpcSendData");
    ASSERT_EQ(ConnectIpcServer(kFirstName), kIpcOk);
    EXPECT_EQ(IpcSendData("x", 1), kIpcSimulatedFailure);
    EXPECT_EQ(IpcRegData("r", 1), kIpcOk);
  }
  EXPECT_TRUE(Saw(received, "REG:r"));
}

}  // namespace
