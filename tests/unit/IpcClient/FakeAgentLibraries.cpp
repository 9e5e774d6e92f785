#include "FakeAgentLibraries.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <map>
#include <mutex>
#include <new>
#include <thread>

#include "tbx/SystemInfo.h"
#include "tbx/ThreadUtil.h"
#include "tbx/ToolUtil.h"
#include "valko/Monitor.h"
#include "valko/MtIntf.h"
#include "win32/Win32.h"

namespace {

struct FakeState {
  int32_t initState = 0;
  std::map<std::string, int32_t> connectStates;
  bool needConnect = false;
  std::vector<int32_t> regStates;   // next first
  std::vector<int32_t> sendStates;  // next first
  std::function<void(const fake::Frame&)> sendHook;
  bool holdSends = false;
  int heldSends = 0;
  uint32_t systemVersion = 10000;
  uint32_t processors = 8;

  int initCalls = 0;
  std::optional<fake::InitRecord> lastInit;
  IpcLogCallback logCallback = nullptr;
  int setLogCalls = 0;
  int setLogCallsBeforeInit = -1;
  std::vector<std::string> connectCalls;
  std::vector<std::string> regDocuments;
  std::vector<fake::Frame> frames;
  int freeCalls = 0;
  int mtRegistrations = 0;
  int monitorPoints = 0;
  int monitorPointCalls = 0;
  std::vector<std::string> trace;
};

std::mutex g_mutex;
std::condition_variable g_released;  // signalled when the hold on sends ends
FakeState g_state;                   // guarded by g_mutex

int32_t TakeState(std::vector<int32_t>& states) {
  if (states.empty()) {
    return 0;
  }
  const int32_t state = states.front();
  states.erase(states.begin());
  return state;
}

bool OnSendThread() {
  return tbx::CThreadUtil::GetThreadName(
             static_cast<int64_t>(tbx::CThreadUtil::GetCurrentThreadId())) == "ipc_send";
}

int32_t RecordSend(fake::Frame frame) {
  std::function<void(const fake::Frame&)> hook;
  {
    std::unique_lock<std::mutex> hold(g_mutex);
    ++g_state.heldSends;
    g_released.wait(hold, [] { return !g_state.holdSends; });
    --g_state.heldSends;
    frame.state = TakeState(g_state.sendStates);
    g_state.frames.push_back(frame);
    g_state.trace.push_back("send");
    hook = g_state.sendHook;
  }
  if (hook) {
    hook(frame);
  }
  return frame.state;
}

}  // namespace

// The IPC library's client functions.

int32_t SetLogCallback(IpcLogCallback callback) {
  std::lock_guard<std::mutex> hold(g_mutex);
  g_state.logCallback = callback;
  ++g_state.setLogCalls;
  return 0;
}

int32_t InitIpcClient(const IpcInitParam* param) {
  std::lock_guard<std::mutex> hold(g_mutex);
  ++g_state.initCalls;
  if (g_state.setLogCallsBeforeInit < 0) {
    g_state.setLogCallsBeforeInit = g_state.setLogCalls;
  }
  if (param != nullptr) {
    fake::InitRecord record;
    record.size = param->size;
    record.clientNameLength = param->clientNameLength;
    if (param->clientName != nullptr) {
      // The name is only valid during this call, and it must end with a zero byte.
      record.clientName.assign(param->clientName, param->clientNameLength);
      if (param->clientName[param->clientNameLength] != '\0') {
        record.clientName += "<not terminated>";
      }
    }
    record.onReceive = param->onReceive;
    record.onDisconnected = param->onDisconnected;
    record.onConnected = param->onConnected;
    record.reserved = param->reserved;
    g_state.lastInit = record;
  }
  return g_state.initState;
}

int32_t ConnectIpcServer(const std::string& serverName) {
  std::lock_guard<std::mutex> hold(g_mutex);
  g_state.connectCalls.push_back(serverName);
  auto it = g_state.connectStates.find(serverName);
  return it == g_state.connectStates.end() ? 0 : it->second;
}

