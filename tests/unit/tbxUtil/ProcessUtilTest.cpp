#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

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

// A copy of the system's sleep program under `name` in a scratch directory, so the process
// has that executable name; the children sleep until killed.
class NamedSleeper {
 public:
  explicit NamedSleeper(const std::string& name) : path_(dir_.File(name)) {
    std::filesystem::copy_file("/bin/sleep", path_);
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all);
  }
  ~NamedSleeper() {
    for (pid_t pid : children_) {
      ::kill(pid, SIGKILL);
      korvex_test::WaitExit(pid);
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
  EXPECT_EQ(128 + SIGKILL, monitor.Reap(pid));
  // The id has vanished now.
  EXPECT_FALSE(Contains(processes->GetProcessIdsByName("KorvexMonitor.exe", 0, 0), pid));
  EXPECT_EQ("", processes->GetProcessName(pid, 0));
  EXPECT_EQ("", processes->GetProcessPath(pid, 1, 0));
  EXPECT_FALSE(processes->TerminateProcessById(pid));
  EXPECT_FALSE(processes->TerminateProcessById(0));
  EXPECT_FALSE(processes->TerminateProcessById(1ULL << 40));
  EXPECT_EQ("", processes->GetProcessName(1ULL << 40, 0));
  // The calling process, whose monitor is ended last.
  EXPECT_EQ(static_cast<uint64_t>(::getpid()), processes->GetCurrentProcessId());
  EXPECT_EQ(tbx::CToolUtil::GetApplicationFileName(),
            processes->GetProcessName(processes->GetCurrentProcessId(), 0));
}

TEST(ProcessUtilTest, ListsInAscendingOrderUpToTheLimitAndSurvivesARemovedExecutable) {
  std::string name = "tbx_probe_" + std::to_string(::getpid()) + ".exe";
  NamedSleeper sleeper(name);
  pid_t first = sleeper.Start();
  pid_t second = sleeper.Start();
  pid_t third = sleeper.Start();
  ASSERT_TRUE(WaitUntilNamed(first, name) && WaitUntilNamed(second, name) &&
              WaitUntilNamed(third, name));
  std::filesystem::remove(sleeper.path());  // the link now ends in " (deleted)"
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
