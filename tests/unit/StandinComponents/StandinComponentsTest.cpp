// The components that keep their state and succeed, and the failures TBX_STANDIN_FAIL injects
// into them and into the creation of the other stand-in singletons.
#include <gtest/gtest.h>

#include "unit/StandinTestSupport/StandinTestSupport.h"
#include "valko/Config.h"
#include "valko/FileQuara.h"
#include "valko/FileSender.h"
#include "valko/FileWatch.h"
#include "valko/ModuleManager.h"
#include "valko/Monitor.h"
#include "valko/ProcMng.h"
#include "valko/ValkoControl.h"
#include "valko/WhiteList.h"

namespace {

using standin_test::ScopedFailList;

template <class T>
struct Named;
template <>
struct Named<CFileSender> {
  static constexpr const char* kName = "CFileSender";
};
template <>
struct Named<CWhiteList> {
  static constexpr const char* kName = "CWhiteList";
};
template <>
struct Named<CFileQuara> {
  static constexpr const char* kName = "CFileQuara";
};
template <>
struct Named<CFileWatch> {
  static constexpr const char* kName = "CFileWatch";
};

template <class T>
class InitialisedComponent : public ::testing::Test {
 protected:
  void TearDown() override { CSingleton<T>::RemoveInstance(); }
  static std::string Operation(const char* what) {
    return std::string(Named<T>::kName) + "::" + what;
  }
};

using Components = ::testing::Types<CFileSender, CWhiteList, CFileQuara, CFileWatch>;
TYPED_TEST_SUITE(InitialisedComponent, Components);

TYPED_TEST(InitialisedComponent, InitFailsOnlyForItsOwnListedName) {
  TypeParam* component = CSingleton<TypeParam>::NewInstance();
  ASSERT_NE(component, nullptr);
  {
    ScopedFailList fail("CSomething::Init, " + this->Operation("Init") + " ,Other::Init");
    EXPECT_FALSE(component->Init());
    EXPECT_FALSE(component->IsInitialised());
  }
  // Neighbours in the list, and a longer name containing this one, do not count.
  ScopedFailList fail("Other::Init," + this->Operation("Init") + "X");
  EXPECT_TRUE(component->Init());
  EXPECT_TRUE(component->IsInitialised());
}

TYPED_TEST(InitialisedComponent, CreationFailsWhenListed) {
  {
    ScopedFailList fail(this->Operation("NewInstance"));
    EXPECT_EQ(CSingleton<TypeParam>::NewInstance(), nullptr);
    EXPECT_EQ(CSingleton<TypeParam>::GetInstance(), nullptr);
  }
  EXPECT_NE(CSingleton<TypeParam>::NewInstance(), nullptr);
}

// Each of these creations is fatal at start-up; a listed name makes NewInstance yield null.
TEST(StandinCreation, EveryListedSingletonFailsItsCreation) {
  ScopedFailList fail(
      "CConfig::NewInstance,COnlineClientConf::NewInstance,CMonitor::NewInstance,"
      "CValkoControl::NewInstance,CModuleManager::NewInstance");
  EXPECT_EQ(CSingleton<CConfig>::NewInstance(), nullptr);
  EXPECT_EQ(CSingleton<COnlineClientConf>::NewInstance(), nullptr);
  EXPECT_EQ(CSingleton<CMonitor>::NewInstance(), nullptr);
  EXPECT_EQ(CSingleton<CValkoControl>::NewInstance(), nullptr);
  EXPECT_EQ(CSingleton<CModuleManager>::NewInstance(), nullptr);
}

TEST(ValkoControl, KeepsTheOwnerOfASuccessfulInitOnly) {
  CValkoControl* control = CSingleton<CValkoControl>::NewInstance();
  ASSERT_NE(control, nullptr);
  EXPECT_TRUE(control->Init("korvexmonitor"));
  EXPECT_EQ(control->GetOwnerName(), "korvexmonitor");
  {
    ScopedFailList fail("CValkoControl::Init");
    EXPECT_FALSE(control->Init("other"));
  }
  EXPECT_EQ(control->GetOwnerName(), "korvexmonitor");
  CSingleton<CValkoControl>::RemoveInstance();
}

TEST(ProcMng, InitFailsWhenListedAndIsRememberedOtherwise) {
  {
    ScopedFailList fail("CProcMng::Init");
    EXPECT_FALSE(CProcMng::Init());
    EXPECT_FALSE(CProcMng::IsInitialised());
  }
  EXPECT_TRUE(CProcMng::Init());
  EXPECT_TRUE(CProcMng::IsInitialised());
}

TEST(StartMonitor, FailsWhenListed) {
  class NoEvents : public IResourceMonitorEvent {
    void OnCpuMax(int64_t, int64_t) override {}
    void OnMemoryMax(int32_t) override {}
    void OnHighIO(IoRecord) override {}
    void OnMaxFd(int32_t) override {}
    void OnThreadHang(const std::string&) override {}
  } events;
  CMonitor* monitor = CSingleton<CMonitor>::NewInstance();
  ASSERT_NE(monitor, nullptr);
  {
    ScopedFailList fail("CMonitor::StartMonitor");
    EXPECT_FALSE(monitor->StartMonitor(&events, "korvexmonitor"));
  }
  EXPECT_TRUE(monitor->StartMonitor(&events, "korvexmonitor"));
  CSingleton<CMonitor>::RemoveInstance();  // stops it
}

}  // namespace
