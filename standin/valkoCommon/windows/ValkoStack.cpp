// The threads of the own process from a Toolhelp32 snapshot, with the names the utility
// library gave them and their base priority.
#include <windows.h>
// after windows.h
#include <tlhelp32.h>

#include <algorithm>
#include <sstream>
#include <vector>

#include "tbx/ThreadUtil.h"
#include "valko/ValkoCommon.h"

namespace tbx {

std::string CValkoStack::GetValkoStack(int64_t processId) {
  // Only the own process can be inspected from inside; another process has no stack text here.
  if (processId != static_cast<int64_t>(::GetCurrentProcessId())) {
    return "";
  }
  HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) {
    return "";
  }
  std::vector<std::pair<DWORD, LONG>> threads;  // id, base priority
  THREADENTRY32 entry = {};
  entry.dwSize = sizeof(entry);
  for (BOOL more = ::Thread32First(snapshot, &entry); more;
       more = ::Thread32Next(snapshot, &entry)) {
    if (entry.th32OwnerProcessID == ::GetCurrentProcessId()) {
      threads.emplace_back(entry.th32ThreadID, entry.tpBasePri);
    }
  }
  ::CloseHandle(snapshot);
  std::sort(threads.begin(), threads.end());
  std::ostringstream text;
  for (const auto& thread : threads) {
    std::string name = CThreadUtil::GetThreadName(static_cast<int64_t>(thread.first));
    text << "thread " << thread.first << " name=" << (name.empty() ? "-" : name)
         << " priority=" << thread.second << "\n";
  }
  return text.str();
}

}  // namespace tbx
