// ExitCodeLauncher.exe PIDFILE PROGRAM [ARGUMENT...]: starts PROGRAM under Wine on behalf of the
// Linux end-to-end driver and ends with PROGRAM's own exit code.
//
// Wine hands the exit code of a process ended by another (TerminateProcess) to its Linux parent
// as 0; read here, inside Wine, it is the real one. The program runs in a job that ends it when
// the launcher goes, so a test that kills the launcher leaves nothing running. PIDFILE receives
// the program's process id as Windows numbers it (what its pid file and records show), written
// before the program runs.
#include <windows.h>

#include <shellapi.h>

#include <string>

namespace {

// One argument quoted so that the C runtime's parser gives it back unchanged.
std::wstring Quote(const std::wstring& argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
    return argument;
  }
  std::wstring quoted = L"\"";
  for (size_t i = 0;; ++i) {
    size_t backslashes = 0;
    while (i < argument.size() && argument[i] == L'\\') {
      ++i;
      ++backslashes;
    }
    if (i == argument.size()) {
      quoted.append(backslashes * 2, L'\\');
      break;
    }
    if (argument[i] == L'"') {
      quoted.append(backslashes * 2 + 1, L'\\');
    } else {
      quoted.append(backslashes, L'\\');
    }
    quoted.push_back(argument[i]);
  }
  quoted.push_back(L'"');
  return quoted;
}

bool WriteWhole(const std::wstring& path, const std::string& content) {
  const std::wstring temporary = path + L"~new";
  const HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return false;
  }
  DWORD written = 0;
  const bool ok =
      WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr) &&
      written == content.size();
  CloseHandle(file);
  // A reader polling for the file sees it whole or not at all.
  return ok && MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
}

int Fail(const char* what) {
  char text[160];
  wsprintfA(text, "ExitCodeLauncher: %s failed, error %lu\n", what, GetLastError());
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), text, lstrlenA(text), &written, nullptr);
  return 125;
}

// Ends the suspended program after a failed step, reporting that step's error, not the
// termination's.
int EndAndFail(HANDLE process, const char* what) {
  const DWORD error = GetLastError();
  TerminateProcess(process, 125);
  SetLastError(error);
  return Fail(what);
}

}  // namespace

int main() {
  int count = 0;
  LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  if (arguments == nullptr || count < 3) {
    return Fail("reading PIDFILE PROGRAM [ARGUMENT...] from the command line");
  }
  std::wstring commandLine;
  for (int i = 2; i < count; ++i) {
    commandLine += (i > 2 ? L" " : L"") + Quote(arguments[i]);
  }

  const HANDLE job = CreateJobObjectW(nullptr, nullptr);
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  if (job == nullptr ||
      !SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
    return Fail("creating the job");
  }

  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(arguments[2], &commandLine[0], nullptr, nullptr, TRUE, CREATE_SUSPENDED,
                      nullptr, nullptr, &startup, &process)) {
    return Fail("CreateProcessW");
  }
  if (!AssignProcessToJobObject(job, process.hProcess)) {
    return EndAndFail(process.hProcess, "AssignProcessToJobObject");
  }
  if (!WriteWhole(arguments[1], std::to_string(process.dwProcessId))) {
    return EndAndFail(process.hProcess, "writing PIDFILE");
  }
  // Resumed until its suspend count reaches zero: a count above one (the system may add its own
  // while the process starts) would leave the program suspended, "running" with no output.
  DWORD previous;
  do {
    previous = ResumeThread(process.hThread);
  } while (previous != static_cast<DWORD>(-1) && previous > 1);
  if (previous == static_cast<DWORD>(-1)) {
    return EndAndFail(process.hProcess, "ResumeThread");
  }
  CloseHandle(process.hThread);
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 125;
  if (!GetExitCodeProcess(process.hProcess, &code)) {
    return Fail("GetExitCodeProcess");
  }
  return static_cast<int>(code);
}
