#include <errno.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "win32/Win32.h"

namespace {

// A /proc/meminfo figure in KiB, read independently of the library.
uint64_t MemInfoKiB(const std::string& key) {
  std::ifstream in("/proc/meminfo");
  std::string name;
  uint64_t value = 0;
  std::string unit;
  while (in >> name >> value) {
    std::getline(in, unit);
    if (name == key + ":") {
      return value;
    }
  }
  return 0;
}

TEST(Win32MemoryTest, GlobalMemoryStatusExRefusesAWrongLength) {
  MEMORYSTATUSEX status = {};
  EXPECT_FALSE(GlobalMemoryStatusEx(nullptr));
  for (DWORD length : {0u, 56u, 63u, 65u}) {
    status.dwLength = length;
    EXPECT_FALSE(GlobalMemoryStatusEx(&status)) << length;
    EXPECT_EQ(static_cast<DWORD>(EINVAL), GetLastError());
    EXPECT_EQ(0u, status.ullTotalPhys);
  }
  status.dwLength = 64;
  ASSERT_TRUE(GlobalMemoryStatusEx(&status));
  EXPECT_GT(status.ullTotalPhys, 0u);
  EXPECT_LE(status.ullAvailPhys, status.ullTotalPhys);
  EXPECT_LE(status.dwMemoryLoad, 100u);
  EXPECT_GE(status.ullAvailPageFile, status.ullAvailPhys);
  EXPECT_GT(status.ullAvailVirtual, 0u);
  EXPECT_LT(status.ullAvailVirtual, status.ullTotalVirtual);
}

TEST(Win32MemoryTest, PerformanceInfoCountsCommitInPagesOf4KiB) {
  PERFORMANCE_INFORMATION info = {};
  info.ThreadCount = 0xfeed;  // past the 56 bytes the 32-bit layout has: must stay untouched
  EXPECT_FALSE(GetPerformanceInfo(&info, 40));
  EXPECT_FALSE(GetPerformanceInfo(nullptr, sizeof(info)));
  ASSERT_TRUE(GetPerformanceInfo(&info, 56));
  EXPECT_EQ(MemInfoKiB("CommitLimit") / 4, info.CommitLimit);
  EXPECT_NEAR(static_cast<double>(MemInfoKiB("Committed_AS") / 4),
              static_cast<double>(info.CommitTotal), 64 * 1024.0);  // 256 MiB of drift
  EXPECT_EQ(0xfeedu, info.ThreadCount);
  ASSERT_TRUE(GetPerformanceInfo(&info, sizeof(info)));
  EXPECT_EQ(4096u, info.PageSize);
  EXPECT_GT(info.ProcessCount, 0u);
}

// Opens the process token with `access` and looks up the debug privilege, enabled.
HANDLE OpenToken(DWORD access, TOKEN_PRIVILEGES* debug) {
  HANDLE token = nullptr;
  EXPECT_TRUE(OpenProcessToken(GetCurrentProcess(), access, &token));
  *debug = {};
  debug->PrivilegeCount = 1;
  EXPECT_TRUE(LookupPrivilegeValueW(nullptr, SE_DEBUG_NAME, &debug->Privileges[0].Luid));
  debug->Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  return token;
}

TEST(Win32TokenTest, EnablesTheDebugPrivilegeOnlyThroughAnOpenTokenWithTheAdjustRight) {
  TOKEN_PRIVILEGES debug;
  HANDLE token = OpenToken(TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &debug);
  EXPECT_TRUE(AdjustTokenPrivileges(token, FALSE, &debug, sizeof(debug), nullptr, nullptr));
  TOKEN_PRIVILEGES previous = {};
  DWORD length = 0;
  EXPECT_TRUE(AdjustTokenPrivileges(token, TRUE, nullptr, 0, &previous, &length));
  EXPECT_EQ(SE_PRIVILEGE_ENABLED, previous.Privileges[0].Attributes);
  EXPECT_TRUE(CloseHandle(token));
  EXPECT_FALSE(CloseHandle(token));
  EXPECT_FALSE(AdjustTokenPrivileges(token, FALSE, &debug, sizeof(debug), nullptr, nullptr));
  LUID unknown = {};
  EXPECT_FALSE(LookupPrivilegeValueW(nullptr, L"SeNoSuchPrivilege", &unknown));

  HANDLE queryOnly = OpenToken(TOKEN_QUERY, &debug);
  EXPECT_FALSE(AdjustTokenPrivileges(queryOnly, FALSE, &debug, sizeof(debug), nullptr, nullptr));
  EXPECT_EQ(static_cast<DWORD>(EACCES), GetLastError());
  EXPECT_TRUE(CloseHandle(queryOnly));
}

TEST(Win32ProcessTest, RaisingThePriorityWithoutPrivilegeFailsWithTheSystemError) {
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // An unprivileged user may lower its priority but not raise it.
    if (::getuid() == 0 && ::setuid(65534) != 0) {
      ::_exit(100);
    }
    BOOL raised = SetPriorityClass(GetCurrentProcess(), ABOVE_NORMAL_PRIORITY_CLASS);
    ::_exit(raised ? 0 : static_cast<int>(GetLastError()));
  }
  int status = 0;
  ASSERT_EQ(child, ::waitpid(child, &status, 0));
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(EACCES, WEXITSTATUS(status));
  EXPECT_FALSE(SetPriorityClass(GetCurrentProcess(), 0x12345));
  EXPECT_EQ(static_cast<DWORD>(EINVAL), GetLastError());
}

TEST(Win32ProcessTest, ReportsTheProcessors) {
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  EXPECT_EQ(static_cast<DWORD>(::sysconf(_SC_NPROCESSORS_ONLN)), info.dwNumberOfProcessors);
}

}  // namespace
