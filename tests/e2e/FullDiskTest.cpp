// The installation's file system refusing writes. The monitor inherits a file-size limit with
// SIGXFSZ ignored, so a write past it fails the way a write to a full disk fails, without
// root: the monitor loses what it cannot write and nothing else.
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "e2e/MonitorSessionTest.h"

namespace e2e {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr char kLogFile[] = "korvex_monitor_log/KorvexMonitor.log";

// The monitor's log through a named pipe, copied by `cat` to a file outside the installation.
// A pipe is no regular file, so the file-size limit leaves the log alone while every other
// write of the monitor fails.
class PipedLog {
 public:
  explicit PipedLog(const TempInstallation& installation)
      : pipe_(installation.Path(kLogFile)), copy_(installation.Root() + "/piped_log.txt") {}

  ::testing::AssertionResult Start() {
    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(pipe_).parent_path(), ignored);
    if (mkfifo(pipe_.c_str(), 0600) != 0) {
      return ::testing::AssertionFailure() << "mkfifo " << pipe_ << " failed";
    }
    ChildOptions options;
    options.argv = {"/bin/cat", pipe_};
    options.stdoutPath = copy_;
    std::string error;
    if (!cat_.Start(options, &error)) {
      return ::testing::AssertionFailure() << error;
    }
    return ::testing::AssertionSuccess();
  }

  // The records that came through so far.
  std::vector<std::string> Lines() const {
    std::ifstream in(copy_, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return SplitLines(text.str());
  }

 private:
  const std::string pipe_;  // the log file's path, a named pipe
  const std::string copy_;  // what came through it
  ChildProcess cat_;
};

class FullDiskTest : public MonitorSessionTest {
 protected:
  void SetUp() override {
    if (TargetSystem::IsWindows()) {
      GTEST_SKIP() << "a full disk is played by a file-size limit (RLIMIT_FSIZE), which a "
                      "wineserver started by the case would inherit for every later case";
    }
    MonitorSessionTest::SetUp();
  }

  // The agent's echo request is answered: the IPC conversation goes on.
  ::testing::AssertionResult EchoIsAnswered() {
    ::testing::AssertionResult sent = agent_.Send("T_MSG_ECHO", "{\"n\":1}");
    return sent ? agent_.WaitForMessage("T_MSG_ECHO_ACK") : sent;
  }

  // Files directly in D that a failed replacement would leave behind.
  std::vector<std::string> TemporaryFiles() const {
    std::vector<std::string> names;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(install_.BinDir(), ignored)) {
      const std::string name = entry.path().filename().string();
      if (name.find(".tmp") != std::string::npos) {
        names.push_back(name);
      }
    }
    return names;
  }
};

TEST_F(FullDiskTest, ALogThatCannotGrowCostsTheLogAlone) {
  // An earlier run filled the log file up to the limit: not one more record fits.
  const std::string earlier = std::string(256 * 1024 - 1, 'e') + "\n";
  ASSERT_TRUE(install_.WriteFile(kLogFile, earlier));
  ASSERT_TRUE(StartAgent());
  ASSERT_TRUE(StartMonitor(monitor_, {}, {}, static_cast<long long>(earlier.size())));
  ASSERT_TRUE(agent_.WaitForMessage("T_MSG_KORVEXMONITOR_IPC_HEART"));
  ASSERT_TRUE(EchoIsAnswered());

  ASSERT_TRUE(agent_.Command("stop"));
  ASSERT_TRUE(WaitForExit(monitor_));
  EXPECT_EQ(monitor_.ExitStatus(), 0) << monitor_.Describe();
  const std::string log = install_.ReadFile(kLogFile);
  EXPECT_TRUE(log == earlier) << "the log changed: " << log.size() << " bytes, "
                              << std::count(log.begin(), log.end(), '\n') << " lines";
  EXPECT_EQ(install_.PidFileText(), monitor_.ProgramPid());
  EXPECT_THAT(install_.ErrorRecordMessages(), ElementsAre("LoadModule Start", "LoadModule End"));
}

TEST_F(FullDiskTest, NoWritableFileKeepsEarlierRecordsWholeAndLogsThePidFileFailureOnce) {
  const std::string records =
      "2024-03-09 17:05:42 [4312] exception crash\n2024-03-09 17:06:10 [4390] Monitor High Mem";
  ASSERT_TRUE(install_.WriteFile("MonitorError.data", records));
  PipedLog log(install_);
  ASSERT_TRUE(log.Start());
  ASSERT_TRUE(StartAgent());
  ASSERT_TRUE(StartMonitor(monitor_, {}, {}, 0));
  ASSERT_TRUE(agent_.WaitForMessage("T_MSG_KORVEXMONITOR_IPC_HEART"));
  ASSERT_TRUE(EchoIsAnswered());

  // Start-up tried to record its module loading, and to write the pid file twice.
  EXPECT_EQ(install_.ReadFile("MonitorError.data"), records);
  EXPECT_FALSE(install_.Exists("monitor_pid.txt"));
  EXPECT_THAT(TemporaryFiles(), IsEmpty());
  const std::vector<std::string> lines = log.Lines();
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                          [](const std::string& line) {
                            return line.find("[ERROR]") != std::string::npos &&
                                   line.find("WritePidFile Fail, error is ") != std::string::npos;
                          }),
            1);
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                          [](const std::string& line) {
                            return line.find("LoadModule End") != std::string::npos;
                          }),
            1)
      << "the record was attempted";

  ASSERT_TRUE(agent_.Command("stop"));
  ASSERT_TRUE(WaitForExit(monitor_));
  EXPECT_EQ(monitor_.ExitStatus(), 0) << monitor_.Describe();
}

TEST_F(FullDiskTest, AFullReportFileLosesTheReportsWholeAndNothingElse) {
  // Earlier reports fill the file to a few bytes short of the limit: the next record would be
  // cut part-way.
  std::string earlier;
  while (earlier.size() < (1u << 20)) {
    earlier += "{\"kind\":\"err_info\",\"text\":\"an earlier report\",\"code\":0}\n";
  }
  ASSERT_TRUE(install_.WriteFile("report/reports.jsonl", earlier));
  ASSERT_TRUE(install_.WriteFile("conf/monitor_resource_config",
                                 "sample_period_ms = 1000\nmem_max_mb = 1\n"));
  ASSERT_TRUE(StartAgent());
  ASSERT_TRUE(StartMonitor(monitor_, {}, {}, static_cast<long long>(earlier.size()) + 16));
  ASSERT_TRUE(WaitForExit(monitor_));

  EXPECT_EQ(monitor_.ExitStatus(), 1) << monitor_.Describe();
  const std::string reports = install_.ReadFile("report/reports.jsonl");
  EXPECT_TRUE(reports == earlier) << "the report file changed: " << reports.size() << " bytes, "
                                  << "tail: "
                                  << reports.substr(reports.size() > 80 ? reports.size() - 80 : 0);
  // The limit can be passed at any step of start-up after the resource monitor started, and
  // start-up may record once more before the process is gone.
  EXPECT_THAT(install_.ErrorRecordMessages(), Contains("Monitor High Mem"));
  EXPECT_EQ(CountInLog("OnMemoryMax"), 1u);
}

}  // namespace
}  // namespace e2e
