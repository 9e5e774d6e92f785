#include "SystemProcessUtil.h"

#include <windows.h>
// after windows.h
#include <tlhelp32.h>

#include <algorithm>

#include "CanonicalPath.h"
#include "PathText.h"
#include "ProcessSelf.h"
#include "WideText.h"
#include "tbx/LogMessage.h"
#include "tbx/ToolUtil.h"
#include "tbxUtil/StandinSupport.h"

namespace tbx {
namespace {

constexpr DWORD kTerminationWaitMs = 5000;  // real time, not scaled

bool ValidPid(uint64_t processId) {
  return processId > 0 && processId <= 0xFFFFFFFFull;
}

// The executable's canonical path, "" when the process vanished or may not be opened. The
// system reports the image as it was named at start (a short name, another letter case, a
// "\\?\" prefix); the file itself tells its one spelling.
std::string ExecutableOf(uint64_t processId) {
  if (!ValidPid(processId)) {
    return std::string();
  }
  HANDLE process =
      ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(processId));
  if (process == nullptr) {
    return std::string();
  }
  wchar_t buffer[32768];
  DWORD length = sizeof(buffer) / sizeof(buffer[0]);
  bool ok = ::QueryFullProcessImageNameW(process, 0, buffer, &length);
  ::CloseHandle(process);
  return ok ? windows::Narrow(windows::CanonicalPath(std::wstring(buffer, length))) : std::string();
}

}  // namespace

uint64_t SystemProcessUtil::GetCurrentProcessId() {
  return ::GetCurrentProcessId();
}

std::vector<uint64_t> SystemProcessUtil::GetProcessIdsByName(const std::string& name,
                                                             uint32_t maxCount, uint32_t) {
  std::vector<uint64_t> ids;
  if (name.empty()) {
    return ids;
  }
  HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) {
    return ids;
  }
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof(entry);
  for (BOOL more = ::Process32FirstW(snapshot, &entry); more;
       more = ::Process32NextW(snapshot, &entry)) {
    // The snapshot's short name may be cut; the executable's own path decides.
    std::string path = ExecutableOf(entry.th32ProcessID);
    if (!path.empty() && PathText::FileNameOf(path) == name) {
      ids.push_back(entry.th32ProcessID);
    }
  }
  ::CloseHandle(snapshot);
  std::sort(ids.begin(), ids.end());
  if (maxCount != 0 && ids.size() > maxCount) {
    ids.resize(maxCount);
  }
  return ids;
}

bool SystemProcessUtil::TerminateProcessById(uint64_t processId) {
  if (!ValidPid(processId)) {
    return false;
  }
  if (processId == GetCurrentProcessId()) {
    standin::FlushLog();
    ProcessSelf::ExitNow(1);
  }
  HANDLE process =
      ::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, static_cast<DWORD>(processId));
  if (process == nullptr) {
    return false;
  }
  bool ended = ::TerminateProcess(process, 1) &&
               ::WaitForSingleObject(process, kTerminationWaitMs) == WAIT_OBJECT_0;
  ::CloseHandle(process);
  return ended;
}

std::string SystemProcessUtil::GetProcessName(uint64_t processId, uint32_t) {
  return PathText::FileNameOf(ExecutableOf(processId));
}

std::string SystemProcessUtil::GetProcessPath(uint64_t processId, uint32_t fullPath, uint32_t) {
  std::string path = ExecutableOf(processId);
  return fullPath != 0 ? path : CToolUtil::GetFileDirPath(path);
}

}  // namespace tbx
