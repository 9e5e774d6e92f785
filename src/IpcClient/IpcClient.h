// The process's client of the main agent's IPC server. So far it holds the outgoing side's
// queue and counters; the connection, the registration and the send thread join it here.
#pragma once

#include <atomic>
#include <cstdint>

#include "IpcClient/IpcMessage.h"
#include "IpcClient/IpcSendList.h"

class CIpcClient {
 public:
  CIpcClient();

  // Queues `message` on the list of its priority. Accepted: its data counts in bufferedBytes.
  // Refused (list full or priority outside 0..4): counted in dropCount, with a warning on the
  // 1st, 1001st, 2001st... drop since the counter was last reset.
  bool EnqueueMessage(const IpcMessage& message);

  // The outgoing queue; the send thread is its only consumer.
  CIpcSendList& SendList() { return sendList_; }

  // Counters of the outgoing side, updated without a lock from any thread. The statistics
  // report takes sendCount and dropCount by exchanging them with 0.
  std::atomic<uint64_t> sendCount{0};     // messages handed to the IPC library
  std::atomic<uint64_t> dropCount{0};     // messages refused by the queue or lost on retry
  std::atomic<int64_t> bufferedBytes{0};  // data bytes of queued, not yet sent messages

 private:
  CIpcClient(const CIpcClient&) = delete;
  CIpcClient& operator=(const CIpcClient&) = delete;

  CIpcSendList sendList_;  // outgoing messages by priority
};
