#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <thread>

#include "support/TestSupport.h"
#include "tbx/ThreadUtil.h"
#include "valko/ValkoCommon.h"
#include "valkoCommon/HttpService.h"
#include "valkoCommon/ValkoCommonTestSeams.h"

namespace {

using korvex_test::TempAppDir;
using korvex_test::WriteText;

TEST(InitValkoCommon, KeepsTheRootAbsoluteNormalisedWithoutFinalSeparator) {
  ASSERT_TRUE(tbx::InitValkoCommon("/opt/valko/bin/../"));
  ASSERT_NE(CSingleton<tbx::CValkoPathInfo>::GetInstance(), nullptr);
  EXPECT_EQ(CSingleton<tbx::CValkoPathInfo>::GetInstance()->GetValkoRootPath(),
            korvex_test::SystemPath("/opt/valko"));

  ASSERT_TRUE(tbx::InitValkoCommon("relative/root"));
  std::string cwd = std::filesystem::current_path().string();
  EXPECT_EQ(CSingleton<tbx::CValkoPathInfo>::GetInstance()->GetValkoRootPath(),
            korvex_test::SystemPath(cwd + "/relative/root"));

  ASSERT_TRUE(tbx::InitValkoCommon("/"));
  EXPECT_EQ(CSingleton<tbx::CValkoPathInfo>::GetInstance()->GetValkoRootPath(),
            korvex_test::SystemPath("/"));
}

TEST(InitValkoCommon, AnEmptyRootFailsButTheInstancesExistForTheDomainLoader) {
  EXPECT_FALSE(tbx::InitValkoCommon(""));
  EXPECT_NE(CSingleton<tbx::CValkoPathInfo>::GetInstance(), nullptr);
  EXPECT_NE(CSingleton<CGlobalDomainConfig>::GetInstance(), nullptr);
}

class GlobalDomains : public ::testing::Test {
 protected:
  void SetUp() override {
    tbx::InitValkoCommon("/opt/valko");
    config_ = CSingleton<CGlobalDomainConfig>::GetInstance();
    ASSERT_NE(config_, nullptr);
  }
  CGlobalDomainConfig* config_ = nullptr;
};

TEST_F(GlobalDomains, ReadersNeverSeeAHalfWrittenPair) {
  ASSERT_TRUE(config_->SetDefaultSrvDomain({"0"}, {"0"}));
  std::atomic<bool> stop{false};
  std::atomic<int> torn{0};
  std::thread reader([&] {
    while (!stop) {
      std::vector<std::string> first;
      std::vector<std::string> second;
      valko::testing::GetDefaultSrvDomain(first, second);
      if (first.size() != 1 || second.size() != 1 || first[0] != second[0]) {
        ++torn;
      }
    }
  });
  for (int i = 0; i < 20000; ++i) {
    std::string value = std::to_string(i);
    config_->SetDefaultSrvDomain({value}, {value});
  }
  stop = true;
  reader.join();
  EXPECT_EQ(torn.load(), 0);
}

TEST(ValkoStack, DescribesEveryThreadOfTheOwnProcessWithItsName) {
  std::mutex mutex;
  std::condition_variable changed;
  bool named = false;
  bool release = false;
  uint64_t workerId = 0;
  std::thread worker([&] {
    tbx::CThreadUtil::SetThreadName("stack_probe");
    std::unique_lock<std::mutex> hold(mutex);
    workerId = tbx::CThreadUtil::GetCurrentThreadId();
    named = true;
    changed.notify_all();
    changed.wait(hold, [&] { return release; });
  });
  {
    std::unique_lock<std::mutex> hold(mutex);
    changed.wait(hold, [&] { return named; });
  }
  const uint64_t ownThread = tbx::CThreadUtil::GetCurrentThreadId();
  std::string stack = tbx::CValkoStack::GetValkoStack(korvex_test::CurrentProcessId());
  {
    std::lock_guard<std::mutex> hold(mutex);
    release = true;
  }
  changed.notify_all();
  worker.join();

  EXPECT_NE(stack.find("thread " + std::to_string(ownThread) + " "), std::string::npos) << stack;
  EXPECT_NE(stack.find("thread " + std::to_string(workerId) + " name=stack_probe "),
            std::string::npos)
      << stack;
  EXPECT_GE(std::count(stack.begin(), stack.end(), '\n'), 2);
}

TEST(ValkoStack, AnotherProcessHasNoStackText) {
  EXPECT_EQ(tbx::CValkoStack::GetValkoStack(korvex_test::CurrentProcessId() + 1), "");
  EXPECT_EQ(tbx::CValkoStack::GetValkoStack(-1), "");
}

TEST(HttpInstance, KeepsTheCertificatePathAndSaysWhetherTheFileIsThere) {
  TempAppDir dir;
  IHttpInstance* http = GetHttpInstance();
  ASSERT_NE(http, nullptr);
  EXPECT_EQ(http, GetHttpInstance());
  auto* service = dynamic_cast<valko::standin::CHttpService*>(http);
  ASSERT_NE(service, nullptr);

  EXPECT_FALSE(http->SetCertFilePath(dir.File("rule/valko.crt")));
  EXPECT_EQ(service->GetCertFilePath(), dir.File("rule/valko.crt"));
  ASSERT_TRUE(WriteText(dir.File("rule/valko.crt"), "certificate"));
  EXPECT_TRUE(http->SetCertFilePath(dir.File("rule/valko.crt")));
  EXPECT_FALSE(http->SetCertFilePath(dir.File("rule")));  // a directory is no certificate
}

}  // namespace
