#include "ProcessSampler.h"

#include <dirent.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace valko::standin {
namespace {

// utime + stime of a /proc/.../stat line, in clock ticks; false when it cannot be parsed. The
// command name before them is in parentheses and may hold blanks, so fields are counted from
// the last ")": state is the first field after it, utime the twelfth, stime the thirteenth.
bool ReadCpuTicks(const std::string& statPath, uint64_t& ticks) {
  std::ifstream in(statPath);
  std::string line;
  if (!std::getline(in, line)) {
    return false;
  }
  size_t close = line.rfind(')');
  if (close == std::string::npos) {
    return false;
  }
  std::istringstream fields(line.substr(close + 1));
  std::string field;
  uint64_t utime = 0;
  uint64_t stime = 0;
  for (int index = 1; index <= 13 && fields >> field; ++index) {
    if (index == 12) {
      utime = std::strtoull(field.c_str(), nullptr, 10);
    } else if (index == 13) {
      stime = std::strtoull(field.c_str(), nullptr, 10);
      ticks = utime + stime;
      return true;
    }
  }
  return false;
}

std::vector<std::string> NumericEntries(const char* dirPath) {
  std::vector<std::string> names;
  DIR* dir = opendir(dirPath);
  if (dir == nullptr) {
    return names;
  }
  while (dirent* entry = readdir(dir)) {
    if (entry->d_name[0] >= '0' && entry->d_name[0] <= '9') {
      names.emplace_back(entry->d_name);
    }
  }
  closedir(dir);
  return names;
}

int64_t CountOpenDescriptors() {
  DIR* dir = opendir("/proc/self/fd");
  if (dir == nullptr) {
    return -1;
  }
  int64_t count = 0;
  while (dirent* entry = readdir(dir)) {
    if (entry->d_name[0] >= '0' && entry->d_name[0] <= '9') {
      ++count;
    }
  }
  closedir(dir);
  return count - 1;  // the descriptor of the listing itself
}

int64_t ResidentMb(long pageSize) {
  std::ifstream in("/proc/self/statm");
  uint64_t sizePages = 0;
  uint64_t residentPages = 0;
  if (!(in >> sizePages >> residentPages)) {
    return -1;
  }
  return static_cast<int64_t>(residentPages * static_cast<uint64_t>(pageSize) / (1024 * 1024));
}

// rchar and wchar of /proc/self/io: every byte moved by read and write calls, files, pipes and
// sockets alike. False when the file is not readable (some kernels restrict it).
bool ReadIoBytes(int64_t& readBytes, int64_t& writeBytes) {
  std::ifstream in("/proc/self/io");
  std::string key;
  int64_t value = 0;
  bool haveRead = false;
  bool haveWrite = false;
  while (in >> key >> value) {
    if (key == "rchar:") {
      readBytes = value;
      haveRead = true;
    } else if (key == "wchar:") {
      writeBytes = value;
      haveWrite = true;
    }
  }
  return haveRead && haveWrite;
}

int64_t KibPerSecond(int64_t bytes, double seconds) {
  if (bytes < 0 || seconds <= 0.0) {
    return 0;
  }
  return static_cast<int64_t>(static_cast<double>(bytes) / 1024.0 / seconds);
}

}  // namespace

CProcessSampler::CProcessSampler()
    : ticksPerSecond_(sysconf(_SC_CLK_TCK) > 0 ? sysconf(_SC_CLK_TCK) : 100),
      cpuCount_(sysconf(_SC_NPROCESSORS_ONLN) > 0 ? sysconf(_SC_NPROCESSORS_ONLN) : 1),
      pageSize_(sysconf(_SC_PAGESIZE) > 0 ? sysconf(_SC_PAGESIZE) : 4096) {}

ResourceSample CProcessSampler::Sample() {
  ResourceSample sample;
  auto now = std::chrono::steady_clock::now();
  sample.memoryMb = ResidentMb(pageSize_);
  sample.fdCount = CountOpenDescriptors();

  uint64_t cpuTicks = 0;
  bool haveCpu = ReadCpuTicks("/proc/self/stat", cpuTicks);
  std::map<int64_t, uint64_t> threadTicks;
  for (const std::string& name : NumericEntries("/proc/self/task")) {
    uint64_t ticks = 0;
    if (ReadCpuTicks("/proc/self/task/" + name + "/stat", ticks)) {
      threadTicks[std::strtoll(name.c_str(), nullptr, 10)] = ticks;
    }
  }
  int64_t readBytes = -1;
  int64_t writeBytes = -1;
  bool haveIo = ReadIoBytes(readBytes, writeBytes);

  double seconds = std::chrono::duration<double>(now - previousAt_).count();
  if (hasPrevious_ && haveCpu && seconds > 0.0) {
    sample.hasRates = true;
    double cpuSeconds =
        static_cast<double>(cpuTicks - previousCpuTicks_) / static_cast<double>(ticksPerSecond_);
    sample.cpuPercent =
        static_cast<int64_t>(cpuSeconds / seconds / static_cast<double>(cpuCount_) * 100.0);
    uint64_t busiest = 0;
    for (const auto& [id, ticks] : threadTicks) {
      auto before = previousThreadTicks_.find(id);
      uint64_t used = ticks - (before == previousThreadTicks_.end() ? 0 : before->second);
      if (used > busiest) {
        busiest = used;
        sample.busiestThreadId = id;
      }
    }
    if (haveIo && previousReadBytes_ >= 0) {
      sample.readKbps = KibPerSecond(readBytes - previousReadBytes_, seconds);
      sample.writeKbps = KibPerSecond(writeBytes - previousWriteBytes_, seconds);
    }
  }

  hasPrevious_ = haveCpu;
  previousAt_ = now;
  previousCpuTicks_ = cpuTicks;
  previousThreadTicks_ = std::move(threadTicks);
  previousReadBytes_ = haveIo ? readBytes : -1;
  previousWriteBytes_ = haveIo ? writeBytes : -1;
  return sample;
}

}  // namespace valko::standin
