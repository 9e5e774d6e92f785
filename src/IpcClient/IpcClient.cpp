#include "IpcClient/IpcClient.h"

#include "tbx/LogMessage.h"

namespace {

constexpr uint64_t kDropLogInterval = 1000;  // drops between two warnings

}  // namespace

CIpcClient::CIpcClient() = default;

bool CIpcClient::EnqueueMessage(const IpcMessage& message) {
  if (sendList_.Push(message, message.priority)) {
    bufferedBytes.fetch_add(static_cast<int64_t>(message.data.size()));
    return true;
  }
  const uint64_t drops = dropCount.fetch_add(1) + 1;
  if (drops % kDropLogInterval == 1) {
    tbx::CLogMessage::log(tbx::TBX_LOG_WARN, "IpcClient\\IpcClient", __LINE__,
                          "drop ipc msg count %llu", static_cast<unsigned long long>(drops));
  }
  return false;
}
