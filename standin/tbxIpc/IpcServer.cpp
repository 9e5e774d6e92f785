#include "IpcServer.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

#include "IpcFrame.h"
#include "IpcPeerCheck.h"
#include "IpcStates.h"

namespace {

constexpr int kListenBacklog = 16;

// The lock file that marks a name as owned by a live server. '~' never occurs in a sanitized
// name, so no server's socket file can collide with another server's lock file.
std::string LockFileName(const std::string& socketFileName) {
  return socketFileName + "~lock";
}

std::string ErrnoText(const std::string& what) {
  return what + ": " + std::strerror(errno);
}

}  // namespace

CIpcServer::CIpcServer(Handlers handlers, int sendTimeoutMs)
    : handlers_(std::move(handlers)), sendTimeoutMs_(sendTimeoutMs) {}

CIpcServer::~CIpcServer() {
  Stop();
}

void CIpcServer::SetInitInfo(const std::string& initInfo) {
  std::lock_guard<std::mutex> lock(mutex_);
  initInfo_ = initInfo;
}

void CIpcServer::Log(const std::string& line) {
  if (handlers_.onLog) {
    handlers_.onLog(line);
  }
}

int32_t CIpcServer::Start(const std::string& name, const std::string& directory) {
  std::string outcome;  // logged once the lock is released
  const int32_t state = StartLocked(name, directory, &outcome);
  Log(outcome);
  return state;
}

int32_t CIpcServer::StartLocked(const std::string& name, const std::string& directory,
                                std::string* outcome) {
  std::lock_guard<std::mutex> stopLock(stopMutex_);
  if (running_.load()) {
    *outcome = "start " + name + ": already running";
    return kIpcInvalidArgument;
  }
  std::string why;
  endpoint_ = std::make_unique<CIpcEndpoint>();
  int32_t state = endpoint_->Open(directory, name, true, &why);
  if (state == kIpcOk) {
    state = Listen(&why);
  }
  if (state == kIpcOk) {
    wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd_ < 0) {
      why = ErrnoText("eventfd");
      state = kIpcSystemError;
    }
  }
  if (state == kIpcOk) {
    stopping_.store(false);
    try {
      acceptThread_ = std::thread([this] { AcceptLoop(); });
    } catch (const std::system_error& e) {
      why = std::string("accept thread: ") + e.what();
      state = kIpcSystemError;
    }
  }
  if (state != kIpcOk) {
    *outcome = "start " + name + ": " + why;
    CloseListener();
    return state;
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    socketPath_ = endpoint_->path();
  }
  running_.store(true);
  *outcome = "listening on " + endpoint_->path();
  return kIpcOk;
}

int32_t CIpcServer::Listen(std::string* why) {
  const int dirFd = endpoint_->directoryFd();
  const std::string& fileName = endpoint_->fileName();
  lockFd_ = openat(dirFd, LockFileName(fileName).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (lockFd_ < 0) {
    *why = ErrnoText("lock file");
    return kIpcSystemError;
  }
  if (flock(lockFd_, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EWOULDBLOCK) {
      *why = "a live server owns " + endpoint_->path();
      return kIpcNameInUse;
    }
    *why = ErrnoText("locking the name");
    return kIpcSystemError;
  }
  // The lock is ours, so a socket file there is left over from a server that is gone.
  if (unlinkat(dirFd, fileName.c_str(), 0) != 0 && errno != ENOENT) {
    *why = ErrnoText("removing the stale " + endpoint_->path());
    return kIpcSystemError;
  }
  listenFd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listenFd_ < 0) {
    *why = ErrnoText("socket");
    return kIpcSystemError;
  }
  sockaddr_un address;
  socklen_t length = 0;
  endpoint_->Address(&address, &length);
  if (bind(listenFd_, reinterpret_cast<const sockaddr*>(&address), length) != 0) {
    *why = ErrnoText("bind " + endpoint_->path());
    return kIpcSystemError;
  }
  if (listen(listenFd_, kListenBacklog) != 0) {
    *why = ErrnoText("listen");
    return kIpcSystemError;
  }
  return kIpcOk;
}

void CIpcServer::CloseListener() {
  if (listenFd_ >= 0) {
    close(listenFd_);
    listenFd_ = -1;
    unlinkat(endpoint_->directoryFd(), endpoint_->fileName().c_str(), 0);
  }
  if (lockFd_ >= 0) {
    close(lockFd_);  // releases the name
    lockFd_ = -1;
  }
  if (wakeFd_ >= 0) {
    close(wakeFd_);
    wakeFd_ = -1;
  }
  endpoint_.reset();
}

void CIpcServer::Stop() {
  if (StopLocked()) {
    Log("stopped");
  }
}

bool CIpcServer::StopLocked() {
  std::lock_guard<std::mutex> stopLock(stopMutex_);
  if (!running_.load()) {
    return false;
  }
  stopping_.store(true);
  Wake();
  acceptThread_.join();
  std::map<uint64_t, std::shared_ptr<Client>> all;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    all.swap(workers_);
  }
  for (auto& entry : all) {
    entry.second->connection->Shutdown();
  }
  for (auto& entry : all) {
    entry.second->thread.join();
  }
  CloseListener();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    socketPath_.clear();
  }
  running_.store(false);
  return true;
}

