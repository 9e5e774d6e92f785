// tbxIpc: one live connection of the client and the thread that delivers its frames.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "IpcConnection.h"
#include "ipc/TbxIpc.h"

// The callbacks a connection delivers to; null entries are skipped.
struct IpcClientCallbacks {
  IpcReceiveCallback onReceive = nullptr;
  IpcDisconnectedCallback onDisconnected = nullptr;
  IpcConnectedCallback onConnected = nullptr;
};

class CIpcClientSession : public std::enable_shared_from_this<CIpcClientSession> {
 public:
  // `connection` has already delivered the INIT frame, whose text is `initInfo`. Nothing
  // runs until Start(). Join() (or Stop() then Join()) must run before the owner lets go.
  CIpcClientSession(std::unique_ptr<CIpcConnection> connection, IpcClientCallbacks callbacks,
                    std::string initInfo, std::string serverName);
  ~CIpcClientSession();

  CIpcClientSession(const CIpcClientSession&) = delete;
  CIpcClientSession& operator=(const CIpcClientSession&) = delete;

  // Starts the thread: connected callback, one receive callback per DATA frame, and the
  // disconnected callback when the connection ends (unless Stop() came first). False when
  // the thread cannot be created.
  bool Start();

  // True until the connection has ended.
  bool IsAlive() const { return alive_.load(); }

  CIpcConnection& connection() { return *connection_; }

  // Closes the connection; no callback starts after this returns.
  void Stop();

  // Waits until the thread has finished its last callback. On the session's own thread (a
  // callback calling in) the thread is detached instead and ends when that callback returns.
  void Join();

 private:
  void Run();

  std::unique_ptr<CIpcConnection> connection_;
  const IpcClientCallbacks callbacks_;  // as in force when the connection was made
  const std::string initInfo_;          // text of the INIT frame
  const std::string serverName_;        // for log lines
  std::atomic<bool> alive_{true};       // false once the connection has ended
  std::atomic<bool> stopped_{false};    // Stop() ran: deliver nothing more
  std::thread thread_;                  // runs Run(); holds a reference to this object
};
