// The two system queries the memory check reads: the system's own in the process; a test
// stages its figures behind its own functions.
#pragma once

#include "win32/Win32.h"

struct MemoryQueries {
  BOOL(WINAPI* globalMemoryStatusEx)(MEMORYSTATUSEX* status);
  BOOL(WINAPI* getPerformanceInfo)(PERFORMANCE_INFORMATION* info, DWORD size);

  static MemoryQueries System() { return {&GlobalMemoryStatusEx, &GetPerformanceInfo}; }
};
