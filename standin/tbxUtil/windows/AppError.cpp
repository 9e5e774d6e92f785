// The crash hook: an unhandled-exception filter. It writes a minidump (MiniDumpWriteDump) to
// the owner's path, then calls the owner's OnError with the exception code; if OnError returns,
// the process ends with the exception code as its exit status, as an unhandled exception would.
// A stack overflow leaves too little stack for that work, so it then runs on a fresh thread
// while the crashing one waits. abort() raises no exception, only SIGABRT: the hook's signal
// handler turns it into the fatal-application-exit exception, which then takes the same path. A
// fault inside the filter ends the process at once; a second thread that crashes meanwhile waits
// for the first to end the process. Every wait is limited: whatever the handling waits for, the
// process ends within CrashDeadline::kLimitMs of the crash.
#include <windows.h>
// after windows.h
#include <dbghelp.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <mutex>

#include "AltSignalStack.h"
#include "CrashDeadline.h"
#include "ProcessSelf.h"
#include "WideText.h"
#include "tbx/AppError.h"

namespace tbx {
namespace {

std::mutex g_installMutex;                          // serialises installing and removing
CAppError* g_installedBy = nullptr;                 // the hook in force, guarded by the mutex
LPTOP_LEVEL_EXCEPTION_FILTER g_previous = nullptr;  // the filter replaced by the hook
std::atomic<IAppError*> g_owner{nullptr};           // asked for the path and told of the crash
std::atomic<DWORD> g_handlingThread{0};             // thread inside the filter, 0 when none
void (*g_previousAbort)(int) = SIG_DFL;             // the SIGABRT handler replaced by the hook

// STATUS_FATAL_APP_EXIT, the code Windows gives an abort.
constexpr DWORD kAbortCode = 0x40000015;

// Writes a minidump of this process to `path`; `exception` describes the crash, or is null for
// a dump on request. 0 on success, else the system's error number.
int32_t WriteMiniDump(const std::string& path, EXCEPTION_POINTERS* exception, DWORD threadId) {
  if (path.empty()) {
    return ERROR_INVALID_PARAMETER;
  }
  HANDLE file = ::CreateFileW(windows::Widen(path).c_str(), GENERIC_WRITE, 0, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return static_cast<int32_t>(::GetLastError());
  }
  MINIDUMP_EXCEPTION_INFORMATION information = {};
  information.ThreadId = threadId;
  information.ExceptionPointers = exception;
  information.ClientPointers = FALSE;
  BOOL written =
      ::MiniDumpWriteDump(::GetCurrentProcess(), ::GetCurrentProcessId(), file, MiniDumpNormal,
                          exception != nullptr ? &information : nullptr, nullptr, nullptr);
  int32_t result = written ? 0 : static_cast<int32_t>(::GetLastError());
  ::CloseHandle(file);
  return written ? 0 : (result != 0 ? result : ERROR_WRITE_FAULT);
}

struct CrashWork {
  IAppError* owner;
  EXCEPTION_POINTERS* exception;
  DWORD crashingThread;
};

// Dump, then tell the owner; ends the process should OnError return.
void HandleCrash(const CrashWork& work) {
  DWORD code = work.exception->ExceptionRecord->ExceptionCode;
  std::string path = work.owner->GetDumpFilePath();
  int32_t result = WriteMiniDump(path, work.exception, work.crashingThread);
  work.owner->OnError(path, static_cast<int64_t>(code), result, 0);
  ProcessSelf::ExitNow(static_cast<int>(code));
}

DWORD WINAPI HandleCrashOnFreshStack(void* work) {
  HandleCrash(*static_cast<CrashWork*>(work));
  return 0;
}

LONG WINAPI OnUnhandledException(EXCEPTION_POINTERS* exception) {
  DWORD self = ::GetCurrentThreadId();
  DWORD expected = 0;
  if (!g_handlingThread.compare_exchange_strong(expected, self)) {
    if (expected == self) {
      ProcessSelf::ExitNow(static_cast<int>(exception->ExceptionRecord->ExceptionCode));
    }
    // The first crashing thread ends the process; should the deadline's thread be missing,
    // this one ends it a little after the deadline.
    ::Sleep(windows::CrashDeadline::kLimitMs + 1000);
    ProcessSelf::ExitNow(static_cast<int>(exception->ExceptionRecord->ExceptionCode));
  }
  IAppError* owner = g_owner.load();
  if (owner == nullptr) {
    return EXCEPTION_CONTINUE_SEARCH;  // the hook was removed meanwhile
  }
  windows::CrashDeadline::Start(exception->ExceptionRecord->ExceptionCode);
  CrashWork work{owner, exception, self};
  if (exception->ExceptionRecord->ExceptionCode == EXCEPTION_STACK_OVERFLOW) {
    HANDLE worker = ::CreateThread(nullptr, 1 << 20, HandleCrashOnFreshStack, &work, 0, nullptr);
    if (worker != nullptr) {
      ::WaitForSingleObject(worker, windows::CrashDeadline::kLimitMs);
    }
    ProcessSelf::ExitNow(static_cast<int>(EXCEPTION_STACK_OVERFLOW));
  }
  HandleCrash(work);
  return EXCEPTION_EXECUTE_HANDLER;  // not reached
}

void OnAbortSignal(int) {
  // Non-continuable: should the filter not end the process, the exception does.
  ::RaiseException(kAbortCode, EXCEPTION_NONCONTINUABLE, 0, nullptr);
}

}  // namespace

CAppError::CAppError(IAppError* owner) {
  if (owner == nullptr) {
    return;
  }
  AltSignalStack::EnsureForThisThread();
  windows::CrashDeadline::Prepare();
  std::lock_guard<std::mutex> hold(g_installMutex);
  g_owner.store(owner);
  if (g_installedBy == nullptr) {
    // No message box for a crash: the process ends through the filter, unattended.
    ::SetErrorMode(::GetErrorMode() | SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    g_previous = ::SetUnhandledExceptionFilter(OnUnhandledException);
    g_previousAbort = std::signal(SIGABRT, OnAbortSignal);
  }
  g_installedBy = this;
}

CAppError::~CAppError() {
  std::lock_guard<std::mutex> hold(g_installMutex);
  if (g_installedBy != this) {
    return;  // a later hook replaced this one; it stays in force
  }
  ::SetUnhandledExceptionFilter(g_previous);
  std::signal(SIGABRT, g_previousAbort == SIG_ERR ? SIG_DFL : g_previousAbort);
  g_owner.store(nullptr);
  g_installedBy = nullptr;
}

std::string CAppError::GetBackTrace() {
  // Frames as "module+0xoffset": the binaries carry no symbols the system could read.
  void* frames[62];
  USHORT count = ::CaptureStackBackTrace(1, 62, frames, nullptr);  // frame 0 is this function
  std::string text;
  for (USHORT i = 0; i < count; ++i) {
    HMODULE module = nullptr;
    wchar_t name[MAX_PATH] = L"?";
    if (::GetModuleHandleExW(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            static_cast<LPCWSTR>(frames[i]), &module)) {
      ::GetModuleFileNameW(module, name, MAX_PATH);
    }
    const std::wstring path(name);
    const size_t separator = path.find_last_of(L"/\\");
    const std::string file =
        windows::Narrow(separator == std::wstring::npos ? path : path.substr(separator + 1));
    char line[64];
    // The offset is pointer-sized: unsigned long is 32 bits on 64-bit Windows.
    std::snprintf(line, sizeof(line), "+0x%llx [%p]\n",
                  static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(frames[i]) -
                                                  reinterpret_cast<uintptr_t>(module)),
                  frames[i]);
    text += file + line;
  }
  return text;
}

int32_t CAppError::CreateErrorDump(const std::string& path, int64_t) {
  return WriteMiniDump(path, nullptr, ::GetCurrentThreadId());
}

}  // namespace tbx
