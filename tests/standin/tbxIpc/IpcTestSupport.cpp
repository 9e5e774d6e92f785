#include "IpcTestSupport.h"

#include <algorithm>
#include <cstdlib>

#include "support/SystemSupport.h"
#include "tbxIpc/IpcEndpointFile.h"
#include "tbxIpc/IpcToken.h"
#include "tbxIpc/IpcTransport.h"

namespace ipctest {

namespace {

using Clock = std::chrono::steady_clock;

// What every raw loopback server publishes; any well-formed token does. The raw peers' nonces
// are fixed: fresh ones are the library's business, and the tests of it check that.
const char kRawToken[] = "0123456789abcdef0123456789abcdef";
const char kRawClientNonce[] = "00112233445566778899aabbccddeeff";
const char kRawServerNonce[] = "ffeeddccbbaa99887766554433221100";

int MillisecondsLeft(Clock::time_point deadline) {
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

RawSocket ConnectTcp(uint16_t port) {
  RawSocket socket = ipc::kNoSocket;
  std::string why;
  const int waitMs = static_cast<int>(std::chrono::milliseconds(kPatience).count());
  return ipc::ConnectLoopback(port, waitMs, &socket, &why) == ipc::DialResult::kConnected
             ? socket
             : ipc::kNoSocket;
}

std::string ServerProofOf(const std::string& token, const std::string& clientNonce,
                          const std::string& serverNonce) {
  std::string proof;
  std::string why;
  return ipc::ServerProof(token, clientNonce, serverNonce, &proof, &why) ? proof : "";
}

// The server's part of the handshake under kRawToken.
bool ServeHandshake(RawSocket socket) {
  IpcFrame hello;
  IpcFrame proof;
  return ReadFrame(socket, &hello) && hello.kind == kIpcFrameHello &&
         WriteAll(socket,
                  Frame(kIpcFrameProof, kRawServerNonce + ServerProofOf(kRawToken, hello.payload,
                                                                        kRawServerNonce))) &&
         ReadFrame(socket, &proof) &&
         Frame(proof.kind, proof.payload) ==
             ClientProofFrame(kRawToken, hello.payload, kRawServerNonce);
}

}  // namespace

ScopedIpcDir::ScopedIpcDir() : ipcDir_(root_.path() + "/ipc") {
  korvex_test::system_support::SetEnv("TBX_IPC_DIR", ipcDir_);
}

ScopedIpcDir::~ScopedIpcDir() {
  korvex_test::system_support::UnsetEnv("TBX_IPC_DIR");
}

std::string ScopedIpcDir::SocketPath(const std::string& name) const {
  return ipcDir_ + "/" + name;
}

void EventLog::Add(const std::string& event) {
  std::lock_guard<std::mutex> lock(mutex_);
  events_.push_back(event);
  changed_.notify_all();
}

bool EventLog::WaitForCount(size_t count) {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, kPatience, [&] { return events_.size() >= count; });
}

bool EventLog::WaitFor(const std::function<bool(const std::string&)>& match) {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, kPatience, [&] {
    for (const auto& event : events_) {
      if (match(event)) {
        return true;
      }
    }
    return false;
  });
}

std::vector<std::string> EventLog::Snapshot() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return events_;
}

void EventLog::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  events_.clear();
}

bool OverTcp() {
  return ipc::SelectedTransport() == ipc::Transport::kTcp;
}

RawSocket ConnectTcpSilently(const std::string& path, std::string* token) {
  CIpcEndpointFile file;
  std::string why;
  if (file.Read(path, &why) != 0) {
    return ipc::kNoSocket;
  }
  *token = file.token();
  return ConnectTcp(file.port());
}

RawSocket ConnectRaw(const std::string& path) {
  if (!OverTcp()) {
    return ConnectUnixRaw(path);
  }
  std::string token;
  std::string serverProof;
  const RawSocket socket = ConnectTcpSilently(path, &token);
  if (socket != ipc::kNoSocket &&
      !(HelloAndServerProof(socket, kRawClientNonce, &serverProof) &&
        ServerProofHolds(token, kRawClientNonce, serverProof) &&
        WriteAll(socket, ClientProofFrame(token, kRawClientNonce, serverProof)))) {
    ipc::CloseSocket(socket);
    return ipc::kNoSocket;
  }
  return socket;
}

RawSocket ListenTcp(const std::string& path, const std::string& token) {
  uint16_t port = 0;
  std::string why;
  const RawSocket socket = ipc::ListenLoopback(4, &port, &why);
  if (socket != ipc::kNoSocket && !CIpcEndpointFile(port, token).Write(path, &why)) {
    ipc::CloseSocket(socket);
    return ipc::kNoSocket;
  }
  return socket;
}

RawSocket ListenRaw(const std::string& path) {
  return OverTcp() ? ListenTcp(path, kRawToken) : ListenUnixRaw(path);
}

