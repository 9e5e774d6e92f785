// Counting fakes of what the IPC client calls outside itself. FakeAgentLibraries.cpp defines the
// client functions of the IPC library, the maintenance component's registration, the resource
// monitor, the sleep of the utility library and the two system facts behind the send thread's
// pacing; the test executable's definitions take the place of the stand-in libraries' own.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ipc/TbxIpc.h"

namespace fake {

// The init record as InitIpcClient saw it; the client name is copied during the call.
struct InitRecord {
  uint16_t size = 0;
  std::string clientName;
  uint32_t clientNameLength = 0;
  IpcReceiveCallback onReceive = nullptr;
  IpcDisconnectedCallback onDisconnected = nullptr;
  IpcConnectedCallback onConnected = nullptr;
  uint32_t reserved = 0;
};

// One call of IpcSendData (header empty, dataEx false) or IpcSendDataEx.
struct Frame {
  bool dataEx = false;
  std::string text;    // the message text, or the data beside the header
  std::string header;  // IpcSendDataEx only
  int32_t state = 0;   // what the fake returned
};

// Everything back to its start: no calls recorded, every state 0, 10000 as the system version
// and 8 processors.
void Reset();

// States the next calls return, one per call in order; afterwards 0.
void SetInitState(int32_t state);
void SetConnectState(const std::string& serverName, int32_t state);  // for every call
void SetNeedConnect(bool needConnect);
void QueueRegStates(const std::vector<int32_t>& states);
void QueueSendStates(const std::vector<int32_t>& states);  // IpcSendData and IpcSendDataEx
// Runs inside each IpcSendData/IpcSendDataEx call, on the calling thread, before it returns.
void SetSendHook(std::function<void(const Frame&)> hook);
// While held, each IpcSendData/IpcSendDataEx call waits on entry, before anything is recorded.
void HoldSends(bool hold);
// Send calls waiting in a hold now.
int HeldSends();

void SetSystemVersion(uint32_t version);
void SetProcessorCount(uint32_t count);

// What was called.
int InitCalls();
std::optional<InitRecord> LastInit();
// Log callback passed to SetLogCallback, and how many SetLogCallback calls preceded the
// first InitIpcClient call.
IpcLogCallback LogCallback();
int SetLogCallsBeforeInit();
std::vector<std::string> ConnectCalls();
std::vector<std::string> RegDocuments();  // every IpcRegData text, refused ones included
std::vector<Frame> Frames();              // every send, refused ones included
std::vector<Frame> DeliveredFrames();     // sends that returned 0
int FreeCalls();
int MtRegistrations();    // RegMtInfoCallback calls minus UnRegMtInfoCallback calls
int MonitorPoints();      // AddMonitorPoint calls minus RemoveMonitorPoint calls
int MonitorPointCalls();  // AddMonitorPoint calls

// The order in which the send thread sent and slept: "send" for every send call, "sleep N"
// for every sleep of N ms on the thread named "ipc_send".
std::vector<std::string> SendThreadTrace();
// Idle 10 ms sleeps of the send thread so far.
int IdlePolls();

// Polls until `done` holds; false after 10 s (a guard against hangs, not a timing check).
bool WaitUntil(const std::function<bool()>& done);

}  // namespace fake