bool IsIpcClientNeedConnect() {
  std::lock_guard<std::mutex> hold(g_mutex);
  return g_state.needConnect;
}

int32_t IpcRegData(const char* text, uint32_t length) {
  std::lock_guard<std::mutex> hold(g_mutex);
  g_state.regDocuments.emplace_back(text, length);
  return TakeState(g_state.regStates);
}

int32_t IpcSendData(const char* text, uint32_t length) {
  fake::Frame frame;
  frame.text.assign(text, length);
  return RecordSend(std::move(frame));
}

int32_t IpcSendDataEx(const std::string& data, const std::string& header) {
  fake::Frame frame;
  frame.dataEx = true;
  frame.text = data;
  frame.header = header;
  return RecordSend(std::move(frame));
}

int32_t FreeIpcClient() {
  std::lock_guard<std::mutex> hold(g_mutex);
  ++g_state.freeCalls;
  return 0;
}

// The maintenance component: registrations only, and the receive queue's drop counter.

bool CMtIntf::RegMtInfoCallback(IMtInfo*) {
  std::lock_guard<std::mutex> hold(g_mutex);
  ++g_state.mtRegistrations;
  return true;
}

bool CMtIntf::UnRegMtInfoCallback(IMtInfo*) {
  std::lock_guard<std::mutex> hold(g_mutex);
  --g_state.mtRegistrations;
  return true;
}

uint64_t CMtIntf::AddExceptonInfo(const std::string&, uint64_t amount, bool, bool) {
  static uint64_t total = 0;
  std::lock_guard<std::mutex> hold(g_mutex);
  total += amount;
  return total;
}

// The resource monitor: statistics points counted, heartbeats ignored.

template class CSingleton<CMonitor>;
CMonitor::CMonitor() : state_(nullptr) {}
CMonitor::~CMonitor() {}
void* CMonitor::operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return ::operator new(size, std::nothrow);
}
void CMonitor::operator delete(void* memory) noexcept {
  ::operator delete(memory);
}
void CMonitor::operator delete(void* memory, const std::nothrow_t&) noexcept {
  ::operator delete(memory);
}
bool CMonitor::AddMonitorPoint(IMonitorInfo*) {
  std::lock_guard<std::mutex> hold(g_mutex);
  ++g_state.monitorPoints;
  ++g_state.monitorPointCalls;
  return true;
}
bool CMonitor::RemoveMonitorPoint(IMonitorInfo*) {
  std::lock_guard<std::mutex> hold(g_mutex);
  --g_state.monitorPoints;
  return true;
}
bool CMonitor::SetThreadHeartbeat(uint32_t, const std::string&, uint32_t) {
  return true;
}

// The utility library's sleep: the send thread's sleeps are recorded; every sleep lasts a
// twentieth of what was asked (at least 0.1 ms), so polling loops neither spin nor dawdle.

void tbx::CToolUtil::msleep(uint32_t milliseconds) {
  if (OnSendThread()) {
    std::lock_guard<std::mutex> hold(g_mutex);
    g_state.trace.push_back("sleep " + std::to_string(milliseconds));
  }
  std::this_thread::sleep_for(
      std::max(std::chrono::microseconds(100), std::chrono::microseconds(milliseconds * 50)));
}

// The system facts behind the pacing.

uint32_t tbx::CWinOsVersion::GetSysVersion() const {
  std::lock_guard<std::mutex> hold(g_mutex);
  return g_state.systemVersion;
}

void GetSystemInfo(SYSTEM_INFO* info) {
  std::lock_guard<std::mutex> hold(g_mutex);
  *info = SYSTEM_INFO{};
  info->dwNumberOfProcessors = g_state.processors;
}

