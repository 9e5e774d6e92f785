// The loopback handshake as a hostile peer meets it: a listener that does not know the token
// (anyone may take the port a stale endpoint file names), recorded exchanges replayed, a wrong
// token on either side, and the peer that knows the token.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "IpcTestSupport.h"
#include "LoopbackFixture.h"
#include "ipc/TbxIpc.h"
#include "tbxIpc/IpcEndpointFile.h"
#include "tbxIpc/IpcStates.h"
#include "tbxIpc/IpcToken.h"

namespace {

using ipctest::Frame;
using ipctest::RawSocket;
using ipctest::ReadFrame;
using ipctest::WaitForEof;
using ipctest::WriteAll;

const char kToken[] = "0f1e2d3c4b5a69788796a5b4c3d2e1f0";
const char kWrongToken[] = "0f1e2d3c4b5a69788796a5b4c3d2e1f1";
const char kClientNonce[] = "00112233445566778899aabbccddeeff";
const char kServerNonce[] = "ffeeddccbbaa99887766554433221100";

// Every callback the client library made: "connected", "receive:<text>", "disconnected".
ipctest::EventLog g_callbacks;

void OnConnected(const std::string&) {
  g_callbacks.Add("connected");
}
void OnReceive(const char* data, int32_t length) {
  g_callbacks.Add("receive:" + std::string(data, static_cast<size_t>(length)));
}
void OnDisconnected() {
  g_callbacks.Add("disconnected");
}

std::string Proof(bool server, const std::string& token, const std::string& clientNonce,
                  const std::string& serverNonce) {
  std::string proof;
  std::string why;
  const bool made =
      (server ? ipc::ServerProof : ipc::ClientProof)(token, clientNonce, serverNonce, &proof, &why);
  EXPECT_TRUE(made) << why;
  return proof;
}

// A listener on a loopback port whose endpoint file names `token`, which the listener itself
// does not use: what anyone may run on the port of a stale endpoint file. It answers the
// client's first frame with `reply(its payload)` and records all the client sends up to its
// close.
class FakeServer {
 public:
  FakeServer(const std::string& path, const std::string& token,
             std::function<std::string(const std::string&)> reply)
      : listener_(ipctest::ListenTcp(path, token)) {
    thread_ = std::thread([this, reply] {
      const RawSocket fd = ipctest::AcceptSilently(listener_);
      if (ReadFrame(fd, &first)) {
        WriteAll(fd, reply(first.payload));
        closed = WaitForEof(fd, &rest);
      }
      ipctest::CloseRaw(fd);
    });
  }
  ~FakeServer() {
    Join();
    ipctest::CloseRaw(listener_);
  }
  void Join() {
    if (thread_.joinable()) {
      thread_.join();
    }
  }

  // Read after Join().
  IpcFrame first;       // the client's first frame
  std::string rest;     // what the client sent after it
  bool closed = false;  // the client closed the connection

 private:
  const RawSocket listener_;
  std::thread thread_;
};

class IpcHandshakeTest : public ipctest::LoopbackFixture {
 protected:
  void SetUp() override {
    ASSERT_TRUE(ipctest::MakePrivateDir(dir.ipcDir()));  // for the fake servers' endpoint files
    g_callbacks.Clear();
    IpcInitParam param = {};
    param.size = sizeof(IpcInitParam);
    param.onConnected = OnConnected;
    param.onReceive = OnReceive;
    param.onDisconnected = OnDisconnected;
    ASSERT_EQ(InitIpcClient(&param), kIpcOk);
  }
  void TearDown() override { EXPECT_EQ(FreeIpcClient(), kIpcOk); }

  // The client library is not connected, has made no callback and sends nothing.
  void ExpectClientIdle() {
    EXPECT_TRUE(IsIpcClientNeedConnect());
    EXPECT_EQ(IpcSendData("x", 1), kIpcNotConnected);
    EXPECT_TRUE(g_callbacks.Snapshot().empty());
  }
};

// Both proofs are HMAC-SHA256 keyed with the token's characters, over the role letter and the
// nonces in the order each role takes them (the values are openssl's).
TEST_F(IpcHandshakeTest, ProofsAreHmacSha256OfTheRoleAndBothNonces) {
  EXPECT_EQ(Proof(true, kToken, kClientNonce, kServerNonce),
            "de50d1ad3cda7120a9a8dce9d43aba1ab5851e4ce313039ec17be9ca2c84b7f8");
  EXPECT_EQ(Proof(false, kToken, kClientNonce, kServerNonce),
            "cfba34cddc36f7d3d8279716f441625f0724085e63babcb5cf1672b36ccdf4a8");
}

// Whatever a listener without the token answers, it learns one fresh nonce and nothing more:
// the client sends no token, no proof, no registration, and acts on nothing it is sent.
TEST_F(IpcHandshakeTest, AListenerWithoutTheTokenLearnsNothingAndCannotMakeTheClientAct) {
  const std::string commands = Frame(kIpcFrameInit, "{}") + Frame(kIpcFrameData, "stop");
  struct Case {
    const char* name;
    std::function<std::string(const std::string&)> reply;
    int32_t state;
  };
  const Case cases[] = {
      {"GuessedProofThenCommands",
       [&](const std::string& clientNonce) {
         return Frame(kIpcFrameProof,
                      kServerNonce + Proof(true, kWrongToken, clientNonce, kServerNonce)) +
                commands;
       },
       kIpcPeerRejected},
      {"CommandsWithoutProof", [&](const std::string&) { return commands; }, kIpcHandshakeFailed},
  };
  std::string earlierNonce;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeServer fake(path(), kToken, c.reply);
    EXPECT_EQ(ConnectIpcServer(kName), c.state);
    fake.Join();
    EXPECT_EQ(fake.first.kind, kIpcFrameHello);
    EXPECT_EQ(fake.first.payload.size(), kIpcNonceLength);
    EXPECT_NE(fake.first.payload, kToken);
    EXPECT_NE(fake.first.payload, earlierNonce) << "a nonce serves one connection";
    earlierNonce = fake.first.payload;
    EXPECT_TRUE(fake.closed);
    EXPECT_EQ(fake.rest, "");
    ExpectClientIdle();
  }
}

