#include <algorithm>
#include <chrono>
#include <filesystem>

#include <gtest/gtest.h>

#include "TestProcess.h"
#include "tbx/ProcessUtil.h"
#include "tbx/ToolUtil.h"

namespace {

using korvex_test::TempDir;

bool Contains(const std::vector<uint64_t>& ids, pid_t pid) {
  return std::find(ids.begin(), ids.end(), static_cast<uint64_t>(pid)) != ids.end();
}

// A copy of a sleeping program under `name` in a scratch directory, so the process has that
// executable name; the children sleep until killed. The path is written as the system writes
// it, as the process service reports it.
class NamedSleeper {
 public:
  explicit NamedSleeper(const std::string& name) : path_(korvex_test::SystemPath(dir_.File(name))) {
    std::filesystem::copy_file(korvex_test::SleeperProgram(), path_);
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all);
  }
  ~NamedSleeper() {
    for (pid_t pid : children_) {
      korvex_test::KillChild(pid);
    }
  }
  pid_t Start() {
    pid_t pid = korvex_test::Spawn(path_, {"300"});
    if (pid > 0) {
      children_.push_back(pid);
    }
    return pid;
  }
  // Reaps a child that a test terminated.
  int Reap(pid_t pid) {
    children_.erase(std::remove(children_.begin(), children_.end(), pid), children_.end());
    return korvex_test::WaitExit(pid);
  }
  const std::string& path() const { return path_; }

 private:
  TempDir dir_;
  std::string path_;  // the renamed copy
  std::vector<pid_t> children_;
};

// A started child shows its new executable only after exec; wait for that.
bool WaitUntilNamed(pid_t pid, const std::string& name) {
  return korvex_test::WaitUntil(
      [&] { return tbx::GetProcessUtil()->GetProcessName(pid, 0) == name; });
}

TEST(ProcessUtilTest, FindsReportsAndTerminatesAProcessByItsExecutableName) {
  NamedSleeper monitor("KorvexMonitor.exe");
  pid_t pid = monitor.Start();
  ASSERT_GT(pid, 0);
  ASSERT_TRUE(WaitUntilNamed(pid, "KorvexMonitor.exe"));
  tbx::IProcessUtil* processes = tbx::GetProcessUtil();
  // Other monitors may run on this machine: ours must be among them.
  EXPECT_TRUE(Contains(processes->GetProcessIdsByName("KorvexMonitor.exe", 0, 0), pid));
  EXPECT_EQ(monitor.path(), processes->GetProcessPath(pid, 1, 0));
  EXPECT_EQ(tbx::CToolUtil::GetFileDirPath(monitor.path()), processes->GetProcessPath(pid, 0, 0));
  ASSERT_TRUE(processes->TerminateProcessById(pid));
  EXPECT_EQ(korvex_test::TerminatedStatus(), monitor.Reap(pid));
  // The id has vanished now (Windows keeps it while anyone holds the process open).
  EXPECT_TRUE(korvex_test::WaitUntil([&] { return processes->GetProcessName(pid, 0).empty(); }));
  EXPECT_FALSE(Contains(processes->GetProcessIdsByName("KorvexMonitor.exe", 0, 0), pid));
  EXPECT_EQ("", processes->GetProcessName(pid, 0));
  EXPECT_EQ("", processes->GetProcessPath(pid, 1, 0));
  EXPECT_FALSE(processes->TerminateProcessById(pid));
  EXPECT_FALSE(processes->TerminateProcessById(0));
  EXPECT_FALSE(processes->TerminateProcessById(1ULL << 40));
  EXPECT_EQ("", processes->GetProcessName(1ULL << 40, 0));
  // The calling process, whose monitor is ended last.
  EXPECT_EQ(static_cast<uint64_t>(korvex_test::CurrentProcessId()),
            processes->GetCurrentProcessId());
  EXPECT_EQ(tbx::CToolUtil::GetApplicationFileName(),
            processes->GetProcessName(processes->GetCurrentProcessId(), 0));
}

TEST(ProcessUtilTest, ListsInAscendingOrderUpToTheLimitAndSurvivesARemovedExecutable) {
  std::string name = "tbx_probe_" + std::to_string(korvex_test::CurrentProcessId()) + ".exe";
  NamedSleeper sleeper(name);
  pid_t first = sleeper.Start();
  pid_t second = sleeper.Start();
  pid_t third = sleeper.Start();
  ASSERT_TRUE(WaitUntilNamed(first, name) && WaitUntilNamed(second, name) &&
              WaitUntilNamed(third, name));
  // On POSIX the link now ends in " (deleted)"; Windows keeps a running program's file.
  std::error_code kept;
  std::filesystem::remove(sleeper.path(), kept);
  std::vector<uint64_t> all = tbx::GetProcessUtil()->GetProcessIdsByName(name, 0, 0);
  std::vector<uint64_t> expected{static_cast<uint64_t>(first), static_cast<uint64_t>(second),
                                 static_cast<uint64_t>(third)};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(expected, all);
  EXPECT_EQ(std::vector<uint64_t>(expected.begin(), expected.begin() + 2),
            tbx::GetProcessUtil()->GetProcessIdsByName(name, 2, 0));
  EXPECT_EQ(name, tbx::GetProcessUtil()->GetProcessName(first, 0));
  EXPECT_TRUE(tbx::GetProcessUtil()->GetProcessIdsByName("", 10, 0).empty());
}

}  // namespace
