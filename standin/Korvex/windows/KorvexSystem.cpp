#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <atomic>
#include <mutex>

#include "KorvexSystem.h"
#include "tbxUtil/windows/WideText.h"

namespace korvex::sys {

namespace {

// The console control handler runs on a thread the system starts for it; the callback lives
// as long as the process.
std::mutex g_watchMutex;
std::function<void()>* g_onStop = nullptr;
std::atomic<bool> g_stopped{false};

BOOL WINAPI OnConsoleControl(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_SHUTDOWN_EVENT: {
      if (g_stopped.exchange(true)) {
        return TRUE;
      }
      std::function<void()>* onStop = nullptr;
      {
        std::lock_guard<std::mutex> lock(g_watchMutex);
        onStop = g_onStop;
      }
      if (onStop != nullptr) {
        (*onStop)();
      }
      return TRUE;
    }
    default:
      return FALSE;
  }
}

}  // namespace

void PrepareProcess() {
  // Sockets report a gone peer as an error, never as a signal, so there is nothing to ignore.
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
  _setmode(_fileno(stdout), _O_BINARY);
}

void WatchStopRequests(std::function<void()> onStop) {
  std::lock_guard<std::mutex> lock(g_watchMutex);
  // Never freed: the handler may run until the process ends.
  g_onStop = new std::function<void()>(std::move(onStop));
}

FILE* OpenForAppend(const std::string& path) {
  // The path comes from the command line, in the system's ANSI code page as every narrow text.
  const std::wstring wide = tbx::windows::Widen(path);
  // "N": not inherited by child processes; binary, so every line ends in "\n" as on Linux.
  return _wfopen(wide.c_str(), L"abN");
}

std::tm UtcTime(std::time_t seconds) {
  std::tm utc = {};
  gmtime_s(&utc, &seconds);
  return utc;
}

}  // namespace korvex::sys
