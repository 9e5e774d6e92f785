// The Win32 subset on Linux. Failures set errno, which GetLastError reports, so an error code
// is this system's errno value rather than a Windows error number.
#include "win32/Win32.h"

#include <dirent.h>
#include <errno.h>
#include <sys/resource.h>
#include <sys/sysinfo.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <cwchar>
#include <fstream>
#include <string>

#include "TokenTable.h"
#include "tbx/LogMessage.h"
#include "tbxUtil/StandinSupport.h"
#include "tbxUtil/posix/MemInfo.h"

namespace {

using win32standin::Token;
using win32standin::TokenTable;

// The pseudo handle of the calling process, as Windows defines it.
HANDLE const kCurrentProcess = reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1));
constexpr DWORD kDebugPrivilegeLow = 20;  // the locally unique id of the debug privilege
constexpr uint64_t kPageBytes = 4096;     // the unit of PERFORMANCE_INFORMATION

BOOL Fail(int error) {
  errno = error;
  return FALSE;
}

BOOL Succeed() {
  errno = 0;
  return TRUE;
}

// Nice value for a Windows priority class; false for an unknown class.
bool NiceFor(DWORD priorityClass, int& nice) {
  switch (priorityClass) {
    case 0x00000040:  // idle
      nice = 19;
      return true;
    case 0x00004000:  // below normal
      nice = 10;
      return true;
    case 0x00000020:  // normal
      nice = 0;
      return true;
    case ABOVE_NORMAL_PRIORITY_CLASS:
      nice = -5;
      return true;
    case 0x00000080:  // high
      nice = -10;
      return true;
    case 0x00000100:  // real time
      nice = -20;
      return true;
    default:
      return false;
  }
}

// Bytes of address space this process may still map.
uint64_t AddressSpaceBytes() {
  struct rlimit limit = {};
  if (::getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
    return limit.rlim_cur;
  }
  return sizeof(void*) == 8 ? (1ULL << 47) : (1ULL << 31);  // the user part of the space
}

// This process's mapped bytes ("VmSize" of /proc/self/status), 0 when unknown.
uint64_t MappedBytes() {
  std::ifstream status("/proc/self/status");
  std::string key;
  while (status >> key) {
    if (key == "VmSize:") {
      uint64_t kib = 0;
      status >> kib;
      return kib * 1024;
    }
    status.ignore(4096, '\n');
  }
  return 0;
}

// Open files of the whole system (first field of /proc/sys/fs/file-nr).
DWORD SystemHandleCount() {
  std::ifstream fileNr("/proc/sys/fs/file-nr");
  uint64_t count = 0;
  fileNr >> count;
  return static_cast<DWORD>(count);
}

// Processes of the whole system: the numeric entries of /proc.
DWORD ProcessCount() {
  DIR* proc = ::opendir("/proc");
  if (proc == nullptr) {
    return 0;
  }
  DWORD count = 0;
  while (struct dirent* entry = ::readdir(proc)) {
    if (entry->d_name[0] >= '1' && entry->d_name[0] <= '9') {
      ++count;
    }
  }
  ::closedir(proc);
  return count;
}

std::atomic<uint64_t> g_commitPeak{0};  // highest commit total observed, in pages

}  // namespace

