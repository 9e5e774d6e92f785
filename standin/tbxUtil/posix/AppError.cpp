// The crash hook. Fatal signals are handled on the alternate stack of the crashing thread
// when it has one (the installing thread and every CThreadUtil thread do). The handler writes
// the dump, then calls the owner's OnError; if OnError returns, the process ends with
// 128 + signal. A fault inside the handler ends the process at once; a second thread that
// crashes meanwhile waits for the first to end the process.
#include "tbx/AppError.h"

#include <execinfo.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <mutex>

#include "AltSignalStack.h"
#include "CrashDump.h"

namespace tbx {
namespace {

constexpr int kFatalSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};
constexpr int kSignalCount = sizeof(kFatalSignals) / sizeof(kFatalSignals[0]);

std::mutex g_installMutex;                  // serialises installing and removing
CAppError* g_installedBy = nullptr;         // the hook in force, guarded by g_installMutex
struct sigaction g_previous[kSignalCount];  // actions replaced by the hook
std::atomic<IAppError*> g_owner{nullptr};   // asked for the path and told of the crash
std::atomic<int64_t> g_handlingThread{0};   // thread inside the handler, 0 when none

// Windows-style exception code of a fatal signal.
int64_t ExceptionCode(int signal) {
  switch (signal) {
    case SIGSEGV:
    case SIGBUS:
      return 0xC0000005LL;  // access violation
    case SIGILL:
      return 0xC000001DLL;  // illegal instruction
    case SIGFPE:
      return 0xC0000094LL;  // integer division by zero
    default:
      return 0x40000015LL;  // fatal application exit (abort)
  }
}

void OnFatalSignal(int signal, siginfo_t* info, void*) {
  int64_t self = static_cast<int64_t>(::syscall(SYS_gettid));
  int64_t expected = 0;
  if (!g_handlingThread.compare_exchange_strong(expected, self)) {
    if (expected == self) {
      ::_exit(128 + signal);  // a fault while handling a fault
    }
    for (;;) {
      ::pause();  // the first crashing thread ends the process
    }
  }
  IAppError* owner = g_owner.load();
  if (owner == nullptr) {
    // The hook was removed while the signal arrived: die as if it never existed.
    ::signal(signal, SIG_DFL);
    ::raise(signal);
    ::_exit(128 + signal);
  }
  int64_t code = ExceptionCode(signal);
  std::string path = owner->GetDumpFilePath();
  int32_t result = CrashDump::Write(path.c_str(), signal, info, code);
  owner->OnError(path, code, result, 0);
  ::_exit(128 + signal);
}

}  // namespace

CAppError::CAppError(IAppError* owner) {
  if (owner == nullptr) {
    return;
  }
  CrashDump::Prepare();
  AltSignalStack::EnsureForThisThread();
  std::lock_guard<std::mutex> hold(g_installMutex);
  g_owner.store(owner);
  if (g_installedBy == nullptr) {
    struct sigaction action = {};
    action.sa_sigaction = OnFatalSignal;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_NODEFER;
    sigemptyset(&action.sa_mask);
    for (int i = 0; i < kSignalCount; ++i) {
      ::sigaction(kFatalSignals[i], &action, &g_previous[i]);
    }
  }
  g_installedBy = this;
}

CAppError::~CAppError() {
  std::lock_guard<std::mutex> hold(g_installMutex);
  if (g_installedBy != this) {
    return;  // a later hook replaced this one; it stays in force
  }
  for (int i = 0; i < kSignalCount; ++i) {
    ::sigaction(kFatalSignals[i], &g_previous[i], nullptr);
  }
  g_owner.store(nullptr);
  g_installedBy = nullptr;
}

std::string CAppError::GetBackTrace() {
  void* frames[128];
  int count = ::backtrace(frames, 128);
  char** symbols = ::backtrace_symbols(frames, count);
  if (symbols == nullptr) {
    return std::string();
  }
  std::string text;
  for (int i = 1; i < count; ++i) {  // frame 0 is this function
    text += symbols[i];
    text += "\n";
  }
  std::free(symbols);
  return text;
}

int32_t CAppError::CreateErrorDump(const std::string& path, int64_t code) {
  return CrashDump::Write(path.c_str(), 0, nullptr, code);
}

}  // namespace tbx
