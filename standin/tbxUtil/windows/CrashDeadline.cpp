#include "CrashDeadline.h"

#include <atomic>
#include <mutex>

#include "ProcessSelf.h"

namespace tbx::windows {
namespace {

std::once_flag g_prepared;
HANDLE g_started = nullptr;  // manual-reset event, set when a crash is being handled
std::atomic<DWORD> g_exitCode{0};

DWORD WINAPI EndWhenLate(void*) {
  ::WaitForSingleObject(g_started, INFINITE);  // before a crash: nothing to limit yet
  ::Sleep(CrashDeadline::kLimitMs);
  ProcessSelf::ExitNow(static_cast<int>(g_exitCode.load()));
}

}  // namespace

void CrashDeadline::Prepare() {
  std::call_once(g_prepared, [] {
    g_started = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (g_started == nullptr) {
      return;
    }
    // A small stack: the thread only waits. Never joined; it ends with the process.
    HANDLE thread = ::CreateThread(nullptr, 64 * 1024, EndWhenLate, nullptr,
                                   STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (thread != nullptr) {
      ::CloseHandle(thread);
    }
  });
}

void CrashDeadline::Start(DWORD exitCode) {
  DWORD none = 0;
  if (g_started != nullptr && g_exitCode.compare_exchange_strong(none, exitCode)) {
    ::SetEvent(g_started);
  }
}

}  // namespace tbx::windows
