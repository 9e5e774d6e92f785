#include "e2e/MonitorSessionTest.h"

#include <fstream>
#include <iostream>

namespace e2e {
namespace {

std::string ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return content;
}

std::string Tail(const std::string& text, size_t lines) {
  std::vector<std::string> all = SplitLines(text);
  std::string tail;
  for (size_t i = all.size() > lines ? all.size() - lines : 0; i < all.size(); ++i) {
    tail += all[i].substr(0, 400) + "\n";
  }
  return tail;
}

}  // namespace

void MonitorSessionTest::SetUp() {
  ASSERT_TRUE(install_.ok()) << install_.error();
}

void MonitorSessionTest::TearDown() {
  if (!HasFailure()) {
    return;
  }
  std::cerr << "---- installation " << install_.BinDir() << "\n"
            << "---- monitor: " << monitor_.Describe() << "\n"
            << "---- monitor log (tail):\n"
            << Tail(install_.ReadLog(), 40) << "---- MonitorError.data:\n"
            << install_.ReadFile("MonitorError.data") << "\n---- report/reports.jsonl:\n"
            << Tail(install_.ReadFile("report/reports.jsonl"), 10)
            << "---- monitor stderr (tail):\n"
            << Tail(ReadWhole(install_.Root() + "/monitor_stderr.txt"), 20)
            << "---- agent transcript (tail):\n"
            << agent_.TranscriptTail(20);
}

::testing::AssertionResult MonitorSessionTest::StartMonitor(ChildProcess& monitor,
                                                            const EnvList& env,
                                                            const std::vector<std::string>& args,
                                                            long long fileSizeLimit,
                                                            const std::string& binDir) {
  ChildOptions options;
  options.argv = {(binDir.empty() ? install_.BinDir() : binDir) + "/KorvexMonitor.exe"};
  options.argv.insert(options.argv.end(), args.begin(), args.end());
  options.env = env;
  options.fileSizeLimit = fileSizeLimit;
  bool scaled = false;
  for (const auto& entry : env) {
    scaled = scaled || entry.first == "TBX_TIME_SCALE";
  }
  if (!scaled) {
    options.env.emplace_back("TBX_TIME_SCALE", kTimeScale);
  }
  // Started from elsewhere, as a launcher would: main makes the bin directory current.
  options.workDir = install_.Root();
  options.stdoutPath = install_.Root() + "/monitor_stdout.txt";
  options.stderrPath = install_.Root() + "/monitor_stderr.txt";
  TargetSystem::Adapt(&options,
                      install_.Root() + "/monitor_pid." + std::to_string(++monitorsStarted_));
  std::string error;
  if (!monitor.Start(options, &error)) {
    return ::testing::AssertionFailure() << error;
  }
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult MonitorSessionTest::StartConnectedSession(const EnvList& env) {
  ::testing::AssertionResult result = StartAgent();
  if (!result)
    return result;
  result = StartMonitor(env);
  if (!result)
    return result;
  return agent_.WaitForMessage("T_MSG_KORVEXMONITOR_IPC_HEART");
}

::testing::AssertionResult MonitorSessionTest::WaitForLog(const std::string& text,
                                                          std::chrono::milliseconds limit) {
  return WaitFor(
      "\"" + text + "\" in the monitor log",
      [&] { return install_.ReadLog().find(text) != std::string::npos; }, limit);
}

::testing::AssertionResult MonitorSessionTest::WaitForExit(ChildProcess& process,
                                                           std::chrono::milliseconds limit) {
  if (process.WaitForExit(limit)) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure() << "process " << process.pid() << " still "
                                       << process.Describe() << " after " << limit.count() << " ms";
}

size_t MonitorSessionTest::CountInLog(const std::string& text) const {
  const std::string log = install_.ReadLog();
  size_t count = 0;
  for (std::string::size_type at = log.find(text); at != std::string::npos;
       at = log.find(text, at + text.size())) {
    ++count;
  }
  return count;
}

size_t MonitorSessionTest::CountLogRecords(const std::string& level,
                                           const std::string& text) const {
  // A record reads "<date> <time> [LEVEL] [thread] <source:line >text".
  size_t count = 0;
  for (const std::string& line : SplitLines(install_.ReadLog())) {
    const bool levelMatches = line.find("[" + level + "]") != std::string::npos;
    const bool endsWithText = line.size() > text.size() &&
                              line.compare(line.size() - text.size(), text.size(), text) == 0 &&
                              line[line.size() - text.size() - 1] == ' ';
    count += levelMatches && endsWithText ? 1 : 0;
  }
  return count;
}

long MonitorSessionTest::MonitorResidentKiB() {
  const long pid = TargetSystem::LinuxPidOfProgram(monitor_, install_.Path("KorvexMonitor.exe"));
  if (pid < 0) {
    return -1;
  }
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) {
      return std::stol(line.substr(6));
    }
  }
  return -1;
}

}  // namespace e2e
