#include "KorvexCommon/WallClock.h"

#include <atomic>
#include <ctime>

namespace {

std::atomic<CWallClock::Source> g_testSource{nullptr};  // null: the C runtime's clock

}  // namespace

int64_t CWallClock::NowSeconds() {
  if (const Source source = g_testSource.load()) {
    return source();
  }
  return static_cast<int64_t>(std::time(nullptr));
}

void CWallClock::SetSourceForTesting(Source source) {
  g_testSource.store(source);
}
