// Start-up seen from outside: what the agent receives from a fresh monitor, what the monitor
// leaves in its application directory, and how each kind of start-up failure ends.
#include <json/json.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>

#include "e2e/MonitorSessionTest.h"

namespace e2e {
namespace {

using ::testing::ElementsAre;

Json::Value ParseObject(const std::string& text) {
  Json::Value value;
  Json::Reader reader;
  if (!reader.parse(text, value) || !value.isObject()) {
    ADD_FAILURE() << "not a JSON object: " << text;
    return Json::Value(Json::objectValue);
  }
  return value;
}

std::vector<std::string> Strings(const Json::Value& array) {
  std::vector<std::string> texts;
  for (const Json::Value& item : array) {
    texts.push_back(item.asString());
  }
  return texts;
}

// Position of the first event of `type` in the transcript, -1 when none arrived.
long PositionOf(const std::vector<AgentEvent>& events, const std::string& type) {
  for (size_t i = 0; i < events.size(); ++i) {
    if (events[i].event == "frame" && events[i].type == type) {
      return static_cast<long>(i);
    }
  }
  return -1;
}

class StartupTest : public MonitorSessionTest {};

TEST_F(StartupTest, CleanStartRegistersAsksForConfigurationAndSendsAHeartbeat) {
  // Leftovers of an earlier run: the old crash dump goes, the resource dump stays.
  ASSERT_TRUE(install_.WriteFile("3.2.0.1-0.0.0.0-2024_3_9_17_5_42-Error.dmp", "old crash"));
  ASSERT_TRUE(install_.WriteFile("3.2.0.1-0.0.0.0-2024_3_9_17_5_42_maxFd.dmp", "resource"));

  ASSERT_TRUE(StartConnectedSession());
  ASSERT_TRUE(agent_.WaitForMessage("T_MSG_PULL_FILE_CONF"));

  const std::vector<AgentEvent> regs = agent_.Frames("REG");
  ASSERT_EQ(regs.size(), 2u);
  const Json::Value first = ParseObject(regs[0].text);
  EXPECT_THAT(Strings(first["type_list"]),
              ElementsAre("T_MSG_PLUGIN_HEARTS_ACK", "T_MSG_CLIENT_RULE_PUSH"));
  EXPECT_TRUE(first["client_list"].isArray());
  EXPECT_TRUE(first["client_list"].empty());
  EXPECT_EQ(first["is_black"].asInt(), 1);
  EXPECT_EQ(first["is_reg"].asInt(), 1);
  const Json::Value second = ParseObject(regs[1].text);
  EXPECT_THAT(Strings(second["type_list"]),
              ElementsAre("INTERNAL_MSG_REQUEST_CONTAINER_INFO", "T_MSG_NEW_VALKO_INFO"));
  EXPECT_THAT(Strings(second["client_list"]), ElementsAre("protocol_ipc_client_with_obj_id"));
  EXPECT_EQ(second["is_black"].asInt(), 0);
  EXPECT_EQ(second["is_reg"].asInt(), 1);
  // Styled documents: one member per line, keys in order, a line break at the end.
  EXPECT_EQ(regs[0].text,
            "{\n   \"client_list\" : [],\n   \"is_black\" : 1,\n   \"is_reg\" : 1,\n"
            "   \"type_list\" : [ \"T_MSG_PLUGIN_HEARTS_ACK\", \"T_MSG_CLIENT_RULE_PUSH\" ]\n}\n");

  const std::vector<AgentEvent>& events = agent_.Events();
  const long pullConf = PositionOf(events, "T_MSG_PULL_CONF");
  const long pullFileConf = PositionOf(events, "T_MSG_PULL_FILE_CONF");
  ASSERT_GE(pullConf, 0);
  EXPECT_LT(pullConf, pullFileConf);
  EXPECT_EQ(
      events[pullConf].text,
      "{\"traceId\":\"\",\"priority\":0,\"type\":\"T_MSG_PULL_CONF\",\"data\":{\"data\":{}}}");

  AgentEvent heartbeat;
  ASSERT_TRUE(agent_.WaitForMessage("T_MSG_KORVEXMONITOR_IPC_HEART", 1, &heartbeat));
  const Json::Value beat = ParseObject(heartbeat.data);
  EXPECT_EQ(beat["plugin_name"].asString(), "KorvexMonitor");
  EXPECT_EQ(beat["proc_name"].asString(), "KorvexMonitor.exe");
  EXPECT_EQ(beat["state"].asString(), "running");
  EXPECT_TRUE(beat["ts"].isIntegral());

  const std::string pid = monitor_.ProgramPid();
  EXPECT_EQ(install_.PidFileText(), pid);
  EXPECT_THAT(install_.ErrorRecordMessages(), ElementsAre("LoadModule Start", "LoadModule End"));
  const std::regex record("\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d \\[" + pid + "\\] .+");
  for (const std::string& line : install_.ErrorRecordLines()) {
    EXPECT_TRUE(std::regex_match(line, record)) << line;
  }

  // The banner and the statistics line show one build moment, each in its own format.
  ASSERT_TRUE(WaitForLog(",BuildTime:"));
  const std::string log = install_.ReadLog();
  std::smatch banner;
  ASSERT_TRUE(std::regex_search(
      log, banner,
      std::regex("={20}Start KorvexMonitor : 3\\.2\\.0\\.1,([A-Z][a-z]{2} [ 0-9]\\d \\d{4}) "
                 "(\\d\\d:\\d\\d:\\d\\d)={20}")))
      << "no banner in the log";
  std::smatch statistics;
  ASSERT_TRUE(std::regex_search(log, statistics, std::regex(",BuildTime:(.*)")));
  EXPECT_EQ(statistics[1].str(), banner[1].str() + " " + banner[2].str());
  EXPECT_NE(log.find("Valko root path is " + TargetSystem::SeenPath(install_.Root() + "/korvex")),
            std::string::npos);
  EXPECT_FALSE(install_.Exists("3.2.0.1-0.0.0.0-2024_3_9_17_5_42-Error.dmp"));
  EXPECT_TRUE(install_.Exists("3.2.0.1-0.0.0.0-2024_3_9_17_5_42_maxFd.dmp"));
  EXPECT_TRUE(monitor_.IsRunning());
}

TEST_F(StartupTest, BannerKeepsAnEmptyVersionFieldWhenTheVersionFileIsMissing) {
  ASSERT_TRUE(install_.RemoveFile("conf/version"));
  ASSERT_TRUE(StartConnectedSession());
  EXPECT_NE(install_.ReadLog().find("Start KorvexMonitor : ,"), std::string::npos);
}

TEST_F(StartupTest, SecondInstanceLeavesErrorDatAndEndsWhileTheFirstRunsOn) {
  ASSERT_TRUE(StartAgent());
  // The command line means nothing to the monitor.
  ASSERT_TRUE(StartMonitor(monitor_, {}, {"stop", "--help", "-x"}));
  ASSERT_TRUE(agent_.WaitForMessage("T_MSG_KORVEXMONITOR_IPC_HEART"));
  ASSERT_TRUE(install_.WriteFile("Error.dat", "an older, longer content"));
  const size_t beatsBefore = agent_.MessagesOfType("T_MSG_KORVEXMONITOR_IPC_HEART").size();

  ChildProcess second;
  ASSERT_TRUE(StartMonitor(second));
  ASSERT_TRUE(WaitForExit(second));
  EXPECT_EQ(second.ExitStatus(), 1) << second.Describe();
  EXPECT_EQ(install_.ReadFile("Error.dat"), "singleApp Running");

  ASSERT_TRUE(agent_.WaitForMessage("T_MSG_KORVEXMONITOR_IPC_HEART", beatsBefore + 1));
  EXPECT_TRUE(monitor_.IsRunning());
  EXPECT_EQ(install_.PidFileText(), monitor_.ProgramPid());
  EXPECT_THAT(install_.ErrorRecordMessages(), ElementsAre("LoadModule Start", "LoadModule End"));
  EXPECT_EQ(agent_.CountEvents("connected"), 1u);
}

TEST_F(StartupTest, AMonitorFromAnotherDirectoryUnderTheSameRootEndsBoth) {
  // <root>/korvex/other/bin: the agent root (bin/../..) is the same as the installation's.
  const std::string otherBin = install_.Root() + "/korvex/other/bin";
  std::error_code ec;
  std::filesystem::create_directories(otherBin, ec);
  std::filesystem::copy(install_.BinDir(), otherBin, std::filesystem::copy_options::recursive, ec);
  ASSERT_FALSE(ec) << ec.message();
  ASSERT_TRUE(StartConnectedSession());

  // The second monitor's start-up check finds two monitor directories under the root and ends
  // every monitor, the other one first, itself last.
  ChildProcess second;
  ASSERT_TRUE(StartMonitor(second, {}, {}, -1, otherBin));
  ASSERT_TRUE(WaitForExit(second));
  ASSERT_TRUE(WaitForExit(monitor_));
  // Terminate: SIGKILL on Linux, TerminateProcess or the own exit with status 1 on Windows.
  for (ChildProcess* ended : {&monitor_, &second}) {
    if (TargetSystem::IsWindows()) {
      EXPECT_EQ(ended->ExitStatus(), 1) << ended->Describe();
    } else {
      EXPECT_EQ(ended->Describe(), "killed by signal 9");
    }
  }
  std::ifstream log(otherBin + "/korvex_monitor_log/KorvexMonitor.log");
  const std::string secondLog((std::istreambuf_iterator<char>(log)),
                              std::istreambuf_iterator<char>());
  EXPECT_NE(secondLog.find("there are 2 diff KorvexMonitor dir"), std::string::npos) << secondLog;
  std::ifstream reports(otherBin + "/report/reports.jsonl");
  const std::string secondReports((std::istreambuf_iterator<char>(reports)),
                                  std::istreambuf_iterator<char>());
  EXPECT_NE(secondReports.find("2 diff KorvexMonitor dir"), std::string::npos) << secondReports;
  EXPECT_EQ(CountInLog("diff KorvexMonitor dir"), 0u) << "the first monitor ran no check";
}

// A failure injected into one stand-in operation, and how start-up must answer it.
struct StepFailure {
  const char* name;       // test name suffix
  const char* operation;  // TBX_STANDIN_FAIL entry
  const char* message;    // the record and log text
  enum Kind { kEarlyFatal, kFatal, kWarning } kind;
};

void PrintTo(const StepFailure& failure, std::ostream* out) {
  *out << failure.operation;
}

class StartupFailureTest : public MonitorSessionTest,
                           public ::testing::WithParamInterface<StepFailure> {};

TEST_P(StartupFailureTest, EndsOrGoesOnAsTheStepRequires) {
  const StepFailure& failure = GetParam();
  ASSERT_TRUE(StartAgent());
  ASSERT_TRUE(StartMonitor({{"TBX_STANDIN_FAIL", failure.operation}}));

  if (failure.kind == StepFailure::kWarning) {
    ASSERT_TRUE(agent_.WaitForMessage("T_MSG_KORVEXMONITOR_IPC_HEART"));
    EXPECT_TRUE(monitor_.IsRunning());
    EXPECT_EQ(CountLogRecords("ERROR", failure.message), 1u);
    EXPECT_THAT(install_.ErrorRecordMessages(), ElementsAre("LoadModule Start", "LoadModule End"));
    return;
  }
  ASSERT_TRUE(WaitForExit(monitor_));
  EXPECT_EQ(monitor_.ExitStatus(), 1) << monitor_.Describe();
  const std::vector<std::string> records = install_.ErrorRecordMessages();
  ASSERT_FALSE(records.empty());
  EXPECT_EQ(records.back(), failure.message);
  EXPECT_EQ(std::count(records.begin(), records.end(), "LoadModule End"), 0);
  if (failure.kind == StepFailure::kEarlyFatal) {
    EXPECT_EQ(install_.ReadLog(), "") << "nothing can be logged before the logger exists";
  } else {
    EXPECT_EQ(CountLogRecords("ERROR", failure.message), 1u);
  }
  EXPECT_EQ(agent_.Frames("REG").size(), 0u) << "a failed start must not reach the agent";
}

INSTANTIATE_TEST_SUITE_P(
    Steps, StartupFailureTest,
    ::testing::Values(
        StepFailure{"Logger", "CLogMessage::GetInstance", "CLogMessage::GetInstance Null",
                    StepFailure::kEarlyFatal},
        StepFailure{"Maintenance", "CMtIntf::Init", "Failed to Init maintenance",
                    StepFailure::kFatal},
        StepFailure{"ConfigCreation", "CConfig::NewInstance", "CConfig::NewInstance Null",
                    StepFailure::kFatal},
        StepFailure{"OnlineConfCreation", "COnlineClientConf::NewInstance",
                    "COnlineClientConf::NewInstance Null", StepFailure::kFatal},
        StepFailure{"ResourceMonitorCreation", "CMonitor::NewInstance",
                    "CMonitor::NewInstance Null", StepFailure::kFatal},
        StepFailure{"ControlCreation", "CValkoControl::NewInstance",
                    "CValkoControl::NewInstance Null", StepFailure::kFatal},
        StepFailure{"ControlInit", "CValkoControl::Init", "CValkoControl::NewInstance Null",
                    StepFailure::kFatal},
        StepFailure{"MaintenanceStart", "CMtIntf::Start", "Failed to start maintenance",
                    StepFailure::kFatal},
        StepFailure{"ResourceMonitorStart", "CMonitor::StartMonitor", "CMonitor StartMonitor Fail",
                    StepFailure::kFatal},
        StepFailure{"FileSenderCreation", "CFileSender::NewInstance",
                    "CFileSender::NewInstance Null", StepFailure::kFatal},
        StepFailure{"FileSenderInit", "CFileSender::Init", "CFileSender Init Fail",
                    StepFailure::kFatal},
        StepFailure{"ProcessManagement", "CProcMng::Init", "CProcMng::Init Failed",
                    StepFailure::kFatal},
        StepFailure{"ModuleManagerCreation", "CModuleManager::NewInstance", "CModuleManager Null.",
                    StepFailure::kFatal},
        StepFailure{"DirectoryCheckTimer", "CTimerEvent::startTimer",
                    "start to monitor korvex and monitor version fail", StepFailure::kFatal},
        StepFailure{"IpcInit", "InitIpcClient", "init ipc fail", StepFailure::kFatal},
        StepFailure{"WhiteList", "CWhiteList::Init", "WhiteList Init Fail.", StepFailure::kWarning},
        StepFailure{"WhiteListCreation", "CWhiteList::NewInstance", "WhiteList Init Fail.",
                    StepFailure::kWarning},
        StepFailure{"Quarantine", "CFileQuara::Init", "FileQuara Init Fail.",
                    StepFailure::kWarning},
        StepFailure{"QuarantineCreation", "CFileQuara::NewInstance", "FileQuara Init Fail.",
                    StepFailure::kWarning},
        StepFailure{"FileWatchCreation", "CFileWatch::NewInstance", "CFileWatch Init Fail",
                    StepFailure::kWarning},
        StepFailure{"FileWatch", "CFileWatch::Init", "CFileWatch Init Fail",
                    StepFailure::kWarning}),
    [](const ::testing::TestParamInfo<StepFailure>& info) { return info.param.name; });

TEST_F(StartupTest, ModuleLoadFailureEndsBetweenTheTwoModuleRecords) {
  ASSERT_TRUE(StartAgent());
  ASSERT_TRUE(StartMonitor({{"TBX_STANDIN_FAIL", "CModuleManager::LoadModule"}}));
  ASSERT_TRUE(WaitForExit(monitor_));
  EXPECT_EQ(monitor_.ExitStatus(), 1) << monitor_.Describe();
  EXPECT_THAT(install_.ErrorRecordMessages(), ElementsAre("LoadModule Start", "LoadModule Fail"));
  EXPECT_EQ(CountLogRecords("ERROR", "LoadModule Fail"), 1u);
}

TEST_F(StartupTest, UnwritablePidFileIsLoggedAfterTheRetryAndStartUpGoesOn) {
  // A directory in its place: replacing it fails on both tries.
  ASSERT_TRUE(install_.WriteFile("monitor_pid.txt/keep", "the path is taken"));
  ASSERT_TRUE(StartConnectedSession());
  const std::vector<std::string> log = SplitLines(install_.ReadLog());
  const auto failures = std::count_if(log.begin(), log.end(), [](const std::string& line) {
    return line.find("[ERROR]") != std::string::npos &&
           line.find("WritePidFile Fail, error is ") != std::string::npos;
  });
  EXPECT_EQ(failures, 1);
  EXPECT_THAT(install_.ErrorRecordMessages(), ElementsAre("LoadModule Start", "LoadModule End"));
}

TEST_F(StartupTest, MissingNetworkConfigurationIsOnlyAWarning) {
  ASSERT_TRUE(install_.RemoveFile("conf/network_config"));
  ASSERT_TRUE(StartConnectedSession());
  EXPECT_EQ(CountLogRecords("ERROR", "load network_config fail"), 1u);
  EXPECT_THAT(install_.ErrorRecordMessages(), ElementsAre("LoadModule Start", "LoadModule End"));
}

}  // namespace
}  // namespace e2e
