// tbxIpc: the one client of this process behind the plain functions of TbxIpc.h.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "IpcClientSession.h"
#include "ipc/TbxIpc.h"

class CIpcClientCore {
 public:
  // How long a connect waits for each of: the connection, the loopback handshake, the server's
  // INIT frame.
  static constexpr int kHandshakeTimeoutMs = 5000;

  // The process-wide client. Never destroyed, so a connection thread still running while the
  // process exits finds it intact.
  static CIpcClientCore& Instance();

  CIpcClientCore(const CIpcClientCore&) = delete;
  CIpcClientCore& operator=(const CIpcClientCore&) = delete;

  // Each returns an IpcState.
  int32_t Init(const IpcInitParam* param);
  // Connects unless a live connection exists (then returns kIpcOk and changes nothing).
  // Returns once the server's INIT frame has arrived; the connected callback follows on the
  // connection's thread.
  int32_t Connect(const std::string& serverName);
  bool NeedConnect();
  int32_t Send(uint8_t kind, const std::string& payload);
  int32_t Free();

 private:
  CIpcClientCore() = default;

  // Opens, checks and greets one connection; on success `session` is ready to start.
  int32_t Dial(const std::string& serverName, const IpcClientCallbacks& callbacks,
               std::shared_ptr<CIpcClientSession>* session);
  // Makes `session` current unless the client was freed or another live connection won.
  int32_t Install(const std::shared_ptr<CIpcClientSession>& session);
  // Waits for a connection that has ended, so its disconnected callback precedes the next
  // connected callback. False when the client is not initialised.
  // Also copies the callbacks and the client name in force.
  bool ReapEndedSession(IpcClientCallbacks* callbacks, std::string* clientName, bool* connected);

  std::mutex mutex_;                            // guards the members below
  bool initialised_ = false;                    // InitIpcClient succeeded, FreeIpcClient not since
  std::string clientName_;                      // as given to InitIpcClient
  IpcClientCallbacks callbacks_;                // as given to InitIpcClient
  std::shared_ptr<CIpcClientSession> session_;  // the current connection, live or ended
};
