#include "tbxIpc/IpcServer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>

#include "IpcTestSupport.h"
#include "tbxIpc/IpcStates.h"

namespace {

using ipctest::CloseRaw;
using ipctest::ConnectRaw;
using ipctest::EventLog;
using ipctest::Frame;
using ipctest::RawSocket;
using ipctest::ReadFrame;
using ipctest::TempDir;
using ipctest::WaitForEof;
using ipctest::WriteAll;

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.rfind(prefix, 0) == 0;
}

// A server in a private directory whose handlers write "connected:<id>",
// "message:<id>:<kind>:<text>" and "disconnected:<id>" to `events`.
class IpcServerTest : public ::testing::Test {
 protected:
  static constexpr const char* kName = "srv";

  CIpcServer::Handlers RecordingHandlers() {
    CIpcServer::Handlers handlers;
    handlers.onConnected = [this](uint64_t id) { events.Add("connected:" + std::to_string(id)); };
    handlers.onMessage = [this](uint64_t id, const CIpcServer::Message& m) {
      events.Add("message:" + std::to_string(id) + ":" + ipc::FrameKindName(m.kind) + ":" + m.text);
    };
    handlers.onDisconnected = [this](uint64_t id, const std::string& reason) {
      events.Add("disconnected:" + std::to_string(id));
      reasons.Add(reason);
    };
    handlers.onLog = [this](const std::string& line) { logs.Add(line); };
    return handlers;
  }

  std::string ipcDir() const { return root.path() + "/ipc"; }
  std::string socketPath() const { return ipcDir() + "/" + kName; }

  bool Has(const std::string& event) {
    return events.WaitFor([&](const std::string& e) { return e == event; });
  }

  // A raw client that has read its INIT frame.
  RawSocket Greeted() {
    const RawSocket fd = ConnectRaw(socketPath());
    IpcFrame init;
    if (fd != ipc::kNoSocket && ReadFrame(fd, &init) && init.kind == kIpcFrameInit) {
      return fd;
    }
    CloseRaw(fd);
    return ipc::kNoSocket;
  }

  TempDir root;
  EventLog events;
  EventLog reasons;
  EventLog logs;
};

TEST_F(IpcServerTest, DeliversFramesInOrderAndSendsToOneOrAllClients) {
  CIpcServer server(RecordingHandlers());
  ASSERT_EQ(server.Start(kName, ipcDir()), kIpcOk);
  const RawSocket a = Greeted();
  const RawSocket b = Greeted();
  ASSERT_TRUE(korvex_test::WaitUntil([&] { return server.Clients().size() == 2; }));
  ASSERT_TRUE(WriteAll(a, Frame(kIpcFrameReg, "r") + Frame(kIpcFrameData, "d1") +
                              Frame(kIpcFrameDataEx, ipc::EncodeDataExPayload("H", "d2"))));
  ASSERT_TRUE(events.WaitFor([](const std::string& e) { return e == "message:1:DATA_EX:d2"; }));
  std::vector<std::string> fromA;
  for (const auto& e : events.Snapshot()) {
    if (StartsWith(e, "message:1:")) {
      fromA.push_back(e);
    }
  }
  EXPECT_EQ(fromA, (std::vector<std::string>{"message:1:REG:r", "message:1:DATA:d1",
                                             "message:1:DATA_EX:d2"}));

  EXPECT_EQ(server.Send(2, "only b"), kIpcOk);
  EXPECT_EQ(server.SendToAll("all"), 2u);
  EXPECT_EQ(server.Send(99, "nobody"), kIpcNotConnected);
  IpcFrame frame;
  ASSERT_TRUE(ReadFrame(a, &frame));
  EXPECT_EQ(frame.payload, "all");
  ASSERT_TRUE(ReadFrame(b, &frame));
  EXPECT_EQ(frame.payload, "only b");
  ASSERT_TRUE(ReadFrame(b, &frame));
  EXPECT_EQ(frame.payload, "all");
  EXPECT_EQ(frame.kind, kIpcFrameData);
  CloseRaw(a);
  CloseRaw(b);
}

TEST_F(IpcServerTest, AStaleSocketFileIsReplacedButALiveServerIsNotStolen) {
  ASSERT_TRUE(ipctest::MakePrivateDir(ipcDir()));
  const RawSocket stale = ipctest::ListenRaw(socketPath());
  ASSERT_GE(stale, 0);
  CloseRaw(stale);  // the file stays, nobody listens: what a crashed server leaves

  CIpcServer first(RecordingHandlers());
  ASSERT_EQ(first.Start(kName, ipcDir()), kIpcOk);
  CIpcServer second({});
  EXPECT_EQ(second.Start(kName, ipcDir()), kIpcNameInUse);
  const RawSocket client = Greeted();
  EXPECT_GE(client, 0) << "the first server still owns the name";
  CloseRaw(client);

  first.Stop();
  EXPECT_EQ(ConnectRaw(socketPath()), ipc::kNoSocket);
  ASSERT_EQ(second.Start(kName, ipcDir()), kIpcOk);
  const RawSocket again = Greeted();
  EXPECT_GE(again, 0);
  CloseRaw(again);
}

