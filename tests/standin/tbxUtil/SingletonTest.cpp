#include <gtest/gtest.h>

#include "Singleton.h"

namespace {

class Counted : public CSingleton<Counted> {
 public:
  static int alive;  // instances not yet destroyed
  ~Counted() override { --alive; }

 private:
  friend class CSingleton<Counted>;
  Counted() { ++alive; }
};
int Counted::alive = 0;

TEST(SingletonTest, CountsEveryNewInstanceAndDeletesAtTheLastRemove) {
  EXPECT_EQ(nullptr, Counted::GetInstance());
  Counted::RemoveInstance();  // nothing to remove: no effect
  Counted* first = Counted::NewInstance();
  ASSERT_NE(nullptr, first);
  EXPECT_EQ(first, Counted::NewInstance());
  EXPECT_EQ(first, Counted::GetInstance());
  EXPECT_EQ(1, Counted::alive);
  Counted::RemoveInstance();
  EXPECT_EQ(first, Counted::GetInstance());
  Counted::RemoveInstance();
  EXPECT_EQ(nullptr, Counted::GetInstance());
  EXPECT_EQ(0, Counted::alive);
  Counted::RemoveInstance();  // a further remove does nothing
  EXPECT_EQ(0, Counted::alive);
  Counted* again = Counted::NewInstance();
  EXPECT_NE(nullptr, again);
  Counted::RemoveInstance();
  EXPECT_EQ(nullptr, Counted::GetInstance());
}

}  // namespace
