#include "valko/ModuleManager.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/FakeTransmit.h"
#include "support/TestSupport.h"
#include "valko/MsgTransmitProxy.h"

namespace {

using korvex_test::FakeTransmit;
using korvex_test::ReadProcessLog;
using korvex_test::TempAppDir;

// The file names the build gives the modules (libecho.so, echo.dll, ...).
const std::string kEcho = std::filesystem::path(ECHO_MODULE).filename().string();
const std::string kProbe = std::filesystem::path(PROBE_MODULE).filename().string();

class ModuleManager : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { korvex_test::OpenProcessLog(); }

  void SetUp() override {
    for (const char* built : {ECHO_MODULE, PROBE_MODULE, NOT_A_MODULE}) {
      std::filesystem::path source(built);
      std::filesystem::create_directories(dir_.File("modules"));
      std::filesystem::copy_file(source, dir_.File("modules/" + source.filename().string()));
    }
    proxy_ = CSingleton<CMsgTransmitProxy>::NewInstance();
    ASSERT_NE(proxy_, nullptr);
    ASSERT_TRUE(proxy_->InitProxy(&transmit_));
    manager_ = CSingleton<CModuleManager>::NewInstance();
    ASSERT_NE(manager_, nullptr);
    manager_->SetConfigPath(dir_.File("conf/monitor_module_config"));
  }
  void TearDown() override {
    CSingleton<CModuleManager>::RemoveInstance();  // unloads what is still loaded
    CSingleton<CMsgTransmitProxy>::RemoveInstance();
  }

  void Configure(const std::string& lines) {
    ASSERT_TRUE(korvex_test::WriteText(dir_.File("conf/monitor_module_config"), lines));
  }
  std::vector<std::string> RegisteredTypes() const {
    std::vector<std::string> types;
    for (const auto& registration : transmit_.handlers()) {
      types.push_back(registration.first);
    }
    return types;
  }
  // Whether the module at `relative` is loaded in this process.
  bool Loaded(const std::string& relative) const {
    void* library = korvex_test::FindLoadedLibrary(dir_.File(relative));
    if (library != nullptr) {
      korvex_test::ReleaseLibrary(library);
    }
    return library != nullptr;
  }

  TempAppDir dir_;
  FakeTransmit transmit_;
  CMsgTransmitProxy* proxy_ = nullptr;
  CModuleManager* manager_ = nullptr;
};

// The modules are loaded at run time and must reach the executable's one proxy, not a copy
// of their own.
TEST_F(ModuleManager, LoadsTheListedModulesWhichAnswerThroughTheExecutablesProxy) {
  Configure("# agent modules\n\n  modules/" + kEcho + "  \nmodules/" + kProbe + "\n");
  ASSERT_TRUE(manager_->LoadModule());
  EXPECT_EQ(RegisteredTypes(), (std::vector<std::string>{"T_MSG_ECHO", "T_MSG_PROBE"}));

  ASSERT_TRUE(transmit_.DispatchProtocol("T_MSG_ECHO", "{\"ping\":1}"));
  std::vector<korvex_test::SentMessage> sent = transmit_.sent();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].type, "T_MSG_ECHO_ACK");
  EXPECT_EQ(sent[0].data, "{\"ping\":1}");
  EXPECT_EQ(sent[0].traceId, "");
  EXPECT_EQ(sent[0].priority, 2);
  EXPECT_FALSE(sent[0].keepFlag);

  void* probe = korvex_test::FindLoadedLibrary(dir_.File("modules/" + kProbe));
  ASSERT_NE(probe, nullptr);
  auto proxyInstance =
      reinterpret_cast<void* (*)()>(korvex_test::LibrarySymbol(probe, "ProbeProxyInstance"));
  auto transmitInstance =
      reinterpret_cast<void* (*)()>(korvex_test::LibrarySymbol(probe, "ProbeTransmitInstance"));
  ASSERT_NE(proxyInstance, nullptr);
  ASSERT_NE(transmitInstance, nullptr);
  EXPECT_EQ(proxyInstance(), CSingleton<CMsgTransmitProxy>::GetInstance());
  EXPECT_EQ(transmitInstance(), static_cast<IMsgTransmitInterface*>(&transmit_));
  korvex_test::ReleaseLibrary(probe);
}

