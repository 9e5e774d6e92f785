#include "IpcConnection.h"

#include <algorithm>
#include <chrono>

#include "IpcStates.h"

namespace {

constexpr size_t kReadChunk = 64 * 1024;

using Clock = std::chrono::steady_clock;

// Milliseconds left until `deadline`, 0 when it has passed.
int RemainingMs(Clock::time_point deadline) {
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

// `waitMs` (-1: no limit) cut to the system's wait slice.
int Sliced(int waitMs) {
  const int slice = ipc::WaitSliceMs();
  if (slice < 0) {
    return waitMs;
  }
  return waitMs < 0 ? slice : std::min(waitMs, slice);
}

}  // namespace

CIpcConnection::CIpcConnection(ipc::SocketHandle socket, CIpcFrameDecoder::Side side,
                               bool handshake, int sendTimeoutMs)
    : socket_(socket),
      sendTimeoutMs_(sendTimeoutMs),
      decoder_(side, handshake),
      chunk_(kReadChunk) {}

CIpcConnection::~CIpcConnection() {
  ipc::CloseSocket(socket_);
}

int32_t CIpcConnection::Send(uint8_t kind, const std::string& payload) {
  std::string frame;
  if (!ipc::EncodeFrame(kind, payload, &frame)) {
    return kIpcTooLarge;
  }
  std::lock_guard<std::mutex> lock(sendMutex_);
  if (shutDown_.load()) {
    return kIpcSendFailed;
  }
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(sendTimeoutMs_);
  size_t sent = 0;
  while (sent < frame.size()) {
    size_t count = 0;
    const ipc::IoResult result =
        ipc::SendSome(socket_, frame.data() + sent, frame.size() - sent, &count);
    if (result == ipc::IoResult::kDone) {
      sent += count;
      continue;
    }
    if (result == ipc::IoResult::kWouldBlock && !shutDown_.load()) {
      const int left = RemainingMs(deadline);
      if (left > 0 && ipc::WaitSocket(socket_, true, Sliced(left)) != ipc::WaitResult::kFailed) {
        continue;
      }
    }
    Shutdown();
    return kIpcSendFailed;
  }
  return kIpcOk;
}

bool CIpcConnection::Receive(IpcFrame* frame, int timeoutMs) {
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    switch (decoder_.Next(frame)) {
      case CIpcFrameDecoder::Result::kFrame:
        return true;
      case CIpcFrameDecoder::Result::kError:
        error_ = decoder_.error();
        return false;
      case CIpcFrameDecoder::Result::kNeedMore:
        break;
    }
    if (shutDown_.load()) {
      error_ = "connection closed locally";
      return false;
    }
    int waitMs = -1;
    if (timeoutMs >= 0) {
      waitMs = RemainingMs(deadline);
      if (waitMs == 0) {
        error_ = "no frame within " + std::to_string(timeoutMs) + " ms";
        return false;
      }
    }
    const ipc::WaitResult waited = ipc::WaitSocket(socket_, false, Sliced(waitMs));
    if (waited == ipc::WaitResult::kTimeout) {
      continue;
    }
    size_t count = 0;
    const ipc::IoResult result =
        waited == ipc::WaitResult::kFailed
            ? ipc::IoResult::kFailed
            : ipc::ReceiveSome(socket_, chunk_.data(), chunk_.size(), &count);
    if (result == ipc::IoResult::kDone) {
      decoder_.Append(chunk_.data(), count);
      continue;
    }
    if (result == ipc::IoResult::kWouldBlock) {
      continue;
    }
    if (shutDown_.load()) {
      error_ = "connection closed locally";
    } else if (result == ipc::IoResult::kEnd) {
      error_ = decoder_.MidFrame() ? "peer closed the connection in the middle of a frame"
                                   : "peer closed the connection";
    } else {
      error_ = "receive failed: " + ipc::LastSocketError();
    }
    return false;
  }
}

void CIpcConnection::Shutdown() {
  shutDown_.store(true);
  ipc::ShutdownSocket(socket_);
}
