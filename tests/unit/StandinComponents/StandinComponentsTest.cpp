// The injected-failure list and the state the stand-in components keep. That each listed
// operation fails at start-up is checked end to end, step by step.
#include <gtest/gtest.h>

#include "support/TestSupport.h"
#include "valko/FileSender.h"
#include "valko/ValkoControl.h"

namespace {

using korvex_test::ScopedFailList;

TEST(StandinFailList, NamesWholeOperationsAmongNeighboursAndBlanks) {
  CFileSender* sender = CSingleton<CFileSender>::NewInstance();
  ASSERT_NE(sender, nullptr);
  {
    ScopedFailList fail("CSomething::Init, CFileSender::Init ,Other::Init");
    EXPECT_FALSE(sender->Init());
    EXPECT_FALSE(sender->IsInitialised());
  }
  {
    // A longer name that contains the operation does not count.
    ScopedFailList fail("Other::Init,CFileSender::InitX,CFileSender::NewInstanceX");
    EXPECT_TRUE(sender->Init());
    EXPECT_TRUE(sender->IsInitialised());
  }
  CSingleton<CFileSender>::RemoveInstance();
  {
    ScopedFailList fail("CFileSender::NewInstance");
    EXPECT_EQ(CSingleton<CFileSender>::NewInstance(), nullptr);
    EXPECT_EQ(CSingleton<CFileSender>::GetInstance(), nullptr);
  }
}

TEST(ValkoControl, KeepsTheOwnerOfASuccessfulInitOnly) {
  CValkoControl* control = CSingleton<CValkoControl>::NewInstance();
  ASSERT_NE(control, nullptr);
  EXPECT_TRUE(control->Init("korvexmonitor"));
  {
    ScopedFailList fail("CValkoControl::Init");
    EXPECT_FALSE(control->Init("other"));
  }
  EXPECT_EQ(control->GetOwnerName(), "korvexmonitor");
  CSingleton<CValkoControl>::RemoveInstance();
}

}  // namespace
