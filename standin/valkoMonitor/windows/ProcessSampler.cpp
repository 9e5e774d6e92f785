#include "ProcessSampler.h"

#include <windows.h>
// after windows.h
#include <psapi.h>
#include <tlhelp32.h>

#include <thread>

namespace valko::standin {
namespace {

uint64_t Hundreds(const FILETIME& time) {
  return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

bool ProcessCpu(uint64_t& cpu100ns) {
  FILETIME created, exited, kernel, user;
  if (!::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user)) {
    return false;
  }
  cpu100ns = Hundreds(kernel) + Hundreds(user);
  return true;
}

// User + kernel time of each thread of this process.
std::map<int64_t, uint64_t> ThreadCpu() {
  std::map<int64_t, uint64_t> times;
  HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) {
    return times;
  }
  const DWORD self = ::GetCurrentProcessId();
  THREADENTRY32 entry = {};
  entry.dwSize = sizeof(entry);
  for (BOOL more = ::Thread32First(snapshot, &entry); more;
       more = ::Thread32Next(snapshot, &entry)) {
    if (entry.th32OwnerProcessID != self) {
      continue;
    }
    HANDLE thread = ::OpenThread(THREAD_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ThreadID);
    if (thread == nullptr) {
      continue;
    }
    FILETIME created, exited, kernel, user;
    if (::GetThreadTimes(thread, &created, &exited, &kernel, &user)) {
      times[entry.th32ThreadID] = Hundreds(kernel) + Hundreds(user);
    }
    ::CloseHandle(thread);
  }
  ::CloseHandle(snapshot);
  return times;
}

int64_t WorkingSetMb() {
  PROCESS_MEMORY_COUNTERS counters = {};
  counters.cb = sizeof(counters);
  if (!::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof(counters))) {
    return -1;
  }
  return static_cast<int64_t>(counters.WorkingSetSize / (1024 * 1024));
}

int64_t HandleCount() {
  DWORD count = 0;
  return ::GetProcessHandleCount(::GetCurrentProcess(), &count) ? static_cast<int64_t>(count) : -1;
}

bool IoBytes(int64_t& readBytes, int64_t& writeBytes) {
  IO_COUNTERS counters = {};
  if (!::GetProcessIoCounters(::GetCurrentProcess(), &counters)) {
    return false;
  }
  readBytes = static_cast<int64_t>(counters.ReadTransferCount);
  writeBytes = static_cast<int64_t>(counters.WriteTransferCount);
  return true;
}

int64_t KibPerSecond(int64_t bytes, double seconds) {
  if (bytes < 0 || seconds <= 0.0) {
    return 0;
  }
  return static_cast<int64_t>(static_cast<double>(bytes) / 1024.0 / seconds);
}

}  // namespace

CProcessSampler::CProcessSampler()
    : cpuCount_(std::thread::hardware_concurrency() > 0 ? std::thread::hardware_concurrency() : 1) {
}

ResourceSample CProcessSampler::Sample() {
  ResourceSample sample;
  auto now = std::chrono::steady_clock::now();
  sample.memoryMb = WorkingSetMb();
  sample.fdCount = HandleCount();

  uint64_t cpu = 0;
  bool haveCpu = ProcessCpu(cpu);
  std::map<int64_t, uint64_t> threads = ThreadCpu();
  int64_t readBytes = -1;
  int64_t writeBytes = -1;
  bool haveIo = IoBytes(readBytes, writeBytes);

  double seconds = std::chrono::duration<double>(now - previousAt_).count();
  if (hasPrevious_ && haveCpu && seconds > 0.0) {
    sample.hasRates = true;
    double cpuSeconds = static_cast<double>(cpu - previousCpu100ns_) / 1e7;
    sample.cpuPercent =
        static_cast<int64_t>(cpuSeconds / seconds / static_cast<double>(cpuCount_) * 100.0);
    uint64_t busiest = 0;
    for (const auto& [id, used100ns] : threads) {
      auto before = previousThread100ns_.find(id);
      uint64_t used = used100ns - (before == previousThread100ns_.end() ? 0 : before->second);
      if (used > busiest) {
        busiest = used;
        sample.busiestThreadId = id;
      }
    }
    if (haveIo && previousReadBytes_ >= 0) {
      sample.readKbps = KibPerSecond(readBytes - previousReadBytes_, seconds);
      sample.writeKbps = KibPerSecond(writeBytes - previousWriteBytes_, seconds);
    }
  }

  hasPrevious_ = haveCpu;
  previousAt_ = now;
  previousCpu100ns_ = cpu;
  previousThread100ns_ = std::move(threads);
  previousReadBytes_ = haveIo ? readBytes : -1;
  previousWriteBytes_ = haveIo ? writeBytes : -1;
  return sample;
}

}  // namespace valko::standin
