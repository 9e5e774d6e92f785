// A counting platform for the IPC client and its receiving thread: fake::Platform() stands for
// the IPC library's client, the maintenance component, the resource monitor (whose calls
// support/FakeAgentServices.h reports), the utility library's sleep and the two system facts
// behind the send thread's pacing. Tests hand it to CIpcClient or CIpcProtocolHandlerThread.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "IpcClient/IpcClientPlatform.h"
#include "ipc/TbxIpc.h"

namespace fake {

// The init record as InitIpcClient saw it; the client name is copied during the call.
struct InitRecord {
  uint16_t size = 0;
  std::string clientName;  // with "<not terminated>" appended when no zero byte followed
  uint32_t clientNameLength = 0;
  IpcReceiveCallback onReceive = nullptr;
  IpcDisconnectedCallback onDisconnected = nullptr;
  IpcConnectedCallback onConnected = nullptr;
  uint32_t reserved = 0;
};

// One call of IpcSendData (dataEx false) or IpcSendDataEx.
struct Frame {
  bool dataEx = false;
  std::string text;    // the message text, or the data beside the header
  std::string header;  // IpcSendDataEx only
  int32_t state = 0;   // what the fake returned
};

// What the fakes answer. States are 0 unless set; the queued ones are used one per call, in
// order, then 0 again.
struct Settings {
  int32_t initState = 0;
  std::map<std::string, int32_t> connectStates;  // by server name
  bool needConnect = false;
  std::vector<int32_t> regStates;   // IpcRegData
  std::vector<int32_t> sendStates;  // IpcSendData and IpcSendDataEx
  // Runs inside each send, on the sending thread, before the call returns.
  std::function<void(const Frame&)> sendHook;
  uint32_t systemVersion = 10000;
  uint32_t processors = 8;
  // Every sleep lasts this many microseconds per millisecond asked (at least 100 µs), so
  // polling loops neither spin nor dawdle.
  uint32_t sleepMicrosecondsPerMillisecond = 50;
};

// What was called so far.
struct Calls {
  int initCalls = 0;
  std::optional<InitRecord> lastInit;
  IpcLogCallback logCallback = nullptr;  // as given to SetLogCallback
  int setLogCallsBeforeInit = -1;        // SetLogCallback calls before the first InitIpcClient
  std::vector<std::string> connectCalls;
  std::vector<std::string> regDocuments;  // refused ones included
  std::vector<Frame> frames;              // refused ones included
  int freeCalls = 0;
  int mtRegistrations = 0;  // RegMtInfoCallback calls
  // The send thread's sends and sleeps in order: "send", or "sleep N" for N ms on the thread
  // named "ipc_send".
  std::vector<std::string> trace;
  int heldSends = 0;  // sends waiting in a hold now
};

// The one fake platform; it lives as long as the process.
IIpcClientPlatform& Platform();

// Back to the start: default settings, nothing recorded (FakeAgentServices.h's records
// included), sends not held.
void Reset();
void Configure(const std::function<void(Settings&)>& change);
Calls Recorded();
// While held, each send waits on entry, before anything is recorded.
void HoldSends(bool hold);

// Derived from Recorded().
std::vector<Frame> DeliveredFrames();  // sends that returned 0
int IdlePolls();                       // 10 ms sleeps of the send thread

}  // namespace fake
