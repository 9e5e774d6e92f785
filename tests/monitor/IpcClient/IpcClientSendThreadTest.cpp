// The send thread (order, retry, drops, packing by version, pacing, tear-down) and the two
// statistics reports, against the fakes.
#include <cctype>
#include <chrono>
#include <future>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "AgentExpectations.h"
#include "IpcClientTestSupport.h"

namespace ipcclient_test {
namespace {

using Report = std::map<std::string, std::string>;

fake::Frame FrameOfType(const std::string& type) {
  for (const fake::Frame& frame : fake::Recorded().frames) {
    if ((frame.dataEx ? HeaderField(frame.header, "type") : EnvelopeType(frame.text)) == type) {
      return frame;
    }
  }
  ADD_FAILURE() << "no frame of type " << type;
  return fake::Frame();
}

// The send thread's trace from its first send on (before it only polled the connection).
std::vector<std::string> TraceFromFirstSend() {
  std::vector<std::string> trace = fake::Recorded().trace;
  for (auto it = trace.begin(); it != trace.end(); ++it) {
    if (*it == "send") {
      return std::vector<std::string>(it, trace.end());
    }
  }
  return {};
}

using SendThreadTest = IpcClientTest;

// "Mmm dd yyyy hh:mm:ss" with a blank before a single-digit day.
bool IsBuildStamp(const std::string& text) {
  static const std::string kMonths = "JanFebMarAprMayJunJulAugSepOctNovDec";
  const std::string shape = "Mmm dd dddd dd:dd:dd";
  const size_t month = text.size() == shape.size() ? kMonths.find(text.substr(0, 3)) : 1;
  if (month == std::string::npos || month % 3 != 0) {
    return false;
  }
  for (size_t i = 3; i < shape.size(); ++i) {
    const bool digit = std::isdigit(static_cast<unsigned char>(text[i])) != 0;
    const bool leadingBlank = i == 4 && text[i] == ' ' && text[5] != '0';
    if (shape[i] == 'd' ? !(digit || leadingBlank) : text[i] != shape[i]) {
      return false;
    }
  }
  return true;
}

// The sent messages' bytes leave the count just after the send count rises.
bool WaitBufferEmpty() {
  return WaitUntil([] { return CSingleton<CIpcClient>::GetInstance()->bufferedBytes.load() == 0; });
}

TEST_F(SendThreadTest, WhileDisconnectedNothingLeavesAndTheReportShowsTheQueue) {
  Init();
  ASSERT_TRUE(client_->EnqueueMessage(Message("T_MSG_P3", 3, "333")));
  ASSERT_TRUE(client_->EnqueueMessage(Message("T_MSG_P0", 0, "0")));
  ASSERT_TRUE(client_->EnqueueMessage(Message("T_MSG_P1", 1, "11")));
  ASSERT_TRUE(WaitIdlePolls(3));
  EXPECT_TRUE(fake::Recorded().frames.empty());
  Report report;
  EXPECT_TRUE(client_->GetMtInfo(report));
  EXPECT_EQ(report, (Report{{"korvexmonitor_ipc_buff_msg_count", "3"},
                            {"korvexmonitor_ipc_buff_size", "6"}}));

  ConnectWhileTheFirstSendWaits();
  ASSERT_TRUE(WaitSent(5));
  // The early priority-0 message precedes the requests queued on connection.
  EXPECT_EQ(DeliveredTypes(),
            (std::vector<std::string>{"T_MSG_P0", "T_MSG_PULL_CONF", "T_MSG_PULL_FILE_CONF",
                                      "T_MSG_P1", "T_MSG_P3"}));
  EXPECT_EQ(fake::DeliveredFrames()[1].text, ipcclient_expect::kPullConf);

  ASSERT_TRUE(WaitBufferEmpty());
  report.clear();
  EXPECT_TRUE(client_->GetMtInfo(report));
  EXPECT_EQ(report, (Report{{"korvexmonitor_ipc_send_count", "5"}}));
  // Taken by the first report: the second one, without traffic and queue, is empty.
  report.clear();
  EXPECT_TRUE(client_->GetMtInfo(report));
  EXPECT_TRUE(report.empty());
}

TEST_F(SendThreadTest, AFailedSendIsRetriedBehindTheMessagesQueuedMeanwhile) {
  Init();
  FireConnected();
  ASSERT_TRUE(WaitSent(2));
  fake::HoldSends(true);
  fake::Configure([](fake::Settings& s) { s.sendStates = {7}; });
  ASSERT_TRUE(client_->EnqueueMessage(Message("T_MSG_A", 2, "aaaa")));
  ASSERT_TRUE(WaitUntil([] { return fake::Recorded().heldSends == 1; }));  // A is out of the list
  ASSERT_TRUE(client_->EnqueueMessage(Message("T_MSG_B", 2)));
  ASSERT_TRUE(client_->EnqueueMessage(Message("T_MSG_C", 2)));
  fake::HoldSends(false);
  ASSERT_TRUE(WaitSent(5));
  EXPECT_EQ(DeliveredTypes(), (std::vector<std::string>{"T_MSG_PULL_CONF", "T_MSG_PULL_FILE_CONF",
                                                        "T_MSG_B", "T_MSG_C", "T_MSG_A"}));
  EXPECT_EQ(fake::Recorded().frames.size(), 6u);
  ASSERT_TRUE(WaitBufferEmpty());
  Report report;
  client_->GetMtInfo(report);
  EXPECT_EQ(report, (Report{{"korvexmonitor_ipc_send_count", "5"}}));  // A counted once
}

TEST_F(SendThreadTest, APutBackThatTheListRefusesIsASilentDrop) {
  Init();
  FireConnected();
  ASSERT_TRUE(WaitSent(2));
  LimitQueue(0);  // one message per priority
  fake::Configure([this](fake::Settings& s) {
    s.sendStates = {7};
    s.sendHook = [this](const fake::Frame& frame) {
      if (frame.state != 0) {
        // Takes the only place in the list while the failed message is out.
        client_->EnqueueMessage(Message("T_MSG_FILLER", 2, "12"));
      }
    };
  });
  LogTail log;
  ASSERT_TRUE(client_->EnqueueMessage(Message("T_MSG_LOST", 2, "12345")));
  ASSERT_TRUE(WaitSent(3));
  EXPECT_EQ(DeliveredTypes().back(), "T_MSG_FILLER");
  ASSERT_TRUE(WaitBufferEmpty());
  EXPECT_EQ(client_->SendList().Count(), 0u);
  Report report;
  client_->GetMtInfo(report);
  EXPECT_EQ(report,
            (Report{{"korvexmonitor_ipc_send_count", "3"}, {"korvexmonitor_ipc_drop_count", "1"}}));
  EXPECT_EQ(log.CountContaining("drop ipc msg count"), 0);
}

TEST_F(SendThreadTest, AMessageTakenAsTheConnectionDropsGoesBackAndLeavesOnce) {
  Init();
  FireConnected();
  ASSERT_TRUE(WaitSent(2));
  fake::HoldSends(true);
  ASSERT_TRUE(client_->EnqueueMessage(Message("T_MSG_LATE", 1)));
  ASSERT_TRUE(WaitUntil([] { return fake::Recorded().heldSends == 1; }));  // taken, being sent
  FireDisconnected();
  fake::Configure(
      [](fake::Settings& s) { s.sendStates = {6}; });  // the library has lost the connection too
  fake::HoldSends(false);
  ASSERT_TRUE(WaitUntil([] { return fake::Recorded().frames.size() == 3; }));
  ASSERT_TRUE(WaitIdlePolls(2));
  EXPECT_EQ(client_->SendList().Count(), 1u);  // back in the list, not taken while disconnected
  EXPECT_EQ(fake::Recorded().frames.size(), 3u);

  FireConnected();
  ASSERT_TRUE(WaitSent(5));
  // The send thread may take the waiting message as soon as it sees the connection, before the
  // connected callback has queued its configuration requests: only the count is fixed.
  EXPECT_THAT(DeliveredTypes(), ::testing::UnorderedElementsAre(
                                    "T_MSG_PULL_CONF", "T_MSG_PULL_FILE_CONF", "T_MSG_PULL_CONF",
                                    "T_MSG_PULL_FILE_CONF", "T_MSG_LATE"));
  EXPECT_EQ(client_->dropCount.load(), 0u);
  EXPECT_TRUE(WaitBufferEmpty());
}

TEST_F(SendThreadTest, AMessageThatCannotBePackedIsLoggedAndKeptInRotation) {
  Init();
  FireConnected();
  ASSERT_TRUE(WaitSent(2));
  LogTail log;
  ASSERT_TRUE(client_->EnqueueMessage(Message("T_MSG_EMPTY", 2, "")));
  ASSERT_TRUE(WaitUntil([&] { return log.Count("packet message for T_MSG_EMPTY fail", 3) >= 2; }));
  EXPECT_EQ(fake::Recorded().frames.size(), 2u);  // never handed to the library
  EXPECT_EQ(client_->dropCount.load(), 0u);
  EXPECT_EQ(client_->sendCount.load(), 2u);
}

TEST_F(SendThreadTest, TheVersionInForceAtSendTimeChoosesThePacking) {
  Init();
  // Queued under version 0; the connection announces version 1 before it leaves.
  ASSERT_TRUE(client_->SendIpcOnlyMsg(0, "T_MSG_ONLY", "", "trace", 3, false));
  ConnectWhileTheFirstSendWaits("{\"version\":1}");
  ASSERT_TRUE(WaitSent(3));
  for (const fake::Frame& frame : fake::Recorded().frames) {
    EXPECT_TRUE(frame.dataEx);
  }
  const fake::Frame only = FrameOfType("T_MSG_ONLY");
  EXPECT_EQ(only.text, "");  // an empty data text would fail either JSON envelope
  EXPECT_EQ(HeaderField(only.header, "ipc_msg"), std::string("\x01", 1));
  EXPECT_EQ(HeaderField(only.header, "prio"), std::string("\x03\x00\x00\x00", 4));

  FireDisconnected();
  FireConnected("");  // back to version 0
  ASSERT_TRUE(WaitSent(5));
  ASSERT_TRUE(client_->SendIpcOnlyMsg(0, "T_MSG_ONLY", "{}", "trace", 3, false));
  ASSERT_TRUE(WaitSent(6));
  const fake::Frame json = fake::Recorded().frames[5];
  EXPECT_FALSE(json.dataEx);
  EXPECT_EQ(EnvelopeType(json.text), "IPC_ONLY_T_MSG_ONLY");
}

TEST_F(SendThreadTest, TheSendOperationsFillTheirRecordFromTheRightArguments) {
  Init();
  FireConnected();
  ASSERT_TRUE(WaitSent(2));
  ASSERT_TRUE(client_->SendMsg("T_MSG_A", "dA", "tA", 3, true));
  ASSERT_TRUE(client_->SendMsgWithObjId("T_MSG_C", "dC", "OBJ", "tC", 3, false));
  ASSERT_TRUE(WaitSent(4));
  std::vector<fake::Frame> frames = fake::Recorded().frames;
  EXPECT_EQ(frames[2].text,
            "{\"traceId\":\"tA\",\"priority\":3,\"type\":\"T_MSG_A\",\"data\":{\"data\":\"dA\"}}");
  EXPECT_EQ(frames[3].text,
            "{\"traceId\":\"tC\",\"priority\":3,\"type\":\"T_MSG_C\",\"data\":{\"data\":\"dC\"}}");

  FireDisconnected();
  FireConnected("{\"version\":2}");
  ASSERT_TRUE(WaitSent(6));
  ASSERT_TRUE(client_->SendMsg("T_MSG_A", "dA", "tA", 4, true));
  ASSERT_TRUE(client_->SendMsgWithObjId("T_MSG_C", "dC", "OBJ", "tC", 4, false));
  ASSERT_TRUE(WaitSent(8));
  frames = fake::Recorded().frames;
  bool present = true;
  EXPECT_EQ(frames[6].text, "dA");
  EXPECT_EQ(HeaderField(frames[6].header, "type"), "T_MSG_A");
  EXPECT_EQ(HeaderField(frames[6].header, "prio"), std::string("\x04\x00\x00\x00", 4));
  HeaderField(frames[6].header, "obj_id", &present);
  EXPECT_FALSE(present);
  HeaderField(frames[6].header, "ipc_msg", &present);
  EXPECT_FALSE(present);
  EXPECT_EQ(frames[7].text, "dC");
  EXPECT_EQ(HeaderField(frames[7].header, "obj_id"), "OBJ");
}

TEST_F(SendThreadTest, StatisticsLineShowsTheQueueTheLongHandlingsAndTheBuildStamp) {
  ASSERT_TRUE(client_->EnqueueMessage(Message("T_MSG_1", 1, "{}")));
  ASSERT_TRUE(client_->EnqueueMessage(Message("T_MSG_2", 2, "12345")));
  client_->bufferedBytes.fetch_add(int64_t{1} << 32);  // only the low 32 bits are shown
  const std::string line = client_->GetMonitorInfo();
  client_->bufferedBytes.fetch_sub(int64_t{1} << 32);
  const std::string prefix =
      "IpcClient==>SendListCount:2,SendListSize:7,LongHandleTimes:0,BuildTime:";
  ASSERT_EQ(line.substr(0, prefix.size()), prefix);
  EXPECT_TRUE(IsBuildStamp(line.substr(prefix.size()))) << line;
}

TEST_F(SendThreadTest, TearDownEndsASendThreadBlockedOnTheEmptyList) {
  Init();
  FireConnected();
  ASSERT_TRUE(WaitSent(2));
  LogTail log;
  auto tearDown = std::async(std::launch::async, [] { CSingleton<CIpcClient>::RemoveInstance(); });
  if (tearDown.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
    ADD_FAILURE() << "the tear-down waits for a send thread that never wakes";
    client_->SendList().WakeConsumer();  // the members live until the body has returned
  }
  tearDown.wait();
  EXPECT_EQ(log.Count("end ipc send thread", 4), 1);
  EXPECT_EQ(fake::Recorded().freeCalls, 1);
}

// (system version, processors, slow pacing expected)
class PacingTest : public IpcClientTest,
                   public ::testing::WithParamInterface<std::tuple<uint32_t, uint32_t, bool>> {};

TEST_P(PacingTest, SleepsAfterOddMessagesOrAfterEachOnASmallOldMachine) {
  fake::Configure([](fake::Settings& s) {
    s.systemVersion = std::get<0>(GetParam());
    s.processors = std::get<1>(GetParam());
  });
  const bool slow = std::get<2>(GetParam());
  Init();
  ASSERT_TRUE(client_->EnqueueMessage(Message("T_MSG_3", 1)));
  ASSERT_TRUE(client_->EnqueueMessage(Message("T_MSG_4", 1)));
  ASSERT_TRUE(client_->EnqueueMessage(Message("T_MSG_5", 1)));
  ConnectWhileTheFirstSendWaits();
  const std::vector<std::string> expected =
      slow ? std::vector<std::string>{"send",     "sleep 10", "send",     "sleep 10", "send",
                                      "sleep 10", "send",     "sleep 10", "send",     "sleep 10"}
           : std::vector<std::string>{"send",    "sleep 5", "send", "send",
                                      "sleep 5", "send",    "send", "sleep 5"};
  ASSERT_TRUE(WaitUntil([&] { return TraceFromFirstSend().size() >= expected.size(); }));
  // Once the thread has stopped, nothing can follow the last pacing sleep.
  CSingleton<CIpcClient>::RemoveInstance();
  EXPECT_EQ(TraceFromFirstSend(), expected);
}

INSTANTIATE_TEST_SUITE_P(Machines, PacingTest,
                         ::testing::Values(std::make_tuple(10000u, 8u, false),
                                           std::make_tuple(6100u, 2u, true),
                                           std::make_tuple(6100u, 1u, true),
                                           std::make_tuple(6101u, 2u, false),
                                           std::make_tuple(6100u, 3u, false)));

}  // namespace
}  // namespace ipcclient_test
