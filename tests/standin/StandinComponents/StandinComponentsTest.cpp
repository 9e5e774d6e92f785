// The injected-failure list of the stand-in components. That each listed operation fails at
// start-up is checked end to end, step by step.
#include <gtest/gtest.h>

#include "support/TestSupport.h"
#include "valko/FileSender.h"

namespace {

using korvex_test::ScopedFailList;

TEST(StandinFailList, NamesWholeOperationsAmongNeighboursAndBlanks) {
  CFileSender* sender = CSingleton<CFileSender>::NewInstance();
  ASSERT_NE(sender, nullptr);
  {
    ScopedFailList fail("CSomething::Init, CFileSender::Init ,Other::Init");
    EXPECT_FALSE(sender->Init());
  }
  {
    // A longer name that contains the operation does not count.
    ScopedFailList fail("Other::Init,CFileSender::InitX,CFileSender::NewInstanceX");
    EXPECT_TRUE(sender->Init());
  }
  CSingleton<CFileSender>::RemoveInstance();
  {
    ScopedFailList fail("CFileSender::NewInstance");
    EXPECT_EQ(CSingleton<CFileSender>::NewInstance(), nullptr);
    EXPECT_EQ(CSingleton<CFileSender>::GetInstance(), nullptr);
  }
}

}  // namespace