namespace fake {

void Reset() {
  std::lock_guard<std::mutex> hold(g_mutex);
  g_state = FakeState{};
}

void SetInitState(int32_t state) {
  std::lock_guard<std::mutex> hold(g_mutex);
  g_state.initState = state;
}

void SetConnectState(const std::string& serverName, int32_t state) {
  std::lock_guard<std::mutex> hold(g_mutex);
  g_state.connectStates[serverName] = state;
}

void SetNeedConnect(bool needConnect) {
  std::lock_guard<std::mutex> hold(g_mutex);
  g_state.needConnect = needConnect;
}

void QueueRegStates(const std::vector<int32_t>& states) {
  std::lock_guard<std::mutex> hold(g_mutex);
  g_state.regStates.insert(g_state.regStates.end(), states.begin(), states.end());
}

void QueueSendStates(const std::vector<int32_t>& states) {
  std::lock_guard<std::mutex> hold(g_mutex);
  g_state.sendStates.insert(g_state.sendStates.end(), states.begin(), states.end());
}

void SetSendHook(std::function<void(const Frame&)> hook) {
  std::lock_guard<std::mutex> hold(g_mutex);
  g_state.sendHook = std::move(hook);
}

void HoldSends(bool hold) {
  {
    std::lock_guard<std::mutex> guard(g_mutex);
    g_state.holdSends = hold;
  }
  g_released.notify_all();
}

int HeldSends() {
  std::lock_guard<std::mutex> hold(g_mutex);
  return g_state.heldSends;
}

void SetSystemVersion(uint32_t version) {
  std::lock_guard<std::mutex> hold(g_mutex);
  g_state.systemVersion = version;
}

void SetProcessorCount(uint32_t count) {
  std::lock_guard<std::mutex> hold(g_mutex);
  g_state.processors = count;
}

int InitCalls() {
  std::lock_guard<std::mutex> hold(g_mutex);
  return g_state.initCalls;
}

std::optional<InitRecord> LastInit() {
  std::lock_guard<std::mutex> hold(g_mutex);
  return g_state.lastInit;
}

IpcLogCallback LogCallback() {
  std::lock_guard<std::mutex> hold(g_mutex);
  return g_state.logCallback;
}

int SetLogCallsBeforeInit() {
  std::lock_guard<std::mutex> hold(g_mutex);
  return g_state.setLogCallsBeforeInit;
}

std::vector<std::string> ConnectCalls() {
  std::lock_guard<std::mutex> hold(g_mutex);
  return g_state.connectCalls;
}

std::vector<std::string> RegDocuments() {
  std::lock_guard<std::mutex> hold(g_mutex);
  return g_state.regDocuments;
}

std::vector<Frame> Frames() {
  std::lock_guard<std::mutex> hold(g_mutex);
  return g_state.frames;
}

std::vector<Frame> DeliveredFrames() {
  std::vector<Frame> delivered;
  for (const Frame& frame : Frames()) {
    if (frame.state == 0) {
      delivered.push_back(frame);
    }
  }
  return delivered;
}

int FreeCalls() {
  std::lock_guard<std::mutex> hold(g_mutex);
  return g_state.freeCalls;
}

int MtRegistrations() {
  std::lock_guard<std::mutex> hold(g_mutex);
  return g_state.mtRegistrations;
}

int MonitorPoints() {
  std::lock_guard<std::mutex> hold(g_mutex);
  return g_state.monitorPoints;
}

int MonitorPointCalls() {
  std::lock_guard<std::mutex> hold(g_mutex);
  return g_state.monitorPointCalls;
}

std::vector<std::string> SendThreadTrace() {
  std::lock_guard<std::mutex> hold(g_mutex);
  return g_state.trace;
}

int IdlePolls() {
  std::lock_guard<std::mutex> hold(g_mutex);
  return static_cast<int>(std::count(g_state.trace.begin(), g_state.trace.end(), "sleep 10"));
}

bool WaitUntil(const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) {
      return done();
    }
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  return true;
}

}  // namespace fake
