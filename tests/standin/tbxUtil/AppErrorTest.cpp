#include <signal.h>

#include <gtest/gtest.h>

#include "TestProcess.h"
#include "tbx/AppError.h"
#include "tbx/StringUtil.h"

namespace {

using korvex_test::CrashDumpIsText;
using korvex_test::FaultStatus;
using korvex_test::ReadText;
using korvex_test::TempDir;
using tbxtest::RunChild;

// Whether the dump is the crash hook's: its start, and for a text dump `part` in it.
void ExpectDump(const std::string& dump, const std::string& part) {
  const std::string start = korvex_test::CrashDumpStart();
  EXPECT_EQ(start, dump.substr(0, start.size()));
  if (CrashDumpIsText()) {
    EXPECT_NE(std::string::npos, dump.find(part)) << part;
  }
}

// One crashing child: where it faults, how its OnError behaves, what it leaves.
struct Crash {
  int status;        // the child's exit status
  std::string dump;  // the dump file's content
  std::string dumpPath;
  std::string seen;  // "path|code|result" as OnError received them, "" when not called
  std::string log;   // the child's log
};

Crash RunCrash(const TempDir& dir, const std::string& how, const std::string& where,
               const std::string& onError, const std::string& dumpPath = "") {
  Crash crash;
  crash.dumpPath = dumpPath.empty() ? dir.File("v-1.2.3.4-2024_3_9_17_5_42-Error.dmp") : dumpPath;
  crash.status =
      RunChild({"crash", dir.path(), crash.dumpPath, dir.File("marker"), how, where, onError});
  crash.dump = ReadText(crash.dumpPath);
  crash.seen = ReadText(dir.File("marker"));
  crash.log = ReadText(dir.File("logs/tbx_test_child.log"));
  return crash;
}

std::string Seen(const Crash& crash, int64_t code, int result) {
  return crash.dumpPath + "|" + std::to_string(code) + "|" + std::to_string(result);
}

TEST(AppErrorTest, ASegmentationFaultWritesTheDumpThenReachesOnError) {
  TempDir dir;
  Crash crash = RunCrash(dir, "segv", "main", "return");
  // OnError returned: the hook ends the process.
  EXPECT_EQ(FaultStatus(SIGSEGV, 0xC0000005u), crash.status);
  EXPECT_EQ(Seen(crash, 0xC0000005LL, 0), crash.seen);
  for (const char* part : {"signal: 11 (SIGSEGV)", "address: 0x0\n", "back trace:\n",
                           "tbx_test_child", "memory map:\n", "[stack]"}) {
    ExpectDump(crash.dump, part);
  }
}

// Each fault, where it happens and what OnError does: the status the process ends with, the
// exception code OnError saw, and what the dump or the log must hold.
TEST(AppErrorTest, EveryFatalSignalReachesOnErrorWithItsCode) {
  struct Case {
    const char* how;
    const char* where;
    const char* onError;
    int status;
    int64_t code;
    const char* dumpPart;  // "" when not checked
    const char* logPart;
  };
  const Case cases[] = {
      {"abort", "main", "return", FaultStatus(SIGABRT, 0x40000015u), 0x40000015LL, "(SIGABRT)", ""},
      {"fpe", "main", "return", FaultStatus(SIGFPE, 0xC0000094u), 0xC0000094LL, "(SIGFPE)", ""},
      // A stack overflow on a library thread still gets its report.
      {"overflow", "thread", "return",
       FaultStatus(SIGSEGV, static_cast<uint32_t>(korvex_test::StackOverflowCode())),
       korvex_test::StackOverflowCode(), "memory map:\n", ""},
      // A fault inside the handler ends the process at once.
      {"segv", "main", "fault", FaultStatus(SIGSEGV, 0xC0000005u), 0xC0000005LL, "", ""},
      // OnError may end the process itself, with its log flushed.
      {"segv", "thread", "terminate", 1, 0xC0000005LL, "", "last words"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.how) + " " + c.where + " " + c.onError);
    TempDir dir;
    Crash crash = RunCrash(dir, c.how, c.where, c.onError);
    EXPECT_EQ(c.status, crash.status);
    EXPECT_EQ(Seen(crash, c.code, 0), crash.seen);
    ExpectDump(crash.dump, c.dumpPart);
    EXPECT_NE(std::string::npos, crash.log.find(c.logPart));
  }
}

TEST(AppErrorTest, AnUnwritableDumpIsReportedToOnError) {
  TempDir dir;
  Crash crash = RunCrash(dir, "segv", "main", "return", dir.File("no/such/dir.dmp"));
  EXPECT_EQ(FaultStatus(SIGSEGV, 0xC0000005u), crash.status);
  std::vector<std::string> fields = tbx::CStringUtil::stringSplit(crash.seen, "|", false);
  ASSERT_EQ(3u, fields.size());
  EXPECT_EQ(std::to_string(0xC0000005LL), fields[1]);
  EXPECT_NE("0", fields[2]);
}

// The back trace taken `depth` calls down; each call a frame of its own.
__attribute__((noinline)) std::string TraceFromDepth(volatile int depth) {
  if (depth <= 1) {
    return tbx::CAppError::GetBackTrace();
  }
  std::string trace = TraceFromDepth(depth - 1);
  return trace;  // not a tail call: the frame stays on the stack
}

TEST(AppErrorDumpTest, WritesADumpWithABackTraceOnRequestAndRefusesBadPaths) {
  TempDir dir;
  std::string path = dir.File("x_maxFd.dmp");
  ASSERT_EQ(0, tbx::CAppError::CreateErrorDump(path, -1));
  std::string dump = ReadText(path);
  ExpectDump(dump, "code: 0xffffffffffffffff (-1)");
  ExpectDump(dump, "memory map:\n");
  EXPECT_NE(0, tbx::CAppError::CreateErrorDump(dir.path(), -1));
  EXPECT_NE(0, tbx::CAppError::CreateErrorDump("", -1));

  // Three frames of this program's own below the call, whatever the test framework's frames
  // allow the system to follow beyond them.
  std::string trace = TraceFromDepth(3);  // one frame per line
  EXPECT_GE(tbx::CStringUtil::stringSplit(trace, "\n", true).size(), 3u) << trace;
  EXPECT_NE(std::string::npos, trace.find("unit_tbxUtil"));
}

}  // namespace
