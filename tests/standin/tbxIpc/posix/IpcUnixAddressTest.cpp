// The Unix-domain address of an endpoint: a socket address holds at most 108 bytes, so a long
// directory is reached through a short alias of it.
#include "tbxIpc/posix/IpcUnixAddress.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>

#include "IpcTestSupport.h"
#include "tbxIpc/IpcEndpoint.h"
#include "tbxIpc/IpcServer.h"
#include "tbxIpc/IpcStates.h"

namespace {

using ipctest::TempDir;

TEST(IpcUnixAddress, LongDirectoriesAreReachedThroughAnAliasNeverATruncation) {
  if (ipctest::OverTcp()) {
    GTEST_SKIP() << "a loopback endpoint is a plain file, with no socket address to fit";
  }
  TempDir root;
  std::string deep = root.path();
  while (deep.size() < 200) {
    deep += "/a_rather_long_folder_name";
    ASSERT_EQ(mkdir(deep.c_str(), 0700), 0);
  }
  const std::string ipcDir = deep + "/ipc";
  CIpcServer server({});
  ASSERT_EQ(server.Start("far", ipcDir), kIpcOk);
  struct stat info = {};
  ASSERT_EQ(stat((ipcDir + "/far").c_str(), &info), 0) << "bound at the full path";
  EXPECT_TRUE(S_ISSOCK(info.st_mode));

  CIpcEndpoint endpoint;
  std::string why;
  ASSERT_EQ(endpoint.Open(ipcDir, "far", false, &why), kIpcOk) << why;
  CIpcUnixAddress unixAddress;
  ASSERT_EQ(unixAddress.Open(endpoint, &why), kIpcOk) << why;
  sockaddr_un address;
  socklen_t length = 0;
  ASSERT_TRUE(unixAddress.Address(&address, &length));
  EXPECT_EQ(std::string(address.sun_path).rfind("/proc/self/fd/", 0), 0u);
  const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&address), length), 0);
  IpcFrame init;
  EXPECT_TRUE(ipctest::ReadFrame(fd, &init));
  EXPECT_EQ(init.kind, kIpcFrameInit);
  close(fd);

  CIpcEndpoint tooLong;
  ASSERT_EQ(tooLong.Open(ipcDir, std::string(100, 'n'), false, &why), kIpcOk);
  CIpcUnixAddress tooLongAddress;
  EXPECT_EQ(tooLongAddress.Open(tooLong, &why), kIpcInvalidArgument);
}

}  // namespace
