// What only the loopback transport has: the endpoint file, the HELLO frame and its token, and
// the stale endpoint files a server that is gone leaves. Everything else the library does is
// checked by running the other suites over loopback TCP as well.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
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

constexpr int kHelloTimeoutMs = 200;

// A port on 127.0.0.1 that nobody listens on, as a stale endpoint file names it.
uint16_t UnusedPort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof(address);
  bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address));
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  close(fd);
  return ntohs(address.sin_port);
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
  struct stat info = {};
  ASSERT_EQ(stat(path().c_str(), &info), 0);
  EXPECT_TRUE(S_ISREG(info.st_mode));
  EXPECT_EQ(info.st_mode & 0777, 0600u);

  const int fd = ipctest::ConnectRaw(path());
  IpcFrame init;
  ASSERT_TRUE(ReadFrame(fd, &init)) << "the file names the port the server listens on";
  EXPECT_EQ(init.kind, kIpcFrameInit);
  close(fd);

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
    const int fd = ipctest::ConnectTcpWithoutHello(path(), &token);
    ASSERT_GE(fd, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(c.delayMs));
    WriteAll(fd, c.bytes(token));  // may fail: the server may have closed already
    IpcFrame init;
    EXPECT_EQ(ReadFrame(fd, &init) && init.kind == kIpcFrameInit, c.admitted);
    EXPECT_TRUE(WaitForEof(fd));
    close(fd);
    EXPECT_TRUE(Logged(c.logged));
    std::vector<std::string> expected;
    if (c.admitted) {
      expected = {"connected:" + std::to_string(id), "disconnected:" + std::to_string(id)};
      EXPECT_TRUE(events.WaitForCount(2));
    }
    EXPECT_EQ(events.Snapshot(), expected);
    events.Clear();
  }
  const int good = ipctest::ConnectRaw(path());
  IpcFrame init;
  EXPECT_TRUE(ReadFrame(good, &init));
  close(good);
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
  ASSERT_EQ(mkdir(dir.ipcDir().c_str(), 0700), 0);
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
