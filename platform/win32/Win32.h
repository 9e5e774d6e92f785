// The subset of the Win32 API the monitor calls. A Windows build includes <windows.h> and
// <psapi.h> instead; here the stand-in library implements these on POSIX.
#pragma once

#include <cstddef>
#include <cstdint>

#include "Export.h"

#if defined(_WIN32)
// The lean Win32 headers, and no min and max macros to break std::min and std::max.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
// <psapi.h> needs <windows.h> first.
// clang-format off
#include <windows.h>
#include <psapi.h>
// clang-format on
// winuser.h maps GetMonitorInfo to GetMonitorInfoA, which would rename the statistics
// interface's method (IMonitorInfo::GetMonitorInfo) in every file that sees both.
#undef GetMonitorInfo
// winnt.h spells it through TEXT(), narrow without UNICODE; LookupPrivilegeValueW takes it wide.
#undef SE_DEBUG_NAME
#define SE_DEBUG_NAME L"SeDebugPrivilege"
#else

typedef int BOOL;
typedef uint32_t DWORD;
typedef uint64_t DWORDLONG;
typedef void* HANDLE;
typedef HANDLE* PHANDLE;
typedef int32_t LONG;
typedef uint32_t UINT;
typedef size_t SIZE_T;
typedef wchar_t WCHAR;
typedef const WCHAR* LPCWSTR;

#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif
// The calling convention of the system's functions; the stand-in's are ordinary functions.
#define WINAPI

constexpr DWORD TOKEN_ADJUST_PRIVILEGES = 0x0020;
constexpr DWORD TOKEN_QUERY = 0x0008;
constexpr DWORD SE_PRIVILEGE_ENABLED = 0x00000002;
constexpr DWORD ABOVE_NORMAL_PRIORITY_CLASS = 0x00008000;
#define SE_DEBUG_NAME L"SeDebugPrivilege"

struct LUID {
  DWORD LowPart;
  LONG HighPart;
};
typedef LUID* PLUID;

struct LUID_AND_ATTRIBUTES {
  LUID Luid;
  DWORD Attributes;
};

struct TOKEN_PRIVILEGES {
  DWORD PrivilegeCount;
  LUID_AND_ATTRIBUTES Privileges[1];
};
typedef TOKEN_PRIVILEGES* PTOKEN_PRIVILEGES;

struct SYSTEM_INFO {
  uint16_t wProcessorArchitecture;
  uint16_t wReserved;
  DWORD dwPageSize;
  void* lpMinimumApplicationAddress;
  void* lpMaximumApplicationAddress;
  uintptr_t dwActiveProcessorMask;
  DWORD dwNumberOfProcessors;
  DWORD dwProcessorType;
  DWORD dwAllocationGranularity;
  uint16_t wProcessorLevel;
  uint16_t wProcessorRevision;
};

// 64 bytes, as the length field must say.
struct MEMORYSTATUSEX {
  DWORD dwLength;
  DWORD dwMemoryLoad;
  DWORDLONG ullTotalPhys;
  DWORDLONG ullAvailPhys;
  DWORDLONG ullTotalPageFile;
  DWORDLONG ullAvailPageFile;
  DWORDLONG ullTotalVirtual;
  DWORDLONG ullAvailVirtual;
  DWORDLONG ullAvailExtendedVirtual;
};
static_assert(sizeof(MEMORYSTATUSEX) == 64, "MEMORYSTATUSEX is 64 bytes");

// Figures in pages of 4 KiB. 56 bytes where SIZE_T is 32-bit.
struct PERFORMANCE_INFORMATION {
  DWORD cb;
  SIZE_T CommitTotal;
  SIZE_T CommitLimit;
  SIZE_T CommitPeak;
  SIZE_T PhysicalTotal;
  SIZE_T PhysicalAvailable;
  SIZE_T SystemCache;
  SIZE_T KernelTotal;
  SIZE_T KernelPaged;
  SIZE_T KernelNonpaged;
  SIZE_T PageSize;
  DWORD HandleCount;
  DWORD ProcessCount;
  DWORD ThreadCount;
};

extern "C" {
WIN32STANDIN_API HANDLE GetCurrentProcess();
WIN32STANDIN_API BOOL OpenProcessToken(HANDLE process, DWORD desiredAccess, PHANDLE token);
WIN32STANDIN_API BOOL LookupPrivilegeValueW(LPCWSTR systemName, LPCWSTR name, PLUID luid);
WIN32STANDIN_API BOOL AdjustTokenPrivileges(HANDLE token, BOOL disableAll,
                                            PTOKEN_PRIVILEGES newState, DWORD bufferLength,
                                            PTOKEN_PRIVILEGES previousState, DWORD* returnLength);
WIN32STANDIN_API BOOL CloseHandle(HANDLE handle);
WIN32STANDIN_API BOOL SetPriorityClass(HANDLE process, DWORD priorityClass);
WIN32STANDIN_API DWORD GetLastError();
WIN32STANDIN_API void GetSystemInfo(SYSTEM_INFO* info);
// Flushes the process log, then ends the process with `exitCode` at once.
[[noreturn]] WIN32STANDIN_API void ExitProcess(UINT exitCode);
WIN32STANDIN_API BOOL GlobalMemoryStatusEx(MEMORYSTATUSEX* status);
WIN32STANDIN_API BOOL GetPerformanceInfo(PERFORMANCE_INFORMATION* info, DWORD size);
}

#endif  // _WIN32
