// The harness itself: a wrong exit status or a leaked child would make every end-to-end case
// lie, so its own promises are pinned down here.
#include <signal.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "e2e/AgentSession.h"
#include "e2e/ChildProcess.h"
#include "e2e/TargetSystem.h"

namespace e2e {
namespace {

// The driver's own pieces are the same whichever system the installed programs run on.
class DriverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (TargetSystem::IsWindows()) {
      GTEST_SKIP() << "tests the Linux driver itself, not the target: the Linux run covers it";
    }
  }
};
using ChildProcessTest = DriverTest;
using AgentEventTest = DriverTest;

ChildOptions Shell(const std::string& script) {
  ChildOptions options;
  options.argv = {"/bin/sh", "-c", script};
  return options;
}

TEST_F(ChildProcessTest, ReportsTheExitStatusAndTheKillingSignal) {
  std::string error;
  ChildProcess exits;
  ASSERT_TRUE(exits.Start(Shell("exit 3"), &error)) << error;
  ASSERT_TRUE(exits.WaitForExit(kWaitLimit));
  EXPECT_EQ(exits.ExitStatus(), 3);
  EXPECT_EQ(exits.Describe(), "exit status 3");

  ChildProcess killed;
  ASSERT_TRUE(killed.Start(Shell("exec sleep 60"), &error)) << error;
  ASSERT_TRUE(killed.Signal(SIGTERM));
  ASSERT_TRUE(killed.WaitForExit(kWaitLimit));
  EXPECT_FALSE(killed.Exited());
  EXPECT_EQ(killed.ExitStatus(), -1);
  EXPECT_EQ(killed.Describe(), "killed by signal " + std::to_string(SIGTERM));
}

TEST_F(ChildProcessTest, AProgramThatCannotBeExecutedFailsTheStart) {
  ChildOptions options;
  options.argv = {"/nonexistent/KorvexMonitor.exe"};
  ChildProcess child;
  std::string error;
  EXPECT_FALSE(child.Start(options, &error));
  EXPECT_NE(error.find("/nonexistent/KorvexMonitor.exe"), std::string::npos) << error;
}

TEST_F(ChildProcessTest, DestructionLeavesNoProcessBehind) {
  pid_t pid = -1;
  {
    ChildProcess child;
    std::string error;
    ASSERT_TRUE(child.Start(Shell("exec sleep 60"), &error)) << error;
    pid = child.pid();
    ASSERT_TRUE(child.IsRunning());
  }
  errno = 0;
  EXPECT_EQ(kill(pid, 0), -1);
  EXPECT_EQ(errno, ESRCH) << "the child survived its owner";
}

TEST_F(ChildProcessTest, PassesStdinAndTheAddedEnvironmentButNoInheritedSeams) {
  setenv("TBX_STANDIN_FAIL", "CFileSender::Init", 1);
  const std::string out = ::testing::TempDir() + "child_env_out.txt";
  std::remove(out.c_str());
  ChildOptions options = Shell("read line; echo \"$line $KORVEX_ADDED ${TBX_STANDIN_FAIL:-none}\"");
  options.env = {{"KORVEX_ADDED", "added"}};
  options.pipeStdin = true;
  options.stdoutPath = out;
  ChildProcess child;
  std::string error;
  ASSERT_TRUE(child.Start(options, &error)) << error;
  ASSERT_TRUE(child.WriteStdin("hello\n"));
  ASSERT_TRUE(child.WaitForExit(kWaitLimit));
  unsetenv("TBX_STANDIN_FAIL");
  std::ifstream in(out);
  std::string line;
  std::getline(in, line);
  EXPECT_EQ(line, "hello added none");
}

TEST_F(ChildProcessTest, AFileSizeLimitFailsTheWriteInsteadOfKillingTheChild) {
  const std::string out = ::testing::TempDir() + "child_limit_out.txt";
  std::remove(out.c_str());
  ChildOptions options = Shell("printf 123456 > '" + out + "' || exit 7");
  options.fileSizeLimit = 4;
  ChildProcess child;
  std::string error;
  ASSERT_TRUE(child.Start(options, &error)) << error;
  ASSERT_TRUE(child.WaitForExit(kWaitLimit));
  EXPECT_EQ(child.Describe(), "exit status 7");
  std::ifstream in(out);
  std::string content;
  std::getline(in, content);
  EXPECT_EQ(content, "1234");
}

TEST_F(AgentEventTest, StandardEnvelopeFramesYieldTypeAndBody) {
  AgentEvent event;
  ASSERT_TRUE(ParseAgentEvent(
      R"({"event":"frame","client":1,"kind":"DATA","text":"{\"traceId\":\"\",\"priority\":1,)"
      R"(\"type\":\"T_MSG_ECHO_ACK\",\"data\":{\"data\":{\"n\":1}}}"})",
      &event));
  EXPECT_EQ(event.type, "T_MSG_ECHO_ACK");
  EXPECT_EQ(event.data, R"({"n":1})");

  ASSERT_TRUE(
      ParseAgentEvent(R"({"event":"frame","kind":"DATA","text":"{\"traceId\":\"\",\"priority\":0,)"
                      R"(\"type\":\"T_X\",\"data\":{\"data\":\"plain text\"}}"})",
                      &event));
  EXPECT_EQ(event.data, "plain text");
}

TEST_F(AgentEventTest, SerializedHeaderFramesTakeTheTypeFromTheHeader) {
  AgentEvent event;
  ASSERT_TRUE(ParseAgentEvent(
      R"({"event":"frame","kind":"DATA_EX","type":"T_MSG_PULL_CONF","prio":0,"text":"{}"})",
      &event));
  EXPECT_EQ(event.type, "T_MSG_PULL_CONF");
  EXPECT_EQ(event.data, "{}");
  EXPECT_FALSE(ParseAgentEvent("not json", &event));
}

}  // namespace
}  // namespace e2e
