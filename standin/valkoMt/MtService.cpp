#include "MtService.h"

#include <json/json.h>

#include <chrono>
#include <system_error>

#include "tbx/LogMessage.h"
#include "tbx/ThreadUtil.h"
#include "tbxUtil/StandinSupport.h"

namespace valko::standin {
namespace {

const char kSource[] = "valkoMt/MtService";
const char kReportType[] = "T_MSG_MT_INFO";

}  // namespace

CMtService& CMtService::Instance() {
  // Never destroyed: at process exit Windows has already ended the report thread (possibly
  // holding mutex_) when the DLL's static destructors run, and a destructor joining it would
  // hang the exit. The process's end reclaims it on every system.
  static CMtService* const service = new CMtService();
  return *service;
}

CMtService::~CMtService() {
  Stop();
}

bool CMtService::Init() {
  if (tbx::standin::ShouldFail("CMtIntf::Init")) {
    return false;
  }
  std::lock_guard<std::mutex> hold(mutex_);
  initialised_ = true;
  return true;
}

bool CMtService::Start(IMsgTransmitInterface* transmit, const std::string& ownerName) {
  if (transmit == nullptr || tbx::standin::ShouldFail("CMtIntf::Start")) {
    return false;
  }
  std::lock_guard<std::mutex> hold(mutex_);
  if (!initialised_ || thread_.joinable()) {
    return false;
  }
  transmit_ = transmit;
  owner_ = ownerName;
  stopRequested_ = false;
  try {
    thread_ = std::thread([this] { ReportLoop(); });
  } catch (const std::system_error&) {
    return false;
  }
  threadId_ = thread_.get_id();
  return true;
}

void CMtService::Stop() {
  std::thread running;
  {
    std::lock_guard<std::mutex> hold(mutex_);
    stopRequested_ = true;
    if (!thread_.joinable() || threadId_ == std::this_thread::get_id()) {
      return;
    }
    running = std::move(thread_);
  }
  wake_.notify_all();
  running.join();
  std::lock_guard<std::mutex> hold(mutex_);
  if (!thread_.joinable()) {
    threadId_ = std::thread::id();  // ids of ended threads are reused
  }
}

bool CMtService::AddSource(IMtInfo* info) {
  if (info == nullptr) {
    return false;
  }
  std::lock_guard<std::mutex> hold(mutex_);
  for (IMtInfo* known : sources_) {
    if (known == info) {
      return false;
    }
  }
  sources_.push_back(info);
  return true;
}

bool CMtService::RemoveSource(IMtInfo* info) {
  std::unique_lock<std::mutex> hold(mutex_);
  bool found = false;
  for (auto it = sources_.begin(); it != sources_.end(); ++it) {
    if (*it == info) {
      sources_.erase(it);
      found = true;
      break;
    }
  }
  // The caller may destroy the source once this returns; a round asking it must end first.
  if (threadId_ != std::this_thread::get_id()) {
    sourcesIdle_.wait(hold, [this] { return askingSources_ == 0; });
  }
  return found;
}

uint64_t CMtService::AddCounter(const std::string& name, uint64_t amount, bool report,
                                bool accumulate) {
  std::lock_guard<std::mutex> hold(mutex_);
  Counter& counter = counters_[name];
  counter.total = accumulate ? counter.total + amount : amount;
  counter.reported = report;
  return counter.total;
}

std::string CMtService::BuildReport() {
  std::map<std::string, std::string> items;
  std::vector<IMtInfo*> sources;
  std::string owner;
  {
    std::lock_guard<std::mutex> hold(mutex_);
    for (const auto& [name, counter] : counters_) {
      if (counter.reported) {
        items[name] = std::to_string(counter.total);
      }
    }
    sources = sources_;
    owner = owner_;
    ++askingSources_;
  }
  for (IMtInfo* source : sources) {
    std::map<std::string, std::string> info;
    if (source->GetMtInfo(info)) {
      for (auto& [key, value] : info) {
        items[key] = value;
      }
    }
  }
  {
    std::lock_guard<std::mutex> hold(mutex_);
    --askingSources_;
  }
  sourcesIdle_.notify_all();
  if (items.empty()) {
    return "";
  }
  Json::Value root(Json::objectValue);
  root["owner"] = owner;
  Json::Value& info = root["info"];
  info = Json::Value(Json::objectValue);
  for (const auto& [key, value] : items) {
    info[key] = value;
  }
  Json::StreamWriterBuilder writer;
  writer["indentation"] = "";
  try {
    return Json::writeString(writer, root);
  } catch (const std::exception&) {
    return "";
  }
}

void CMtService::ReportLoop() {
  tbx::CThreadUtil::SetThreadName("mt_report");
  std::unique_lock<std::mutex> hold(mutex_);
  while (true) {
    auto period = std::chrono::milliseconds(tbx::standin::ScaleMilliseconds(kReportPeriodMs));
    if (wake_.wait_for(hold, period, [this] { return stopRequested_; })) {
      return;
    }
    IMsgTransmitInterface* transmit = transmit_;
    hold.unlock();
    std::string report = BuildReport();
    if (!report.empty() && !transmit->SendMsg(kReportType, report, "", kReportPriority, false)) {
      tbx::CLogMessage::log(tbx::TBX_LOG_WARN, kSource, __LINE__, "maintenance report not sent");
    }
    hold.lock();
  }
}

}  // namespace valko::standin
