#include <chrono>
#include <filesystem>
#include <memory>

#include <gtest/gtest.h>

#include "TestProcess.h"
#include "tbx/FileUtil.h"
#include "tbx/SingleApp.h"

namespace {

using korvex_test::TempDir;
using tbxtest::RunChild;

constexpr int kGuardTaken = 10;  // the helper's status when another process holds the guard

TEST(SingleAppTest, AnotherProcessSeesTheGuardOnlyWhileItIsHeld) {
  TempDir dir;
  std::string path = dir.File("single_app_korvex_monitor");
  auto guard = std::make_unique<tbx::CSingleApp>("tbx-test-guard", path, "");
  EXPECT_FALSE(guard->IsRunning());
  EXPECT_EQ(kGuardTaken, RunChild({"guard", path}));
  guard.reset();
  EXPECT_EQ(0, RunChild({"guard", path}));
}

TEST(SingleAppTest, AHolderThatIsKilledReleasesTheGuard) {
  TempDir dir;
  std::string path = dir.File("guard");
  std::string ready = dir.File("ready");
  pid_t holder = korvex_test::Spawn(tbxtest::ChildProgram(), {"hold", path, ready});
  ASSERT_GT(holder, 0);
  bool held = korvex_test::WaitUntil([&] { return tbx::CFileUtil::IsFile(ready); });
  EXPECT_TRUE(held);
  EXPECT_EQ(held, tbx::CSingleApp("tbx-test-guard", path, "").IsRunning());
  korvex_test::KillChild(holder);
  EXPECT_FALSE(tbx::CSingleApp("tbx-test-guard", path, "").IsRunning());
}

TEST(SingleAppTest, ExecutedChildrenDoNotInheritTheGuard) {
  TempDir dir;
  std::string path = dir.File("guard");
  auto guard = std::make_unique<tbx::CSingleApp>("tbx-test-guard", path, "");
  pid_t sleeper = korvex_test::Spawn(korvex_test::SleeperProgram(), {"300"});
  ASSERT_GT(sleeper, 0);
  guard.reset();
  // An inherited descriptor would keep the lock alive in the sleeping child.
  EXPECT_EQ(0, RunChild({"guard", path}));
  korvex_test::KillChild(sleeper);
}

TEST(SingleAppTest, AnUnusablePathFallsBackToAFileDerivedFromTheName) {
  if (!korvex_test::GuardIsALockFile()) {
    GTEST_SKIP() << "the guard is a named mutex, which needs no usable path to fall back from";
  }
  TempDir dir;
  // A directory cannot be locked as a file, and a missing parent cannot be created: both
  // processes then meet at the same derived file.
  auto guard = std::make_unique<tbx::CSingleApp>("tbx-test-guard", dir.path(), "");
  EXPECT_FALSE(guard->IsRunning());
  EXPECT_EQ(kGuardTaken, RunChild({"guard", dir.File("missing/guard")}));
  guard.reset();
  EXPECT_EQ(0, RunChild({"guard", ""}));
}

}  // namespace
