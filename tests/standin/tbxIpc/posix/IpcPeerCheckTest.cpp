// The Unix-domain transport's peer check: both ends drop a peer of another user (root
// excepted). Loopback TCP has no peer user; the HELLO token takes its part there.
#include "tbxIpc/posix/IpcPeerCheck.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "IpcTestSupport.h"
#include "ipc/TbxIpc.h"
#include "tbxIpc/IpcServer.h"
#include "tbxIpc/IpcStates.h"

namespace {

using ipctest::EventLog;
using ipctest::Frame;

TEST(IpcPeerCheck, TrustsOnlyTheSameUserOrRoot) {
  EXPECT_TRUE(ipc::IsTrustedPeerUid(1000, 1000));
  EXPECT_TRUE(ipc::IsTrustedPeerUid(0, 1000));
  EXPECT_TRUE(ipc::IsTrustedPeerUid(0, 0));
  EXPECT_FALSE(ipc::IsTrustedPeerUid(1001, 1000));
  EXPECT_FALSE(ipc::IsTrustedPeerUid(1000, 0));
}

// Runs `body` in a child process that has switched to an unprivileged uid; returns the
// child's exit status, or -1.
int RunAsNobody(const std::function<int()>& body) {
  const pid_t pid = fork();
  if (pid == 0) {
    if (setgid(65534) != 0 || setuid(65534) != 0) {
      _exit(100);
    }
    _exit(body());
  }
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) {
    return -1;
  }
  return WEXITSTATUS(status);
}

class IpcPeerCheckTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (ipctest::OverTcp()) {
      GTEST_SKIP() << "loopback TCP has no peer user; the HELLO token takes its part";
    }
    if (geteuid() != 0) {
      GTEST_SKIP() << "needs root to run a peer under a second uid";
    }
  }

  ipctest::ScopedIpcDir dir;
};

TEST_F(IpcPeerCheckTest, TheServerRefusesAClientOfAnotherUser) {
  EventLog connected;
  EventLog logs;
  CIpcServer::Handlers handlers;
  handlers.onConnected = [&](uint64_t id) { connected.Add(std::to_string(id)); };
  handlers.onLog = [&](const std::string& line) { logs.Add(line); };
  CIpcServer server(handlers);
  ASSERT_EQ(server.Start("srv"), kIpcOk);
  // Let the other user reach the socket, so the uid check alone decides.
  const std::string root = dir.ipcDir().substr(0, dir.ipcDir().rfind('/'));
  ASSERT_EQ(chmod(root.c_str(), 0711), 0);
  ASSERT_EQ(chmod(dir.ipcDir().c_str(), 0711), 0);
  const std::string path = dir.SocketPath("srv");
  ASSERT_EQ(chmod(path.c_str(), 0777), 0);
  const int status = RunAsNobody([&path] {
    const ipctest::RawSocket fd = ipctest::ConnectRaw(path);
    if (fd < 0) {
      return 2;
    }
    char byte;
    return recv(fd, &byte, 1, 0) == 0 ? 0 : 1;  // closed without an INIT frame
  });
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(logs.WaitFor([](const std::string& l) { return l.find("refused") != l.npos; }));
  EXPECT_TRUE(server.Clients().empty());
  EXPECT_TRUE(connected.Snapshot().empty());
}

TEST_F(IpcPeerCheckTest, TheClientRefusesAServerOfAnotherUser) {
  static EventLog callbacks;
  callbacks.Clear();
  IpcInitParam param = {};
  param.size = sizeof(IpcInitParam);
  param.onReceive = [](const char*, int32_t) { callbacks.Add("receive"); };
  param.onDisconnected = [] { callbacks.Add("disconnected"); };
  param.onConnected = [](const std::string&) { callbacks.Add("connected"); };
  ASSERT_EQ(InitIpcClient(&param), kIpcOk);
  const std::string root = dir.ipcDir().substr(0, dir.ipcDir().rfind('/'));
  ASSERT_EQ(chmod(root.c_str(), 0777), 0);
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const std::string path = dir.SocketPath("other");
  const pid_t pid = fork();
  if (pid == 0) {
    close(ready[0]);
    if (setgid(65534) != 0 || setuid(65534) != 0) {
      _exit(100);
    }
    mkdir(dir.ipcDir().c_str(), 0755);
    const ipctest::RawSocket listener = ipctest::ListenRaw(path);
    chmod(path.c_str(), 0777);
    const char byte = listener >= 0 ? 1 : 0;
    if (write(ready[1], &byte, 1) != 1 || listener < 0) {
      _exit(2);
    }
    const ipctest::RawSocket fd = ipctest::AcceptRaw(listener);
    ipctest::WriteAll(fd, Frame(kIpcFrameInit, "{}"));
    ipctest::WaitForEof(fd);
    _exit(0);
  }
  close(ready[1]);
  char byte = 0;
  ASSERT_EQ(read(ready[0], &byte, 1), 1);
  ASSERT_EQ(byte, 1);
  EXPECT_EQ(ConnectIpcServer("other"), kIpcPeerRejected);
  EXPECT_TRUE(IsIpcClientNeedConnect());
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  close(ready[0]);
  EXPECT_TRUE(callbacks.Snapshot().empty());
  EXPECT_EQ(FreeIpcClient(), kIpcOk);
}

}  // namespace
