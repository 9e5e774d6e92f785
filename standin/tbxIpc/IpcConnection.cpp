#include "IpcConnection.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

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

// Waits until `fd` is ready for `events`; false on timeout or error.
bool WaitFor(int fd, short events, int timeoutMs) {
  pollfd p = {fd, events, 0};
  for (;;) {
    const int n = poll(&p, 1, timeoutMs);
    if (n > 0) {
      return true;
    }
    if (n == 0 || errno != EINTR) {
      return false;
    }
  }
}

}  // namespace

CIpcConnection::CIpcConnection(int fd, CIpcFrameDecoder::Side side, int sendTimeoutMs)
    : fd_(fd), sendTimeoutMs_(sendTimeoutMs), decoder_(side), chunk_(kReadChunk) {}

CIpcConnection::~CIpcConnection() {
  close(fd_);
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
    const ssize_t n =
        send(fd_, frame.data() + sent, frame.size() - sent, MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n > 0) {
      sent += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      const int left = RemainingMs(deadline);
      if (left > 0 && WaitFor(fd_, POLLOUT, left)) {
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
    if (timeoutMs >= 0) {
      const int left = RemainingMs(deadline);
      if (left == 0 || !WaitFor(fd_, POLLIN, left)) {
        error_ = "no frame within " + std::to_string(timeoutMs) + " ms";
        return false;
      }
    }
    const ssize_t n = recv(fd_, chunk_.data(), chunk_.size(), 0);
    if (n > 0) {
      decoder_.Append(chunk_.data(), static_cast<size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (shutDown_.load()) {
      error_ = "connection closed locally";
    } else if (n == 0) {
      error_ = decoder_.MidFrame() ? "peer closed the connection in the middle of a frame"
                                   : "peer closed the connection";
    } else {
      error_ = std::string("receive failed: ") + std::strerror(errno);
    }
    return false;
  }
}

void CIpcConnection::Shutdown() {
  shutDown_.store(true);
  shutdown(fd_, SHUT_RDWR);
}