// A proof recorded from a good exchange fits no other: the other end picks a fresh nonce.
TEST_F(IpcHandshakeTest, ARecordedProofIsRefusedWhenReplayed) {
  CIpcServer server(Recording());
  ASSERT_EQ(server.Start(kName), kIpcOk);
  std::string token;
  std::string serverProof;
  const RawSocket good = ipctest::ConnectTcpSilently(path(), &token);
  ASSERT_TRUE(ipctest::HelloAndServerProof(good, kClientNonce, &serverProof));
  ASSERT_TRUE(ipctest::ServerProofHolds(token, kClientNonce, serverProof));
  const std::string clientProof = ipctest::ClientProofFrame(token, kClientNonce, serverProof);
  ASSERT_TRUE(WriteAll(good, clientProof));
  IpcFrame init;
  ASSERT_TRUE(ReadFrame(good, &init));
  EXPECT_EQ(init.kind, kIpcFrameInit);
  ipctest::CloseRaw(good);

  // The client's proof, after the same HELLO.
  std::string ignored;
  std::string freshProof;
  std::string received;
  const RawSocket replay = ipctest::ConnectTcpSilently(path(), &ignored);
  ASSERT_TRUE(ipctest::HelloAndServerProof(replay, kClientNonce, &freshProof));
  EXPECT_NE(freshProof.substr(0, kIpcNonceLength), serverProof.substr(0, kIpcNonceLength));
  WriteAll(replay, clientProof);
  EXPECT_TRUE(WaitForEof(replay, &received));
  EXPECT_EQ(received, "") << "no INIT";
  ipctest::CloseRaw(replay);
  EXPECT_TRUE(Logged("client's proof is wrong"));
  ASSERT_TRUE(events.WaitForCount(2));
  EXPECT_EQ(events.Snapshot(), (std::vector<std::string>{"connected:1", "disconnected:1"}));

  // The server's proof, to the client library, from a listener on the port of an endpoint file
  // that names the right token.
  server.Stop();
  FakeServer fake(path(), token,
                  [&](const std::string&) { return Frame(kIpcFrameProof, serverProof); });
  EXPECT_EQ(ConnectIpcServer(kName), kIpcPeerRejected);
  fake.Join();
  EXPECT_NE(fake.first.payload, kClientNonce);
  EXPECT_TRUE(fake.closed);
  EXPECT_EQ(fake.rest, "");
  ExpectClientIdle();
}

// Each end refuses a peer with another token; with the same token both talk.
TEST_F(IpcHandshakeTest, OnlyPeersWithTheSameTokenTalk) {
  CIpcServer::Handlers handlers = Recording();
  handlers.onMessage = [this](uint64_t, const CIpcServer::Message& m) {
    events.Add("message:" + m.text);
  };
  CIpcServer server(handlers);
  ASSERT_EQ(server.Start(kName), kIpcOk);
  CIpcEndpointFile published;
  std::string why;
  ASSERT_EQ(published.Read(path(), &why), kIpcOk) << why;

  // A raw client with a wrong token: the server's proof does not hold for it, and the server
  // refuses the client's.
  std::string ignored;
  std::string serverProof;
  std::string received;
  const RawSocket wrong = ipctest::ConnectTcpSilently(path(), &ignored);
  ASSERT_TRUE(ipctest::HelloAndServerProof(wrong, kClientNonce, &serverProof));
  EXPECT_FALSE(ipctest::ServerProofHolds(kWrongToken, kClientNonce, serverProof));
  WriteAll(wrong, ipctest::ClientProofFrame(kWrongToken, kClientNonce, serverProof));
  EXPECT_TRUE(WaitForEof(wrong, &received));
  EXPECT_EQ(received, "") << "no INIT";
  ipctest::CloseRaw(wrong);
  EXPECT_TRUE(Logged("client's proof is wrong"));

  // The client library, given a wrong token for the right port, refuses the server.
  ASSERT_TRUE(CIpcEndpointFile(published.port(), kWrongToken).Write(path(), &why)) << why;
  EXPECT_EQ(ConnectIpcServer(kName), kIpcPeerRejected);
  EXPECT_TRUE(Logged("no PROOF from the client"));
  ExpectClientIdle();

  ASSERT_TRUE(published.Write(path(), &why)) << why;
  ASSERT_EQ(ConnectIpcServer(kName), kIpcOk);
  ASSERT_EQ(IpcSendData("up", 2), kIpcOk);
  ASSERT_TRUE(events.WaitForCount(2));
  EXPECT_EQ(events.Snapshot(), (std::vector<std::string>{"connected:3", "message:up"}));
  EXPECT_EQ(server.Send(3, "down"), kIpcOk);
  EXPECT_TRUE(g_callbacks.WaitForCount(2));
  EXPECT_EQ(g_callbacks.Snapshot(), (std::vector<std::string>{"connected", "receive:down"}));
}

}  // namespace
