// Temporary directories, the environment and child processes on Windows.
//
// There is no fork, so RunInChild starts this test executable again with a filter selecting
// the running test alone. The child runs that test from its start; the n-th RunInChild call of
// the test runs its body there and exits, and the earlier calls return the results the parent
// saw, so the child takes the parent's path through the test. The temporary directories the
// parent made during the test are handed over and made again in the same order, so the child
// works in the parent's directories.
#include <gtest/gtest.h>
#include <windows.h>
// after windows.h
#include <psapi.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <sstream>

#include "support/SystemSupport.h"
#include "support/TestSupport.h"
#include "support/windows/CommandLine.h"
#include "tbx/TimeUtil.h"
#include "tbxUtil/StandinSupport.h"
#include "tbxUtil/TbxTestSeams.h"
#include "tbxUtil/windows/WideText.h"

namespace korvex_test {
namespace {

std::mutex g_childrenMutex;
std::map<pid_t, HANDLE> g_children;  // guarded by g_childrenMutex: spawned, not yet waited for

// What a child learns from its parent, in its environment.
const char kChildCall[] = "KORVEX_TEST_CHILD_CALL";        // which RunInChild call runs its body
const char kChildDirs[] = "KORVEX_TEST_CHILD_DIRS";        // the test's directories, '|' apart
const char kChildResults[] = "KORVEX_TEST_CHILD_RESULTS";  // the earlier calls' results
const char kChildLogDir[] = "KORVEX_TEST_CHILD_LOG_DIR";   // the parent's process log directory
// The exit status of a child that never came to the call that should run its body.
constexpr int kBodyNotReached = 98;
// How long a child may run; then it is ended and reported as not exited.
constexpr DWORD kChildLimitMs = 120000;

// Per running test: the directories it made and the results of its RunInChild calls, so a child
// can be handed both. Guarded by g_testMutex.
std::mutex g_testMutex;
std::string g_testName;
std::vector<std::string> g_testDirs;
std::vector<ChildResult> g_testResults;
size_t g_nextDir = 0;  // in a child: the next inherited directory MakeTempDir returns

std::string Getenv(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

bool IsChild() {
  static const bool child = !Getenv(kChildCall).empty();
  return child;
}

// "Suite.Case" of the running test; "" outside a test.
std::string CurrentTestName() {
  const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
  return info != nullptr ? std::string(info->test_suite_name()) + "." + info->name() : "";
}

// Starts the per-test bookkeeping over when another test runs; g_testMutex held.
void FollowCurrentTest() {
  std::string name = CurrentTestName();
  if (name != g_testName) {
    g_testName = name;
    g_testDirs.clear();
    g_testResults.clear();
    g_nextDir = 0;
  }
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> pieces;
  std::string piece;
  std::istringstream in(text);
  while (std::getline(in, piece, separator)) {
    pieces.push_back(piece);
  }
  return pieces;
}

std::string EncodeResults(const std::vector<ChildResult>& results) {
  std::string text;
  for (const ChildResult& result : results) {
    text += std::to_string(result.exited) + "," + std::to_string(result.exitCode) + "," +
            std::to_string(result.signal) + "," + std::to_string(result.pid) + ";";
  }
  return text;
}

ChildResult DecodeResult(size_t index) {
  std::vector<std::string> results = Split(Getenv(kChildResults), ';');
  ChildResult result;
  if (index < results.size()) {
    std::vector<std::string> fields = Split(results[index], ',');
    if (fields.size() == 4) {
      result.exited = fields[0] == "1";
      result.exitCode = std::atoi(fields[1].c_str());
      result.signal = std::atoi(fields[2].c_str());
      result.pid = std::atoi(fields[3].c_str());
    }
  }
  return result;
}

// A child whose test ended without reaching its body says so through its exit status, so the
// parent does not take the test's own outcome for the body's.
const bool g_childGuard =
    IsChild() && std::atexit([] {
                   std::fprintf(stderr, "RunInChild: the child did not reach call %s\n",
                                Getenv(kChildCall).c_str());
                   std::fflush(nullptr);
                   ::_exit(kBodyNotReached);
                 }) == 0;

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
  std::lock_guard<std::mutex> hold(g_testMutex);
  FollowCurrentTest();
  if (IsChild() && !g_testName.empty()) {
    std::vector<std::string> inherited = Split(Getenv(kChildDirs), '|');
    if (g_nextDir < inherited.size()) {
      // The parent may have removed it again before its RunInChild call.
      ::CreateDirectoryW(tbx::windows::Widen(inherited[g_nextDir]).c_str(), nullptr);
      return inherited[g_nextDir++];
    }
  }
  for (int attempt = 0; attempt < 1000; ++attempt) {
    std::string candidate = dir + "/korvex_test_" + std::to_string(::GetCurrentProcessId()) + "_" +
                            std::to_string(counter.fetch_add(1));
    if (::CreateDirectoryW(tbx::windows::Widen(candidate).c_str(), nullptr)) {
      if (!g_testName.empty()) {
        g_testDirs.push_back(candidate);
      }
      return candidate;
    }
  }
  std::fprintf(stderr, "cannot make a temporary directory in %s\n", dir.c_str());
  std::abort();
}

std::string InheritedLogDir() {
  return IsChild() ? Getenv(kChildLogDir) : "";
}

void SetEnv(const std::string& name, const std::string& value) {
  ::_putenv_s(name.c_str(), value.c_str());
}

void UnsetEnv(const std::string& name) {
  ::_putenv_s(name.c_str(), "");  // an empty value removes the variable
}

}  // namespace system_support

ChildResult RunInChild(const std::function<void()>& body) {
  std::unique_lock<std::mutex> hold(g_testMutex);
  FollowCurrentTest();
  const size_t call = g_testResults.size();
  if (IsChild()) {
    if (std::to_string(call) == Getenv(kChildCall)) {
      hold.unlock();
      body();
      tbx::standin::FlushLog();
      std::fflush(nullptr);
      ::_exit(0);
    }
    g_testResults.push_back(DecodeResult(call));
    return g_testResults.back();
  }

  std::string dirs;
  for (const std::string& dir : g_testDirs) {
    dirs += (dirs.empty() ? "" : "|") + dir;
  }
  const std::string results = EncodeResults(g_testResults);
  const std::string filter = "--gtest_filter=" + g_testName;
  hold.unlock();

  wchar_t self[MAX_PATH + 1] = {};
  ::GetModuleFileNameW(nullptr, self, MAX_PATH);
  tbx::standin::FlushLog();  // the child appends to the same log
  std::fflush(nullptr);
  ChildResult result;
  pid_t child = -1;
  {
    ScopedEnv callEnv(kChildCall, std::to_string(call));
    ScopedEnv dirsEnv(kChildDirs, dirs);
    ScopedEnv resultsEnv(kChildResults, results);
    ScopedEnv logEnv(kChildLogDir, system_support::ProcessLogDir());
    child = Spawn(tbx::windows::Narrow(self), {filter, "--gtest_brief=1"});
  }
  if (child < 0) {
    std::fprintf(stderr, "RunInChild: cannot start %s\n", tbx::windows::Narrow(self).c_str());
    std::abort();
  }
  HANDLE process = nullptr;
  {
    std::lock_guard<std::mutex> children(g_childrenMutex);
    process = g_children[child];
    g_children.erase(child);
  }
  DWORD status = 0;
  const bool timedOut = ::WaitForSingleObject(process, kChildLimitMs) != WAIT_OBJECT_0;
  if (timedOut) {
    ::TerminateProcess(process, WAIT_TIMEOUT);
    ::WaitForSingleObject(process, INFINITE);
  }
  ::GetExitCodeProcess(process, &status);
  ::CloseHandle(process);
  result.pid = static_cast<int>(child);
  // An exception that ended the process is its exit status (0xC0000005 for an access
  // violation); it takes the place of the ending signal.
  if ((status & 0xC0000000u) == 0xC0000000u || timedOut) {
    result.signal = static_cast<int>(status);
  } else {
    result.exited = true;
    result.exitCode = static_cast<int>(status);
  }
  hold.lock();
  FollowCurrentTest();
  g_testResults.push_back(result);
  return result;
}

pid_t Spawn(const std::string& program, const std::vector<std::string>& args) {
  std::wstring commandLine = system_support::CommandLine(program, args);
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

namespace {

// The handle of a child that Spawn started and no wait has collected; null for any other id.
// `collect` hands the handle over to the caller, who closes it.
HANDLE ChildHandle(pid_t pid, bool collect) {
  std::lock_guard<std::mutex> hold(g_childrenMutex);
  auto it = g_children.find(pid);
  if (it == g_children.end()) {
    return nullptr;
  }
  const HANDLE process = it->second;
  if (collect) {
    g_children.erase(it);
  }
  return process;
}

}  // namespace

int WaitExit(pid_t pid) {
  const HANDLE process = ChildHandle(pid, true);
  if (process == nullptr) {
    return -1;
  }
  DWORD status = static_cast<DWORD>(-1);
  if (::WaitForSingleObject(process, INFINITE) != WAIT_OBJECT_0 ||
      !::GetExitCodeProcess(process, &status)) {
    status = static_cast<DWORD>(-1);
  }
  ::CloseHandle(process);
  return static_cast<int>(status);
}

int PollExit(pid_t pid) {
  const HANDLE process = ChildHandle(pid, false);
  if (process == nullptr) {
    return -1;
  }
  if (::WaitForSingleObject(process, 0) != WAIT_OBJECT_0) {
    return -1;
  }
  return WaitExit(pid);
}

void KillChild(pid_t pid) {
  const HANDLE process = ChildHandle(pid, false);
  if (process == nullptr) {
    return;
  }
  ::TerminateProcess(process, 137);
  WaitExit(pid);
}

int TerminatedStatus() {
  return 1;
}

const char* CrashDumpStart() {
  return "MDMP";
}

bool CrashDumpIsText() {
  return false;
}

bool GuardIsALockFile() {
  return false;
}

int FaultStatus(int, uint32_t exceptionCode) {
  return static_cast<int>(exceptionCode);
}

int64_t StackOverflowCode() {
  return static_cast<int64_t>(EXCEPTION_STACK_OVERFLOW);
}

int64_t SystemThreadId() {
  return static_cast<int64_t>(::GetCurrentThreadId());
}

std::string SystemThreadName() {
  // GetThreadDescription exists from Windows 10 1607 on.
  using GetDescription = HRESULT(WINAPI*)(HANDLE, PWSTR*);
  static const GetDescription get = reinterpret_cast<GetDescription>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "GetThreadDescription")));
  PWSTR description = nullptr;
  if (get == nullptr || FAILED(get(::GetCurrentThread(), &description))) {
    return "";
  }
  std::string name = tbx::windows::Narrow(description);
  ::LocalFree(description);
  return name;
}

