#include "tbx/TimeUtil.h"

#include <atomic>
#include <vector>

#include "LocalTime.h"
#include "StandinSupport.h"
#include "TbxTestSeams.h"

namespace tbx {
namespace {

std::atomic<int64_t> g_frozenSeconds{0};  // non-zero while a test fixes the clock

}  // namespace

CTimeUtil CTimeUtil::GetCurrentDataTime() {
  return CTimeUtil(standin::CurrentSeconds());
}

void CTimeUtil::UpdateDstFlag() {
  LocalTime::ReloadZone();
}

CTimeUtil::CTimeUtil(int64_t secondsSinceEpoch) : seconds_(secondsSinceEpoch) {}

int CTimeUtil::GetYear() const {
  return LocalTime::Of(seconds_).tm_year + 1900;
}
int CTimeUtil::GetMonth() const {
  return LocalTime::Of(seconds_).tm_mon + 1;
}
int CTimeUtil::GetDayOfMonth() const {
  return LocalTime::Of(seconds_).tm_mday;
}
int CTimeUtil::GetHour() const {
  return LocalTime::Of(seconds_).tm_hour;
}
int CTimeUtil::GetMinute() const {
  return LocalTime::Of(seconds_).tm_min;
}
int CTimeUtil::GetSecond() const {
  return LocalTime::Of(seconds_).tm_sec;
}

std::string CTimeUtil::ToString(const std::string& format) const {
  if (format.empty()) {
    return std::string();
  }
  struct tm parts = LocalTime::Of(seconds_);
  // strftime reports 0 both for "too small" and for an empty rendering; a generous bound on
  // the buffer tells the two apart.
  for (size_t size = 128; size <= 64 * format.size() + 1024; size *= 2) {
    std::vector<char> buffer(size);
    size_t length = ::strftime(buffer.data(), buffer.size(), format.c_str(), &parts);
    if (length > 0) {
      return std::string(buffer.data(), length);
    }
  }
  return std::string();
}

}  // namespace tbx

namespace tbx::standin {

int64_t CurrentSeconds() {
  const int64_t frozen = g_frozenSeconds.load();
  return frozen != 0 ? frozen : static_cast<int64_t>(::time(nullptr));
}

}  // namespace tbx::standin

namespace tbx::testing {

void OverrideCurrentSeconds(int64_t secondsSinceEpoch) {
  g_frozenSeconds.store(secondsSinceEpoch);
}

}  // namespace tbx::testing
