// The fixture of every end-to-end case: a fresh installation, the simulated agent and the real
// monitor, run with the stand-in clock sped up. On failure it prints what the processes left
// behind (log tail, error records, reports, transcript tail).
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "e2e/AgentSession.h"
#include "e2e/ChildProcess.h"
#include "e2e/TargetSystem.h"
#include "e2e/TempInstallation.h"
#include "e2e/Wait.h"

namespace e2e {

using EnvList = std::vector<std::pair<std::string, std::string>>;

// 1 % of real time: the connection monitor's first check after 0.6 s, its retries every
// 0.1 s, heartbeats every 1.2 s, the unload tick every 0.6 s, the stop pause 30 ms.
constexpr char kTimeScale[] = "0.01";

class MonitorSessionTest : public ::testing::Test {
 protected:
  // `folder`: see TempInstallation.
  explicit MonitorSessionTest(const std::string& folder = "")
      : install_(folder), agent_(install_) {}

  void SetUp() override;
  void TearDown() override;

  // Starts the agent and waits until it listens (use inside ASSERT_TRUE).
  ::testing::AssertionResult StartAgent() { return agent_.Start(); }
  // Starts KorvexMonitor.exe in `monitor` with the sped-up clock plus `env` (a TBX_TIME_SCALE
  // there replaces the default), the command-line arguments `args` and, when not negative, a
  // file-size limit in bytes (ChildOptions::fileSizeLimit). `binDir` "" is the installation's;
  // another one holds a copy of the programs elsewhere.
  ::testing::AssertionResult StartMonitor(ChildProcess& monitor, const EnvList& env = {},
                                          const std::vector<std::string>& args = {},
                                          long long fileSizeLimit = -1,
                                          const std::string& binDir = "");
  ::testing::AssertionResult StartMonitor(const EnvList& env = {}) {
    return StartMonitor(monitor_, env);
  }
  // Agent first, then the monitor; waits until the monitor's first heartbeat arrived.
  ::testing::AssertionResult StartConnectedSession(const EnvList& env = {});

  // Waits for `text` somewhere in the monitor's log.
  ::testing::AssertionResult WaitForLog(const std::string& text,
                                        std::chrono::milliseconds limit = kWaitLimit);
  // Waits until `process` has ended; says how it ended otherwise.
  ::testing::AssertionResult WaitForExit(ChildProcess& process,
                                         std::chrono::milliseconds limit = kWaitLimit);
  // The number of occurrences of `text` in the monitor's log.
  size_t CountInLog(const std::string& text) const;
  // The number of log records whose text is exactly `text` at `level` ("ERROR", "WARN",
  // "INFO"); quotations of the text inside other records do not count.
  size_t CountLogRecords(const std::string& level, const std::string& text) const;
  // The resident set (VmRSS) of the running monitor_ in KiB (on Windows of its Wine process),
  // -1 when unreadable.
  long MonitorResidentKiB();

  TempInstallation install_;
  AgentSession agent_;
  ChildProcess monitor_;     // destroyed (killed) before the agent and the installation
  int monitorsStarted_ = 0;  // numbers the launcher's pid files on Windows
};

}  // namespace e2e
