// Sleep() and the waits of the C++ runtime wake on the system's timer tick, 15.6 ms unless some
// program raised the resolution. A waitable timer made with CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
// (Windows 10 1803 and later, and Wine) wakes within about a millisecond of its due time without
// touching the tick of the whole system. Where the flag is refused, a plain waitable timer is
// used and the tick is raised to 1 ms once, for the life of the process (timeBeginPeriod, from
// System32's winmm.dll, loaded only then).
#include "Pause.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

namespace tbx {
namespace {

std::atomic<bool> g_highResolutionRefused{false};
std::atomic<bool> g_tickRaised{false};

void RaiseTick() {
  // By its full path: the systems that refuse the timer flag may lack the search flags too.
  wchar_t system[MAX_PATH];
  const UINT length = ::GetSystemDirectoryW(system, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) {
    return;
  }
  HMODULE winmm = ::LoadLibraryW((std::wstring(system, length) + L"\\winmm.dll").c_str());
  if (winmm == nullptr) {
    return;
  }
  using Period = UINT(WINAPI*)(UINT);
  auto begin =
      reinterpret_cast<Period>(reinterpret_cast<void*>(::GetProcAddress(winmm, "timeBeginPeriod")));
  if (begin != nullptr) {
    begin(1);  // winmm stays loaded: the period lasts while the process runs
  }
}

HANDLE NewTimer() {
  if (!g_highResolutionRefused.load()) {
    HANDLE timer = ::CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION,
                                            TIMER_MODIFY_STATE | SYNCHRONIZE);
    if (timer != nullptr) {
      return timer;
    }
    g_highResolutionRefused.store(true);
  }
  if (!g_tickRaised.exchange(true)) {
    RaiseTick();
  }
  return ::CreateWaitableTimerExW(nullptr, nullptr, 0, TIMER_MODIFY_STATE | SYNCHRONIZE);
}

void WINAPI CloseTimer(void* timer) {
  if (timer != nullptr) {
    ::CloseHandle(timer);
  }
}

// Each thread keeps one timer, closed when the thread ends (a fiber-local slot's callback):
// the send thread pauses hundreds of times a second, and every call into the system costs
// (under Wine a round trip to its server).
HANDLE ThreadTimer() {
  static const DWORD slot = ::FlsAlloc(CloseTimer);
  if (slot == FLS_OUT_OF_INDEXES) {
    return nullptr;
  }
  HANDLE timer = ::FlsGetValue(slot);
  if (timer == nullptr) {
    timer = NewTimer();
    if (timer != nullptr && !::FlsSetValue(slot, timer)) {
      ::CloseHandle(timer);
      timer = nullptr;
    }
  }
  return timer;
}

}  // namespace

void Pause::For(uint64_t milliseconds) {
  if (milliseconds == 0) {
    return;
  }
  HANDLE timer = ThreadTimer();
  LARGE_INTEGER due;
  // Relative due times are negative, in units of 100 ns.
  const uint64_t longest = static_cast<uint64_t>(INT64_MAX / 10000);
  due.QuadPart = -static_cast<LONGLONG>(milliseconds < longest ? milliseconds : longest) * 10000;
  if (timer != nullptr && ::SetWaitableTimer(timer, &due, 0, nullptr, nullptr, FALSE) &&
      ::WaitForSingleObject(timer, INFINITE) == WAIT_OBJECT_0) {
    return;
  }
  // No timer to be had: the tick-bound sleep still pauses at least as long.
  for (uint64_t left = milliseconds; left > 0;) {
    const DWORD step = left > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<DWORD>(left);
    ::Sleep(step);
    left -= step;
  }
}

}  // namespace tbx
