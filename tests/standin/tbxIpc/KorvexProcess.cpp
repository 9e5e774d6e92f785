#include "KorvexProcess.h"

#include <gtest/gtest.h>

#include "support/TestSupport.h"

namespace ipctest {

bool KorvexProcess::WaitForEvent(const std::string& event, Json::Value* found,
                                 const std::string& kind) {
  return korvex_test::WaitUntil([&] {
    const std::vector<std::string> lines = Lines();
    for (; seen_ < lines.size(); ++seen_) {
      Json::Value value;
      EXPECT_TRUE(korvex_test::ParseJson(lines[seen_], &value)) << lines[seen_];
      if (value["event"] == event && (kind.empty() || value["kind"] == kind)) {
        *found = value;
        ++seen_;
        return true;
      }
    }
    return false;
  });
}

std::vector<std::string> KorvexProcess::Lines() const {
  const std::string text = korvex_test::ReadText(output_);
  return korvex_test::SplitLines(text.substr(0, text.empty() ? 0 : text.rfind('\n')));
}

}  // namespace ipctest
