// The process's client of the main agent's IPC server: it initialises the IPC library,
// connects under the agent's server names, registers the message types it wants, asks for its
// configuration on every new connection, and offers the whole process one
// IMsgTransmitInterface. Sends only queue; the send thread (this object's CThreadUtil face)
// delivers them one at a time while connected, paced, and puts back what failed.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "IpcClient/IpcClientPlatform.h"
#include "IpcClient/IpcMessage.h"
#include "IpcClient/IpcProtocolHandlerThread.h"
#include "IpcClient/IpcSendList.h"
#include "Singleton.h"
#include "tbx/MutexUtil.h"
#include "tbx/ThreadUtil.h"
#include "valko/IMonitorInfo.h"
#include "valko/IMsgTransmitInterface.h"
#include "valko/IMtInfo.h"

class CIpcClient : public CSingleton<CIpcClient>,
                   public IMsgTransmitInterface,
                   public tbx::CThreadUtil,
                   public IMtInfo,
                   public IMonitorInfo {
 public:
  // What an init info text says about the server's protocol version.
  struct InitInfoVersion {
    bool malformed = false;          // neither empty nor a JSON object
    std::optional<int32_t> version;  // set when the text fixes the version (0 for "")
  };

  // Reads the "version" member of an init info text without touching any client: an empty
  // text means version 0; a JSON object (comments allowed) gives its "version" when that is a
  // whole number within the signed 32-bit range, written as an integer or as a real; any
  // other member value gives no version. Any input is safe.
  static InitInfoVersion ReadInitInfoVersion(const std::string& text);

  // A client over `platform` instead of the agent libraries (NewInstance's client uses those);
  // `platform` must outlive it. It becomes CSingleton<CIpcClient>'s instance, as NewInstance's
  // would, since the library's callbacks find the client there: release it with RemoveInstance.
  explicit CIpcClient(IIpcClientPlatform& platform);

  // The send thread is stopped and joined, the semaphore destroyed and the library freed; the
  // protocol handler thread stops itself. No IPC library callback reaches this object
  // afterwards. The maintenance component and the resource monitor still hold it as a report
  // source: whoever deletes the client must have them forget it first.
  ~CIpcClient() override;

  // IMsgTransmitInterface.
  // Initialises the library as "KorvexMonitor", creates the send list's semaphore and starts
  // the send thread. False when the library or the semaphore fails.
  bool InitClient() override;
  bool RegisterProtocolHandler(const std::string& type, IProtocolHandler* handler) override;
  bool UnRegisterProtocolHandler(const std::string& type, IProtocolHandler* handler) override;
  bool DispatchProtocol(const std::string& type, const std::string& data) override;
  // True between the library's connected and disconnected callbacks.
  bool IsConnected() override;
  bool Connect() override;
  // Tries the agent's two server names in turn; true when one accepted. The connected flag
  // changes only in the callbacks that follow.
  bool ConnectServer() override;
  // Each queues one message and returns at once; false when the send list refused it.
  bool SendMsg(const std::string& type, const std::string& data, const std::string& traceId,
               int32_t priority, bool keepFlag) override;
  bool SendIpcOnlyMsg(int32_t unused, const std::string& type, const std::string& data,
                      const std::string& traceId, int32_t priority, bool keepFlag) override;
  bool SendMsgWithObjId(const std::string& type, const std::string& data, const std::string& objId,
                        const std::string& traceId, int32_t priority, bool keepFlag) override;

  // True when not connected and the library says a connect is worthwhile.
  bool NeedReconnect();

  // The handlers behind the library's callbacks, called on the library's threads.
  // One whole received message of `length` bytes goes to the receive queue.
  void OnReceive(const char* data, int32_t length);
  // Reads the version from `initInfo`; on a transition to connected also registers the
  // message types and asks for the configuration.
  void OnConnected(const std::string& initInfo);
  void OnDisconnected();
  // The library's own log lines, at progress level.
  static void LogCallback(const std::string& text);

  // Applies an init info text: "" resets the version to 0, a usable "version" replaces it, a
  // malformed text is logged and changes nothing.
  void ParseInitInfo(const std::string& text);
  // The protocol version in force: 0 selects the JSON envelopes, above 0 the serialized header.
  int32_t IpcVersion() const { return ipcVersion.load(); }

  // Queues `message` on the list of its priority. Accepted: its data counts in bufferedBytes.
  // Refused (list full or priority outside 0..4): counted in dropCount, with a warning on the
  // 1st, 1001st, 2001st... drop since the counter was last reset.
  bool EnqueueMessage(const IpcMessage& message);

  // The outgoing queue; the send thread is its only consumer.
  CIpcSendList& SendList() { return sendList_; }

  // IMtInfo: the queue's length and size, and the messages sent and dropped since the last
  // report (taken and reset in one step each). Entries whose value is 0 are left out.
  bool GetMtInfo(std::map<std::string, std::string>& info) override;
  // IMonitorInfo: one statistics line with the queue, the long handlings since the last line
  // and the build stamp.
  std::string GetMonitorInfo() override;

 private:
  friend class CSingleton<CIpcClient>;

  // Nothing is connected and no send thread runs; the protocol handler thread starts here.
  CIpcClient();
  CIpcClient(const CIpcClient&) = delete;
  CIpcClient& operator=(const CIpcClient&) = delete;

  bool Initialise(const std::string& clientName);
  bool RegisterMessageTypes();
  bool RegisterTypes(const std::vector<std::string>& types, const std::vector<std::string>& clients,
                     bool isBlack);
  // The send loop.
  void run() override;
  // Hands one message to the library, packed for the protocol version in force.
  bool SendOne(const IpcMessage& message);
  // Slow pacing for old systems with few processors, decided once per send thread.
  bool UseSlowPacing();

  IIpcClientPlatform& platform_;    // the IPC library, the agent services and the system
  tbx::CMutexUtil connectionLock_;  // serialises the connected transitions
  // Atomic because NeedReconnect reads it without the lock.
  std::atomic<bool> connected{false};
  // Written by the connected callback, read by the send thread without a lock.
  std::atomic<int32_t> ipcVersion{0};
  CIpcProtocolHandlerThread protocolHandlerThread_;  // receive queue and dispatcher
  CIpcSendList sendList_;                            // outgoing messages by priority
  std::atomic<bool> stopSending{false};  // set by the tear-down; the send loop ends on it

 public:
  // Counters of the outgoing side, updated without a lock from any thread. The statistics
  // report takes sendCount and dropCount by exchanging them with 0.
  std::atomic<uint64_t> sendCount{0};     // messages handed to the IPC library
  std::atomic<uint64_t> dropCount{0};     // messages refused by the queue or lost on retry
  std::atomic<int64_t> bufferedBytes{0};  // data bytes of queued, not yet sent messages
};

extern template class CSingleton<CIpcClient>;