void CIpcServer::Wake() {
  const uint64_t one = 1;
  if (wakeFd_ >= 0 && write(wakeFd_, &one, sizeof(one)) < 0) {
    // The counter is already non-zero, which wakes the accept thread just as well.
  }
}

void CIpcServer::AcceptLoop() {
  pthread_setname_np(pthread_self(), "ipc_accept");
  while (!stopping_.load()) {
    pollfd fds[2] = {{listenFd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) {
        continue;
      }
      Log(ErrnoText("poll"));
      return;
    }
    if (fds[1].revents != 0) {
      uint64_t count = 0;
      if (read(wakeFd_, &count, sizeof(count)) < 0) {
        // Drained by an earlier read; nothing to do.
      }
      ReapFinished();
    }
    if (fds[0].revents != 0 && !stopping_.load()) {
      Accept();
    }
  }
}

void CIpcServer::Accept() {
  const int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
  if (fd < 0) {
    if (errno != EINTR && errno != EAGAIN && errno != ECONNABORTED) {
      Log(ErrnoText("accept"));
    }
    return;
  }
  std::string why;
  if (!ipc::CheckSocketPeer(fd, &why)) {
    close(fd);
    Log("connection refused: " + why);
    return;
  }
  auto client = std::make_shared<Client>();
  client->connection =
      std::make_unique<CIpcConnection>(fd, CIpcFrameDecoder::Side::kServer, sendTimeoutMs_);
  std::string initInfo;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    initInfo = initInfo_;
    client->id = nextId_++;
  }
  if (client->connection->Send(kIpcFrameInit, initInfo) != kIpcOk) {
    Log("client " + std::to_string(client->id) + ": INIT frame could not be sent");
    return;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  try {
    client->thread = std::thread([this, client] { Serve(client); });
  } catch (const std::system_error& e) {
    Log(std::string("client thread: ") + e.what());
    return;
  }
  clients_[client->id] = client;
  workers_[client->id] = client;
}

void CIpcServer::Serve(std::shared_ptr<Client> client) {
  pthread_setname_np(pthread_self(), "ipc_client");
  {
    // Accept() registers the client after starting this thread; wait for it, so Send and
    // CloseClient work from the connected handler on.
    std::lock_guard<std::mutex> lock(mutex_);
  }
  if (handlers_.onConnected) {
    handlers_.onConnected(client->id);
  }
  IpcFrame frame;
  Message message;
  while (client->connection->Receive(&frame)) {
    message.kind = frame.kind;
    message.header.clear();
    if (frame.kind == kIpcFrameDataEx) {
      ipc::SplitDataExPayload(frame.payload, &message.header, &message.text);
    } else {
      message.text = std::move(frame.payload);
    }
    if (handlers_.onMessage) {
      handlers_.onMessage(client->id, message);
    }
  }
  const std::string reason = client->connection->error();
  client->connection->Shutdown();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    clients_.erase(client->id);
  }
  Log("client " + std::to_string(client->id) + " disconnected: " + reason);
  if (handlers_.onDisconnected) {
    handlers_.onDisconnected(client->id, reason);
  }
  client->finished.store(true);
  Wake();
}

void CIpcServer::ReapFinished() {
  std::vector<std::shared_ptr<Client>> finished;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = workers_.begin(); it != workers_.end();) {
      if (it->second->finished.load()) {
        finished.push_back(it->second);
        it = workers_.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (auto& client : finished) {
    client->thread.join();
  }
}

std::shared_ptr<CIpcServer::Client> CIpcServer::Find(uint64_t client) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto it = clients_.find(client);
  return it == clients_.end() ? nullptr : it->second;
}

int32_t CIpcServer::Send(uint64_t client, const std::string& text) {
  const std::shared_ptr<Client> target = Find(client);
  if (target == nullptr) {
    return kIpcNotConnected;
  }
  const int32_t state = target->connection->Send(kIpcFrameData, text);
  if (state == kIpcSendFailed) {
    Log("client " + std::to_string(client) + ": send failed; connection closed");
  }
  return state;
}

size_t CIpcServer::SendToAll(const std::string& text) {
  size_t reached = 0;
  for (uint64_t client : Clients()) {
    if (Send(client, text) == kIpcOk) {
      ++reached;
    }
  }
  return reached;
}

bool CIpcServer::CloseClient(uint64_t client) {
  const std::shared_ptr<Client> target = Find(client);
  if (target == nullptr) {
    return false;
  }
  target->connection->Shutdown();
  return true;
}

size_t CIpcServer::CloseAll() {
  size_t closed = 0;
  for (uint64_t client : Clients()) {
    closed += CloseClient(client) ? 1 : 0;
  }
  return closed;
}

std::vector<uint64_t> CIpcServer::Clients() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<uint64_t> ids;
  for (const auto& entry : clients_) {
    ids.push_back(entry.first);
  }
  return ids;
}

std::string CIpcServer::SocketPath() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return socketPath_;
}
