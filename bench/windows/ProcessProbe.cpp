// ProcessProbe.exe PID: one line with the CPU time and memory of a running Windows process as
// the system accounts them, read inside Wine for bench-windows.sh:
//   cpu_ms=<user + kernel> working_set_kib=<now> peak_working_set_kib=<peak>
#include <windows.h>
// after windows.h
#include <psapi.h>

#include <cstdio>
#include <cstdlib>

namespace {

unsigned long long Milliseconds(const FILETIME& time) {
  ULARGE_INTEGER value;
  value.LowPart = time.dwLowDateTime;
  value.HighPart = time.dwHighDateTime;
  return value.QuadPart / 10000;  // 100 ns units
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: ProcessProbe.exe PID\n");
    return 2;
  }
  const DWORD pid = static_cast<DWORD>(std::strtoul(argv[1], nullptr, 10));
  const HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
  if (process == nullptr) {
    std::fprintf(stderr, "ProcessProbe: cannot open process %lu: error %lu\n", pid, GetLastError());
    return 1;
  }
  FILETIME created, exited, kernel, user;
  PROCESS_MEMORY_COUNTERS memory = {};
  memory.cb = sizeof memory;
  if (!GetProcessTimes(process, &created, &exited, &kernel, &user) ||
      !GetProcessMemoryInfo(process, &memory, sizeof memory)) {
    std::fprintf(stderr, "ProcessProbe: cannot read process %lu: error %lu\n", pid, GetLastError());
    return 1;
  }
  std::printf("cpu_ms=%llu working_set_kib=%lu peak_working_set_kib=%lu\n",
              Milliseconds(kernel) + Milliseconds(user),
              static_cast<unsigned long>(memory.WorkingSetSize / 1024),
              static_cast<unsigned long>(memory.PeakWorkingSetSize / 1024));
  CloseHandle(process);
  return 0;
}
