// Error records, the crash handler and dumps.
//
// The error-record file is a three-line text file in the application directory holding the
// newest failures of the monitor. Crash dumps ("-Error.dmp") and resource dumps (".dmp") are
// written beside it, sent to the agent's error service and removed again.
#pragma once

#include <cstdint>
#include <string>

#include "tbx/AppError.h"

struct MemoryQueries;

// Rewrites <application dir>/<fileName> so that it holds at most the two newest earlier lines
// followed by a new record line "<date time> [<process id>] <message>". Does nothing but log
// while the gate is closed. Callable from any thread, and from the crash hook on a thread that
// was itself inside this call; returns once the file has been replaced (or skipped).
void WriteErrorRecord(std::string fileName, std::string message);

// Opens (true) or closes the process-wide gate of WriteErrorRecord; closed at process start.
void EnableErrorRecords(bool enable);

// What a dump is taken for; the value selects the suffix of the dump's base path.
enum class DumpKind {
  Cpu = 0,
  Mem = 1,
  ThreadHang = 2,
  MaxFd = 3,
  Crash = 4,
};

// <application dir>/<version>-<identity address>-<y>_<m>_<d>_<h>_<min>_<s><kind suffix>, or
// <application dir>/CConfig Null while the configuration component has no instance.
std::string BuildDumpBasePath(DumpKind kind);

// True when physical, virtual, page-file and commit memory each have more than 15 MB free;
// logs the four figures otherwise. The system's figures, or those `queries` give
// (KorvexCommon/MemoryQueries.h).
bool IsMemoryEnough();
bool IsMemoryEnough(const MemoryQueries& queries);

// Writes a resource dump named BuildDumpBasePath(kind) + ".dmp", sends it, removes it and ends
// the process.
[[noreturn]] void DumpAndExit(DumpKind kind);

// Removes every file directly in the application directory whose name ends in "-Error.dmp".
void CleanupErrorDumps();

// The monitor's answer to an unhandled exception. Exactly one instance exists: a process-wide
// object in Error.cpp whose construction, before main, installs the crash hook and whose
// destruction at exit removes it. Any use of WriteErrorRecord or EnableErrorRecords links that
// object into the executable.
class CError : public tbx::IAppError {
 public:
  CError();
  ~CError();

  // The crash dump path: BuildDumpBasePath(DumpKind::Crash) + "-Error.dmp".
  std::string GetDumpFilePath() override;
  // Logs, reports and records the crash, removes the dump and old crash dumps, and ends the
  // process; never returns to the crashing code.
  void OnError(const std::string& dumpPath, int64_t exceptionCode, int32_t dumpResult,
               int32_t reserved) override;

 private:
  CError(const CError&) = delete;
  CError& operator=(const CError&) = delete;
};
