// Shared set-up of the IPC client's tests against the fake platform: a client per test, which is
// the singleton's instance as the library's callbacks need, the process log, and helpers that
// drive the library's callbacks.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "IpcClient/IpcClient.h"
#include "support/FakeAgentServices.h"
#include "support/FakeIpcClientPlatform.h"
#include "support/TestSupport.h"

namespace ipcclient_test {

using korvex_test::LogTail;
using korvex_test::WaitUntil;

// The "type" of a JSON envelope as the fake received it, "" when it has none.
std::string EnvelopeType(const std::string& text);
// The types of the delivered frames, in delivery order (header "type" for DATA_EX frames).
std::vector<std::string> DeliveredTypes();
// The text value of `key` in a serialized header, "" when absent; `present` tells which.
std::string HeaderField(const std::string& header, const std::string& key, bool* present = nullptr);

// Each test gets a fresh client singleton and fakes in their start state; the tear-down
// releases the client the way the process's last RemoveInstance would.
class IpcClientTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // A new client over the fake platform in client_, after the previous one was removed.
  void NewClient();

  // InitClient, which must succeed and start the send thread.
  void Init();
  // The library's connected / disconnected / receive callbacks, as captured from InitClient.
  void FireConnected(const std::string& initInfo = "");
  void FireDisconnected();
  void FireReceive(const char* data, int32_t length);
  // Connects while the send thread, should it take a message before the configuration
  // requests are queued, waits inside that first send; so the order of what follows is fixed.
  void ConnectWhileTheFirstSendWaits(const std::string& initInfo = "");
  // Waits until the send thread has handed `count` messages to the library successfully and
  // counted them.
  bool WaitSent(uint64_t count);
  // Waits until the send thread has polled a lost connection `count` more times, so that
  // anything it would take from the list while disconnected would have been taken.
  bool WaitIdlePolls(int count);
  // Makes the send list accept at most `limit` + 1 messages per priority.
  void LimitQueue(int64_t limit);

  IpcMessage Message(const std::string& type, int32_t priority, const std::string& data = "{}");

  CIpcClient* client_ = nullptr;
};

}  // namespace ipcclient_test
