// Initialisation, connection, registration and the library's callbacks, against the fakes.
#include <atomic>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "AgentExpectations.h"
#include "IpcClientTestSupport.h"
#include "valko/Monitor.h"

namespace ipcclient_test {
namespace {

using ipcclient_expect::kFallbackServerName;
using ipcclient_expect::kFirstDocument;
using ipcclient_expect::kSecondDocument;
using ipcclient_expect::kServerName;

class RecordingHandler : public IProtocolHandler {
 public:
  void Handle(const std::string& data) override {
    std::lock_guard<std::mutex> hold(mutex_);
    calls_.push_back(data);
  }
  std::vector<std::string> Calls() {
    std::lock_guard<std::mutex> hold(mutex_);
    return calls_;
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> calls_;  // guarded by mutex_
};

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
  // No resource monitor exists: the statistics point is skipped and the rest goes on.
  EXPECT_EQ(CSingleton<CMonitor>::GetInstance(), nullptr);
  EXPECT_EQ(fake::Recorded().monitorPointCalls, 0);

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

TEST_F(InitClientTest, TearDownUnregistersTheReportsAndFreesTheLibraryOnce) {
  ASSERT_NE(CSingleton<CMonitor>::NewInstance(), nullptr);
  Init();
  EXPECT_EQ(fake::Recorded().monitorPoints, 1);
  EXPECT_EQ(fake::Recorded().mtRegistrations, 1);

  LogTail log;
  CSingleton<CIpcClient>::RemoveInstance();
  EXPECT_EQ(log.Count("end ipc send thread", 4), 1);
  EXPECT_EQ(fake::Recorded().freeCalls, 1);
  EXPECT_EQ(fake::Recorded().monitorPoints, 0);
  EXPECT_EQ(fake::Recorded().mtRegistrations, 0);
  CSingleton<CMonitor>::RemoveInstance();
}

using ConnectServerTest = IpcClientTest;

TEST_F(ConnectServerTest, FallsBackToTheSecondNameAndLogsTheFinalState) {
  LogTail log;
  fake::Configure([](fake::Settings& s) { s.connectStates[kServerName] = 3; });
  EXPECT_TRUE(client_->ConnectServer());
  EXPECT_EQ(fake::Recorded().connectCalls,
            (std::vector<std::string>{kServerName, kFallbackServerName}));
  EXPECT_EQ(log.Count("Connect Korvex ipc server return state is 0", 4), 1);
  EXPECT_EQ(log.CountContaining("Connect Korvex ipc server return state"), 1);
  // Only the library's callback says the connection is up.
  EXPECT_FALSE(client_->IsConnected());
}

TEST_F(ConnectServerTest, ConnectTriesTheSecondNameOnlyWhenTheFirstIsRefused) {
  EXPECT_TRUE(client_->Connect());
  EXPECT_EQ(fake::Recorded().connectCalls, (std::vector<std::string>{kServerName}));
}

TEST_F(ConnectServerTest, BothNamesRefusedFailsWithTheSecondState) {
  LogTail log;
  fake::Configure([](fake::Settings& s) { s.connectStates[kServerName] = 3; });
  fake::Configure([](fake::Settings& s) { s.connectStates[kFallbackServerName] = 5; });
  EXPECT_FALSE(client_->Connect());
  EXPECT_EQ(log.Count("Connect Korvex ipc server return state is 5", 4), 1);
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
  client_->OnConnected("");
  client_->OnConnected("");
  EXPECT_EQ(fake::Recorded().regDocuments,
            (std::vector<std::string>{kFirstDocument, kSecondDocument}));
  EXPECT_EQ(client_->SendList().Count(), 2u);  // one pair of configuration requests
  EXPECT_EQ(log.Count("korvex connected", 4), 1);
  EXPECT_EQ(log.Count("register ipc message success", 4), 1);

  client_->OnDisconnected();
  client_->OnConnected("");
  EXPECT_EQ(fake::Recorded().regDocuments.size(), 4u);
  EXPECT_EQ(client_->SendList().Count(), 4u);
  EXPECT_EQ(log.Count("korvex disconnected.", 4), 1);
  EXPECT_EQ(log.Count("korvex connected", 4), 2);
}

TEST_F(RegistrationTest, TheConfigurationRequestsAreQueuedAsPriorityZeroEnvelopes) {
  client_->OnConnected("");
  // Nothing else is queued: the two requests leave in this order.
  IpcMessage first;
  IpcMessage second;
  ASSERT_TRUE(client_->SendList().InitSemaphore());
  ASSERT_TRUE(client_->SendList().Pop(first));
  ASSERT_TRUE(client_->SendList().Pop(second));
  EXPECT_EQ(first.type, "T_MSG_PULL_CONF");
  EXPECT_EQ(second.type, "T_MSG_PULL_FILE_CONF");
  for (const IpcMessage& request : {first, second}) {
    EXPECT_EQ(request.data, "{}");
    EXPECT_EQ(request.traceId, "");
    EXPECT_EQ(request.objId, "");
    EXPECT_EQ(request.priority, 0);
    EXPECT_FALSE(request.keepFlag);
    EXPECT_FALSE(request.ipcOnly);
  }
  EXPECT_EQ(client_->bufferedBytes.load(), 4);
}

TEST_F(RegistrationTest, AFirstDocumentRefusedSkipsTheSecondButNotTheRequests) {
  LogTail log;
  fake::Configure([](fake::Settings& s) { s.regStates = {5}; });
  client_->OnConnected("");
  EXPECT_EQ(fake::Recorded().regDocuments, (std::vector<std::string>{kFirstDocument}));
  EXPECT_EQ(log.Count("register ipc message fail", 3), 1);
  EXPECT_EQ(client_->SendList().Count(), 2u);
}

TEST_F(RegistrationTest, ASecondDocumentRefusedIsAFailure) {
  LogTail log;
  fake::Configure([](fake::Settings& s) { s.regStates = {0, 5}; });
  client_->OnConnected("");
  EXPECT_EQ(fake::Recorded().regDocuments.size(), 2u);
  EXPECT_EQ(log.Count("register ipc message fail", 3), 1);
  EXPECT_EQ(log.Count("register ipc message success"), 0);
}

TEST_F(RegistrationTest, AFirstRequestRefusedSkipsTheSecond) {
  LogTail log;
  LimitQueue(0);  // one message per priority
  ASSERT_TRUE(client_->SendMsg("T_MSG_EARLIER", "{}", "", 0, false));
  client_->OnConnected("");
  EXPECT_EQ(log.Count("fail to send T_MSG_PULL_CONF", 2), 1);
  EXPECT_EQ(log.CountContaining("fail to send T_MSG_PULL_FILE_CONF"), 0);
  EXPECT_EQ(client_->dropCount.load(), 1u);  // the second was never attempted
}

TEST_F(RegistrationTest, ASecondRequestRefusedIsLogged) {
  LogTail log;
  LimitQueue(1);
  ASSERT_TRUE(client_->SendMsg("T_MSG_EARLIER", "{}", "", 0, false));
  client_->OnConnected("");
  EXPECT_EQ(log.CountContaining("fail to send T_MSG_PULL_CONF"), 0);
  EXPECT_EQ(log.Count("fail to send T_MSG_PULL_FILE_CONF", 2), 1);
  EXPECT_EQ(client_->SendList().Count(), 2u);
}

TEST_F(RegistrationTest, ADisconnectWhileDisconnectedLogsNothing) {
  LogTail log;
  client_->OnDisconnected();
  EXPECT_EQ(log.CountContaining("korvex disconnected."), 0);
  client_->OnConnected("");
  client_->OnDisconnected();
  client_->OnDisconnected();
  EXPECT_EQ(log.CountContaining("korvex disconnected."), 1);
  EXPECT_FALSE(client_->IsConnected());
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
  ASSERT_TRUE(fake::WaitUntil([&] { return !handler.Calls().empty(); }));
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

TEST_F(CallbackTest, HandlerOperationsAreForwardedToTheDispatcher) {
  RecordingHandler handler;
  EXPECT_FALSE(client_->RegisterProtocolHandler("", &handler));
  EXPECT_FALSE(client_->RegisterProtocolHandler("T_MSG_Y", nullptr));
  ASSERT_TRUE(client_->RegisterProtocolHandler("T_MSG_Y", &handler));
  EXPECT_TRUE(client_->DispatchProtocol("T_MSG_Y", "payload"));
  EXPECT_EQ(handler.Calls(), (std::vector<std::string>{"payload"}));
  EXPECT_TRUE(client_->UnRegisterProtocolHandler("T_MSG_Y", &handler));
  EXPECT_FALSE(client_->DispatchProtocol("T_MSG_Y", "payload"));
}

}  // namespace
}  // namespace ipcclient_test
