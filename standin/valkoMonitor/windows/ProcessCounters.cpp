#include "ProcessCounters.h"

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
std::map<int64_t, uint64_t> ThreadCpuNanoseconds() {
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
      times[entry.th32ThreadID] = (Hundreds(kernel) + Hundreds(user)) * 100;
    }
    ::CloseHandle(thread);
  }
  ::CloseHandle(snapshot);
  return times;
}

int64_t WorkingSetBytes() {
  PROCESS_MEMORY_COUNTERS counters = {};
  counters.cb = sizeof(counters);
  if (!::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof(counters))) {
    return -1;
  }
  return static_cast<int64_t>(counters.WorkingSetSize);
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

}  // namespace

ProcessCounters ReadOwnProcessCounters() {
  ProcessCounters counters;
  counters.residentBytes = WorkingSetBytes();
  counters.openHandles = HandleCount();
  uint64_t cpu100ns = 0;
  counters.haveCpu = ProcessCpu(cpu100ns);
  counters.cpuNanoseconds = cpu100ns * 100;
  counters.threadCpuNanoseconds = ThreadCpuNanoseconds();
  counters.haveIo = IoBytes(counters.readBytes, counters.writeBytes);
  return counters;
}

uint32_t ProcessorCount() {
  const unsigned count = std::thread::hardware_concurrency();
  return count > 0 ? count : 1;
}

}  // namespace valko::standin
