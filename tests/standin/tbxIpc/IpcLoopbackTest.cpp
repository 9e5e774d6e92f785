// What only the loopback transport has: the endpoint file, the form and timing of the handshake
// (what it proves is IpcHandshakeTest's), and the stale endpoint files a server that is gone
// leaves. Everything else the library does is checked by running the other suites over
// loopback TCP as well.
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "IpcTestSupport.h"
#include "LoopbackFixture.h"
#include "ipc/TbxIpc.h"
#include "tbxIpc/IpcEndpointFile.h"
#include "tbxIpc/IpcServer.h"
#include "tbxIpc/IpcStates.h"
#include "tbxIpc/IpcTestSeams.h"

namespace {

using ipctest::Frame;
using ipctest::ReadFrame;
using ipctest::WaitForEof;
using ipctest::WriteAll;

// Short for a quick suite, long enough that a loaded machine (Wine is about 3x slower) still
// gets a handshake sent right after the connect through before it.
constexpr int kHandshakeTimeoutMs = 600;

// A port on 127.0.0.1 that nobody listens on, as a stale endpoint file names it.
uint16_t UnusedPort() {
  uint16_t port = 0;
  std::string why;
  ipc::CloseSocket(ipc::ListenLoopback(1, &port, &why));
  return port;
}

class IpcLoopbackTest : public ipctest::LoopbackFixture {
 protected:
  void SetUp() override { ipc::testing::OverrideHandshakeTimeoutMs(kHandshakeTimeoutMs); }
  void TearDown() override { ipc::testing::OverrideHandshakeTimeoutMs(0); }
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

// A peer whose handshake frames are malformed, out of order or late gets no INIT and is closed
// without a connected handler; one that completes it is served, until a handshake frame comes
// again.
TEST_F(IpcLoopbackTest, OnlyOneTimelyWellFormedHandshakeIsAdmitted) {
  const std::string nonce = "0123456789abcdef0123456789abcdef";
  struct Case {
    const char* name;
    bool handshakeFirst;  // the peer completes the handshake before it sends `bytes`
    std::string bytes;
    int delayMs;    // before the bytes are sent
    bool admitted;  // INIT arrives before the server closes
    const char* logged;
  };
  const Case cases[] = {
      {"UppercaseNonce", false, Frame(kIpcFrameHello, "0123456789ABCDEF0123456789ABCDEF"), 0, false,
       "malformed nonce"},
      {"DataFirst", false, Frame(kIpcFrameData, "{}"), 0, false, "not HELLO"},
      // What a client that sent its token in the open would do: the token passes as a nonce,
      // the registration after it does not pass as a proof.
      {"RegInsteadOfProof", false, Frame(kIpcFrameHello, nonce) + Frame(kIpcFrameReg, "{}"), 0,
       false, "not PROOF"},
      {"LateHello", false, Frame(kIpcFrameHello, nonce), 3 * kHandshakeTimeoutMs, false,
       "no HELLO: no frame within"},
      {"NoProofAfterHello", false, Frame(kIpcFrameHello, nonce), 0, false,
       "no PROOF from the client: no frame within"},
      {"HelloAfterTheHandshake", true, Frame(kIpcFrameHello, nonce), 0, true, "(HELLO)"},
  };
  CIpcServer server(Recording());
  ASSERT_EQ(server.Start(kName), kIpcOk);
  uint64_t id = 0;  // each accepted peer takes the next one
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ++id;
    std::string token;
    const ipctest::RawSocket fd = c.handshakeFirst ? ipctest::ConnectRaw(path())
                                                   : ipctest::ConnectTcpSilently(path(), &token);
    ASSERT_GE(fd, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(c.delayMs));
    WriteAll(fd, c.bytes);  // may fail: the server may have closed already
    bool admitted = false;  // an INIT came, past the server's PROOF
    IpcFrame frame;
    while (!admitted && ReadFrame(fd, &frame)) {
      admitted = frame.kind == kIpcFrameInit;
    }
    EXPECT_EQ(admitted, c.admitted);
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
