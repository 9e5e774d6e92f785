#include "StandinSupport.h"

#include <atomic>
#include <cmath>
#include <cstdlib>

#include "TbxTestSeams.h"
#include "tbx/StringUtil.h"

namespace tbx::standin {
namespace {

std::atomic<double> g_scaleOverride{0.0};  // > 0 while a test overrides TBX_TIME_SCALE

double ScaleFromEnvironment() {
  const char* text = std::getenv("TBX_TIME_SCALE");
  if (text == nullptr || *text == '\0') {
    return 1.0;
  }
  char* end = nullptr;
  double factor = std::strtod(text, &end);
  if (end == text || *end != '\0' || !std::isfinite(factor) || factor <= 0.0) {
    return 1.0;
  }
  return factor;
}

}  // namespace

bool ShouldFail(const std::string& operation) {
  const char* list = std::getenv("TBX_STANDIN_FAIL");
  if (list == nullptr || operation.empty()) {
    return false;
  }
  for (const std::string& item : CStringUtil::stringSplit(list, ",", true)) {
    if (CStringUtil::stringTrimmed(item) == operation) {
      return true;
    }
  }
  return false;
}

double TimeScale() {
  double overridden = g_scaleOverride.load();
  if (overridden > 0.0) {
    return overridden;
  }
  static const double fromEnvironment = ScaleFromEnvironment();
  return fromEnvironment;
}

uint64_t ScaleMilliseconds(uint64_t milliseconds) {
  if (milliseconds == 0) {
    return 0;
  }
  constexpr double kLongest = 1e15;  // about 31000 years; keeps the rounding in range
  double scaled = static_cast<double>(milliseconds) * TimeScale();
  if (scaled > kLongest) {
    return static_cast<uint64_t>(kLongest);
  }
  long long rounded = std::llround(scaled);
  return rounded < 1 ? 1 : static_cast<uint64_t>(rounded);
}

}  // namespace tbx::standin

namespace tbx::testing {

void OverrideTimeScale(double factor) {
  standin::g_scaleOverride.store(factor > 0.0 ? factor : 0.0);
}

}  // namespace tbx::testing
