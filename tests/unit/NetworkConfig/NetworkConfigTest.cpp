// Reading the default server domains from <D>/conf/network_config.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "NetworkConfig.h"
#include "unit/KorvexCommonSupport/TestSupport.h"
#include "valko/ValkoCommon.h"

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
    domains_->GetDefaultSrvDomain(first, second);
    return first;
  }
  Domains Second() const {
    Domains first, second;
    domains_->GetDefaultSrvDomain(first, second);
    return second;
  }
  size_t LoadFailuresLogged() const { return CountOccurrences(ReadProcessLog(), kLoadFailure); }

  korvex_test::TempDir dir_;
  korvex_test::ScopedApplicationDir appDir_{dir_.path()};
  CGlobalDomainConfig* domains_ = nullptr;
};

TEST_F(NetworkConfigTest, HandsOverTheDomainsInFileOrderWithAnEmptyFirstList) {
  WriteConfig("h_srv_domain=b.example|a.example\n");
  EXPECT_TRUE(LoadNetworkConfig());
  EXPECT_EQ(First(), Domains{});
  EXPECT_EQ(Second(), (Domains{"b.example", "a.example"}));
}

TEST_F(NetworkConfigTest, PiecesAreHandedOverUntrimmedWithEmptyPiecesKept) {
  WriteConfig("h_srv_domain = a.example | b.example||c.example|\n");
  EXPECT_TRUE(LoadNetworkConfig());
  EXPECT_EQ(Second(), (Domains{"a.example ", " b.example", "", "c.example", ""}));
}

TEST_F(NetworkConfigTest, OnlyTheUnnamedSectionIsRead) {
  WriteConfig("h_srv_domain=top.example\n[other]\nh_srv_domain=below.example\n");
  EXPECT_TRUE(LoadNetworkConfig());
  EXPECT_EQ(Second(), Domains{"top.example"});
}

TEST_F(NetworkConfigTest, AKeyBelowASectionHeaderIsNotSeen) {
  WriteConfig("[servers]\nh_srv_domain=below.example\n");
  // The empty value is handed over, and the domain configuration refuses it.
  EXPECT_FALSE(LoadNetworkConfig());
  EXPECT_EQ(Second(), Domains{"old.example"});
}

TEST_F(NetworkConfigTest, CommentLinesHaveNoEffect) {
  WriteConfig(
      "# h_srv_domain=hash.example\n; h_srv_domain=semicolon.example\n"
      "h_srv_domain=real.example\n");
  EXPECT_TRUE(LoadNetworkConfig());
  EXPECT_EQ(Second(), Domains{"real.example"});

  WriteConfig("# h_srv_domain=hash.example\n; h_srv_domain=semicolon.example\n");
  EXPECT_FALSE(LoadNetworkConfig());
  EXPECT_EQ(Second(), Domains{"real.example"});
}

TEST_F(NetworkConfigTest, AMissingKeyHandsOverTheEmptyValue) {
  WriteConfig("other_key=x.example\n");
  const size_t before = LoadFailuresLogged();
  EXPECT_FALSE(LoadNetworkConfig());  // refused by the domain configuration, not a load failure
  EXPECT_EQ(Second(), Domains{"old.example"});
  EXPECT_EQ(LoadFailuresLogged(), before);
}

TEST_F(NetworkConfigTest, AMissingFileFailsWithoutALogLine) {
  const size_t before = LoadFailuresLogged();
  EXPECT_FALSE(LoadNetworkConfig());
  EXPECT_EQ(LoadFailuresLogged(), before);
  EXPECT_EQ(Second(), Domains{"old.example"});
}

TEST_F(NetworkConfigTest, ADirectoryInPlaceOfTheFileIsAMissingFile) {
  std::filesystem::create_directories(ConfigPath());
  const size_t before = LoadFailuresLogged();
  EXPECT_FALSE(LoadNetworkConfig());
  EXPECT_EQ(LoadFailuresLogged(), before);
}

// Root reads every file whatever its mode, so as root the load runs in a child that has
// given up its privileges.
TEST_F(NetworkConfigTest, AnUnreadableFileFailsAndIsLogged) {
  WriteConfig("h_srv_domain=secret.example\n");
  ASSERT_EQ(::chmod(ConfigPath().c_str(), 0), 0);
  const size_t before = LoadFailuresLogged();

  if (::geteuid() != 0) {
    EXPECT_FALSE(LoadNetworkConfig());
  } else {
    ::chmod(dir_.path().c_str(), 0755);
    ::chmod(dir_.File("conf").c_str(), 0755);
    korvex_test::ChildResult child = korvex_test::RunInChild([] {
      if (::setgid(65534) != 0 || ::setuid(65534) != 0) {
        ::_exit(77);
      }
      ::_exit(LoadNetworkConfig() ? 1 : 0);
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
