#include "valko/Monitor.h"

#include <algorithm>
#include <climits>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

#include "MonitorTestSeams.h"
#include "ProcessSampler.h"
#include "ResourceLimits.h"
#include "ThreadHeartbeats.h"
#include "tbx/LogMessage.h"
#include "tbx/ThreadUtil.h"
#include "tbxUtil/StandinSupport.h"
#include "valkoCommon/SingletonHome.h"
#include "valkoCommon/StandinFailure.h"

VALKO_SINGLETON_HOME(CMonitor)

using valko::standin::CProcessSampler;
using valko::standin::CResourceLimits;
using valko::standin::CThreadHeartbeats;
using valko::standin::ResourceSample;

namespace {

const char kSource[] = "valkoMonitor/Monitor";

// What one sample calls back, gathered under the lock and delivered after it is released.
struct PendingEvents {
  std::optional<std::pair<int64_t, int64_t>> cpu;  // percent, busiest thread id
  std::optional<int32_t> memoryMb;
  std::optional<IoRecord> io;
  std::optional<int32_t> fdCount;
  std::vector<std::string> hangs;
};

int32_t Clamp32(int64_t value) {
  if (value > INT32_MAX) {
    return INT32_MAX;
  }
  return value < INT32_MIN ? INT32_MIN : static_cast<int32_t>(value);
}

bool Over(int64_t figure, uint64_t limit) {
  return limit != 0 && figure >= 0 && static_cast<uint64_t>(figure) > limit;
}

void Deliver(IResourceMonitorEvent* events, const PendingEvents& pending) {
  if (pending.cpu) {
    tbx::CLogMessage::log(
        tbx::TBX_LOG_WARN, kSource, __LINE__, "cpu %lld%% over the limit, busiest thread %lld",
        static_cast<long long>(pending.cpu->first), static_cast<long long>(pending.cpu->second));
    events->OnCpuMax(pending.cpu->first, pending.cpu->second);
  }
  if (pending.memoryMb) {
    tbx::CLogMessage::log(tbx::TBX_LOG_WARN, kSource, __LINE__, "memory %d MiB over the limit",
                          *pending.memoryMb);
    events->OnMemoryMax(*pending.memoryMb);
  }
  if (pending.io) {
    tbx::CLogMessage::log(tbx::TBX_LOG_WARN, kSource, __LINE__,
                          "io read %d KiB/s write %d KiB/s over the limit", pending.io->rio,
                          pending.io->wio);
    events->OnHighIO(*pending.io);
  }
  if (pending.fdCount) {
    tbx::CLogMessage::log(tbx::TBX_LOG_WARN, kSource, __LINE__,
                          "%d open descriptors over the limit", *pending.fdCount);
    events->OnMaxFd(*pending.fdCount);
  }
  for (const std::string& hang : pending.hangs) {
    tbx::CLogMessage::log(tbx::TBX_LOG_WARN, kSource, __LINE__, "%s", hang.c_str());
    events->OnThreadHang(hang);
  }
}

// The state of the one monitor instance; CSingleton keeps at most one alive at a time.
struct MonitorState {
  std::mutex mutex;                         // guards every member below
  std::condition_variable wake;             // Stop -> sampling thread
  std::condition_variable pointsIdle;       // sampling thread -> RemovePoint
  std::string configPath;                   // as given to SetConfigPath
  std::thread thread;                       // the sampling thread while it may run
  std::thread::id threadId;                 // its id, to recognise calls from a callback
  bool stopRequested = false;               // the sampling thread leaves its loop when it sees it
  IResourceMonitorEvent* events = nullptr;  // not owned; as given to StartMonitor
  std::string ownerName;                    // as given to StartMonitor
  CResourceLimits limits;                   // read by StartMonitor
  std::vector<IMonitorInfo*> points;        // not owned; in the order added
  bool callingPoints = false;               // the sampling thread is asking the points for lines
  CThreadHeartbeats heartbeats;

