// Helpers shared by the unit tests: temporary (application) directories, files, the process
// log, the error service's report file, waiting for other threads, and child processes.
#pragma once

#include <json/json.h>
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace korvex_test {

// A fresh directory under $TMPDIR (or /tmp), removed with its content on destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  // path() + "/" + relative.
  std::string File(const std::string& relative) const { return path_ + "/" + relative; }

 private:
  std::string path_;  // absolute, without a final separator
};

// Makes `dir` the application directory while it lives; the real one afterwards.
class ScopedApplicationDir {
 public:
  explicit ScopedApplicationDir(const std::string& dir);
  ~ScopedApplicationDir();
  ScopedApplicationDir(const ScopedApplicationDir&) = delete;
  ScopedApplicationDir& operator=(const ScopedApplicationDir&) = delete;
};

// A fresh directory that is the application directory while the object lives.
class TempAppDir : public TempDir {
 private:
  ScopedApplicationDir applicationDir_{path()};
};

// Sets an environment variable while it lives; its earlier value (or none) afterwards, so a
// variable the whole run sets survives the test.
class ScopedEnv {
 public:
  ScopedEnv(const std::string& name, const std::string& value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  bool hadPrevious_ = false;
  std::string previous_;
};

// The stand-ins fail the operations listed in TBX_STANDIN_FAIL while it lives.
class ScopedFailList : public ScopedEnv {
 public:
  explicit ScopedFailList(const std::string& list) : ScopedEnv("TBX_STANDIN_FAIL", list) {}
};

// The whole file; "" when it is missing.
std::string ReadText(const std::string& path);
// Creates the file's directory if needed and replaces the file; false on failure.
bool WriteText(const std::string& path, const std::string& content);
bool PathExists(const std::string& path);
// The names of the entries directly in `dir`, sorted.
std::vector<std::string> ListNames(const std::string& dir);
// Splits at "\n" keeping empty pieces; "" yields no lines.
std::vector<std::string> SplitLines(const std::string& text);
// How often `text` occurs in `haystack`, without overlaps.
size_t CountOccurrences(const std::string& haystack, const std::string& text);
bool EndsWith(const std::string& text, const std::string& suffix);
// One JSON value by a strict reader; false (and a null value) when `text` is not one.
bool ParseJson(const std::string& text, Json::Value* value);

// Polls `done` until it holds or `limit` passes; its last answer. The limit guards against a
// hang; it is not a measured expectation.
bool WaitUntil(const std::function<bool()>& done,
               std::chrono::milliseconds limit = std::chrono::seconds(20));

// Opens the process log once per process, in a directory of its own so that test executables
// running side by side do not share a file, and large enough never to roll over under a test.
void OpenProcessLog();
// The process log so far (flushed first).
std::string ReadProcessLog();

// The process log's lines written after construction.
class LogTail {
 public:
  LogTail();
  std::vector<std::string> Lines() const;
  // Lines whose text ends with `text`; with a level (2 error, 3 warning, 4 progress), only
  // records of that level.
  int Count(const std::string& text, int level = 0) const;
  // Lines that contain `text`.
  int CountContaining(const std::string& text) const;
  // Waits until a line ends with `text`.
  bool WaitFor(const std::string& text) const;

