// tbxIpc: the server end, for the simulated main agent and for tests.
//
// Listens under a server name on the transport selected when it starts, admits each client
// as the transport asks (the peer's user, or its handshake), greets it with an INIT frame
// carrying the init info, and delivers the client's REG, DATA and DATA_EX frames to a
// handler. Every handler runs on a thread of the server (the accept thread or the client's
// own) or in Start or Stop, never while the server holds a lock; a handler may call any
// member except Start and Stop.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Export.h"
#include "IpcConnection.h"
#include "IpcEndpoint.h"
#include "IpcListener.h"
#include "IpcNameLock.h"
#include "IpcWaker.h"

class TBXIPC_API CIpcServer {
 public:
  // One frame from a client.
  struct Message {
    uint8_t kind = 0;    // kIpcFrameReg, kIpcFrameData or kIpcFrameDataEx
    std::string text;    // the payload; for DATA_EX the data after the header
    std::string header;  // DATA_EX only: the serialized header bytes
  };
  struct Handlers {
    std::function<void(uint64_t client)> onConnected;
    std::function<void(uint64_t client, const Message& message)> onMessage;
    std::function<void(uint64_t client, const std::string& reason)> onDisconnected;
    std::function<void(const std::string& line)> onLog;
  };

  // Null handlers are skipped. A frame to a client that cannot be written within
  // `sendTimeoutMs` fails and closes that client.
  explicit CIpcServer(Handlers handlers, int sendTimeoutMs = CIpcConnection::kDefaultSendTimeoutMs);
  ~CIpcServer();  // Stop()

  CIpcServer(const CIpcServer&) = delete;
  CIpcServer& operator=(const CIpcServer&) = delete;

  // The INIT text for clients greeted from now on; "" until set.
  void SetInitInfo(const std::string& initInfo);

  // Listens under `name` in `directory` ("" for the default, see CIpcEndpoint). Takes over an
  // endpoint left by a server that is gone; kIpcNameInUse when a live server owns the name.
  // Returns an IpcState.
  int32_t Start(const std::string& name, const std::string& directory = "");

  // Closes every client (their disconnected handlers run), stops listening and removes the
  // endpoint. No handler runs after it returns. The server may be started again.
  void Stop();

  // Sends one DATA frame; an IpcState.
  int32_t Send(uint64_t client, const std::string& text);
  // Sends one DATA frame to every client; returns how many got it.
  size_t SendToAll(const std::string& text);
  // Closes one client; false when there is no such client.
  bool CloseClient(uint64_t client);
  // Closes every client; returns how many.
  size_t CloseAll();
  // The clients connected now, in the order they arrived.
  std::vector<uint64_t> Clients() const;

  bool IsRunning() const { return running_.load(); }
  // The endpoint (the socket file or the endpoint file) while running.
  std::string EndpointPath() const;
  // Where it listens, for people: the path, or the loopback port and the path.
  std::string Describe() const;

 private:
  struct Client {
    uint64_t id = 0;
    std::unique_ptr<CIpcConnection> connection;
    std::thread thread;                 // runs Serve()
    std::atomic<bool> finished{false};  // Serve() has made its last call
  };

  // Start and Stop under stopMutex_; what to log comes back to be logged without it.
  int32_t StartLocked(const std::string& name, const std::string& directory, std::string* outcome);
  bool StopLocked();  // false when not running
  // Takes the name over: the lock file, then the endpoint. An IpcState, with the reason.
  int32_t Listen(const std::string& name, const std::string& directory, std::string* why);
  void AcceptLoop();
  void Accept();
  void Serve(std::shared_ptr<Client> client);
  // Admits and greets the client on its own thread, then makes it reachable.
  bool Greet(const std::shared_ptr<Client>& client);
  void ReapFinished();  // joins the threads of clients that have finished
  void Log(const std::string& line);
  std::shared_ptr<Client> Find(uint64_t client) const;
  void CloseListener();

  const Handlers handlers_;
  const int sendTimeoutMs_;

  mutable std::mutex mutex_;                             // guards the members below
  std::string initInfo_;                                 // INIT text for new connections
  std::map<uint64_t, std::shared_ptr<Client>> clients_;  // admitted and greeted, by id
  std::map<uint64_t, std::shared_ptr<Client>> workers_;  // every client not yet joined
  uint64_t nextId_ = 1;                                  // ids are never reused
  std::string endpointPath_;                             // while running
  std::string description_;                              // while running

  std::mutex stopMutex_;  // serialises Start and Stop; held while Stop joins the threads
  std::atomic<bool> running_{false};
  std::atomic<bool> stopping_{false};  // the accept thread should end
  // While running; the client threads use the listener, and Stop joins them before it goes.
  std::unique_ptr<CIpcNameLock> nameLock_;
  std::unique_ptr<CIpcListener> listener_;
  std::unique_ptr<CIpcWaker> waker_;  // wakes the accept thread
  std::thread acceptThread_;
};
