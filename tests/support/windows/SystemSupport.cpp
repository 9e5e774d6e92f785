// Temporary directories, the environment and child processes on Windows. There is no fork:
// RunInChild reports that it cannot run its body, so the tests that need it fail visibly.
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>

#include "support/SystemSupport.h"
#include "support/TestSupport.h"
#include "tbx/TimeUtil.h"
#include "tbxUtil/StandinSupport.h"
#include "tbxUtil/TbxTestSeams.h"
#include "tbxUtil/windows/WideText.h"

namespace korvex_test {
namespace {

std::mutex g_childrenMutex;
std::map<pid_t, HANDLE> g_children;  // guarded by g_childrenMutex: spawned, not yet waited for

// One argument as the C runtime's command-line parser reads it back.
std::wstring Quoted(const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) {
    return arg;
  }
  std::wstring quoted = L"\"";
  size_t backslashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    quoted.push_back(c);
  }
  quoted.append(backslashes * 2, L'\\');
  return quoted + L"\"";
}

}  // namespace

namespace system_support {

std::string MakeTempDir() {
  static std::atomic<unsigned> counter{0};
  wchar_t base[MAX_PATH + 1] = {};
  DWORD length = ::GetTempPathW(MAX_PATH + 1, base);
  std::string dir = tbx::windows::Narrow(std::wstring(base, length));
  for (char& c : dir) {
    if (c == '\\') {
      c = '/';
    }
  }
  while (!dir.empty() && dir.back() == '/') {
    dir.pop_back();
  }
  for (int attempt = 0; attempt < 1000; ++attempt) {
    std::string candidate = dir + "/korvex_test_" + std::to_string(::GetCurrentProcessId()) + "_" +
                            std::to_string(counter.fetch_add(1));
    if (::CreateDirectoryW(tbx::windows::Widen(candidate).c_str(), nullptr)) {
      return candidate;
    }
  }
  std::fprintf(stderr, "cannot make a temporary directory in %s\n", dir.c_str());
  std::abort();
}

void SetEnv(const std::string& name, const std::string& value) {
  ::_putenv_s(name.c_str(), value.c_str());
}

void UnsetEnv(const std::string& name) {
  ::_putenv_s(name.c_str(), "");  // an empty value removes the variable
}

}  // namespace system_support

ChildResult RunInChild(const std::function<void()>&) {
  std::fprintf(stderr, "RunInChild: this system cannot fork; the body did not run\n");
  return ChildResult();
}

pid_t Spawn(const std::string& program, const std::vector<std::string>& args) {
  std::wstring commandLine = Quoted(tbx::windows::Widen(program));
  for (const std::string& arg : args) {
    commandLine += L" " + Quoted(tbx::windows::Widen(arg));
  }
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!::CreateProcessW(tbx::windows::Widen(program).c_str(), &commandLine[0], nullptr, nullptr,
                        FALSE, 0, nullptr, nullptr, &startup, &process)) {
    return -1;
  }
  ::CloseHandle(process.hThread);
  pid_t pid = static_cast<pid_t>(process.dwProcessId);
  std::lock_guard<std::mutex> hold(g_childrenMutex);
  g_children[pid] = process.hProcess;
  return pid;
}

int WaitExit(pid_t pid) {
  HANDLE process = nullptr;
  {
    std::lock_guard<std::mutex> hold(g_childrenMutex);
    auto it = g_children.find(pid);
    if (it == g_children.end()) {
      return -1;
    }
    process = it->second;
    g_children.erase(it);
  }
  DWORD status = static_cast<DWORD>(-1);
  if (::WaitForSingleObject(process, INFINITE) != WAIT_OBJECT_0 ||
      !::GetExitCodeProcess(process, &status)) {
    status = static_cast<DWORD>(-1);
  }
  ::CloseHandle(process);
  return static_cast<int>(status);
}

void FreezeClockUtc(int64_t seconds) {
  ::_putenv_s("TZ", "UTC");
  tbx::CTimeUtil::UpdateDstFlag();
  FreezeClock(seconds);
}

}  // namespace korvex_test
