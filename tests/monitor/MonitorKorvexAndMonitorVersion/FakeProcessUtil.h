// A process table the directory check sees instead of the system's.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "tbx/ProcessUtil.h"

class FakeProcessUtil : public tbx::IProcessUtil {
 public:
  struct Process {
    std::string name;        // executable file name as the name query reports it
    std::string path;        // executable path as the path query reports it
    bool terminable = true;  // whether terminating it succeeds
  };

  // Lists `id` under the executable name `listedAs`; `name` is what the name query reports
  // (normally the same).
  void Add(uint64_t id, const std::string& listedAs, const std::string& path,
           const std::string& name = "") {
    processes_[id] = Process{name.empty() ? listedAs : name, path, true};
    listed_[listedAs].push_back(id);
  }
  void RefuseTermination(uint64_t id) { processes_[id].terminable = false; }
  void SetSelf(uint64_t id) { self_ = id; }

  uint64_t GetCurrentProcessId() override { return self_; }
  std::vector<uint64_t> GetProcessIdsByName(const std::string& name, uint32_t maxCount,
                                            uint32_t flags) override {
    listCalls.push_back(name + "/" + std::to_string(maxCount) + "/" + std::to_string(flags));
    if (onList) {
      onList();
    }
    return listed_[name];
  }
  bool TerminateProcessById(uint64_t id) override {
    terminated.push_back(id);
    return processes_[id].terminable;
  }
  std::string GetProcessName(uint64_t id, uint32_t flags) override {
    return flags == 0 ? processes_[id].name : "bad flags";
  }
  std::string GetProcessPath(uint64_t id, uint32_t fullPath, uint32_t flags) override {
    pathQueries.insert(id);
    return fullPath == 1 && flags == 0 ? processes_[id].path : "bad flags";
  }

  std::vector<std::string> listCalls;  // "<name>/<maxCount>/<flags>" per list query
  std::vector<uint64_t> terminated;    // ids in termination order, failed ones included
  std::set<uint64_t> pathQueries;      // ids whose path was asked for
  void (*onList)() = nullptr;          // called on every list query

 private:
  uint64_t self_ = 1;
  std::map<uint64_t, Process> processes_;
  std::map<std::string, std::vector<uint64_t>> listed_;
};
