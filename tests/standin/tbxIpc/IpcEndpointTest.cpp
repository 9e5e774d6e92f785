#include "tbxIpc/IpcEndpoint.h"

#include <gtest/gtest.h>

#include <string>

#include "IpcTestSupport.h"
#include "tbxIpc/IpcServer.h"
#include "tbxIpc/IpcStates.h"

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
  const std::string binDir = ipctest::CanonicalPath(ipctest::BinDir());
  ASSERT_FALSE(binDir.empty());
  EXPECT_EQ(CIpcEndpoint::DefaultDirectory(), binDir + "/ipc");
}

TEST(IpcEndpoint, RefusesNamesThatWouldEscapeTheDirectory) {
  TempDir dir;
  std::string why;
  for (const char* name : {"", ".", ".."}) {
    CIpcEndpoint endpoint;
    EXPECT_EQ(endpoint.Open(dir.path(), name, false, &why), kIpcInvalidArgument) << name;
  }
}

// The directory holds the endpoints (and, on loopback TCP, their tokens): one found open to
// everyone is closed as well.
TEST(IpcEndpoint, ServerMakesItsDirectoryPrivateWhetherMadeOrFound) {
  for (bool found : {false, true}) {
    SCOPED_TRACE(found ? "found" : "made");
    TempDir root;
    const std::string ipcDir = root.path() + "/ipc";
    std::string why;
    if (found) {
      ASSERT_TRUE(ipctest::MakeSharedDir(ipcDir));
      ASSERT_FALSE(ipctest::OnlyTheUserMayAccess(ipcDir, &why));
    }
    CIpcServer server({});
    ASSERT_EQ(server.Start("private", ipcDir), kIpcOk);
    EXPECT_TRUE(ipctest::OnlyTheUserMayAccess(ipcDir, &why)) << why;
    EXPECT_EQ(server.EndpointPath(), ipcDir + "/private");
  }
}

}  // namespace
