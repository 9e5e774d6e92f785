#include "ProcessCounters.h"

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

int64_t ResidentPages() {
  std::ifstream in("/proc/self/statm");
  uint64_t sizePages = 0;
  uint64_t residentPages = 0;
  if (!(in >> sizePages >> residentPages)) {
    return -1;
  }
  return static_cast<int64_t>(residentPages);
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

// Clock ticks to nanoseconds.
uint64_t TicksToNanoseconds(uint64_t ticks) {
  static const long ticksPerSecond = sysconf(_SC_CLK_TCK) > 0 ? sysconf(_SC_CLK_TCK) : 100;
  return ticks * (1000000000ULL / static_cast<uint64_t>(ticksPerSecond));
}

}  // namespace

ProcessCounters ReadOwnProcessCounters() {
  static const long pageSize = sysconf(_SC_PAGESIZE) > 0 ? sysconf(_SC_PAGESIZE) : 4096;
  ProcessCounters counters;
  counters.residentBytes = ResidentPages();
  if (counters.residentBytes >= 0) {
    counters.residentBytes *= pageSize;
  }
  counters.openHandles = CountOpenDescriptors();
  uint64_t ticks = 0;
  counters.haveCpu = ReadCpuTicks("/proc/self/stat", ticks);
  counters.cpuNanoseconds = TicksToNanoseconds(ticks);
  for (const std::string& name : NumericEntries("/proc/self/task")) {
    if (ReadCpuTicks("/proc/self/task/" + name + "/stat", ticks)) {
      counters.threadCpuNanoseconds[std::strtoll(name.c_str(), nullptr, 10)] =
          TicksToNanoseconds(ticks);
    }
  }
  counters.haveIo = ReadIoBytes(counters.readBytes, counters.writeBytes);
  return counters;
}

uint32_t ProcessorCount() {
  const long online = sysconf(_SC_NPROCESSORS_ONLN);
  return online > 0 ? static_cast<uint32_t>(online) : 1;
}

}  // namespace valko::standin
