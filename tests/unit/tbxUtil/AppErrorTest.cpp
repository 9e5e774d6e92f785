#include <signal.h>

#include <gtest/gtest.h>

#include "TestProcess.h"
#include "tbx/AppError.h"
#include "tbx/StringUtil.h"

namespace {

using tbxtest::ReadWholeFile;
using tbxtest::RunChild;
using tbxtest::TempDir;

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
  crash.dump = ReadWholeFile(crash.dumpPath);
  crash.seen = ReadWholeFile(dir.File("marker"));
  crash.log = ReadWholeFile(dir.File("logs/tbx_test_child.log"));
  return crash;
}

std::string Seen(const Crash& crash, int64_t code, int result) {
  return crash.dumpPath + "|" + std::to_string(code) + "|" + std::to_string(result);
}

TEST(AppErrorTest, ASegmentationFaultWritesTheDumpThenReachesOnError) {
  TempDir dir;
  Crash crash = RunCrash(dir, "segv", "main", "return");
  EXPECT_EQ(128 + SIGSEGV, crash.status);  // OnError returned: the hook ends the process
  EXPECT_EQ(Seen(crash, 0xC0000005LL, 0), crash.seen);
  EXPECT_NE(std::string::npos, crash.dump.find("signal: 11 (SIGSEGV)"));
  EXPECT_NE(std::string::npos, crash.dump.find("address: 0x0\n"));
  EXPECT_NE(std::string::npos, crash.dump.find("back trace:\n"));
  EXPECT_NE(std::string::npos, crash.dump.find("tbx_test_child"));
  EXPECT_NE(std::string::npos, crash.dump.find("memory map:\n"));
  EXPECT_NE(std::string::npos, crash.dump.find("[stack]"));
}

TEST(AppErrorTest, EachFatalSignalCarriesItsExceptionCode) {
  TempDir dir;
  Crash aborted = RunCrash(dir, "abort", "main", "return");
  EXPECT_EQ(128 + SIGABRT, aborted.status);
  EXPECT_EQ(Seen(aborted, 0x40000015LL, 0), aborted.seen);
  EXPECT_NE(std::string::npos, aborted.dump.find("(SIGABRT)"));
  Crash arithmetic = RunCrash(dir, "fpe", "main", "return");
  EXPECT_EQ(128 + SIGFPE, arithmetic.status);
  EXPECT_EQ(Seen(arithmetic, 0xC0000094LL, 0), arithmetic.seen);
}

TEST(AppErrorTest, AStackOverflowOnALibraryThreadIsStillReported) {
  TempDir dir;
  Crash crash = RunCrash(dir, "overflow", "thread", "return");
  EXPECT_EQ(128 + SIGSEGV, crash.status);
  EXPECT_EQ(Seen(crash, 0xC0000005LL, 0), crash.seen);
  EXPECT_NE(std::string::npos, crash.dump.find("memory map:\n"));
}

TEST(AppErrorTest, OnErrorMayEndTheProcessWithItsLogFlushed) {
  TempDir dir;
  Crash crash = RunCrash(dir, "segv", "thread", "terminate");
  EXPECT_EQ(1, crash.status);
  EXPECT_NE(std::string::npos, crash.log.find("last words"));
}

TEST(AppErrorTest, AFaultInsideTheHandlerEndsTheProcessAtOnce) {
  TempDir dir;
  Crash crash = RunCrash(dir, "segv", "main", "fault");
  EXPECT_EQ(128 + SIGSEGV, crash.status);
  EXPECT_EQ(Seen(crash, 0xC0000005LL, 0), crash.seen);
}

TEST(AppErrorTest, AnUnwritableDumpIsReportedToOnError) {
  TempDir dir;
  Crash crash = RunCrash(dir, "segv", "main", "return", dir.File("no/such/dir.dmp"));
  EXPECT_EQ(128 + SIGSEGV, crash.status);
  std::vector<std::string> fields = tbx::CStringUtil::stringSplit(crash.seen, "|", false);
  ASSERT_EQ(3u, fields.size());
  EXPECT_EQ(std::to_string(0xC0000005LL), fields[1]);
  EXPECT_NE("0", fields[2]);
}

TEST(AppErrorDumpTest, WritesADumpOnRequestAndRefusesBadPaths) {
  TempDir dir;
  std::string path = dir.File("x_maxFd.dmp");
  ASSERT_EQ(0, tbx::CAppError::CreateErrorDump(path, -1));
  std::string dump = ReadWholeFile(path);
  EXPECT_NE(std::string::npos, dump.find("code: 0xffffffffffffffff (-1)"));
  EXPECT_NE(std::string::npos, dump.find("memory map:\n"));
  EXPECT_NE(0, tbx::CAppError::CreateErrorDump(dir.path(), -1));
  EXPECT_NE(0, tbx::CAppError::CreateErrorDump("", -1));
}

TEST(AppErrorDumpTest, TheBackTraceHasOneFramePerLine) {
  std::string trace = tbx::CAppError::GetBackTrace();
  std::vector<std::string> frames = tbx::CStringUtil::stringSplit(trace, "\n", true);
  EXPECT_GE(frames.size(), 3u);
  EXPECT_NE(std::string::npos, trace.find("unit_tbxUtil"));
}

}  // namespace