bool EnterOwnNetworkNamespace() {
  return false;
}

// Another thread's system call cannot be seen from inside, nor a fault raised on it.
bool ThreadFaulter::Available() {
  return false;
}

long ThreadFaulter::CurrentThreadId() {
  return static_cast<long>(::GetCurrentThreadId());
}

bool ThreadFaulter::SitsInFsync(long) {
  return false;
}

void ThreadFaulter::Fault(uintptr_t) {}

std::string SystemPath(const std::string& path) {
  wchar_t full[MAX_PATH + 1] = {};
  const DWORD length =
      ::GetFullPathNameW(tbx::windows::Widen(path).c_str(), MAX_PATH, full, nullptr);
  return tbx::windows::Narrow(std::wstring(full, length));
}

int CurrentProcessId() {
  return static_cast<int>(::GetCurrentProcessId());
}

std::string OwnExecutableFileName() {
  wchar_t path[MAX_PATH + 1] = {};
  const std::string text =
      tbx::windows::Narrow(std::wstring(path, ::GetModuleFileNameW(nullptr, path, MAX_PATH)));
  return text.substr(text.find_last_of("\\/") + 1);
}

std::string OwnProgramName() {
  const std::string name = OwnExecutableFileName();
  return EndsWith(name, ".exe") ? name.substr(0, name.size() - 4) : name;
}