RawSocket AcceptSilently(RawSocket listener) {
  if (listener == ipc::kNoSocket) {
    return ipc::kNoSocket;
  }
  const Clock::time_point deadline = Clock::now() + kPatience;
  RawSocket socket = ipc::kNoSocket;
  std::string why;
  // A connection that vanished before it was taken leaves nothing to accept: wait again.
  while (socket == ipc::kNoSocket && why.empty() && MillisecondsLeft(deadline) > 0) {
    if (ipc::WaitSocket(listener, false, MillisecondsLeft(deadline)) == ipc::WaitResult::kReady) {
      socket = ipc::AcceptSocket(listener, &why);
    }
  }
  return socket;
}

RawSocket AcceptRaw(RawSocket listener) {
  const RawSocket socket = AcceptSilently(listener);
  if (socket != ipc::kNoSocket && OverTcp() && !ServeHandshake(socket)) {
    ipc::CloseSocket(socket);
    return ipc::kNoSocket;
  }
  return socket;
}

bool HelloAndServerProof(RawSocket socket, const std::string& clientNonce,
                         std::string* serverProof) {
  IpcFrame answer;
  if (!WriteAll(socket, Frame(kIpcFrameHello, clientNonce)) || !ReadFrame(socket, &answer) ||
      answer.kind != kIpcFrameProof) {
    return false;
  }
  *serverProof = answer.payload;
  return true;
}

bool ServerProofHolds(const std::string& token, const std::string& clientNonce,
                      const std::string& serverProof) {
  const std::string serverNonce = serverProof.substr(0, kIpcNonceLength);
  return serverProof.size() == kIpcNonceLength + kIpcProofLength &&
         serverProof.substr(kIpcNonceLength) == ServerProofOf(token, clientNonce, serverNonce);
}

std::string ClientProofFrame(const std::string& token, const std::string& clientNonce,
                             const std::string& serverProof) {
  std::string proof;
  std::string why;
  ipc::ClientProof(token, clientNonce, serverProof.substr(0, kIpcNonceLength), &proof, &why);
  return Frame(kIpcFrameProof, proof);
}

void CloseRaw(RawSocket socket) {
  ipc::CloseSocket(socket);
}

bool WriteAll(RawSocket socket, const std::string& bytes) {
  if (socket == ipc::kNoSocket) {
    return false;
  }
  const Clock::time_point deadline = Clock::now() + kPatience;
  size_t done = 0;
  while (done < bytes.size()) {
    size_t count = 0;
    const ipc::IoResult result =
        ipc::SendSome(socket, bytes.data() + done, bytes.size() - done, &count);
    if (result == ipc::IoResult::kDone) {
      done += count;
    } else if (result != ipc::IoResult::kWouldBlock || MillisecondsLeft(deadline) == 0 ||
               ipc::WaitSocket(socket, true, MillisecondsLeft(deadline)) ==
                   ipc::WaitResult::kFailed) {
      return false;
    }
  }
  return true;
}

bool ReadExactly(RawSocket socket, size_t size, std::string* out) {
  out->clear();
  if (socket == ipc::kNoSocket) {
    return false;
  }
  const Clock::time_point deadline = Clock::now() + kPatience;
  char buffer[4096];
  while (out->size() < size) {
    size_t count = 0;
    const ipc::IoResult result =
        ipc::ReceiveSome(socket, buffer, std::min(sizeof(buffer), size - out->size()), &count);
    if (result == ipc::IoResult::kDone) {
      out->append(buffer, count);
    } else if (result != ipc::IoResult::kWouldBlock || MillisecondsLeft(deadline) == 0 ||
               ipc::WaitSocket(socket, false, MillisecondsLeft(deadline)) !=
                   ipc::WaitResult::kReady) {
      return false;
    }
  }
  return true;
}

bool ReadFrame(RawSocket socket, IpcFrame* frame) {
  std::string prefix;
  if (!ReadExactly(socket, kIpcFramePrefixSize, &prefix)) {
    return false;
  }
  const uint32_t length = ipc::ReadU32Le(prefix.data());
  frame->kind = static_cast<uint8_t>(prefix[4]);
  return length >= 1 && ReadExactly(socket, length - 1, &frame->payload);
}

bool WaitForEof(RawSocket socket, std::string* received) {
  if (received != nullptr) {
    received->clear();
  }
  if (socket == ipc::kNoSocket) {
    return false;
  }
  const Clock::time_point deadline = Clock::now() + kPatience;
  char buffer[4096];
  while (MillisecondsLeft(deadline) > 0) {
    size_t count = 0;
    const ipc::IoResult result = ipc::ReceiveSome(socket, buffer, sizeof(buffer), &count);
    if (result == ipc::IoResult::kEnd || result == ipc::IoResult::kFailed) {
      return true;  // a reset is a close too
    }
    if (result == ipc::IoResult::kDone && received != nullptr) {
      received->append(buffer, count);
    }
    if (result == ipc::IoResult::kWouldBlock) {
      ipc::WaitSocket(socket, false, std::min(50, MillisecondsLeft(deadline)));
    }
  }
  return false;
}

std::string Frame(uint8_t kind, const std::string& payload) {
  std::string frame;
  ipc::EncodeFrame(kind, payload, &frame);
  return frame;
}

std::string BinDir() {
  const char* dir = std::getenv("KORVEX_BIN_DIR");
  return dir != nullptr && dir[0] != '\0' ? dir : KORVEX_BIN_DIR_DEFAULT;
}

}  // namespace ipctest
