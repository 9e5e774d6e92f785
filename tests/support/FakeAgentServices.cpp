#include "support/FakeAgentServices.h"

#include <mutex>
#include <new>

#include "valko/Monitor.h"
#include "valko/MtIntf.h"

namespace {

std::mutex g_mutex;
std::vector<fake_services::Heartbeat> g_beats;  // guarded by g_mutex
std::vector<std::string> g_counterCalls;        // guarded by g_mutex
uint64_t g_counterTotal = 0;                    // guarded by g_mutex
int g_monitorPointCalls = 0;                    // guarded by g_mutex

}  // namespace

uint64_t CMtIntf::AddExceptonInfo(const std::string& name, uint64_t amount, bool report,
                                  bool accumulate) {
  std::lock_guard<std::mutex> hold(g_mutex);
  g_counterCalls.push_back(name + "/" + std::to_string(amount) + "/" + std::to_string(report) +
                           "/" + std::to_string(accumulate));
  g_counterTotal += amount;
  return g_counterTotal;
}

template class CSingleton<CMonitor>;
CMonitor::CMonitor() {}
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
  ++g_monitorPointCalls;
  return true;
}
bool CMonitor::SetThreadHeartbeat(uint32_t threadId, const std::string& name,
                                  uint32_t timeoutSeconds) {
  std::lock_guard<std::mutex> hold(g_mutex);
  g_beats.push_back({threadId, name, timeoutSeconds});
  return true;
}

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