 private:
  uint64_t offset_;  // log file size at construction, in bytes
};

// The reports in <dir>/report/reports.jsonl, one value per line, in file order.
std::vector<Json::Value> ReadReports(const std::string& dir);
// The reports of one kind ("kill_self", "err_info", ...).
std::vector<Json::Value> ReportsOfKind(const std::string& dir, const std::string& kind);

// The result of a child process.
struct ChildResult {
  bool exited = false;  // ended through exit or _exit, not by a signal or an exception
  int exitCode = -1;    // valid when exited
  int signal = 0;       // when !exited: the ending signal; on Windows the exception code
  int pid = 0;          // the child's process id
};

// Runs `body` in a child, which exits with status 0 when `body` returns (without running the
// parent's exit handlers), and waits for it. A child still running after 120 s is ended. On
// POSIX the child is forked. On Windows it is this executable started anew on the running test
// alone: `body` must be reached on the same path as in the parent, so the test's code before
// the call runs again in the child (on the same temporary directories and process log).
ChildResult RunInChild(const std::function<void()>& body);

// Starts `program` with `args` (argv[0] is `program`); -1 on failure.
pid_t Spawn(const std::string& program, const std::vector<std::string>& args);
// Waits for the child: its exit status, or 128 + signal when a signal ended it.
int WaitExit(pid_t pid);
// The child's status as WaitExit gives it when it has ended (it is reaped then); -1 while it
// runs.
int PollExit(pid_t pid);
// Ends the child at once (SIGKILL, TerminateProcess) and reaps it.
void KillChild(pid_t pid);
// The status WaitExit gives for a process that the utility library's process service ended:
// 128 + SIGKILL on POSIX, the exit code the service passes to TerminateProcess on Windows.
int TerminatedStatus();
// A program that sleeps for the seconds its one argument gives; copies of it under another
// name are processes of that name.
std::string SleeperProgram();

// An absolute path as the system writes it: unchanged on POSIX; on Windows what
// GetFullPathNameW makes of it (drive, backslashes, "." and ".." resolved).
std::string SystemPath(const std::string& path);
// How the crash hook's dump file begins: the stand-in's text dump on POSIX, a minidump's
// signature on Windows.
const char* CrashDumpStart();
// Whether that dump is text (signal, address, back trace, memory map): on POSIX only.
bool CrashDumpIsText();
// Whether the single-instance guard is a lock on a file at the guard path (POSIX), which needs a
// usable path, rather than a named object (a mutex on Windows), which needs none.
bool GuardIsALockFile();
// The status WaitExit gives for a process that a fault ended: 128 + `signal` on POSIX, the
// exception code on Windows.
int FaultStatus(int signal, uint32_t exceptionCode);
// The exception code the crash hook reports for a stack overflow: an access violation on
// POSIX (the overflow is a SIGSEGV like any other), the stack-overflow code on Windows.
int64_t StackOverflowCode();
// Gives the calling process a network namespace of its own, with the loopback interface only;
// false where that is not possible (no privilege, or no such thing on Windows).
bool EnterOwnNetworkNamespace();

// Faulting another thread at a chosen point of its work: the thread's kernel id, whether it
// sits in fsync now, and a SIGSEGV sent to it. POSIX (Linux /proc) only; elsewhere Available()
// is false and nothing is done.
struct ThreadFaulter {
  static bool Available();
  static long CurrentThreadId();
  static bool SitsInFsync(long threadId);
  static void Fault(uintptr_t thread);  // a std::thread's native_handle()
};

// This process's id (getpid, GetCurrentProcessId).
int CurrentProcessId();
// The calling thread's id as the system's per-thread counters know it (gettid,
// GetCurrentThreadId).
int64_t SystemThreadId();
// The calling thread's name as the system keeps it; "" when it keeps none.
std::string SystemThreadName();
// The file name of this process's executable without the directory and without ".exe", read
// from the system (/proc/self/exe, GetModuleFileNameW).
std::string OwnProgramName();
// The file name of this process's executable as it is, ".exe" included where it has one.
std::string OwnExecutableFileName();
// The path of this process's executable, canonical, as SymbolHome names files.
std::string OwnProgramPath();

// This process's memory in use as the system counts it (resident set, working set), in bytes;
// -1 when unreadable.
int64_t ResidentBytes();
// Whether this Windows program runs under Wine, which reads some of the system's counters as 0
// (open handles, I/O bytes); false on POSIX.
bool UnderWine();

// Shared libraries as the system's loader sees them (dlopen, LoadLibraryW). A library this
// process has loaded already, by its path or file name, with a reference taken that
// ReleaseLibrary gives back; null when it is not loaded (it is not loaded then either).
void* FindLoadedLibrary(const std::string& path);
// What the library exports under `name`; null when nothing.
void* LibrarySymbol(void* library, const char* name);
void ReleaseLibrary(void* library);
// The canonical path of the module whose definition of `symbol` the libraries this process
// loads are bound to: the global lookup on POSIX, the executable's exports on Windows (where
// imports name their module); "" when there is none.
std::string SymbolHome(const char* symbol);
// A piece of the loader's message for a library file that does not exist.
std::string MissingLibraryText();

// Interrupts another thread's blocking wait the way a caught POSIX signal does (the wait returns
// EINTR), with a handler that counts, while it lives. Windows has no such interruption.
class WaitInterrupter {
 public:
  WaitInterrupter();
  ~WaitInterrupter();
  WaitInterrupter(const WaitInterrupter&) = delete;
  WaitInterrupter& operator=(const WaitInterrupter&) = delete;

  static bool Available();
  // The calling thread, as Interrupt takes it.
  static uintptr_t CurrentThread();
  void Interrupt(uintptr_t thread);
  // Interruptions the handler has seen.
  int Handled() const;
};

// Keeps other openers from reading `path` while it lives: mode 0 on POSIX, which root still
// reads through; on Windows an open handle that shares nothing, which keeps everyone out.
class ScopedUnreadable {
 public:
  explicit ScopedUnreadable(const std::string& path);
  ~ScopedUnreadable();
  ScopedUnreadable(const ScopedUnreadable&) = delete;
  ScopedUnreadable& operator=(const ScopedUnreadable&) = delete;

  bool made() const { return made_; }
  // Whether this process's own reads are refused.
  bool KeepsThisProcessOut() const;

 private:
  std::string path_;
  bool made_ = false;
  void* handle_ = nullptr;  // Windows: the holding handle
};

// Gives up root's privileges for good (user and group "nobody"); false when that fails.
bool DropPrivileges();

// 2024-03-09 17:05:42 UTC in seconds since 1970.
constexpr int64_t kMarch9th2024At170542 = 1710003942;
// Freezes both calendar clocks, the utility library's and the monitor's own, at `seconds`
// (0: the real clocks again).
void FreezeClock(int64_t seconds);
// Renders local time as UTC and freezes the calendar clocks at `seconds` (0: the real clocks).
void FreezeClockUtc(int64_t seconds);

}  // namespace korvex_test
