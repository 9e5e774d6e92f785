#include "support/FakeIpcClientPlatform.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "support/FakeAgentServices.h"
#include "tbx/ThreadUtil.h"

namespace {

std::mutex g_mutex;
std::condition_variable g_released;  // signalled when the hold on sends ends
fake::Settings g_settings;           // guarded by g_mutex
fake::Calls g_calls;                 // guarded by g_mutex
bool g_holdSends = false;            // guarded by g_mutex
// What the resource monitor and the maintenance counter were asked; guarded by g_mutex.
std::vector<fake_services::Heartbeat> g_beats;
std::vector<std::string> g_counterCalls;
uint64_t g_counterTotal = 0;
int g_monitorPointCalls = 0;

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

class FakePlatform : public IIpcClientPlatform {
 public:
  int32_t SetLogCallback(IpcLogCallback callback) override {
    std::lock_guard<std::mutex> hold(g_mutex);
    g_calls.logCallback = callback;
    if (g_calls.initCalls == 0) {
      g_calls.setLogCallsBeforeInit = std::max(g_calls.setLogCallsBeforeInit, 0) + 1;
    }
    return 0;
  }

  int32_t InitIpcClient(const IpcInitParam* param) override {
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

  int32_t ConnectIpcServer(const std::string& serverName) override {
    std::lock_guard<std::mutex> hold(g_mutex);
    g_calls.connectCalls.push_back(serverName);
    auto it = g_settings.connectStates.find(serverName);
    return it == g_settings.connectStates.end() ? 0 : it->second;
  }

  bool IsIpcClientNeedConnect() override {
    std::lock_guard<std::mutex> hold(g_mutex);
    return g_settings.needConnect;
  }

  int32_t IpcRegData(const char* text, uint32_t length) override {
    std::lock_guard<std::mutex> hold(g_mutex);
    g_calls.regDocuments.emplace_back(text, length);
    return TakeState(g_settings.regStates);
  }

  int32_t IpcSendData(const char* text, uint32_t length) override {
    fake::Frame frame;
    frame.text.assign(text, length);
    return RecordSend(std::move(frame));
  }

  int32_t IpcSendDataEx(const std::string& data, const std::string& header) override {
    fake::Frame frame;
    frame.dataEx = true;
    frame.text = data;
    frame.header = header;
    return RecordSend(std::move(frame));
  }

  int32_t FreeIpcClient() override {
    std::lock_guard<std::mutex> hold(g_mutex);
    ++g_calls.freeCalls;
    return 0;
  }

  bool RegMtInfoCallback(IMtInfo*) override {
    std::lock_guard<std::mutex> hold(g_mutex);
    ++g_calls.mtRegistrations;
    return true;
  }

  uint64_t AddExceptonInfo(const std::string& name, uint64_t amount, bool report,
                           bool accumulate) override {
    std::lock_guard<std::mutex> hold(g_mutex);
    g_counterCalls.push_back(name + "/" + std::to_string(amount) + "/" + std::to_string(report) +
                             "/" + std::to_string(accumulate));
    g_counterTotal += amount;
    return g_counterTotal;
  }

  void AddMonitorPoint(IMonitorInfo*) override {
    std::lock_guard<std::mutex> hold(g_mutex);
    ++g_monitorPointCalls;
  }

  void SetThreadHeartbeat(uint32_t threadId, const std::string& name,
                          uint32_t timeoutSeconds) override {
    std::lock_guard<std::mutex> hold(g_mutex);
    g_beats.push_back({threadId, name, timeoutSeconds});
  }

  // The send thread's sleeps are recorded.
  void Sleep(uint32_t milliseconds) override {
    const std::string thread = tbx::CThreadUtil::GetThreadName(
        static_cast<int64_t>(tbx::CThreadUtil::GetCurrentThreadId()));
    uint32_t factor = 0;
    {
      std::lock_guard<std::mutex> hold(g_mutex);
      if (thread == "ipc_send") {
        g_calls.trace.push_back("sleep " + std::to_string(milliseconds));
      }
      factor = g_settings.sleepMicrosecondsPerMillisecond;
    }
    std::this_thread::sleep_for(std::max(std::chrono::microseconds(100),
                                         std::chrono::microseconds(milliseconds * factor)));
  }

  uint32_t SystemVersion() override {
    std::lock_guard<std::mutex> hold(g_mutex);
    return g_settings.systemVersion;
  }

  uint32_t ProcessorCount() override {
    std::lock_guard<std::mutex> hold(g_mutex);
    return g_settings.processors;
  }
};

}  // namespace

namespace fake {

IIpcClientPlatform& Platform() {
  static FakePlatform platform;
  return platform;
}

void Reset() {
  std::lock_guard<std::mutex> hold(g_mutex);
  g_settings = Settings{};
  g_calls = Calls{};
  g_holdSends = false;
  g_beats.clear();
  g_counterCalls.clear();
  g_counterTotal = 0;
  g_monitorPointCalls = 0;
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

namespace fake_services {

std::vector<Heartbeat> Heartbeats() {
  std::lock_guard<std::mutex> hold(g_mutex);
  return g_beats;
}

int MonitorPointCalls() {
  std::lock_guard<std::mutex> hold(g_mutex);
  return g_monitorPointCalls;
}

std::vector<std::string> CounterCalls() {
  std::lock_guard<std::mutex> hold(g_mutex);
  return g_counterCalls;
}

void SetCounterTotal(uint64_t total) {
  std::lock_guard<std::mutex> hold(g_mutex);
  g_counterTotal = total;
}

void Reset() {
  std::lock_guard<std::mutex> hold(g_mutex);
  g_beats.clear();
  g_counterCalls.clear();
  g_counterTotal = 0;
  g_monitorPointCalls = 0;
}

}  // namespace fake_services
