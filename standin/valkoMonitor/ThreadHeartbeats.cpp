#include "ThreadHeartbeats.h"

#include <sstream>

#include "tbxUtil/StandinSupport.h"

namespace valko::standin {
namespace {

int64_t SecondsBetween(CThreadHeartbeats::Clock::time_point from,
                       CThreadHeartbeats::Clock::time_point to) {
  return std::chrono::duration_cast<std::chrono::seconds>(to - from).count();
}

}  // namespace

void CThreadHeartbeats::Report(uint32_t threadId, const std::string& name, uint32_t timeoutSeconds,
                               Clock::time_point now) {
  if (timeoutSeconds == 0) {
    threads_.erase(threadId);
    return;
  }
  Entry& entry = threads_[threadId];
  entry.name = name;
  entry.timeoutSeconds = timeoutSeconds;
  entry.lastReport = now;
  entry.announced = false;
}

std::vector<std::string> CThreadHeartbeats::TakeNewHangs(Clock::time_point now) {
  std::vector<std::string> hangs;
  for (auto& [id, entry] : threads_) {
    auto timeout = std::chrono::milliseconds(
        tbx::standin::ScaleMilliseconds(uint64_t{entry.timeoutSeconds} * 1000));
    if (entry.announced || now - entry.lastReport <= timeout) {
      continue;
    }
    entry.announced = true;
    std::ostringstream text;
    text << "thread " << entry.name << " (id " << id << ") has not reported for "
         << SecondsBetween(entry.lastReport, now) << " s (timeout " << entry.timeoutSeconds
         << " s)";
    hangs.push_back(text.str());
  }
  return hangs;
}

std::string CThreadHeartbeats::Describe(Clock::time_point now, uint32_t& count) const {
  std::ostringstream text;
  for (const auto& [id, entry] : threads_) {
    text << "thread " << id << " " << entry.name << " last report "
         << SecondsBetween(entry.lastReport, now) << " s ago, timeout " << entry.timeoutSeconds
         << " s\n";
  }
  count = static_cast<uint32_t>(threads_.size());
  return text.str();
}

}  // namespace valko::standin