  // The sampling thread's body: one sample per period until stopRequested; the callbacks and
  // the points are called with the lock released.
  void SamplingLoop();
  // Ends the sampling thread; no callback runs after it returns (unless called from one).
  void Stop();
  // Removes a statistics source; it is not asked for its line after this returns.
  bool RemovePoint(IMonitorInfo* info);
};

MonitorState* g_state = nullptr;  // owned by the instance; null while none exists

void MonitorState::SamplingLoop() {
  tbx::CThreadUtil::SetThreadName("res_monitor");
  CProcessSampler sampler;
  sampler.Sample();             // the baseline for the first interval's rates
  uint64_t cpuOverSamples = 0;  // consecutive samples over the CPU limit
  uint64_t samplesTaken = 0;

  std::unique_lock<std::mutex> hold(mutex);
  while (true) {
    auto period = std::chrono::milliseconds(tbx::standin::ScaleMilliseconds(limits.samplePeriodMs));
    if (wake.wait_for(hold, period, [this] { return stopRequested; })) {
      break;
    }
    hold.unlock();
    ResourceSample sample = sampler.Sample();
    hold.lock();
    if (stopRequested) {
      break;
    }
    PendingEvents pending;
    if (sample.hasRates && Over(sample.cpuPercent, limits.cpuMaxPercent)) {
      if (++cpuOverSamples >= limits.cpuMaxSamples) {
        pending.cpu.emplace(sample.cpuPercent, sample.busiestThreadId);
        cpuOverSamples = 0;
      }
    } else if (sample.hasRates) {
      cpuOverSamples = 0;
    }
    if (Over(sample.memoryMb, limits.memMaxMb)) {
      pending.memoryMb = Clamp32(sample.memoryMb);
    }
    if (Over(sample.readKbps, limits.rioMaxKbps) || Over(sample.writeKbps, limits.wioMaxKbps)) {
      pending.io =
          IoRecord{Clamp32(static_cast<int64_t>(limits.rioMaxKbps)),
                   Clamp32(static_cast<int64_t>(limits.wioMaxKbps)), Clamp32(sample.readKbps),
                   Clamp32(sample.writeKbps), "KiB per second over the last sample"};
    }
    if (Over(sample.fdCount, limits.fdMax)) {
      pending.fdCount = Clamp32(sample.fdCount);
    }
    pending.hangs = heartbeats.TakeNewHangs(CThreadHeartbeats::Clock::now());
    uint64_t pointEvery =
        std::max<uint64_t>(1, limits.monitorPointPeriodMs / limits.samplePeriodMs);
    std::vector<IMonitorInfo*> due;
    if (++samplesTaken % pointEvery == 0 && !points.empty()) {
      due = points;
      callingPoints = true;
    }
    IResourceMonitorEvent* target = events;
    hold.unlock();

    Deliver(target, pending);
    for (IMonitorInfo* point : due) {
      tbx::CLogMessage::WriteLogMessage(point->GetMonitorInfo(), tbx::TBX_LOG_INFO);
    }

    hold.lock();
    if (!due.empty()) {
      callingPoints = false;
      pointsIdle.notify_all();
    }
  }
  callingPoints = false;
  pointsIdle.notify_all();
}

void MonitorState::Stop() {
  std::thread running;
  {
    std::lock_guard<std::mutex> hold(mutex);
    if (!thread.joinable()) {
      return;
    }
    stopRequested = true;
    // From a callback the thread cannot join itself; it ends after that callback returns.
    if (threadId == std::this_thread::get_id()) {
      return;
    }
    running = std::move(thread);
  }
  wake.notify_all();
  running.join();
  std::lock_guard<std::mutex> hold(mutex);
  if (!thread.joinable()) {
    threadId = std::thread::id();  // ids of ended threads are reused
  }
}

bool MonitorState::RemovePoint(IMonitorInfo* info) {
  std::unique_lock<std::mutex> hold(mutex);
  bool found = false;
  for (auto it = points.begin(); it != points.end(); ++it) {
    if (*it == info) {
      points.erase(it);
      found = true;
      break;
    }
  }
  // The caller may destroy the point once this returns, so a round of lines in progress must
  // end first (unless that round is what called us).
  if (threadId != std::this_thread::get_id()) {
    pointsIdle.wait(hold, [this] { return !callingPoints; });
  }
  return found;
}

}  // namespace

