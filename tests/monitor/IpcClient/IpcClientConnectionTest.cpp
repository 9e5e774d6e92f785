// Initialisation, connection, registration and the library's callbacks, against the fakes.
#include <atomic>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "AgentExpectations.h"
#include "IpcClientTestSupport.h"
#include "support/ProtocolHandlers.h"

namespace ipcclient_test {
namespace {

using ipcclient_expect::kFallbackServerName;
using ipcclient_expect::kFirstDocument;
using ipcclient_expect::kSecondDocument;
using ipcclient_expect::kServerName;

using korvex_test::RecordingHandler;

using InitClientTest = IpcClientTest;

TEST_F(InitClientTest, HandsTheLibraryItsRecordAndStartsOneIdlingSendThread) {
  LogTail log;
  Init();
  const fake::InitRecord record = *fake::Recorded().lastInit;
  EXPECT_EQ(record.size, sizeof(IpcInitParam));
  EXPECT_EQ(record.clientName, "KorvexMonitor");
  EXPECT_EQ(record.clientNameLength, 13u);
  EXPECT_NE(record.onReceive, nullptr);
  EXPECT_NE(record.onDisconnected, nullptr);
  EXPECT_NE(record.onConnected, nullptr);
  EXPECT_EQ(record.reserved, 0u);
  EXPECT_EQ(fake::Recorded().setLogCallsBeforeInit, 1);
  EXPECT_NE(fake::Recorded().logCallback, nullptr);
  EXPECT_EQ(log.Count("Ipc init return state is 0", 4), 1);
  EXPECT_EQ(fake::Recorded().mtRegistrations, 1);
  EXPECT_EQ(fake_services::MonitorPointCalls(), 1);

  EXPECT_TRUE(client_->IsThreadRunning());
  ASSERT_TRUE(WaitIdlePolls(2));  // not connected: the thread only polls
  EXPECT_TRUE(fake::Recorded().frames.empty());

  // A second initialisation finds the thread running and starts no other.
  EXPECT_TRUE(client_->InitClient());
  ASSERT_TRUE(WaitIdlePolls(2));
  EXPECT_EQ(log.Count("start ipc send thread", 4), 1);
}

TEST_F(InitClientTest, ALibraryFailureFailsAndStartsNoThread) {
  LogTail log;
  fake::Configure([](fake::Settings& s) { s.initState = 7; });
  EXPECT_FALSE(client_->InitClient());
  EXPECT_EQ(log.Count("Ipc init return state is 7", 4), 1);
  EXPECT_FALSE(client_->IsThreadRunning());
}

TEST_F(InitClientTest, TearDownEndsTheSendThreadAndFreesTheLibraryOnce) {
  Init();
  LogTail log;
  CSingleton<CIpcClient>::RemoveInstance();
  EXPECT_EQ(log.Count("end ipc send thread", 4), 1);
  EXPECT_EQ(fake::Recorded().freeCalls, 1);
  NewClient();  // for the fixture's tear-down
}

using ConnectServerTest = IpcClientTest;

// Connect and ConnectServer try the second name only when the first is refused, and log the
// final state once.
TEST_F(ConnectServerTest, TriesTheSecondNameOnlyWhenTheFirstIsRefused) {
  struct Case {
    int32_t first;
    int32_t second;
    std::vector<std::string> calls;
    bool connected;
  };
  const Case cases[] = {
      {0, 0, {kServerName}, true},
      {3, 0, {kServerName, kFallbackServerName}, true},
      {3, 5, {kServerName, kFallbackServerName}, false},
  };
  for (const Case& c : cases) {
    for (bool viaConnectServer : {false, true}) {
      SCOPED_TRACE(std::to_string(c.first) + " " + std::to_string(viaConnectServer));
      fake::Reset();
      fake::Configure([&](fake::Settings& s) {
        s.connectStates[kServerName] = c.first;
        s.connectStates[kFallbackServerName] = c.second;
      });
      LogTail log;
      EXPECT_EQ(viaConnectServer ? client_->ConnectServer() : client_->Connect(), c.connected);
      EXPECT_EQ(fake::Recorded().connectCalls, c.calls);
      const std::string state = std::to_string(c.calls.size() == 1 ? c.first : c.second);
      EXPECT_EQ(log.Count("Connect Korvex ipc server return state is " + state, 4), 1);
      EXPECT_EQ(log.CountContaining("Connect Korvex ipc server return state"), 1);
    }
  }
  // Only the library's callback says the connection is up.
  EXPECT_FALSE(client_->IsConnected());
}

TEST_F(ConnectServerTest, NeedReconnectOnlyWhileDisconnectedAndWhenTheLibraryAgrees) {
  fake::Configure([](fake::Settings& s) { s.needConnect = true; });
  EXPECT_TRUE(client_->NeedReconnect());
  fake::Configure([](fake::Settings& s) { s.needConnect = false; });
  EXPECT_FALSE(client_->NeedReconnect());
  fake::Configure([](fake::Settings& s) { s.needConnect = true; });
  client_->OnConnected("");
  EXPECT_FALSE(client_->NeedReconnect());
  client_->OnDisconnected();
  EXPECT_TRUE(client_->NeedReconnect());
}

// Without InitClient no send thread consumes, so every queued request stays countable.
using RegistrationTest = IpcClientTest;

TEST_F(RegistrationTest, RegistersOncePerTransitionWithTheExactDocuments) {
  LogTail log;
  client_->OnDisconnected();  // while disconnected: nothing happens, nothing is logged
  client_->OnConnected("");
  client_->OnConnected("");
  EXPECT_EQ(fake::Recorded().regDocuments,
            (std::vector<std::string>{kFirstDocument, kSecondDocument}));
  EXPECT_EQ(client_->SendList().Count(), 2u);  // one pair of configuration requests
  EXPECT_EQ(log.Count("korvex connected", 4), 1);
  EXPECT_EQ(log.Count("register ipc message success", 4), 1);

  client_->OnDisconnected();
  client_->OnDisconnected();
  EXPECT_FALSE(client_->IsConnected());
  client_->OnConnected("");
  EXPECT_EQ(fake::Recorded().regDocuments.size(), 4u);
  EXPECT_EQ(client_->SendList().Count(), 4u);
  EXPECT_EQ(log.CountContaining("korvex disconnected."), 1);
  EXPECT_EQ(log.Count("korvex disconnected.", 4), 1);
  EXPECT_EQ(log.Count("korvex connected", 4), 2);
}

// A refused first document skips the second; either refusal is one warning, and the
// configuration requests are queued all the same.
TEST_F(RegistrationTest, ARefusedDocumentIsAFailureButTheRequestsFollow) {
  const std::vector<int32_t> refusals[] = {{5}, {0, 5}};
  for (const std::vector<int32_t>& states : refusals) {
    fake::Reset();
    fake::Configure([&](fake::Settings& s) { s.regStates = states; });
    LogTail log;
    client_->OnDisconnected();
    client_->OnConnected("");
    EXPECT_EQ(fake::Recorded().regDocuments.size(), states.size());
    EXPECT_EQ(log.Count("register ipc message fail", 3), 1);
    EXPECT_EQ(log.CountContaining("register ipc message success"), 0);
    EXPECT_EQ(log.CountContaining("fail to send"), 0);
  }
  EXPECT_EQ(client_->SendList().Count(), 4u);
}

// With room for `limit` + 1 messages of priority 0 and one taken already, a refused first
// request skips the second (one drop); a refused second request is logged on its own.
TEST_F(RegistrationTest, ARefusedConfigurationRequestIsLoggedAndSkipsTheRest) {
  for (int64_t limit : {0, 1}) {
    SCOPED_TRACE(limit);
    CSingleton<CIpcClient>::RemoveInstance();
    client_ = CSingleton<CIpcClient>::NewInstance();
    LimitQueue(limit);
    LogTail log;
    ASSERT_TRUE(client_->SendMsg("T_MSG_EARLIER", "{}", "", 0, false));
    client_->OnConnected("");
    EXPECT_EQ(log.Count("fail to send T_MSG_PULL_CONF", 2), limit == 0 ? 1 : 0);
    EXPECT_EQ(log.Count("fail to send T_MSG_PULL_FILE_CONF", 2), limit == 0 ? 0 : 1);
    EXPECT_EQ(log.CountContaining("fail to send"), 1);
    EXPECT_EQ(client_->dropCount.load(), 1u);
    EXPECT_EQ(client_->SendList().Count(), static_cast<size_t>(limit) + 1);
  }
}

using InitInfoTest = IpcClientTest;

TEST_F(InitInfoTest, EveryConnectedCallbackRereadsTheVersion) {
  LogTail log;
  client_->OnConnected("{\"version\":2}");
  EXPECT_EQ(client_->IpcVersion(), 2);
  EXPECT_EQ(log.Count("ipc version is 2", 4), 1);

  client_->OnConnected("{\"version\":3}");  // already connected: only the version changes
  EXPECT_EQ(client_->IpcVersion(), 3);
  EXPECT_EQ(fake::Recorded().regDocuments.size(), 2u);

  client_->OnDisconnected();
  EXPECT_EQ(client_->IpcVersion(), 3);  // a lost connection keeps the version
  client_->OnConnected("");
  EXPECT_EQ(client_->IpcVersion(), 0);
  EXPECT_EQ(log.CountContaining("ipc version is"), 2);  // the empty text logs nothing
}

TEST_F(InitInfoTest, AStringVersionIsIgnoredSilentlyAndAMalformedTextWithAWarning) {
  client_->ParseInitInfo("{\"version\":5}");
  LogTail log;
  client_->ParseInitInfo("{\"version\":\"7\"}");
  EXPECT_EQ(client_->IpcVersion(), 5);
  EXPECT_EQ(log.CountContaining("ipc version is"), 0);
  EXPECT_EQ(log.CountContaining("parse ipc init info fail"), 0);

  client_->ParseInitInfo("{\"version\":7");
  EXPECT_EQ(client_->IpcVersion(), 5);
  EXPECT_EQ(log.Count("parse ipc init info fail", 3), 1);

  client_->ParseInitInfo("[7]");
  EXPECT_EQ(client_->IpcVersion(), 5);
  EXPECT_EQ(log.Count("parse ipc init info fail", 3), 2);
}

using CallbackTest = IpcClientTest;

TEST_F(CallbackTest, TheLibraryCallbacksReachTheSingleton) {
  Init();
  RecordingHandler handler;
  ASSERT_TRUE(client_->RegisterProtocolHandler("T_MSG_X", &handler));
  // Only `length` bytes belong to the message; what follows in memory is not read.
  const char buffer[] = "{\"type\":\"T_MSG_X\",\"data\":\"hi\"}{\"garbage\"";
  FireReceive(buffer, static_cast<int32_t>(std::strlen("{\"type\":\"T_MSG_X\",\"data\":\"hi\"}")));
  ASSERT_TRUE(WaitUntil([&] { return !handler.Calls().empty(); }));
  EXPECT_EQ(handler.Calls(), (std::vector<std::string>{"hi"}));

  FireConnected("{\"version\":4}");
  EXPECT_TRUE(client_->IsConnected());
  EXPECT_EQ(client_->IpcVersion(), 4);
  FireDisconnected();
  EXPECT_FALSE(client_->IsConnected());
  EXPECT_TRUE(client_->UnRegisterProtocolHandler("T_MSG_X", &handler));
}

TEST_F(CallbackTest, CallbacksAfterTheTearDownFindNoClientAndDoNothing) {
  Init();
  const fake::InitRecord record = *fake::Recorded().lastInit;
  CSingleton<CIpcClient>::RemoveInstance();
  LogTail log;
  record.onConnected("{\"version\":1}");
  record.onReceive("{}", 2);
  record.onDisconnected();
  EXPECT_EQ(log.CountContaining("korvex connected"), 0);
  EXPECT_TRUE(fake::Recorded().regDocuments.empty());
}

TEST_F(CallbackTest, TheLibraryLogGoesToTheLogAtProgressLevel) {
  Init();
  LogTail log;
  fake::Recorded().logCallback("library line 42");
  EXPECT_EQ(log.Count("library line 42", 4), 1);
}

}  // namespace
}  // namespace ipcclient_test
