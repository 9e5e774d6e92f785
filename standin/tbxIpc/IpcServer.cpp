#include "IpcServer.h"

#include <system_error>

#include "IpcFrame.h"
#include "IpcStates.h"
#include "IpcSystem.h"
#include "IpcTransport.h"

namespace {

// The lock file that marks a name as owned by a live server. '~' never occurs in a sanitized
// name, so no server's endpoint can collide with another server's lock file.
std::string LockFilePath(const CIpcEndpoint& endpoint) {
  return endpoint.path() + "~lock";
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
  int32_t state = Listen(name, directory, &why);
  if (state == kIpcOk) {
    waker_ = std::make_unique<CIpcWaker>();
    if (!waker_->Open(&why)) {
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
  running_.store(true);
  *outcome = "listening on " + Describe();
  return kIpcOk;
}

int32_t CIpcServer::Listen(const std::string& name, const std::string& directory,
                           std::string* why) {
  CIpcEndpoint endpoint;
  int32_t state = endpoint.Open(directory, name, true, why);
  if (state != kIpcOk) {
    return state;
  }
  nameLock_ = std::make_unique<CIpcNameLock>();
  state = nameLock_->Acquire(LockFilePath(endpoint), why);
  if (state != kIpcOk) {
    return state;
  }
  const ipc::Transport transport = ipc::SelectedTransport();
  listener_ = ipc::MakeListener(transport, endpoint);
  state = listener_->Open(why);
  if (state != kIpcOk) {
    return state;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  endpointPath_ = endpoint.path();
  description_ = listener_->Describe() + " over " + ipc::TransportName(transport);
  return kIpcOk;
}

void CIpcServer::CloseListener() {
  if (listener_ != nullptr) {
    listener_->Close();  // withdraws the endpoint while the name is still ours
    listener_.reset();
  }
  nameLock_.reset();  // releases the name
  waker_.reset();
  std::lock_guard<std::mutex> lock(mutex_);
  endpointPath_.clear();
  description_.clear();
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
  waker_->Wake();
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
  running_.store(false);
  return true;
}

void CIpcServer::AcceptLoop() {
  ipc::sys::NameCurrentThread("ipc_accept");
  const ipc::SocketHandle handles[2] = {listener_->handle(), waker_->handle()};
  while (!stopping_.load()) {
    bool ready[2] = {false, false};
    if (ipc::WaitReadable(handles, ready, 2, -1) == ipc::WaitResult::kFailed) {
      Log("waiting for connections: " + ipc::LastSocketError());
      return;
    }
    if (ready[1]) {
      waker_->Drain();
      ReapFinished();
    }
    if (ready[0] && !stopping_.load()) {
      Accept();
    }
  }
}

void CIpcServer::Accept() {
  std::string why;
  const ipc::SocketHandle socket = listener_->Accept(&why);
  if (socket == ipc::kNoSocket) {
    if (!why.empty()) {
      Log("connection refused: " + why);
    }
    return;
  }
  auto client = std::make_shared<Client>();
  client->connection = std::make_unique<CIpcConnection>(
      socket, CIpcFrameDecoder::Side::kServer, listener_->WantsHandshake(), sendTimeoutMs_);
  std::lock_guard<std::mutex> lock(mutex_);
  client->id = nextId_++;
  try {
    client->thread = std::thread([this, client] { Serve(client); });
  } catch (const std::system_error& e) {
    Log(std::string("client thread: ") + e.what());
    return;
  }
  workers_[client->id] = client;
}

bool CIpcServer::Greet(const std::shared_ptr<Client>& client) {
  const std::string label = "client " + std::to_string(client->id);
  std::string why;
  if (!listener_->Admit(client->connection.get(), &why)) {
    Log(label + " refused: " + why);
    return false;
  }
  std::string initInfo;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    initInfo = initInfo_;
  }
  if (client->connection->Send(kIpcFrameInit, initInfo) != kIpcOk) {
    Log(label + ": INIT frame could not be sent");
    return false;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  clients_[client->id] = client;
  return true;
}

void CIpcServer::Serve(std::shared_ptr<Client> client) {
  ipc::sys::NameCurrentThread("ipc_client");
  {
    // Accept() registers the client after starting this thread; wait for it, so Stop finds
    // and shuts down this connection whatever it is waiting for.
    std::lock_guard<std::mutex> lock(mutex_);
  }
  if (!Greet(client)) {
    client->connection->Shutdown();
    client->finished.store(true);
    waker_->Wake();
    return;
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
  waker_->Wake();
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

std::string CIpcServer::EndpointPath() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return endpointPath_;
}

std::string CIpcServer::Describe() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return description_;
}
