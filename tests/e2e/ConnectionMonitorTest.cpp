// The connection monitor seen from outside: a connection between two outages starts the count of
// reconnection attempts afresh, so only an unbroken run of failed checks ends the monitor.
#include <json/json.h>

#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "e2e/MonitorSessionTest.h"

namespace e2e {
namespace {

const char kHeartbeat[] = "T_MSG_KORVEXMONITOR_IPC_HEART";

// The counts of the "retry N connect korvex" records of `log`, in order.
std::vector<int> RetryCounts(const std::string& log) {
  std::vector<int> counts;
  for (const std::string& line : SplitLines(log)) {
    const std::string::size_type at = line.find("retry ");
    if (at != std::string::npos && line.find(" connect korvex", at) != std::string::npos) {
      counts.push_back(std::atoi(line.c_str() + at + 6));
    }
  }
  return counts;
}

std::vector<int> CountingUpTo(int last) {
  std::vector<int> counts;
  for (int count = 0; count <= last; ++count) {
    counts.push_back(count);
  }
  return counts;
}

class ConnectionMonitorTest : public MonitorSessionTest {
 protected:
  // The error reports of the failed connection in reports.jsonl.
  size_t ConnectionFailureReports() const {
    size_t found = 0;
    for (const std::string& line : install_.ReportLines()) {
      Json::Value report;
      if (Json::Reader().parse(line, report) && report["kind"].asString() == "err_info" &&
          report["text"].asString() == "connect korvex ipc fail" && report["code"].asInt() == 0) {
        ++found;
      }
    }
    return found;
  }
};

TEST_F(ConnectionMonitorTest, AConnectionAfterTwentyFailedChecksStartsTheCountAfresh) {
  // 3 % of real time: a check every 0.3 s, so the agent has ten checks' time to come up
  // before the monitor would give up.
  ASSERT_TRUE(StartMonitor({{"TBX_TIME_SCALE", "0.03"}}));
  ASSERT_TRUE(WaitForLog("retry 20 connect korvex"));
  ASSERT_TRUE(StartAgent());
  ASSERT_TRUE(agent_.WaitForEvents("the monitor connecting",
                                   [](const AgentEvent& e) { return e.event == "connected"; }));
  // Connected for two seconds, as a heartbeat built that late shows: half a dozen checks have
  // seen the connection up.
  const int64_t connectedAt = static_cast<int64_t>(std::time(nullptr));
  ASSERT_TRUE(agent_.WaitForEvents(
      "a heartbeat built two seconds into the connection", [connectedAt](const AgentEvent& e) {
        Json::Value beat;
        return e.event == "frame" && e.type == kHeartbeat && Json::Reader().parse(e.data, beat) &&
               beat["ts"].asInt64() >= connectedAt + 2;
      }));
  ASSERT_TRUE(agent_.Quit());

  // The second outage again gets all thirty attempts.
  ASSERT_TRUE(WaitForExit(monitor_));
  EXPECT_EQ(monitor_.ExitStatus(), 0) << monitor_.Describe();
  const std::vector<int> counts = RetryCounts(install_.ReadLog());
  ASSERT_GT(counts.size(), 31u);
  const std::vector<int> firstOutage(counts.begin(), counts.end() - 31);
  const std::vector<int> secondOutage(counts.end() - 31, counts.end());
  EXPECT_EQ(secondOutage, CountingUpTo(30));
  ASSERT_GE(firstOutage.size(), 21u);
  EXPECT_EQ(firstOutage, CountingUpTo(static_cast<int>(firstOutage.size()) - 1));
  EXPECT_EQ(ConnectionFailureReports(), 1u);
}

}  // namespace
}  // namespace e2e