namespace {

// The file of a loaded module, canonical; "" when it has none.
std::string ModuleFile(HMODULE module) {
  wchar_t path[MAX_PATH + 1] = {};
  const DWORD length = ::GetModuleFileNameW(module, path, MAX_PATH);
  if (length == 0) {
    return "";
  }
  std::error_code error;
  return std::filesystem::canonical(std::filesystem::path(std::wstring(path, length)), error)
      .string();
}

}  // namespace

std::string OwnProgramPath() {
  return ModuleFile(nullptr);
}

int64_t ResidentBytes() {
  PROCESS_MEMORY_COUNTERS counters = {};
  counters.cb = sizeof(counters);
  if (!::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof(counters))) {
    return -1;
  }
  return static_cast<int64_t>(counters.WorkingSetSize);
}

bool UnderWine() {
  // Wine's ntdll exports its version; Windows' does not.
  static const bool wine =
      ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
  return wine;
}

void* FindLoadedLibrary(const std::string& path) {
  HMODULE module = nullptr;
  // Takes a reference, as dlopen does, so the library cannot go while the caller holds it.
  if (!::GetModuleHandleExW(0, tbx::windows::Widen(SystemPath(path)).c_str(), &module)) {
    // A bare file name is looked up among the loaded modules' names.
    if (path.find_first_of("/\\") != std::string::npos ||
        !::GetModuleHandleExW(0, tbx::windows::Widen(path).c_str(), &module)) {
      return nullptr;
    }
  }
  return reinterpret_cast<void*>(module);
}

