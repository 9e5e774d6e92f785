#include <chrono>
#include <ctime>

#include <gtest/gtest.h>

#include "TestProcess.h"
#include "support/SystemSupport.h"
#include "tbx/ProcessUtil.h"
#include "tbx/SystemInfo.h"
#include "tbx/ThreadUtil.h"
#include "tbx/TimeUtil.h"
#include "tbx/ToolUtil.h"
#include "tbxUtil/StandinSupport.h"
#include "tbxUtil/TbxTestSeams.h"

namespace {

using korvex_test::ReadText;
using korvex_test::TempDir;

TEST(StandinSupportTest, ScalesMillisecondsButNeverToZero) {
  tbx::testing::OverrideTimeScale(0.01);
  EXPECT_DOUBLE_EQ(0.01, tbx::standin::TimeScale());
  EXPECT_EQ(600u, tbx::standin::ScaleMilliseconds(60000));
  EXPECT_EQ(1u, tbx::standin::ScaleMilliseconds(1));
  EXPECT_EQ(0u, tbx::standin::ScaleMilliseconds(0));
  tbx::testing::OverrideTimeScale(0);
  EXPECT_EQ(60000u, tbx::standin::ScaleMilliseconds(60000));  // the tests run unscaled
}

// The dump names and error records check the frozen clock's date and time in full.
TEST(TimeUtilTest, FormatsTheFrozenClockAndFollowsTheRealOneWhenThawed) {
  korvex_test::FreezeClockUtc(korvex_test::kMarch9th2024At170542);
  EXPECT_EQ("2024-03-09 17:05:42",
            tbx::CTimeUtil::GetCurrentDataTime().ToString("%Y-%m-%d %H:%M:%S"));
  EXPECT_EQ("", tbx::CTimeUtil::GetCurrentDataTime().ToString(""));
  korvex_test::FreezeClockUtc(0);
  EXPECT_NEAR(static_cast<double>(std::time(nullptr)),
              static_cast<double>(tbx::standin::CurrentSeconds()), 5.0);
  korvex_test::system_support::UnsetEnv("TZ");
  tbx::CTimeUtil::UpdateDstFlag();
}

TEST(ToolUtilTest, PlacesTheApplicationAndItsRunFile) {
  std::string real = tbx::CToolUtil::GetApplicationDirPath();
  EXPECT_EQ(korvex_test::OwnExecutableFileName(), tbx::CToolUtil::GetApplicationFileName());
  const std::string inside = korvex_test::SystemPath(real + "/");
  EXPECT_EQ(korvex_test::SystemPath(tbxtest::ChildProgram()).substr(0, inside.size()), inside);
  TempDir dir;
  tbx::testing::OverrideApplicationDir(dir.path() + "/");
  EXPECT_EQ(dir.path(), tbx::CToolUtil::GetApplicationDirPath());
  ASSERT_TRUE(tbx::CToolUtil::CreateRunFile());
  EXPECT_EQ(std::to_string(korvex_test::CurrentProcessId()),
            ReadText(dir.File("unit_tbxUtil.run")));
  tbx::testing::OverrideApplicationDir("");
  EXPECT_EQ(real, tbx::CToolUtil::GetApplicationDirPath());
}

TEST(SystemInfoTest, ReportsMemoryVersionAndAMonotonicTick) {
  uint64_t available = 0;
  int32_t usage = tbx::COSInfo::GetMemoryUsage(available);
  EXPECT_GE(usage, 0);
  EXPECT_LE(usage, 100);
  EXPECT_GT(available, 0u);
  tbx::CWinOsVersion* version = CSingleton<tbx::CWinOsVersion>::NewInstance();
  ASSERT_NE(nullptr, version);
  EXPECT_GT(version->GetSysVersion(), 6100u);
  tbx::CGetTickClock* clock = CSingleton<tbx::CGetTickClock>::NewInstance();
  ASSERT_NE(nullptr, clock);
  uint64_t before = clock->GetTickCount();
  EXPECT_GE(clock->GetTickCount(), before);
  CSingleton<tbx::CWinOsVersion>::RemoveInstance();
  CSingleton<tbx::CGetTickClock>::RemoveInstance();
}

TEST(SleepRatioTest, GrowsWhileTheProcessIsBusyAndStaysWithinTheMaximum) {
  EXPECT_EQ(1u, tbx::CThreadUtil::GetSleepRatio());  // not enabled yet
  tbx::CSleepUtil::EnableSleep(1, 4);                // above 0.01 % of the machine
  tbx::CThreadUtil::GetSleepRatio();                 // first sample
  auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(1100);
  volatile uint64_t spin = 0;
  while (std::chrono::steady_clock::now() < until) {
    ++spin;
  }
  EXPECT_EQ(4u, tbx::CThreadUtil::GetSleepRatio());
  tbx::CSleepUtil::EnableSleep(0, 10);  // switched off
  EXPECT_EQ(1u, tbx::CThreadUtil::GetSleepRatio());
}

}  // namespace