extern "C" {

HANDLE GetCurrentProcess() {
  return kCurrentProcess;
}

BOOL OpenProcessToken(HANDLE process, DWORD desiredAccess, PHANDLE token) {
  if (token == nullptr) {
    return Fail(EINVAL);
  }
  if (process != kCurrentProcess) {
    return Fail(EPERM);  // tokens of other processes are not available here
  }
  HANDLE opened = TokenTable::Instance().Open(desiredAccess);
  if (opened == nullptr) {
    return Fail(ENOMEM);
  }
  *token = opened;
  return Succeed();
}

BOOL LookupPrivilegeValueW(LPCWSTR, LPCWSTR name, PLUID luid) {
  if (name == nullptr || luid == nullptr) {
    return Fail(EINVAL);
  }
  if (std::wcscmp(name, SE_DEBUG_NAME) != 0) {
    return Fail(ENOENT);
  }
  luid->LowPart = kDebugPrivilegeLow;
  luid->HighPart = 0;
  return Succeed();
}

BOOL AdjustTokenPrivileges(HANDLE token, BOOL disableAll, PTOKEN_PRIVILEGES newState, DWORD,
                           PTOKEN_PRIVILEGES previousState, DWORD* returnLength) {
  if (!disableAll && newState == nullptr) {
    return Fail(EINVAL);
  }
  bool allowed = true;
  bool found = TokenTable::Instance().Update(token, [&](Token& held) {
    if ((held.access & TOKEN_ADJUST_PRIVILEGES) == 0) {
      allowed = false;
      return;
    }
    if (previousState != nullptr) {
      previousState->PrivilegeCount = 1;
      previousState->Privileges[0].Luid = {kDebugPrivilegeLow, 0};
      previousState->Privileges[0].Attributes = held.debugPrivilege ? SE_PRIVILEGE_ENABLED : 0;
    }
    if (disableAll) {
      held.debugPrivilege = false;
      return;
    }
    for (DWORD i = 0; i < newState->PrivilegeCount && i < 1; ++i) {
      const LUID_AND_ATTRIBUTES& entry = newState->Privileges[i];
      if (entry.Luid.LowPart == kDebugPrivilegeLow && entry.Luid.HighPart == 0) {
        held.debugPrivilege = (entry.Attributes & SE_PRIVILEGE_ENABLED) != 0;
      }
    }
  });
  if (!found) {
    return Fail(EBADF);
  }
  if (!allowed) {
    return Fail(EACCES);
  }
  if (returnLength != nullptr) {
    *returnLength = previousState != nullptr ? sizeof(TOKEN_PRIVILEGES) : 0;
  }
  return Succeed();
}

BOOL CloseHandle(HANDLE handle) {
  if (handle == kCurrentProcess) {
    return Succeed();
  }
  return TokenTable::Instance().Close(handle) ? Succeed() : Fail(EBADF);
}

BOOL SetPriorityClass(HANDLE process, DWORD priorityClass) {
  if (process != kCurrentProcess) {
    return Fail(EPERM);
  }
  int nice = 0;
  if (!NiceFor(priorityClass, nice)) {
    return Fail(EINVAL);
  }
  if (::setpriority(PRIO_PROCESS, 0, nice) != 0) {
    return FALSE;  // errno stays: EACCES when raising without the privilege
  }
  return Succeed();
}

DWORD GetLastError() {
  return static_cast<DWORD>(errno);
}

void GetSystemInfo(SYSTEM_INFO* info) {
  if (info == nullptr) {
    return;
  }
  std::memset(info, 0, sizeof(*info));
#if defined(__x86_64__)
  info->wProcessorArchitecture = 9;  // AMD64
#elif defined(__aarch64__)
  info->wProcessorArchitecture = 12;  // ARM64
#else
  info->wProcessorArchitecture = 0;  // x86
#endif
  long pageSize = ::sysconf(_SC_PAGESIZE);
  info->dwPageSize = pageSize > 0 ? static_cast<DWORD>(pageSize) : 4096;
  info->lpMinimumApplicationAddress = reinterpret_cast<void*>(0x10000);
  info->lpMaximumApplicationAddress = reinterpret_cast<void*>(AddressSpaceBytes() - 1);
  long processors = ::sysconf(_SC_NPROCESSORS_ONLN);
  info->dwNumberOfProcessors = processors > 0 ? static_cast<DWORD>(processors) : 1;
  uint64_t mask =
      info->dwNumberOfProcessors >= 64 ? ~0ULL : (1ULL << info->dwNumberOfProcessors) - 1;
  info->dwActiveProcessorMask = static_cast<uintptr_t>(mask);
  info->dwAllocationGranularity = 65536;
}

void ExitProcess(UINT exitCode) {
  tbx::standin::FlushLog();
  ::_exit(static_cast<int>(exitCode));
}

BOOL GlobalMemoryStatusEx(MEMORYSTATUSEX* status) {
  if (status == nullptr || status->dwLength != sizeof(MEMORYSTATUSEX)) {
    return Fail(EINVAL);
  }
  struct sysinfo system = {};
  if (::sysinfo(&system) != 0) {
    return FALSE;
  }
  uint64_t unit = system.mem_unit != 0 ? system.mem_unit : 1;
  uint64_t total = system.totalram * unit;
  uint64_t available = system.freeram * unit;
  tbx::standin::MemInfo memInfo;
  if (memInfo.Read() && memInfo.Bytes("MemAvailable") != 0) {
    available = std::min(memInfo.Bytes("MemAvailable"), total);
  }
  uint64_t space = AddressSpaceBytes();
  uint64_t mapped = std::min(MappedBytes(), space);
  status->dwMemoryLoad = total != 0 ? static_cast<DWORD>((total - available) * 100 / total) : 0;
  status->ullTotalPhys = total;
  status->ullAvailPhys = available;
  status->ullTotalPageFile = total + system.totalswap * unit;
  status->ullAvailPageFile = available + system.freeswap * unit;
  status->ullTotalVirtual = space;
  status->ullAvailVirtual = space - mapped;
  status->ullAvailExtendedVirtual = 0;
  return Succeed();
}

BOOL GetPerformanceInfo(PERFORMANCE_INFORMATION* info, DWORD size) {
  // The 32-bit layout is 56 bytes; this build's may be larger. Both are accepted.
  if (info == nullptr || size < 56 || size > sizeof(PERFORMANCE_INFORMATION)) {
    return Fail(EINVAL);
  }
  tbx::standin::MemInfo memInfo;
  if (!memInfo.Read()) {
    return Fail(EIO);
  }
  auto pages = [&](const char* key) {
    return static_cast<SIZE_T>(memInfo.Bytes(key) / kPageBytes);
  };
  PERFORMANCE_INFORMATION figures = {};
  figures.cb = size;
  figures.CommitTotal = pages("Committed_AS");
  figures.CommitLimit = pages("CommitLimit");
  uint64_t peak = g_commitPeak.load();
  while (figures.CommitTotal > peak &&
         !g_commitPeak.compare_exchange_weak(peak, figures.CommitTotal)) {
  }
  figures.CommitPeak = static_cast<SIZE_T>(std::max<uint64_t>(peak, figures.CommitTotal));
  figures.PhysicalTotal = pages("MemTotal");
  figures.PhysicalAvailable = pages("MemAvailable");
  figures.SystemCache = pages("Cached") + pages("Buffers");
  figures.KernelTotal = pages("Slab") + pages("KernelStack") + pages("PageTables");
  figures.KernelPaged = pages("SReclaimable");
  figures.KernelNonpaged = pages("SUnreclaim");
  figures.PageSize = kPageBytes;
  figures.HandleCount = SystemHandleCount();
  figures.ProcessCount = ProcessCount();
  struct sysinfo system = {};
  figures.ThreadCount = ::sysinfo(&system) == 0 ? system.procs : 0;
  std::memcpy(info, &figures, std::min<size_t>(size, sizeof(figures)));
  return Succeed();
}

}  // extern "C"
