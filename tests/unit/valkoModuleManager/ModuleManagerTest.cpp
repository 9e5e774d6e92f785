#include "valko/ModuleManager.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>

#include "support/FakeTransmit.h"
#include "support/TestSupport.h"
#include "valko/MsgTransmitProxy.h"

namespace {

using korvex_test::FakeTransmit;
using korvex_test::ReadProcessLog;
using korvex_test::TempAppDir;

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
  // The handle of a module the manager loaded, or null when it is not loaded.
  void* LoadedHandle(const std::string& relative) const {
    return dlopen(dir_.File(relative).c_str(), RTLD_NOW | RTLD_NOLOAD);
  }

  TempAppDir dir_;
  FakeTransmit transmit_;
  CMsgTransmitProxy* proxy_ = nullptr;
  CModuleManager* manager_ = nullptr;
};

// The modules are loaded at run time and must reach the executable's one proxy, not a copy
// of their own.
TEST_F(ModuleManager, LoadsTheListedModulesWhichAnswerThroughTheExecutablesProxy) {
  Configure("# agent modules\n\n  modules/libecho.so  \nmodules/libprobe_module.so\n");
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

  void* probe = LoadedHandle("modules/libprobe_module.so");
  ASSERT_NE(probe, nullptr);
  auto proxyInstance = reinterpret_cast<void* (*)()>(dlsym(probe, "ProbeProxyInstance"));
  auto transmitInstance = reinterpret_cast<void* (*)()>(dlsym(probe, "ProbeTransmitInstance"));
  ASSERT_NE(proxyInstance, nullptr);
  ASSERT_NE(transmitInstance, nullptr);
  EXPECT_EQ(proxyInstance(), CSingleton<CMsgTransmitProxy>::GetInstance());
  EXPECT_EQ(transmitInstance(), static_cast<IMsgTransmitInterface*>(&transmit_));
  dlclose(probe);
}

TEST_F(ModuleManager, UnloadsInReverseOrderAfterUninit) {
  Configure("modules/libecho.so\nmodules/libprobe_module.so\n");
  ASSERT_TRUE(manager_->LoadModule());
  EXPECT_TRUE(manager_->UnLoadModule());
  EXPECT_EQ(transmit_.unregistered(), (std::vector<std::string>{"T_MSG_PROBE", "T_MSG_ECHO"}));
  EXPECT_TRUE(transmit_.handlers().empty());
  EXPECT_EQ(LoadedHandle("modules/libecho.so"), nullptr);
  EXPECT_EQ(LoadedHandle("modules/libprobe_module.so"), nullptr);
  EXPECT_TRUE(manager_->UnLoadModule());  // nothing left: still fine
}

TEST_F(ModuleManager, LoadingTwiceKeepsOneCopyOfEachModule) {
  Configure("modules/libecho.so\n");
  ASSERT_TRUE(manager_->LoadModule());
  ASSERT_TRUE(manager_->LoadModule());
  EXPECT_EQ(RegisteredTypes(), std::vector<std::string>{"T_MSG_ECHO"});
}

TEST_F(ModuleManager, AMissingLibraryFailsWithALogLineNamingIt) {
  Configure("modules/libecho.so\nmodules/absent.so\nmodules/libprobe_module.so\n");
  EXPECT_FALSE(manager_->LoadModule());
  std::string log = ReadProcessLog();
  EXPECT_NE(log.find("load module " + dir_.File("modules/absent.so") + " fail:"), std::string::npos)
      << log;
  EXPECT_NE(log.find("No such file or directory"), std::string::npos) << log;
  // The module before it stays loaded; the one after it was not tried.
  EXPECT_EQ(RegisteredTypes(), std::vector<std::string>{"T_MSG_ECHO"});
}

TEST_F(ModuleManager, AFailingInitFailsAndUnloadsThatModule) {
  Configure("modules/libprobe_module.so\n");
  {
    korvex_test::ScopedEnv failing("PROBE_MODULE_INIT_RESULT", "7");
    EXPECT_FALSE(manager_->LoadModule());
  }
  EXPECT_NE(ReadProcessLog().find("libprobe_module.so init fail: 7"), std::string::npos);
  EXPECT_EQ(LoadedHandle("modules/libprobe_module.so"), nullptr);
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
  void* library = dlopen("libvalkoMsgTransmitProxy.so", RTLD_NOW | RTLD_NOLOAD);
  ASSERT_NE(library, nullptr);
  for (const char* symbol : {"_ZN10CSingletonI17CMsgTransmitProxyE11GetInstanceEv",
                             "_ZN10CSingletonI17CMsgTransmitProxyE11m_pInstanceE",
                             "_ZN10CSingletonI17CMsgTransmitProxyE6m_nRefE"}) {
    EXPECT_EQ(dlsym(library, symbol), nullptr) << symbol << " defined by the proxy library";
    void* global = dlsym(RTLD_DEFAULT, symbol);
    ASSERT_NE(global, nullptr) << symbol;
    Dl_info where{};
    ASSERT_NE(dladdr(global, &where), 0);
    EXPECT_EQ(std::filesystem::canonical(where.dli_fname),
              std::filesystem::canonical("/proc/self/exe"))
        << symbol;
  }
  dlclose(library);
}

}  // namespace
