#include "IpcTestSupport.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "tbxIpc/IpcEndpointFile.h"
#include "tbxIpc/IpcTransport.h"

namespace ipctest {

namespace {

using Clock = std::chrono::steady_clock;

// What every raw loopback server publishes; any well-formed token does.
const char kRawToken[] = "0123456789abcdef0123456789abcdef";

sockaddr_in Loopback(uint16_t port) {
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

int ConnectTcp(uint16_t port) {
  const sockaddr_in address = Loopback(port);
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd >= 0 && connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

int ListenTcp(const std::string& path) {
  sockaddr_in address = Loopback(0);
  socklen_t length = sizeof(address);
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    return -1;
  }
  std::string why;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 || listen(fd, 4) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
      !CIpcEndpointFile(ntohs(address.sin_port), kRawToken).Write(path, &why)) {
    close(fd);
    return -1;
  }
  return fd;
}

bool FillAddress(const std::string& path, sockaddr_un* address) {
  std::memset(address, 0, sizeof(*address));
  address->sun_family = AF_UNIX;
  if (path.size() >= sizeof(address->sun_path)) {
    return false;
  }
  std::memcpy(address->sun_path, path.data(), path.size());
  return true;
}

}  // namespace

ScopedIpcDir::ScopedIpcDir() : ipcDir_(root_.path() + "/ipc") {
  setenv("TBX_IPC_DIR", ipcDir_.c_str(), 1);
}

ScopedIpcDir::~ScopedIpcDir() {
  unsetenv("TBX_IPC_DIR");
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

int ConnectTcpWithoutHello(const std::string& path, std::string* token) {
  CIpcEndpointFile file;
  std::string why;
  if (file.Read(path, &why) != 0) {
    return -1;
  }
  *token = file.token();
  return ConnectTcp(file.port());
}

int ConnectRaw(const std::string& path) {
  if (OverTcp()) {
    std::string token;
    const int fd = ConnectTcpWithoutHello(path, &token);
    if (fd >= 0 && !WriteAll(fd, Frame(kIpcFrameHello, token))) {
      close(fd);
      return -1;
    }
    return fd;
  }
  sockaddr_un address;
  if (!FillAddress(path, &address)) {
    return -1;
  }
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

int ListenRaw(const std::string& path) {
  if (OverTcp()) {
    return ListenTcp(path);
  }
  sockaddr_un address;
  if (!FillAddress(path, &address)) {
    return -1;
  }
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd >= 0 && (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
                  listen(fd, 4) != 0)) {
    close(fd);
    return -1;
  }
  return fd;
}

int AcceptRaw(int listenFd) {
  pollfd p = {listenFd, POLLIN, 0};
  const int waitMs = static_cast<int>(std::chrono::milliseconds(kPatience).count());
  if (poll(&p, 1, waitMs) <= 0) {
    return -1;
  }
  const int fd = accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
  IpcFrame hello;
  if (fd >= 0 && OverTcp() &&
      !(ReadFrame(fd, &hello) && hello.kind == kIpcFrameHello && hello.payload == kRawToken)) {
    close(fd);
    return -1;
  }
  return fd;
}

bool WriteAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n <= 0) {
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

bool ReadExactly(int fd, size_t size, std::string* out) {
  out->clear();
  const Clock::time_point deadline = Clock::now() + kPatience;
  char buffer[4096];
  while (out->size() < size) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    pollfd p = {fd, POLLIN, 0};
    if (left <= 0 || poll(&p, 1, static_cast<int>(left)) <= 0) {
      return false;
    }
    const ssize_t n = recv(fd, buffer, std::min(sizeof(buffer), size - out->size()), 0);
    if (n <= 0) {
      return false;
    }
    out->append(buffer, static_cast<size_t>(n));
  }
  return true;
}

bool ReadFrame(int fd, IpcFrame* frame) {
  std::string prefix;
  if (!ReadExactly(fd, kIpcFramePrefixSize, &prefix)) {
    return false;
  }
  const uint32_t length = ipc::ReadU32Le(prefix.data());
  frame->kind = static_cast<uint8_t>(prefix[4]);
  return length >= 1 && ReadExactly(fd, length - 1, &frame->payload);
}

bool WaitForEof(int fd) {
  const Clock::time_point deadline = Clock::now() + kPatience;
  char buffer[4096];
  while (Clock::now() < deadline) {
    pollfd p = {fd, POLLIN, 0};
    if (poll(&p, 1, 50) <= 0) {
      continue;
    }
    const ssize_t n = recv(fd, buffer, sizeof(buffer), 0);
    if (n == 0 || (n < 0 && errno == ECONNRESET)) {
      return true;
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