VALKO_STANDIN_CREATION(CMonitor)

CMonitor::CMonitor() {
  g_state = new MonitorState;
}

CMonitor::~CMonitor() {
  MonitorState* state = g_state;
  state->Stop();
  // Only after a stop from the monitor's own callback is the thread still joinable here.
  if (state->thread.joinable()) {
    if (state->thread.get_id() == std::this_thread::get_id()) {
      state->thread.detach();
    } else {
      state->thread.join();
    }
  }
  g_state = nullptr;
  delete state;
}

bool CMonitor::SetConfigPath(const std::string& path) {
  std::lock_guard<std::mutex> hold(g_state->mutex);
  g_state->configPath = path;
  return true;
}

bool CMonitor::StartMonitor(IResourceMonitorEvent* events, const std::string& ownerName) {
  if (events == nullptr || tbx::standin::ShouldFail("CMonitor::StartMonitor")) {
    return false;
  }
  std::thread stopped;
  std::string configPath;
  {
    std::lock_guard<std::mutex> hold(g_state->mutex);
    if (g_state->thread.joinable()) {
      if (!g_state->stopRequested) {
        return false;  // already monitoring
      }
      stopped = std::move(g_state->thread);  // stopped from its own callback, not yet joined
    }
    configPath = g_state->configPath;
  }
  if (stopped.joinable()) {
    stopped.join();
  }
  CResourceLimits limits;
  if (!limits.Load(configPath)) {
    tbx::CLogMessage::log(tbx::TBX_LOG_WARN, kSource, __LINE__,
                          "resource config %s unreadable, every limit is off", configPath.c_str());
  }
  std::lock_guard<std::mutex> hold(g_state->mutex);
  if (g_state->thread.joinable()) {
    return false;  // another StartMonitor won the race
  }
  g_state->events = events;
  g_state->ownerName = ownerName;
  g_state->limits = limits;
  g_state->stopRequested = false;
  try {
    // Started under the lock: the thread's first step waits for it, so threadId is set first.
    MonitorState* state = g_state;
    state->thread = std::thread([state] { state->SamplingLoop(); });
  } catch (const std::system_error&) {
    return false;
  }
  g_state->threadId = g_state->thread.get_id();
  return true;
}

bool CMonitor::AddMonitorPoint(IMonitorInfo* info) {
  if (info == nullptr) {
    return false;
  }
  std::lock_guard<std::mutex> hold(g_state->mutex);
  for (IMonitorInfo* known : g_state->points) {
    if (known == info) {
      return false;
    }
  }
  g_state->points.push_back(info);
  return true;
}

bool CMonitor::SetThreadHeartbeat(uint32_t threadId, const std::string& name,
                                  uint32_t timeoutSeconds) {
  std::lock_guard<std::mutex> hold(g_state->mutex);
  g_state->heartbeats.Report(threadId, name, timeoutSeconds, CThreadHeartbeats::Clock::now());
  return true;
}

bool CMonitor::GetThreadsInfo(std::string& info, uint32_t& count) {
  std::lock_guard<std::mutex> hold(g_state->mutex);
  info = g_state->heartbeats.Describe(CThreadHeartbeats::Clock::now(), count);
  return true;
}

namespace valko::testing {

void StopMonitor() {
  if (g_state != nullptr) {
    g_state->Stop();
  }
}

bool RemoveMonitorPoint(IMonitorInfo* info) {
  return g_state != nullptr && g_state->RemovePoint(info);
}

}  // namespace valko::testing
