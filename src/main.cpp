// KorvexMonitor.exe: takes the single-instance guard, brings the monitor up and hands the main
// thread to the timer loop. The command line is ignored.
#include <string>

#include "KorvexMonitorServiceWork.h"
#include "tbx/Tbx.h"
#include "win32/Win32.h"

namespace {

const char kGuardName[] = "valko-service<Guid(8C2E4A61-0B7D-4F93-A5E8-1D6C3B70F294)>";
const char kGuardFileName[] = "/single_app_korvex_monitor";
// Stands in for the directory that contains the application directory when none can be found.
const char kDefaultInstallDir[] = "C:\\Program Files (x86)\\Oxlend\\valko\\valko_client";

// Enables "SeDebugPrivilege" on the process token; true when the adjustment call succeeded.
bool EnableDebugPrivilege() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
    return false;
  }
  TOKEN_PRIVILEGES privileges = {};
  if (!LookupPrivilegeValueW(nullptr, SE_DEBUG_NAME, &privileges.Privileges[0].Luid)) {
    CloseHandle(token);
    return false;
  }
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  const BOOL adjusted =
      AdjustTokenPrivileges(token, FALSE, &privileges, sizeof(privileges), nullptr, nullptr);
  CloseHandle(token);
  return adjusted != FALSE;
}

// Brings the monitor up and runs the timer loop, which does not return while the process runs.
int RunMonitor() {
  CKorvexMonitorServiceWork work;
  const int result = work.OnStart();
  tbx::CTimerLoop::exec();
  return result;
}

}  // namespace

int main(int /*argc*/, char** /*argv*/) {
  EnableDebugPrivilege();

  const std::string appDir = tbx::CToolUtil::GetApplicationDirPath();
  tbx::CDirUtil::SetCurrentDir(appDir);

  std::string installDir = tbx::CToolUtil::GetFileDirPath(appDir);
  if (installDir.empty()) {
    installDir = kDefaultInstallDir;
  }
  // Held until the process ends: every application directory inside one installation
  // directory shares the guard.
  tbx::CSingleApp guard(kGuardName, installDir + kGuardFileName, "");
  if (guard.IsRunning()) {
    tbx::CFileUtil::WriteNewFile("./Error.dat", "singleApp Running", false);
    tbx::CToolUtil::Terminate();
  }

  RunMonitor();
  tbx::CToolUtil::Terminate();
}
