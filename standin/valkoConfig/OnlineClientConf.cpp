#include <atomic>
#include <chrono>
#include <cmath>
#include <limits>
#include <mutex>

#include "ConfigTestSeams.h"
#include "tbx/ToolUtil.h"
#include "valko/Config.h"
#include "valkoCommon/KeyValueFile.h"
#include "valkoCommon/SingletonHome.h"
#include "valkoCommon/StandinFailure.h"

VALKO_SINGLETON_HOME(COnlineClientConf)

namespace {

constexpr int64_t kRereadIntervalMs = 1000;  // the file is read at most this often
constexpr int64_t kNeverRead = std::numeric_limits<int64_t>::min();

// The ratio in force, shared by every pushing thread. The fast path reads two atomics; one
// thread at a time re-reads the file once the cached value is older than kRereadIntervalMs.
struct RatioCache {
  std::atomic<double> ratio{1.0};
  std::atomic<int64_t> readAtMs{kNeverRead};  // steady clock of the last read
  std::atomic<bool> overridden{false};
  std::atomic<double> overrideRatio{1.0};
  std::mutex rereadMutex;  // one reader of the file at a time
};

RatioCache& Cache() {
  static RatioCache cache;
  return cache;
}

int64_t SteadyMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// queue_size_ratio from the file; 1 when the file is unreadable or the value is absent or
// malformed.
double ReadRatioFromFile() {
  valko::standin::CKeyValueFile file;
  double ratio = 1.0;
  if (!file.Load(tbx::CToolUtil::GetApplicationDirPath() + "/conf/online_client_conf") ||
      !file.GetDecimal("queue_size_ratio", ratio)) {
    return 1.0;
  }
  return ratio;
}

double CurrentRatio() {
  RatioCache& cache = Cache();
  if (cache.overridden.load(std::memory_order_acquire)) {
    return cache.overrideRatio.load(std::memory_order_relaxed);
  }
  int64_t now = SteadyMs();
  int64_t readAt = cache.readAtMs.load(std::memory_order_acquire);
  if (readAt != kNeverRead && now - readAt < kRereadIntervalMs) {
    return cache.ratio.load(std::memory_order_relaxed);
  }
  std::lock_guard<std::mutex> hold(cache.rereadMutex);
  // Another thread may have re-read while this one waited.
  readAt = cache.readAtMs.load(std::memory_order_acquire);
  if (readAt == kNeverRead || now - readAt >= kRereadIntervalMs) {
    cache.ratio.store(ReadRatioFromFile(), std::memory_order_relaxed);
    cache.readAtMs.store(SteadyMs(), std::memory_order_release);
  }
  return cache.ratio.load(std::memory_order_relaxed);
}

}  // namespace

VALKO_STANDIN_CREATION(COnlineClientConf)

int64_t COnlineClientConf::CalcMaxCountWithQueueSizeRatio(int64_t base) {
  double product = static_cast<double>(base) * CurrentRatio();
  // A ratio such as 5 / 3000.0 times 3000 lands a hair below 5 in binary arithmetic; the
  // allowance keeps the intended whole number from being rounded down past it.
  double limit = std::floor(product + 1e-6);
  constexpr double kLargest = 9.2e18;  // just below the largest signed 64-bit value
  if (limit >= kLargest) {
    return std::numeric_limits<int64_t>::max();
  }
  if (limit <= -kLargest) {
    return std::numeric_limits<int64_t>::min();
  }
  return static_cast<int64_t>(limit);
}

namespace valko::testing {

void OverrideQueueSizeRatio(double ratio) {
  RatioCache& cache = Cache();
  cache.overrideRatio.store(ratio >= 0.0 && std::isfinite(ratio) ? ratio : 1.0);
  cache.overridden.store(true, std::memory_order_release);
}

void ClearQueueSizeRatioOverride() {
  RatioCache& cache = Cache();
  cache.overridden.store(false, std::memory_order_release);
  // The next call reads the file again, so a test sees a file it has just written.
  cache.readAtMs.store(kNeverRead, std::memory_order_release);
}

}  // namespace valko::testing
