// Korvex.exe as a Windows child: CreateProcessW with its input on a pipe, in a process group
// of its own so that a Ctrl+Break event reaches it alone.
#include "KorvexProcess.h"

#include <windows.h>

#include "IpcTestSupport.h"
#include "support/windows/CommandLine.h"
#include "tbxUtil/windows/WideText.h"

namespace ipctest {

namespace {

HANDLE Native(intptr_t handle) {
  return reinterpret_cast<HANDLE>(handle);
}

}  // namespace

KorvexProcess::KorvexProcess(const std::string& output, const std::vector<std::string>& options)
    : output_(output) {
  SECURITY_ATTRIBUTES inherited = {sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  if (!::CreatePipe(&readEnd, &writeEnd, &inherited, 0)) {
    return;
  }
  ::SetHandleInformation(writeEnd, HANDLE_FLAG_INHERIT, 0);  // only the child's end is handed on
  const HANDLE out = ::CreateFileW(tbx::windows::Widen(output).c_str(), GENERIC_WRITE,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   &inherited, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  const std::string program = CanonicalPath(BinDir() + "/Korvex.exe");
  std::wstring commandLine = korvex_test::system_support::CommandLine(program, options);
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = readEnd;
  startup.hStdOutput = out;
  startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION info = {};
  if (out != INVALID_HANDLE_VALUE &&
      ::CreateProcessW(tbx::windows::Widen(program).c_str(), &commandLine[0], nullptr, nullptr,
                       TRUE, CREATE_NEW_PROCESS_GROUP, nullptr, nullptr, &startup, &info)) {
    ::CloseHandle(info.hThread);
    process_ = reinterpret_cast<intptr_t>(info.hProcess);
    stdin_ = reinterpret_cast<intptr_t>(writeEnd);
  } else {
    ::CloseHandle(writeEnd);
  }
  ::CloseHandle(readEnd);
  if (out != INVALID_HANDLE_VALUE) {
    ::CloseHandle(out);
  }
}

KorvexProcess::~KorvexProcess() {
  CloseStdin();
  if (process_ != -1) {
    if (!exited_) {
      ::TerminateProcess(Native(process_), 9);
      ::WaitForSingleObject(Native(process_), INFINITE);
    }
    ::CloseHandle(Native(process_));
  }
}

bool KorvexProcess::Command(const std::string& line) {
  const std::string text = line + "\n";
  DWORD written = 0;
  return stdin_ != -1 &&
         ::WriteFile(Native(stdin_), text.data(), static_cast<DWORD>(text.size()), &written,
                     nullptr) &&
         written == text.size();
}

void KorvexProcess::CloseStdin() {
  if (stdin_ != -1) {
    ::CloseHandle(Native(stdin_));
    stdin_ = -1;
  }
}

bool KorvexProcess::CanRequestStop() {
  DWORD attached = 0;
  return ::GetConsoleProcessList(&attached, 1) > 0;
}

bool KorvexProcess::RequestStop() {
  return process_ != -1 &&
         ::GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, ::GetProcessId(Native(process_))) != 0;
}

int KorvexProcess::WaitForExit() {
  if (process_ == -1) {
    return -1;
  }
  // As long as korvex_test::WaitUntil waits on POSIX.
  exited_ = ::WaitForSingleObject(Native(process_), 20000) == WAIT_OBJECT_0;
  DWORD status = 0;
  return exited_ && ::GetExitCodeProcess(Native(process_), &status) ? static_cast<int>(status) : -1;
}

bool KorvexProcess::Running() {
  return process_ != -1 && ::WaitForSingleObject(Native(process_), 0) == WAIT_TIMEOUT;
}

}  // namespace ipctest
