// The memory check against staged figures, which the check reads through the two staged queries
// here instead of the system's.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>

#include "KorvexCommon/Error.h"
#include "KorvexCommon/MemoryQueries.h"
#include "support/TestSupport.h"
#include "win32/Win32.h"

namespace {

constexpr uint64_t kMb = 1048576;
constexpr SIZE_T kPagesPerMb = 256;  // 4 KB pages

struct StagedMemory {
  MEMORYSTATUSEX status = {};
  PERFORMANCE_INFORMATION performance = {};
  DWORD lengthSeen = 0;  // dwLength the caller set
  DWORD cbSeen = 0;      // cb the caller set
  DWORD sizeSeen = 0;    // size argument the caller passed
};
StagedMemory g_staged;

BOOL WINAPI StagedMemoryStatus(MEMORYSTATUSEX* status) {
  g_staged.lengthSeen = status->dwLength;
  *status = g_staged.status;
  return TRUE;
}

BOOL WINAPI StagedPerformanceInfo(PERFORMANCE_INFORMATION* info, DWORD size) {
  g_staged.cbSeen = info->cb;
  g_staged.sizeSeen = size;
  *info = g_staged.performance;
  return TRUE;
}

class MemoryCheckTest : public ::testing::Test {
 protected:
  void SetUp() override {
    korvex_test::OpenProcessLog();
    // Every figure at 16 MB: just enough.
    g_staged = StagedMemory();
    g_staged.status.ullAvailPhys = 16 * kMb;
    g_staged.status.ullAvailVirtual = 16 * kMb;
    g_staged.status.ullAvailPageFile = 16 * kMb;
    g_staged.performance.CommitTotal = 100 * kPagesPerMb;
    g_staged.performance.CommitLimit = 116 * kPagesPerMb;
  }

  // Whether the check passed, and whether it logged the figures.
  bool Check(std::string* logged) {
    const std::string before = korvex_test::ReadProcessLog();
    const bool enough = IsMemoryEnough({&StagedMemoryStatus, &StagedPerformanceInfo});
    *logged = korvex_test::ReadProcessLog().substr(before.size());
    return enough;
  }
};

TEST_F(MemoryCheckTest, SixteenMegabytesOfEachIsEnoughAndQuiet) {
  std::string logged;
  EXPECT_TRUE(Check(&logged));
  EXPECT_EQ(logged, "");
  EXPECT_EQ(g_staged.lengthSeen, 64u);
  EXPECT_EQ(g_staged.cbSeen, sizeof(PERFORMANCE_INFORMATION));
  EXPECT_EQ(g_staged.sizeSeen, sizeof(PERFORMANCE_INFORMATION));
}

TEST_F(MemoryCheckTest, AnyFigureAtFifteenMegabytesIsShortAndLogged) {
  const std::pair<std::function<void()>, const char*> cases[] = {
      {[] { g_staged.status.ullAvailPhys = 16 * kMb - 1; },  // 15 whole MB
       "valid physical mem is 15M, valid virtual mem is 16M, valid page file is 16M, valid "
       "commit mem is 16M"},
      {[] { g_staged.status.ullAvailVirtual = 15 * kMb; }, "valid virtual mem is 15M"},
      {[] { g_staged.status.ullAvailPageFile = 0; }, "valid page file is 0M"},
      {[] { g_staged.performance.CommitLimit = 115 * kPagesPerMb; }, "valid commit mem is 15M"},
  };
  for (const auto& [shorten, expected] : cases) {
    SetUp();
    shorten();
    std::string logged;
    EXPECT_FALSE(Check(&logged));
    EXPECT_NE(logged.find(expected), std::string::npos) << logged;
  }
}

TEST_F(MemoryCheckTest, CommitFiguresAreWholeMegabytesBeforeTheyAreSubtracted) {
  std::string logged;
  // 116 MB + 255 pages and 100 MB + 255 pages: 116 - 100 in whole MB, not 16 MB + 0 pages.
  g_staged.performance.CommitLimit = 116 * kPagesPerMb + 255;
  g_staged.performance.CommitTotal = 100 * kPagesPerMb + 255;
  EXPECT_TRUE(Check(&logged));
  // 116 MB and 100 MB + 1 page: the total rounds down, so 16 MB remain.
  g_staged.performance.CommitLimit = 116 * kPagesPerMb;
  g_staged.performance.CommitTotal = 100 * kPagesPerMb + 1;
  EXPECT_TRUE(Check(&logged));
  // 115 MB + 255 pages and 100 MB: 15 MB.
  g_staged.performance.CommitLimit = 115 * kPagesPerMb + 255;
  g_staged.performance.CommitTotal = 100 * kPagesPerMb;
  EXPECT_FALSE(Check(&logged));
}

}  // namespace
