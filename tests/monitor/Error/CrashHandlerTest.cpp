// The crash handler and the dumps: names, memory check, clean-up and a real crash in a child.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <regex>
#include <thread>

#include "KorvexCommon/Error.h"
#include "support/TestSupport.h"
#include "tbx/LogMessage.h"
#include "valko/Config.h"

namespace {

using korvex_test::ChildResult;
using korvex_test::EndsWith;
using korvex_test::ListNames;
using korvex_test::ReadText;
using korvex_test::ReportsOfKind;
using korvex_test::RunInChild;
using korvex_test::SplitLines;
using korvex_test::WriteText;

const char kMoment[] = "2024_3_9_17_5_42";

void RemoveConfig() {
  while (CSingleton<CConfig>::GetInstance() != nullptr) {
    CSingleton<CConfig>::RemoveInstance();
  }
}

// The address the dump names carry on this machine.
std::string IdentityAddress() {
  std::string address;
  CConfig* config = CSingleton<CConfig>::GetInstance();
  if (config == nullptr || !config->GetIdentityIp(address)) {
    return "0.0.0.0";
  }
  return address;
}

// The deliberate null store is the fault under test, not a finding of the sanitizer.
[[noreturn]] __attribute__((no_sanitize("null"))) void Fault() {
  volatile int* volatile target = nullptr;
  *target = 1;
  std::abort();  // not reached: the write above faults
}

class CrashHandlerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    korvex_test::OpenProcessLog();
    korvex_test::FreezeClockUtc(korvex_test::kMarch9th2024At170542);
    WriteText(dir_.File("conf/version"), "3.2.1");
  }
  void TearDown() override {
    RemoveConfig();
    EnableErrorRecords(false);
    korvex_test::FreezeClockUtc(0);
  }

  // D/<version>-<address>-<moment>.
  std::string ExpectedBase() const {
    return dir_.File("3.2.1-" + IdentityAddress() + "-" + kMoment);
  }

  korvex_test::TempDir dir_;
  korvex_test::ScopedApplicationDir appDir_{dir_.path()};
};

TEST_F(CrashHandlerTest, DumpBasePathCarriesVersionAddressMomentAndKindSuffix) {
  const std::pair<DumpKind, const char*> kinds[] = {{DumpKind::Crash, ""},
                                                    {DumpKind::Cpu, "_cpu"},
                                                    {DumpKind::Mem, "_mem"},
                                                    {DumpKind::ThreadHang, "_threadHang"},
                                                    {DumpKind::MaxFd, "_maxFd"}};
  for (const auto& [kind, suffix] : kinds) {
    EXPECT_EQ(BuildDumpBasePath(kind), dir_.File("CConfig Null")) << "without configuration";
  }
  CSingleton<CConfig>::NewInstance();
  for (const auto& [kind, suffix] : kinds) {
    EXPECT_EQ(BuildDumpBasePath(kind), ExpectedBase() + suffix);
  }
}

// A network namespace of its own leaves the child with the loopback interface only.
TEST_F(CrashHandlerTest, WithoutIdentityAddressTheAddressIsZeros) {
  ChildResult child = RunInChild([this] {
    if (!korvex_test::EnterOwnNetworkNamespace()) {
      std::_Exit(77);
    }
    CSingleton<CConfig>::NewInstance();
    WriteText(dir_.File("base"), BuildDumpBasePath(DumpKind::MaxFd));
  });
  if (child.exited && child.exitCode == 77) {
    GTEST_SKIP() << "cannot create a network namespace here";
  }
  ASSERT_TRUE(child.exited && child.exitCode == 0);
  EXPECT_EQ(ReadText(dir_.File("base")),
            dir_.File(std::string("3.2.1-0.0.0.0-") + kMoment + "_maxFd"));
}

TEST_F(CrashHandlerTest, CleanupRemovesOnlyCrashDumpsDirectlyInTheDirectory) {
  for (const char* name : {"x-Error.dmp", "y-ERROR.DMP", "x_maxFd.dmp", "x-Error.dmp.bak",
                           "MonitorError.data", "sub/z-Error.dmp"}) {
    WriteText(dir_.File(name), "d");
  }
  WriteText(dir_.File("dir-Error.dmp/keep"), "d");  // a directory with a dump's name

  CleanupErrorDumps();

  EXPECT_EQ(ListNames(dir_.path()),
            (std::vector<std::string>{"MonitorError.data", "conf", "dir-Error.dmp", "sub",
                                      "x-Error.dmp.bak", "x_maxFd.dmp"}));
  EXPECT_EQ(ListNames(dir_.File("sub")), std::vector<std::string>{"z-Error.dmp"});
}