// A client that sends an oversized frame, or vanishes in the middle of one, is dropped with
// the reason and none of its bytes delivered; the other client is served on.
TEST_F(IpcServerTest, ABrokenClientIsDroppedAndOthersAreServed) {
  std::string oversized;
  ipc::AppendU32Le(kIpcMaxFrameLength + 1, &oversized);
  oversized.push_back(static_cast<char>(kIpcFrameData));
  const std::string cut = Frame(kIpcFrameData, "never finished").substr(0, 9);
  const std::pair<std::string, const char*> cases[] = {{oversized, "exceeds"},
                                                       {cut, "middle of a frame"}};
  for (const auto& [bytes, reason] : cases) {
    SCOPED_TRACE(reason);
    events.Clear();
    reasons.Clear();
    CIpcServer server(RecordingHandlers());
    ASSERT_EQ(server.Start(kName, ipcDir()), kIpcOk);
    const RawSocket bad = Greeted();
    const RawSocket good = Greeted();
    ASSERT_TRUE(korvex_test::WaitUntil([&] { return server.Clients().size() == 2; }));
    ASSERT_TRUE(WriteAll(bad, bytes));
    if (bytes != cut) {
      EXPECT_TRUE(WaitForEof(bad));  // the server closes an oversized sender itself
    }
    CloseRaw(bad);
    ASSERT_TRUE(Has("disconnected:1"));
    EXPECT_TRUE(reasons.WaitFor([&](const std::string& r) { return r.find(reason) != r.npos; }));
    ASSERT_TRUE(WriteAll(good, Frame(kIpcFrameData, "still here")));
    EXPECT_TRUE(Has("message:2:DATA:still here"));
    EXPECT_EQ(server.Send(2, "reply"), kIpcOk);
    for (const auto& e : events.Snapshot()) {
      EXPECT_FALSE(StartsWith(e, "message:1:")) << e;
    }
    CloseRaw(good);
  }
}

TEST_F(IpcServerTest, ASendToAClientThatNeverReadsFailsAndClosesIt) {
  CIpcServer server(RecordingHandlers(), /*sendTimeoutMs=*/100);
  ASSERT_EQ(server.Start(kName, ipcDir()), kIpcOk);
  const RawSocket fd = Greeted();
  ASSERT_TRUE(Has("connected:1"));
  const std::string chunk(1 << 20, 'x');
  int32_t state = kIpcOk;
  for (int i = 0; i < 64 && state == kIpcOk; ++i) {  // far more than any socket buffers
    state = server.Send(1, chunk);
  }
  EXPECT_EQ(state, kIpcSendFailed);
  EXPECT_TRUE(Has("disconnected:1"));
  EXPECT_TRUE(server.Clients().empty());
  CloseRaw(fd);
}

TEST_F(IpcServerTest, StopClosesEveryClientAndNoHandlerRunsAfterIt) {
  std::atomic<bool> stopped{false};
  std::atomic<int> late{0};
  CIpcServer::Handlers handlers = RecordingHandlers();
  auto onMessage = handlers.onMessage;
  handlers.onMessage = [&, onMessage](uint64_t id, const CIpcServer::Message& m) {
    late += stopped.load() ? 1 : 0;
    onMessage(id, m);
  };
  CIpcServer server(handlers);
  ASSERT_EQ(server.Start(kName, ipcDir()), kIpcOk);
  const RawSocket a = Greeted();
  const RawSocket b = Greeted();
  ASSERT_TRUE(Has("connected:2"));
  std::atomic<bool> flooding{true};
  std::thread flood([&] {
    while (flooding.load() && WriteAll(a, Frame(kIpcFrameData, "m"))) {
    }
  });
  ASSERT_TRUE(events.WaitFor([](const std::string& e) { return StartsWith(e, "message:1:"); }));
  server.Stop();
  stopped.store(true);
  EXPECT_TRUE(WaitForEof(b));
  flooding.store(false);
  flood.join();
  EXPECT_EQ(late.load(), 0);
  const auto all = events.Snapshot();
  EXPECT_NE(std::find(all.begin(), all.end(), "disconnected:1"), all.end());
  EXPECT_NE(std::find(all.begin(), all.end(), "disconnected:2"), all.end());
  CloseRaw(a);
  CloseRaw(b);
}

}  // namespace
