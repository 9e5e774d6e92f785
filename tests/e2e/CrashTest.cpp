// Crashes from inside the running monitor: the fault module, listed in the installation's
// module configuration, faults on the "Protocol" thread the way its command asks.
#include <json/json.h>

#include <regex>
#include <string>
#include <vector>

#include "e2e/MonitorSessionTest.h"

namespace e2e {
namespace {

struct Fault {
  const char* name;  // the command's "fault"
  const char* code;  // the exception code the crash information names, in hexadecimal
};

std::ostream& operator<<(std::ostream& out, const Fault& fault) {
  return out << fault.name;
}

// A session whose monitor loads the echo and the fault module.
class FaultSession : public MonitorSessionTest {
 protected:
  explicit FaultSession(const std::string& folder = "") : MonitorSessionTest(folder) {}

  void SetUp() override {
    MonitorSessionTest::SetUp();
    ASSERT_TRUE(install_.WriteFile(
        "conf/monitor_module_config",
        TargetSystem::ModuleFile("echo") + "\n" + TargetSystem::ModuleFile("fault") + "\n"));
  }

  std::vector<Json::Value> Reports(const std::string& kind) const {
    std::vector<Json::Value> selected;
    for (const std::string& line : install_.ReportLines()) {
      Json::Value report;
      if (Json::Reader().parse(line, report) && report["kind"].asString() == kind) {
        selected.push_back(report);
      }
    }
    return selected;
  }
};

class CrashTest : public FaultSession, public ::testing::WithParamInterface<Fault> {};

TEST_P(CrashTest, IsReportedRecordedCleanedUpAndEndsTheMonitor) {
  ASSERT_TRUE(StartConnectedSession());
  ASSERT_TRUE(
      agent_.Send("T_MSG_TEST_FAULT", std::string("{\"fault\":\"") + GetParam().name + "\"}"));
  ASSERT_TRUE(WaitForExit(monitor_));
  // Ended by Terminate after the handler ran, not by the fault itself.
  EXPECT_EQ(monitor_.ExitStatus(), 1) << monitor_.Describe();

  const std::vector<std::string> records = install_.ErrorRecordMessages();
  ASSERT_FALSE(records.empty());
  EXPECT_EQ(records.back(), "exception crash");

  const std::vector<Json::Value> crashes = Reports("crash_info");
  ASSERT_EQ(crashes.size(), 1u);
  EXPECT_TRUE(std::regex_match(crashes[0]["information"].asString(),
                               std::regex(std::string("exception code : ") + GetParam().code +
                                          ", dump error : 0, mem is enough : [01]")))
      << crashes[0]["information"].asString();
  const std::vector<Json::Value> dumps = Reports("dump_file");
  ASSERT_EQ(dumps.size(), 1u);
  EXPECT_TRUE(dumps[0]["copied"].asBool()) << "the dump was not there to send";
  const std::string dump = dumps[0]["source"].asString();
  const std::string binDir = TargetSystem::SeenPath(install_.BinDir());
  EXPECT_EQ(dump.compare(0, binDir.size(), binDir), 0) << dump;
  EXPECT_FALSE(install_.Exists(dump.substr(binDir.size() + 1))) << "left behind";
  const std::string sent = install_.ReadFile("report/" + dumps[0]["file"].asString());
  if (TargetSystem::IsWindows()) {
    EXPECT_EQ(sent.compare(0, 4, "MDMP"), 0) << "not a minidump: " << sent.substr(0, 16);
  } else {
    EXPECT_FALSE(sent.empty());
  }
  EXPECT_EQ(CountInLog("OnError:" + dump), 1u);
}

// The system's exception codes; a POSIX system reports a stack overflow as the access
// violation of the guard page.
INSTANTIATE_TEST_SUITE_P(
    Faults, CrashTest,
    ::testing::Values(Fault{"access_violation", "c0000005"}, Fault{"divide_by_zero", "c0000094"},
                      Fault{"abort", "40000015"}, Fault{"stack_overflow", "(c0000005|c00000fd)"}),
    [](const ::testing::TestParamInfo<Fault>& info) { return std::string(info.param.name); });

// An installation inside a folder whose name is not ASCII. Its letters are in the ANSI code page
// of Western European Windows (1252, also Wine's under a C or UTF-8 locale), so the programs'
// narrow texts can hold them. The euro sign is byte 0x80 there: read as Latin-1, that byte is a
// control character, and the path another folder.
class NonAsciiFolderTest : public FaultSession {
 protected:
  NonAsciiFolderTest()
      : FaultSession(
            "\xC3\x9C"
            "berwachung-\xE2\x82\xAC") {}  // "Überwachung-€"
};

TEST_F(NonAsciiFolderTest, LogsRecordsReportsAndDumpsLandInTheInstallation) {
  ASSERT_TRUE(StartConnectedSession());
  EXPECT_EQ(CountInLog("Valko root path is " + TargetSystem::ProgramText(TargetSystem::SeenPath(
                                                   install_.Root() + "/korvex"))),
            1u);
  ASSERT_TRUE(agent_.Send("T_MSG_TEST_FAULT", "{\"fault\":\"access_violation\"}"));
  ASSERT_TRUE(WaitForExit(monitor_));
  EXPECT_EQ(install_.ErrorRecordMessages(),
            (std::vector<std::string>{"LoadModule Start", "LoadModule End", "exception crash"}));
  ASSERT_EQ(Reports("crash_info").size(), 1u);
  const std::vector<Json::Value> dumps = Reports("dump_file");
  ASSERT_EQ(dumps.size(), 1u);
  EXPECT_TRUE(dumps[0]["copied"].asBool());
  // Reports are UTF-8 whatever the programs' code page.
  const std::string binDir = TargetSystem::SeenPath(install_.BinDir());
  EXPECT_EQ(dumps[0]["source"].asString().compare(0, binDir.size(), binDir), 0)
      << dumps[0]["source"].asString();
  EXPECT_FALSE(install_.ReadFile("report/" + dumps[0]["file"].asString()).empty());
}

using FaultModuleTest = MonitorSessionTest;

TEST_F(FaultModuleTest, IgnoresAnyOtherCommand) {
  ASSERT_TRUE(
      install_.WriteFile("conf/monitor_module_config", TargetSystem::ModuleFile("fault") + "\n"));
  ASSERT_TRUE(StartConnectedSession());
  for (const char* data : {"{\"fault\":\"none\"}", "{\"fault\":1}", "not json", "{}"}) {
    ASSERT_TRUE(agent_.Send("T_MSG_TEST_FAULT", data));
  }
  ASSERT_TRUE(agent_.Send("T_MSG_ECHO", "{}"));  // dispatched after the four
  ASSERT_TRUE(WaitForLog("ProtocolHandler Find NULL : T_MSG_ECHO"));
  EXPECT_TRUE(monitor_.IsRunning());
  EXPECT_TRUE(install_.ErrorRecordMessages() ==
              (std::vector<std::string>{"LoadModule Start", "LoadModule End"}));
}

}  // namespace
}  // namespace e2e
