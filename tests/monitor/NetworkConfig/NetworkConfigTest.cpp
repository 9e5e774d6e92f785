// Reading the default server domains from <D>/conf/network_config.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "NetworkConfig.h"
#include "support/TestSupport.h"
#include "valko/ValkoCommon.h"
#include "valkoCommon/ValkoCommonTestSeams.h"

namespace {

using korvex_test::CountOccurrences;
using korvex_test::ReadProcessLog;
using korvex_test::WriteText;
using Domains = std::vector<std::string>;

const char kLoadFailure[] = "readConfig NetWorkConfigFilePath Fail";

class NetworkConfigTest : public ::testing::Test {
 protected:
  void SetUp() override {
    korvex_test::OpenProcessLog();
    domains_ = CSingleton<CGlobalDomainConfig>::NewInstance();
    ASSERT_NE(domains_, nullptr);
    // Domains accepted earlier, so a refused or skipped hand-over is visible.
    ASSERT_TRUE(domains_->SetDefaultSrvDomain({"old-first"}, {"old.example"}));
  }
  void TearDown() override {
    while (CSingleton<CGlobalDomainConfig>::GetInstance() != nullptr) {
      CSingleton<CGlobalDomainConfig>::RemoveInstance();
    }
  }

  void WriteConfig(const std::string& content) { ASSERT_TRUE(WriteText(ConfigPath(), content)); }
  std::string ConfigPath() const { return dir_.File("conf/network_config"); }

  Domains First() const {
    Domains first, second;
    valko::testing::GetDefaultSrvDomain(first, second);
    return first;
  }
  Domains Second() const {
    Domains first, second;
    valko::testing::GetDefaultSrvDomain(first, second);
    return second;
  }
  size_t LoadFailuresLogged() const { return CountOccurrences(ReadProcessLog(), kLoadFailure); }

  korvex_test::TempDir dir_;
  korvex_test::ScopedApplicationDir appDir_{dir_.path()};
  CGlobalDomainConfig* domains_ = nullptr;
};

// A refused or failed load leaves the domains accepted earlier ("old.example"). Only a file
// that exists but cannot be read logs a load failure.
TEST_F(NetworkConfigTest, HandsOverTheUnnamedSectionsPiecesInFileOrder) {
  struct Case {
    const char* name;
    const char* content;  // nullptr: no file; "/": a directory in its place
    bool loaded;
    Domains second;
  };
  const Case cases[] = {
      {"InFileOrder", "h_srv_domain=b.example|a.example\n", true, {"b.example", "a.example"}},
      {"UntrimmedWithEmptyPieces",
       "h_srv_domain = a.example | b.example||c.example|\n",
       true,
       {"a.example ", " b.example", "", "c.example", ""}},
      {"OnlyTheUnnamedSection",
       "h_srv_domain=top.example\n[other]\nh_srv_domain=below.example\n",
       true,
       {"top.example"}},
      {"CommentsSkipped",
       "# h_srv_domain=hash.example\n; h_srv_domain=semicolon.example\nh_srv_domain=real.example\n",
       true,
       {"real.example"}},
      // The empty value of a missing key is handed over, and the domain configuration refuses it.
      {"KeyBelowASection", "[servers]\nh_srv_domain=below.example\n", false, {"old.example"}},
      {"KeyOnlyInComments",
       "# h_srv_domain=hash.example\n; h_srv_domain=x.example\n",
       false,
       {"old.example"}},
      {"MissingKey", "other_key=x.example\n", false, {"old.example"}},
      {"MissingFile", nullptr, false, {"old.example"}},
      {"DirectoryInsteadOfTheFile", "/", false, {"old.example"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove_all(ConfigPath());
    ASSERT_TRUE(domains_->SetDefaultSrvDomain({"old-first"}, {"old.example"}));
    if (c.content != nullptr && std::string(c.content) == "/") {
      std::filesystem::create_directories(ConfigPath());
    } else if (c.content != nullptr) {
      WriteConfig(c.content);
    }
    const size_t failures = LoadFailuresLogged();
    EXPECT_EQ(LoadNetworkConfig(), c.loaded);
    EXPECT_EQ(Second(), c.second);
    EXPECT_EQ(First(), c.loaded ? Domains{} : Domains{"old-first"});
    EXPECT_EQ(LoadFailuresLogged(), failures);
  }
}

// Root reads every file whatever its mode, so as root the load runs in a child that has
// given up its privileges.
TEST_F(NetworkConfigTest, AnUnreadableFileFailsAndIsLogged) {
  WriteConfig("h_srv_domain=secret.example\n");
  korvex_test::ScopedUnreadable unreadable(ConfigPath());
  ASSERT_TRUE(unreadable.made());
  const size_t before = LoadFailuresLogged();

  if (unreadable.KeepsThisProcessOut()) {
    EXPECT_FALSE(LoadNetworkConfig());
  } else {
    namespace fs = std::filesystem;
    for (const std::string& dir : {dir_.path(), dir_.File("conf")}) {
      fs::permissions(dir, fs::perms::others_read | fs::perms::others_exec, fs::perm_options::add);
    }
    korvex_test::ChildResult child = korvex_test::RunInChild([] {
      if (!korvex_test::DropPrivileges()) {
        std::_Exit(77);
      }
      std::_Exit(LoadNetworkConfig() ? 1 : 0);
    });
    if (child.exited && child.exitCode == 77) {
      GTEST_SKIP() << "cannot drop privileges here";
    }
    ASSERT_TRUE(child.exited);
    EXPECT_EQ(child.exitCode, 0) << "the unreadable file was loaded";
  }
  EXPECT_EQ(LoadFailuresLogged(), before + 1);
  EXPECT_EQ(Second(), Domains{"old.example"});
}

TEST_F(NetworkConfigTest, WithoutTheDomainConfigurationItFailsAndLogs) {
  WriteConfig("h_srv_domain=a.example\n");
  TearDown();
  const std::string missing = "global domain config not created";
  const size_t before = CountOccurrences(ReadProcessLog(), missing);
  EXPECT_FALSE(LoadNetworkConfig());
  EXPECT_EQ(CountOccurrences(ReadProcessLog(), missing), before + 1);
}

}  // namespace