void* LibrarySymbol(void* library, const char* name) {
  return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(library), name));
}

void ReleaseLibrary(void* library) {
  ::FreeLibrary(static_cast<HMODULE>(library));
}

// The libraries import the executable's exports by its module name; the executable's own
// export table is where those imports are bound.
std::string SymbolHome(const char* symbol) {
  FARPROC address = ::GetProcAddress(::GetModuleHandleW(nullptr), symbol);
  HMODULE home = nullptr;
  if (address == nullptr || !::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                                      GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                                  reinterpret_cast<LPCWSTR>(address), &home)) {
    return "";
  }
  return ModuleFile(home);
}

std::string MissingLibraryText() {
  return "error 126";  // ERROR_MOD_NOT_FOUND
}

// Windows interrupts no wait on behalf of a handler: nothing to install or send.
WaitInterrupter::WaitInterrupter() = default;
WaitInterrupter::~WaitInterrupter() = default;

bool WaitInterrupter::Available() {
  return false;
}

uintptr_t WaitInterrupter::CurrentThread() {
  return static_cast<uintptr_t>(::GetCurrentThreadId());
}

void WaitInterrupter::Interrupt(uintptr_t) {}

int WaitInterrupter::Handled() const {
  return 0;
}

ScopedUnreadable::ScopedUnreadable(const std::string& path) : path_(path) {
  HANDLE held = ::CreateFileW(tbx::windows::Widen(path).c_str(), GENERIC_READ, 0, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  made_ = held != INVALID_HANDLE_VALUE;
  handle_ = made_ ? held : nullptr;
}

ScopedUnreadable::~ScopedUnreadable() {
  if (made_) {
    ::CloseHandle(static_cast<HANDLE>(handle_));
  }
}

bool ScopedUnreadable::KeepsThisProcessOut() const {
  return made_;
}

bool DropPrivileges() {
  return false;  // not needed: nothing reads through a handle that shares nothing
}

void FreezeClockUtc(int64_t seconds) {
  ::_putenv_s("TZ", "UTC");
  tbx::CTimeUtil::UpdateDstFlag();
  FreezeClock(seconds);
}

}  // namespace korvex_test
