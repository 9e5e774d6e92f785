// A second process for the utility library's tests. The first argument picks the scenario;
// the exit status and the files it leaves are what the tests look at.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "tbx/Tbx.h"
#include "tbxUtil/TbxTestSeams.h"
#include "win32/Win32.h"

namespace {

// Opens the log in <appDir>/logs under a thread name the tests look for.
void OpenLog(const std::string& appDir) {
  tbx::testing::OverrideApplicationDir(appDir);
  tbx::CLogMessage::SetLogDirName("logs");
  if (tbx::CLogMessage::GetInstance() == nullptr) {
    std::exit(90);
  }
  tbx::CThreadUtil::SetThreadName("child-main-thread");
}

// log APPDIR LIMIT COUNT LENGTH: COUNT records "record <i> xxx...", LENGTH 'x' each.
int WriteRecords(char** argv) {
  OpenLog(argv[2]);
  tbx::CLogMessage::GetInstance()->SetLogFileSize(std::strtoull(argv[3], nullptr, 10));
  int count = std::atoi(argv[4]);
  std::string filler(std::strtoul(argv[5], nullptr, 10), 'x');
  for (int i = 0; i < count; ++i) {
    tbx::CLogMessage::log(tbx::TBX_LOG_INFO, "IpcClient\\IpcClient", 42, "record %d %s", i,
                          filler.c_str());
  }
  tbx::CLogMessage::log(tbx::TBX_LOG_ERROR, "Main", 7, "failure %s", "text");
  tbx::CLogMessage::WriteLogMessage("plain warning", tbx::TBX_LOG_WARN);
  return 0;
}

// Records what the crash hook hands over, in the file `marker`, as "path|code|result".
void Fault(const std::string& how);

class CrashOwner : public tbx::IAppError {
 public:
  CrashOwner(std::string dumpPath, std::string marker, std::string onError)
      : dumpPath_(std::move(dumpPath)), marker_(std::move(marker)), onError_(std::move(onError)) {}
  std::string GetDumpFilePath() override { return dumpPath_; }
  void OnError(const std::string& path, int64_t code, int32_t result, int32_t) override {
    std::string text = path + "|" + std::to_string(code) + "|" + std::to_string(result);
    tbx::CFileUtil::WriteNewFile(marker_, text, false);
    if (onError_ == "fault") {
      Fault("segv");  // a fault inside the handler
    }
    if (onError_ == "terminate") {
      tbx::CLogMessage::log(tbx::TBX_LOG_INFO, "Error", 1, "last words");
      tbx::CToolUtil::Terminate();
    }
  }

 private:
  std::string dumpPath_;
  std::string marker_;
  std::string onError_;  // "return", "fault" or "terminate"
};

volatile int g_bottom = -1;  // never reached: the stack runs out first

int Recurse(volatile int depth) {
  if (depth == g_bottom) {
    return 0;
  }
  volatile char frame[1024];
  frame[0] = static_cast<char>(depth);
  return Recurse(depth + 1) + frame[0];
}

// The faults are the point: the undefined-behaviour checker must not report them first. Each
// is a real fault of the processor (or abort()), so the system turns it into its own signal or
// exception: "fpe" is an integer division by zero.
__attribute__((no_sanitize("undefined"))) void Fault(const std::string& how) {
  if (how == "segv") {
    volatile int* volatile nowhere = nullptr;
    *nowhere = 1;
  } else if (how == "abort") {
    std::abort();
  } else if (how == "fpe") {
    // Both operands unknown to the compiler, which would otherwise turn 1 / x into a compare.
    volatile int one = 1;
    volatile int zero = 0;
    volatile int quotient = one / zero;
    (void)quotient;
  } else if (how == "overflow") {
    Recurse(0);
  }
}

class FaultingThread : public tbx::CThreadUtil {
 public:
  explicit FaultingThread(std::string how) : how_(std::move(how)) {}
  void run() override { Fault(how_); }

 private:
  std::string how_;
};

// crash APPDIR DUMP MARKER HOW WHERE ONERROR
int Crash(char** argv) {
  OpenLog(argv[2]);
  CrashOwner owner(argv[3], argv[4], argv[7]);
  tbx::CAppError hook(&owner);
  std::string how = argv[5];
  if (std::string(argv[6]) == "thread") {
    FaultingThread thread(how);
    thread.startThread();
    thread.waitForThreadFinish();
  } else {
    Fault(how);
  }
  return 80;  // the fault did not end the process
}

// guard PATH: exits 10 when another process holds the guard, 0 otherwise.
// hold PATH READY: takes the guard, creates READY, and waits to be killed.
int Guard(char** argv, bool hold) {
  tbx::CSingleApp guard("tbx-test-guard", argv[2], "");
  if (!hold) {
    return guard.IsRunning() ? 10 : 0;
  }
  if (guard.IsRunning()) {
    return 11;
  }
  tbx::CFileUtil::WriteNewFile(argv[3], "held", false);
  for (;;) {
    std::this_thread::sleep_for(std::chrono::hours(1));
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "log" && argc == 6) {
    return WriteRecords(argv);
  }
  if (mode == "exitprocess" && argc == 4) {
    OpenLog(argv[2]);
    tbx::CLogMessage::log(tbx::TBX_LOG_INFO, "Main", 1, "on cmd stop monitor...");
    ExitProcess(static_cast<UINT>(std::atoi(argv[3])));
  }
  if (mode == "terminate" && argc == 3) {
    OpenLog(argv[2]);
    tbx::CLogMessage::log(tbx::TBX_LOG_INFO, "Main", 1, "try connec maxcnt:exit");
    tbx::CToolUtil::Terminate();
  }
  if (mode == "crash" && argc == 8) {
    return Crash(argv);
  }
  if ((mode == "guard" && argc == 3) || (mode == "hold" && argc == 4)) {
    return Guard(argv, mode == "hold");
  }
  std::fprintf(stderr, "unknown scenario\n");
  return 99;
}
