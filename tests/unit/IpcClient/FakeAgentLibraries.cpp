#include "FakeAgentLibraries.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "support/FakeAgentServices.h"
#include "tbx/SystemInfo.h"
#include "tbx/ThreadUtil.h"
#include "tbx/ToolUtil.h"
#include "valko/MtIntf.h"
#include "win32/Win32.h"

namespace {

std::mutex g_mutex;
std::condition_variable g_released;  // signalled when the hold on sends ends
fake::Settings g_settings;           // guarded by g_mutex
fake::Calls g_calls;                 // guarded by g_mutex
bool g_holdSends = false;            // guarded by g_mutex

int32_t TakeState(std::vector<int32_t>& states) {
  if (states.empty()) {
    return 0;
  }
  const int32_t state = states.front();
  states.erase(states.begin());
  return state;
}

int32_t RecordSend(fake::Frame frame) {
  std::function<void(const fake::Frame&)> hook;
  {
    std::unique_lock<std::mutex> hold(g_mutex);
    ++g_calls.heldSends;
    g_released.wait(hold, [] { return !g_holdSends; });
    --g_calls.heldSends;
    frame.state = TakeState(g_settings.sendStates);
    g_calls.frames.push_back(frame);
    g_calls.trace.push_back("send");
    hook = g_settings.sendHook;
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
  g_calls.logCallback = callback;
  if (g_calls.initCalls == 0) {
    g_calls.setLogCallsBeforeInit = std::max(g_calls.setLogCallsBeforeInit, 0) + 1;
  }
  return 0;
}

int32_t InitIpcClient(const IpcInitParam* param) {
  std::lock_guard<std::mutex> hold(g_mutex);
  ++g_calls.initCalls;
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
  g_calls.lastInit = record;
  return g_settings.initState;
}

int32_t ConnectIpcServer(const std::string& serverName) {
  std::lock_guard<std::mutex> hold(g_mutex);
  g_calls.connectCalls.push_back(serverName);
  auto it = g_settings.connectStates.find(serverName);
  return it == g_settings.connectStates.end() ? 0 : it->second;
}

bool IsIpcClientNeedConnect() {
  std::lock_guard<std::mutex> hold(g_mutex);
  return g_settings.needConnect;
}

int32_t IpcRegData(const char* text, uint32_t length) {
  std::lock_guard<std::mutex> hold(g_mutex);
  g_calls.regDocuments.emplace_back(text, length);
  return TakeState(g_settings.regStates);
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
  ++g_calls.freeCalls;
  return 0;
}

// The maintenance component's registrations (its counter and the resource monitor are the
// shared fakes of FakeAgentServices.cpp).

bool CMtIntf::RegMtInfoCallback(IMtInfo*) {
  std::lock_guard<std::mutex> hold(g_mutex);
  ++g_calls.mtRegistrations;
  return true;
}

// The utility library's sleep: the send thread's sleeps are recorded; every sleep lasts a
// twentieth of what was asked (at least 0.1 ms), so polling loops neither spin nor dawdle.

void tbx::CToolUtil::msleep(uint32_t milliseconds) {
  const std::string thread =
      tbx::CThreadUtil::GetThreadName(static_cast<int64_t>(tbx::CThreadUtil::GetCurrentThreadId()));
  if (thread == "ipc_send") {
    std::lock_guard<std::mutex> hold(g_mutex);
    g_calls.trace.push_back("sleep " + std::to_string(milliseconds));
  }
  std::this_thread::sleep_for(
      std::max(std::chrono::microseconds(100), std::chrono::microseconds(milliseconds * 50)));
}

// The system facts behind the pacing.

uint32_t tbx::CWinOsVersion::GetSysVersion() const {
  std::lock_guard<std::mutex> hold(g_mutex);
  return g_settings.systemVersion;
}

void GetSystemInfo(SYSTEM_INFO* info) {
  std::lock_guard<std::mutex> hold(g_mutex);
  *info = SYSTEM_INFO{};
  info->dwNumberOfProcessors = g_settings.processors;
}

namespace fake {

void Reset() {
  std::lock_guard<std::mutex> hold(g_mutex);
  g_settings = Settings{};
  g_calls = Calls{};
  g_holdSends = false;
  fake_services::Reset();
}

void Configure(const std::function<void(Settings&)>& change) {
  std::lock_guard<std::mutex> hold(g_mutex);
  change(g_settings);
}

Calls Recorded() {
  std::lock_guard<std::mutex> hold(g_mutex);
  return g_calls;
}

void HoldSends(bool hold) {
  {
    std::lock_guard<std::mutex> guard(g_mutex);
    g_holdSends = hold;
  }
  g_released.notify_all();
}

std::vector<Frame> DeliveredFrames() {
  std::vector<Frame> delivered;
  for (const Frame& frame : Recorded().frames) {
    if (frame.state == 0) {
      delivered.push_back(frame);
    }
  }
  return delivered;
}

int IdlePolls() {
  const std::vector<std::string> trace = Recorded().trace;
  return static_cast<int>(std::count(trace.begin(), trace.end(), "sleep 10"));
}

}  // namespace fake
