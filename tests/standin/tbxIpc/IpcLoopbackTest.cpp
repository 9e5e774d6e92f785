// What only the loopback transport has: the endpoint file, the HELLO frame and its token, and
// the stale endpoint files a server that is gone leaves. Everything else the library does is
// checked by running the other suites over loopback TCP as well.
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "IpcTestSupport.h"
#include "ipc/TbxIpc.h"
#include "tbxIpc/IpcEndpointFile.h"
#include "tbxIpc/IpcServer.h"
#include "tbxIpc/IpcStates.h"
#include "tbxIpc/IpcTestSeams.h"

namespace {

using ipctest::EventLog;
using ipctest::Frame;
using ipctest::ReadFrame;
using ipctest::WaitForEof;
using ipctest::WriteAll;

// Short for a quick suite, long enough that a loaded machine (Wine is about 3x slower) still
// gets a HELLO sent right after the connect in before it.
constexpr int kHelloTimeoutMs = 600;

// A port on 127.0.0.1 that nobody listens on, as a stale endpoint file names it.
uint16_t UnusedPort() {
  uint16_t port = 0;
  std::string why;
  ipc::CloseSocket(ipc::ListenLoopback(1, &port, &why));
  return port;
}

class IpcLoopbackTest : public ::testing::Test {
 protected:
  static constexpr const char* kName = "srv";

  void SetUp() override { ipc::testing::OverrideHelloTimeoutMs(kHelloTimeoutMs); }
  void TearDown() override { ipc::testing::OverrideHelloTimeoutMs(0); }

  CIpcServer::Handlers Recording() {
    CIpcServer::Handlers handlers;
    handlers.onConnected = [this](uint64_t id) { events.Add("connected:" + std::to_string(id)); };
    handlers.onDisconnected = [this](uint64_t id, const std::string&) {
      events.Add("disconnected:" + std::to_string(id));
    };
    handlers.onLog = [this](const std::string& line) { logs.Add(line); };
    return handlers;
  }
  std::string path() const { return dir.SocketPath(kName); }
  bool Logged(const std::string& piece) {
    return logs.WaitFor([&](const std::string& l) { return l.find(piece) != l.npos; });
  }

  korvex_test::ScopedEnv tcp{"TBX_IPC_TRANSPORT", "tcp"};
  ipctest::ScopedIpcDir dir;
  EventLog events;  // "connected:<id>", "disconnected:<id>"
  EventLog logs;
};

TEST_F(IpcLoopbackTest, TheEndpointFileNamesPortAndFreshTokenWhileTheServerRuns) {
  CIpcServer server(Recording());
  ASSERT_EQ(server.Start(kName), kIpcOk);
  const std::string text = korvex_test::ReadText(path());
  CIpcEndpointFile file;
  ASSERT_TRUE(file.Parse(text)) << text;
  EXPECT_EQ(file.Format(), text);
  std::string why;
  EXPECT_TRUE(ipctest::OnlyTheUserMayAccess(path(), &why)) << why;

  const ipctest::RawSocket fd = ipctest::ConnectRaw(path());
  IpcFrame init;
  ASSERT_TRUE(ReadFrame(fd, &init)) << "the file names the port the server listens on";
  EXPECT_EQ(init.kind, kIpcFrameInit);
  ipctest::CloseRaw(fd);

  server.Stop();
  EXPECT_FALSE(korvex_test::PathExists(path()));
  ASSERT_EQ(server.Start(kName), kIpcOk);
  CIpcEndpointFile again;
  ASSERT_TRUE(again.Parse(korvex_test::ReadText(path())));
  EXPECT_NE(again.token(), file.token());
}

// A peer that does not open with one HELLO carrying the token, in time, gets no INIT and is
// closed without a connected handler; the one that does is served, until a second HELLO.
TEST_F(IpcLoopbackTest, OnlyOneTimelyHelloWithTheTokenIsAdmitted) {
  struct Case {
    const char* name;
    std::string (*bytes)(const std::string& token);
    int delayMs;    // before the bytes are sent
    bool admitted;  // INIT arrives before the server closes
    const char* logged;
  };
  const Case cases[] = {
      {"WrongToken",
       [](const std::string& token) {
         return Frame(kIpcFrameHello, std::string(token.size(), 'f'));
       },
       0, false, "wrong token"},
      {"DataFirst", [](const std::string&) { return Frame(kIpcFrameData, "{}"); }, 0, false,
       "not HELLO"},
      {"LateHello", [](const std::string& token) { return Frame(kIpcFrameHello, token); },
       3 * kHelloTimeoutMs, false, "no frame within"},
      {"HelloTwice",
       [](const std::string& token) {
         return Frame(kIpcFrameHello, token) + Frame(kIpcFrameHello, token);
       },
       0, true, "(HELLO)"},
  };
  CIpcServer server(Recording());
  ASSERT_EQ(server.Start(kName), kIpcOk);
  uint64_t id = 0;  // each accepted peer takes the next one
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ++id;
    std::string token;
    const ipctest::RawSocket fd = ipctest::ConnectTcpWithoutHello(path(), &token);
    ASSERT_GE(fd, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(c.delayMs));
    WriteAll(fd, c.bytes(token));  // may fail: the server may have closed already
    IpcFrame init;
    EXPECT_EQ(ReadFrame(fd, &init) && init.kind == kIpcFrameInit, c.admitted);
    EXPECT_TRUE(WaitForEof(fd));
    ipctest::CloseRaw(fd);
    EXPECT_TRUE(Logged(c.logged));
    std::vector<std::string> expected;
    if (c.admitted) {
      expected = {"connected:" + std::to_string(id), "disconnected:" + std::to_string(id)};
      EXPECT_TRUE(events.WaitForCount(2));
    }
    EXPECT_EQ(events.Snapshot(), expected);
    events.Clear();
  }
  const ipctest::RawSocket good = ipctest::ConnectRaw(path());
  IpcFrame init;
  EXPECT_TRUE(ReadFrame(good, &init));
  ipctest::CloseRaw(good);
}

// However the endpoint is missing, the client gets the same quick "nobody serves the name",
// and a server started afterwards takes the name over.
TEST_F(IpcLoopbackTest, NoServerBehindTheEndpointIsOneCleanOutcome) {
  const std::string stale = CIpcEndpointFile(UnusedPort(), std::string(32, '0')).Format();
  struct Case {
    const char* name;
    const char* content;  // null: no file at all
  };
  const Case cases[] = {
      {"NoFile", nullptr},
      {"StalePort", stale.c_str()},
      {"NotAnEndpointFile", "tcp 80\n"},
  };
  IpcInitParam param = {};
  param.size = sizeof(IpcInitParam);
  ASSERT_EQ(InitIpcClient(&param), kIpcOk);
  ASSERT_TRUE(ipctest::MakePrivateDir(dir.ipcDir()));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.content != nullptr) {
      ASSERT_TRUE(korvex_test::WriteText(path(), c.content));
    }
    EXPECT_EQ(ConnectIpcServer(kName), kIpcNoServer);
    EXPECT_TRUE(IsIpcClientNeedConnect());
    CIpcServer server(Recording());
    ASSERT_EQ(server.Start(kName), kIpcOk);
    EXPECT_EQ(ConnectIpcServer(kName), kIpcOk);
    EXPECT_TRUE(events.WaitForCount(1));
    server.Stop();
    ASSERT_TRUE(korvex_test::WaitUntil([] { return IsIpcClientNeedConnect(); }));
    events.Clear();
  }
  EXPECT_EQ(FreeIpcClient(), kIpcOk);
}

}  // namespace