TEST_F(ModuleManager, UnloadsInReverseOrderAfterUninit) {
  Configure("modules/" + kEcho + "\nmodules/" + kProbe + "\n");
  ASSERT_TRUE(manager_->LoadModule());
  EXPECT_TRUE(manager_->UnLoadModule());
  EXPECT_EQ(transmit_.unregistered(), (std::vector<std::string>{"T_MSG_PROBE", "T_MSG_ECHO"}));
  EXPECT_TRUE(transmit_.handlers().empty());
  EXPECT_FALSE(Loaded("modules/" + kEcho));
  EXPECT_FALSE(Loaded("modules/" + kProbe));
  EXPECT_TRUE(manager_->UnLoadModule());  // nothing left: still fine
}

TEST_F(ModuleManager, LoadingTwiceKeepsOneCopyOfEachModule) {
  Configure("modules/" + kEcho + "\n");
  ASSERT_TRUE(manager_->LoadModule());
  ASSERT_TRUE(manager_->LoadModule());
  EXPECT_EQ(RegisteredTypes(), std::vector<std::string>{"T_MSG_ECHO"});
}

TEST_F(ModuleManager, AMissingLibraryFailsWithALogLineNamingIt) {
  Configure("modules/" + kEcho + "\nmodules/absent.so\nmodules/" + kProbe + "\n");
  EXPECT_FALSE(manager_->LoadModule());
  std::string log = ReadProcessLog();
  EXPECT_NE(log.find("load module " + dir_.File("modules/absent.so") + " fail:"), std::string::npos)
      << log;
  EXPECT_NE(log.find(korvex_test::MissingLibraryText()), std::string::npos) << log;
  // The module before it stays loaded; the one after it was not tried.
  EXPECT_EQ(RegisteredTypes(), std::vector<std::string>{"T_MSG_ECHO"});
}

TEST_F(ModuleManager, AFailingInitFailsAndUnloadsThatModule) {
  Configure("modules/" + kProbe + "\n");
  {
    korvex_test::ScopedEnv failing("PROBE_MODULE_INIT_RESULT", "7");
    EXPECT_FALSE(manager_->LoadModule());
  }
  EXPECT_NE(ReadProcessLog().find(kProbe + " init fail: 7"), std::string::npos);
  EXPECT_FALSE(Loaded("modules/" + kProbe));
  EXPECT_TRUE(manager_->LoadModule());  // a later attempt starts afresh
  EXPECT_EQ(RegisteredTypes(), std::vector<std::string>{"T_MSG_PROBE"});
}

TEST_F(ModuleManager, ALibraryWithoutTheEntryPointIsRefused) {
  std::string name = std::filesystem::path(NOT_A_MODULE).filename().string();
  Configure("modules/" + name + "\n");
  EXPECT_FALSE(manager_->LoadModule());
  EXPECT_NE(ReadProcessLog().find(name + " has no KorvexModuleInit"), std::string::npos);
}

TEST_F(ModuleManager, NoConfigurationMeansNoModules) {
  EXPECT_TRUE(manager_->LoadModule());
  EXPECT_TRUE(transmit_.handlers().empty());
}

TEST(MsgTransmitProxy, ReachesNothingUntilInitialisedWithAnInterface) {
  EXPECT_EQ(GetMsgTransmitInstance(), nullptr);  // no proxy yet
  CMsgTransmitProxy* proxy = CSingleton<CMsgTransmitProxy>::NewInstance();
  ASSERT_NE(proxy, nullptr);
  EXPECT_EQ(GetMsgTransmitInstance(), nullptr);
  EXPECT_FALSE(proxy->InitProxy(nullptr));
  EXPECT_EQ(GetMsgTransmitInstance(), nullptr);
  FakeTransmit transmit;
  EXPECT_TRUE(proxy->InitProxy(&transmit));
  EXPECT_EQ(GetMsgTransmitInstance(), &transmit);
  CSingleton<CMsgTransmitProxy>::RemoveInstance();
  EXPECT_EQ(GetMsgTransmitInstance(), nullptr);
}

TEST(MsgTransmitProxy, TheLibraryLeavesTheSingletonToTheExecutable) {
  void* library = korvex_test::FindLoadedLibrary(PROXY_LIBRARY);
  ASSERT_NE(library, nullptr);
  for (const char* symbol : {"_ZN10CSingletonI17CMsgTransmitProxyE11GetInstanceEv",
                             "_ZN10CSingletonI17CMsgTransmitProxyE11m_pInstanceE",
                             "_ZN10CSingletonI17CMsgTransmitProxyE6m_nRefE"}) {
    EXPECT_EQ(korvex_test::LibrarySymbol(library, symbol), nullptr)
        << symbol << " defined by the proxy library";
    EXPECT_EQ(korvex_test::SymbolHome(symbol), korvex_test::OwnProgramPath()) << symbol;
  }
  korvex_test::ReleaseLibrary(library);
}

}  // namespace
