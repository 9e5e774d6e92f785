// The directory check against real processes: copies of a sleeping program named Korvex.exe
// and KorvexMonitor.exe in a temporary agent root. Only the processes this test started are
// ever shown to the check, so no other program on the machine can be ended.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "KorvexCommon/MonitorKorvexAndMonitorVersion.h"
#include "support/TestSupport.h"
#include "tbxUtil/TbxTestSeams.h"
#include "valko/ValkoCommon.h"

namespace {

namespace fs = std::filesystem;

// The system's process service, with its lists narrowed to the processes in `own`.
class OwnProcessesOnly : public tbx::IProcessUtil {
 public:
  explicit OwnProcessesOnly(tbx::IProcessUtil* system) : system_(system) {}

  uint64_t GetCurrentProcessId() override { return system_->GetCurrentProcessId(); }
  std::vector<uint64_t> GetProcessIdsByName(const std::string& name, uint32_t maxCount,
                                            uint32_t flags) override {
    std::vector<uint64_t> ids;
    for (uint64_t id : system_->GetProcessIdsByName(name, 0, flags)) {
      if (std::find(own.begin(), own.end(), id) != own.end() &&
          (maxCount == 0 || ids.size() < maxCount)) {
        ids.push_back(id);
      }
    }
    return ids;
  }
  bool TerminateProcessById(uint64_t id) override {
    EXPECT_NE(std::find(own.begin(), own.end(), id), own.end()) << "not ours: " << id;
    return std::find(own.begin(), own.end(), id) != own.end() && system_->TerminateProcessById(id);
  }
  std::string GetProcessName(uint64_t id, uint32_t flags) override {
    return system_->GetProcessName(id, flags);
  }
  std::string GetProcessPath(uint64_t id, uint32_t fullPath, uint32_t flags) override {
    return system_->GetProcessPath(id, fullPath, flags);
  }

  std::vector<uint64_t> own;  // the processes started by the test

 private:
  tbx::IProcessUtil* system_;  // not owned; the process-wide service
};

class RealProcessesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    korvex_test::OpenProcessLog();
    root_ = fs::canonical(root_dir_.path()).string();
    ASSERT_TRUE(tbx::InitValkoCommon(root_));
    tbx::testing::OverrideProcessUtil(&processes_);
  }
  void TearDown() override {
    tbx::testing::OverrideProcessUtil(nullptr);
    for (pid_t child : children_) {
      korvex_test::KillChild(child);
    }
    while (CSingleton<tbx::CValkoPathInfo>::GetInstance() != nullptr) {
      CSingleton<tbx::CValkoPathInfo>::RemoveInstance();
    }
  }

  // Starts a sleeping copy of `sleep` at <root>/<relativePath>, and waits until the process
  // runs that copy.
  pid_t Start(const std::string& relativePath) {
    const fs::path path = (fs::path(root_) / relativePath).make_preferred();
    fs::create_directories(path.parent_path());
    if (!fs::exists(path)) {
      fs::copy_file(korvex_test::SleeperProgram(), path);
      fs::permissions(path, fs::perms::owner_all);
    }
    const pid_t child = korvex_test::Spawn(path.string(), {"60"});
    children_.push_back(child);
    processes_.own.push_back(static_cast<uint64_t>(child));
    EXPECT_TRUE(korvex_test::WaitUntil([&] {
      return system_->GetProcessName(static_cast<uint64_t>(child), 0) == path.filename().string();
    })) << "could not start "
        << path;
    return child;
  }

  // True when the process service ended `child` (which is reaped then), false while it runs.
  bool WasKilled(pid_t child) {
    const int status = korvex_test::PollExit(child);
    if (status < 0) {
      return false;
    }
    children_.erase(std::find(children_.begin(), children_.end(), child));
    return status == korvex_test::TerminatedStatus();
  }

  void CheckOnce() {
    CMonitorKorvexAndMonitorVersion check;
    ASSERT_TRUE(check.Start("korvexmonitor"));
  }

  korvex_test::TempAppDir dir_;
  korvex_test::TempDir root_dir_;
  std::string root_;
  tbx::IProcessUtil* system_ = tbx::GetProcessUtil();
  OwnProcessesOnly processes_{system_};
  std::vector<pid_t> children_;
};

TEST_F(RealProcessesTest, MonitorsInAnotherDirectoryThanTheAgentAreEnded) {
  const pid_t agent = Start("a/Korvex.exe");
  const pid_t monitor1 = Start("b/KorvexMonitor.exe");
  const pid_t monitor2 = Start("b/KorvexMonitor.exe");

  CheckOnce();

  EXPECT_TRUE(WasKilled(monitor1));
  EXPECT_TRUE(WasKilled(monitor2));
  EXPECT_FALSE(WasKilled(agent));
  const std::vector<Json::Value> reports = korvex_test::ReportsOfKind(dir_.path(), "err_info");
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0]["text"].asString(), "Korvex dir is not same as KorvexMonitor");
}

TEST_F(RealProcessesTest, AgentAndMonitorFromOneDirectoryKeepRunning) {
  const pid_t agent = Start("bin/Korvex.exe");
  const pid_t monitor = Start("bin/KorvexMonitor.exe");

  CheckOnce();

  EXPECT_FALSE(WasKilled(monitor));
  EXPECT_FALSE(WasKilled(agent));
  EXPECT_TRUE(korvex_test::ReadReports(dir_.path()).empty());
}

}  // namespace
