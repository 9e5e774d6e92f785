#include "tbxIpc/IpcEndpoint.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <string>

#include "IpcTestSupport.h"
#include "tbxIpc/IpcServer.h"
#include "tbxIpc/IpcStates.h"
#include "tbxIpc/posix/IpcUnixAddress.h"

namespace {

using ipctest::ScopedIpcDir;
using ipctest::TempDir;

TEST(IpcEndpoint, SanitizesEveryByteOutsideTheNameSet) {
  EXPECT_EQ(CIpcEndpoint::SanitizeName("Valko-<Guid(3F7B19C4-52E0-4D8A-B6C1-90A4E27D5B13)>"),
            "Valko-_Guid_3F7B19C4-52E0-4D8A-B6C1-90A4E27D5B13__");
  EXPECT_EQ(CIpcEndpoint::SanitizeName("Valko_Guid_3F7B19C4-52E0-4D8A-B6C1-90A4E27D5B13"),
            "Valko_Guid_3F7B19C4-52E0-4D8A-B6C1-90A4E27D5B13");
  EXPECT_EQ(CIpcEndpoint::SanitizeName(std::string("a/b c\x00\xff.z", 9)), "a_b_c__.z");
}

TEST(IpcEndpoint, DirectoryIsTheOverrideOrIpcBesideTheLibrary) {
  {
    ScopedIpcDir dir;
    EXPECT_EQ(CIpcEndpoint::DefaultDirectory(), dir.ipcDir());
  }
  char resolved[PATH_MAX];
  ASSERT_NE(realpath(ipctest::BinDir().c_str(), resolved), nullptr);
  EXPECT_EQ(CIpcEndpoint::DefaultDirectory(), std::string(resolved) + "/ipc");
}

TEST(IpcEndpoint, RefusesNamesThatWouldEscapeTheDirectory) {
  TempDir dir;
  std::string why;
  for (const char* name : {"", ".", ".."}) {
    CIpcEndpoint endpoint;
    EXPECT_EQ(endpoint.Open(dir.path(), name, false, &why), kIpcInvalidArgument) << name;
  }
}

TEST(IpcEndpoint, ServerMakesItsDirectoryPrivate) {
  TempDir root;
  const std::string ipcDir = root.path() + "/ipc";
  CIpcServer server({});
  ASSERT_EQ(server.Start("private", ipcDir), kIpcOk);
  struct stat info = {};
  ASSERT_EQ(stat(ipcDir.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  EXPECT_EQ(server.EndpointPath(), ipcDir + "/private");
}

TEST(IpcEndpoint, LongDirectoriesAreReachedThroughAnAliasNeverATruncation) {
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