// The parts of a crash that every crash test checks: the process ended through the handler,
// the dump was written, reported under `dumpPath` and copied, and no crash dump is left in D.
void ExpectHandledCrash(const ChildResult& child, const std::string& dir,
                        const std::string& dumpPath) {
  ASSERT_TRUE(child.exited) << "ended by signal " << child.signal;
  EXPECT_EQ(child.exitCode, 1);

  const std::vector<Json::Value> crashes = ReportsOfKind(dir, "crash_info");
  ASSERT_EQ(crashes.size(), 1u);
  EXPECT_TRUE(std::regex_match(
      crashes[0]["information"].asString(),
      std::regex("exception code : -?[0-9a-f]+, dump error : -?[0-9]+, mem is enough : [01]")))
      << crashes[0]["information"].asString();
  EXPECT_TRUE(crashes[0]["flag"].asBool());

  const std::vector<Json::Value> dumps = ReportsOfKind(dir, "dump_file");
  ASSERT_EQ(dumps.size(), 1u);
  EXPECT_EQ(dumps[0]["source"].asString(), dumpPath);
  EXPECT_TRUE(dumps[0]["copied"].asBool()) << "the dump was not there to send";
  const std::string start = korvex_test::CrashDumpStart();
  EXPECT_EQ(ReadText(dir + "/report/" + dumps[0]["file"].asString()).substr(0, start.size()),
            start);

  for (const std::string& name : ListNames(dir)) {
    EXPECT_FALSE(EndsWith(name, "-Error.dmp")) << name;
  }
}

TEST_F(CrashHandlerTest, ACrashIsReportedRecordedAndCleanedUpAndEndsTheProcess) {
  WriteText(dir_.File("MonitorError.data"), "earlier");
  WriteText(dir_.File("old-Error.dmp"), "from an earlier crash");
  const size_t backTraces =
      korvex_test::CountOccurrences(korvex_test::ReadProcessLog(), "BackTrace:\n");

  ChildResult child = RunInChild([] {
    CSingleton<CConfig>::NewInstance();
    EnableErrorRecords(true);
    Fault();
  });

  CSingleton<CConfig>::NewInstance();  // for the address this machine has
  ExpectHandledCrash(child, dir_.path(), ExpectedBase() + "-Error.dmp");
  EXPECT_EQ(ReadText(dir_.File("MonitorError.data")),
            "earlier\n2024-03-09 17:05:42 [" + std::to_string(child.pid) + "] exception crash");
  const std::string log = korvex_test::ReadProcessLog();
  EXPECT_NE(log.find("OnError:" + ExpectedBase() + "-Error.dmp, dump error: "), std::string::npos);
  EXPECT_EQ(korvex_test::CountOccurrences(log, "BackTrace:\n"), backTraces + 1);
}

TEST_F(CrashHandlerTest, ACrashBeforeStartUpUsesConfigNullAndLeavesNoRecord) {
  RemoveConfig();
  ChildResult child = RunInChild([] { Fault(); });

  ExpectHandledCrash(child, dir_.path(), dir_.File("CConfig Null-Error.dmp"));
  EXPECT_FALSE(korvex_test::PathExists(dir_.File("MonitorError.data")));
}

// A crash on a thread that is inside WriteErrorRecord must still get its record written: the
// hook runs on that very thread, which holds the record lock.
TEST_F(CrashHandlerTest, ACrashInsideARecordWriteStillRecordsIt) {
  const std::string busy = "error record lock busy";
  const size_t busyBefore = korvex_test::CountOccurrences(korvex_test::ReadProcessLog(), busy);

  using korvex_test::ThreadFaulter;
  if (!ThreadFaulter::Available()) {
    GTEST_SKIP() << "another thread's system call cannot be seen, nor a fault raised on it, here";
  }
  ChildResult child = RunInChild([] {
    EnableErrorRecords(true);
    std::atomic<long> writerId{0};
    std::thread writer([&] {
      writerId.store(ThreadFaulter::CurrentThreadId());
      for (;;) {
        WriteErrorRecord("MonitorError.data", "busy");
      }
    });
    // Wait until the writer sits in the file replacement's fsync, which only happens between
    // taking and releasing the record lock (and never inside the logger or the allocator).
    while (writerId.load() == 0) {
      std::this_thread::yield();
    }
    while (!ThreadFaulter::SitsInFsync(writerId.load())) {
      std::this_thread::yield();
    }
    ThreadFaulter::Fault(static_cast<uintptr_t>(writer.native_handle()));
    writer.join();  // not reached: the hook ends the process
  });

  ASSERT_TRUE(child.exited) << "ended by signal " << child.signal;
  EXPECT_EQ(child.exitCode, 1);
  const std::vector<std::string> lines = SplitLines(ReadText(dir_.File("MonitorError.data")));
  ASSERT_FALSE(lines.empty());
  EXPECT_TRUE(EndsWith(lines.back(), "] exception crash")) << lines.back();
  EXPECT_EQ(korvex_test::CountOccurrences(korvex_test::ReadProcessLog(), busy), busyBefore)
      << "the crashing thread waited for the lock it held itself";
}

}  // namespace
