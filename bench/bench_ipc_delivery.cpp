// Delivery from a full send list to a local agent server, at the real clock. The send thread
// paces itself (5 ms after every second message on a fast machine), which caps delivery at
// 400 messages per second; the figures are the delivered rate, its ratio to that ceiling and
// the process CPU time per delivered message (client and server threads together, both being
// in this process). The same run measures the IPC library alone, without the client and its
// pacing, as the baseline of what the transport itself allows.
#include <stdlib.h>
#include <time.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>

#include <benchmark/benchmark.h>

#include "IpcClient/IpcClient.h"
#include "ipc/TbxIpc.h"
#include "tbxIpc/IpcFrame.h"
#include "tbxIpc/IpcServer.h"
#include "tbxUtil/TbxTestSeams.h"
#include "valkoConfig/ConfigTestSeams.h"

namespace {

const char kServerName[] = "Valko-<Guid(3F7B19C4-52E0-4D8A-B6C1-90A4E27D5B13)>";
constexpr double kPacingCeiling = 400.0;  // messages per second: two per 5 ms pause
constexpr int64_t kQueueLimit = 400;      // the list holds limit + 1 messages
constexpr int kMessages = kQueueLimit + 1;

double ProcessCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// The agent's end: counts DATA frames and tells when a number has arrived.
class CountingAgent {
 public:
  CountingAgent()
      : server_(CIpcServer::Handlers{nullptr,
                                     [this](uint64_t, const CIpcServer::Message& message) {
                                       if (message.kind == kIpcFrameData) {
                                         std::lock_guard<std::mutex> hold(mutex_);
                                         ++data_;
                                         changed_.notify_all();
                                       }
                                     },
                                     nullptr, nullptr}) {}

  bool Start() { return server_.Start(kServerName) == 0; }
  void DropClients() { server_.CloseAll(); }
  void Reset() {
    std::lock_guard<std::mutex> hold(mutex_);
    data_ = 0;
  }
  bool WaitFor(int count) {
    std::unique_lock<std::mutex> hold(mutex_);
    return changed_.wait_for(hold, std::chrono::seconds(60), [&] { return data_ >= count; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  int data_ = 0;  // DATA frames since the last Reset; guarded by mutex_
  CIpcServer server_;
};

// Process-wide set-up: a private socket and application directory, the real clock, and a
// queue limit that a benchmark round fills.
class Environment {
 public:
  Environment() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "bench_ipc_delivery_XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) {
      dir_ = pattern;
    }
    setenv("TBX_IPC_DIR", (dir_ / "ipc").c_str(), 1);
    tbx::testing::OverrideApplicationDir(dir_.string());
    tbx::testing::OverrideTimeScale(1.0);
    valko::testing::OverrideQueueSizeRatio(static_cast<double>(kQueueLimit) / 3000.0);
  }
  ~Environment() {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }

 private:
  std::filesystem::path dir_;
};

bool WaitUntil(const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// Messages delivered over the rounds of one benchmark, with their wall and CPU time.
struct Totals {
  int64_t messages = 0;
  double wallSeconds = 0;
  double cpuSeconds = 0;  // of the whole process
  void Add(int64_t count, double wall, double cpu) {
    messages += count;
    wallSeconds += wall;
    cpuSeconds += cpu;
  }
};

void Report(benchmark::State& state, const Totals& totals) {
  if (totals.messages == 0) {
    return;
  }
  const double rate = static_cast<double>(totals.messages) / totals.wallSeconds;
  state.counters["msgs_per_s"] = rate;
  state.counters["ratio_to_ceiling"] = rate / kPacingCeiling;
  state.counters["cpu_us_per_msg"] = totals.cpuSeconds * 1e6 / static_cast<double>(totals.messages);
  state.counters["messages"] = static_cast<double>(totals.messages);
}

void BM_DeliveryFromAFullQueue(benchmark::State& state) {
  static Environment environment;
  CountingAgent agent;
  CIpcClient* client = CSingleton<CIpcClient>::NewInstance();
  if (!agent.Start() || client == nullptr || !client->InitClient()) {
    state.SkipWithError("set-up failed");
    CSingleton<CIpcClient>::RemoveInstance();
    return;
  }
  const std::string data(200, 'x');
  Totals delivered;
  for (auto _ : state) {
    // Fill one priority to its limit while disconnected (the configuration requests that the
    // connection adds go to priority 0 and are counted as well).
    int queued = 0;
    while (client->SendMsg("T_MSG_BENCH", data, "", 2, false)) {
      ++queued;
    }
    agent.Reset();
    const double cpuStart = ProcessCpuSeconds();
    const auto wallStart = std::chrono::steady_clock::now();
    if (!client->ConnectServer() || !agent.WaitFor(queued + 2)) {
      state.SkipWithError("delivery did not complete");
      break;
    }
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
    delivered.Add(queued + 2, wall, ProcessCpuSeconds() - cpuStart);
    state.SetIterationTime(wall);

    agent.DropClients();
    if (!WaitUntil([&] { return !client->IsConnected(); })) {
      state.SkipWithError("the client did not see the disconnect");
      break;
    }
  }
  CSingleton<CIpcClient>::RemoveInstance();
  Report(state, delivered);
}
BENCHMARK(BM_DeliveryFromAFullQueue)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

// The baseline: the same number of DATA frames through the IPC library alone.
void BM_LibraryAloneBaseline(benchmark::State& state) {
  static Environment environment;
  CountingAgent agent;
  CIpcClient* client = CSingleton<CIpcClient>::NewInstance();
  if (!agent.Start() || client == nullptr || !client->InitClient() || !client->ConnectServer() ||
      !agent.WaitFor(2)) {
    state.SkipWithError("set-up failed");
    CSingleton<CIpcClient>::RemoveInstance();
    return;
  }
  const std::string text =
      "{\"traceId\":\"\",\"priority\":2,\"type\":\"T_MSG_BENCH\",\"data\":{"
      "\"data\":\"" +
      std::string(200, 'x') + "\"}}";
  Totals delivered;
  for (auto _ : state) {
    agent.Reset();
    const double cpuStart = ProcessCpuSeconds();
    const auto wallStart = std::chrono::steady_clock::now();
    for (int i = 0; i < kMessages; ++i) {
      IpcSendData(text.data(), static_cast<uint32_t>(text.size()));
    }
    if (!agent.WaitFor(kMessages)) {
      state.SkipWithError("delivery did not complete");
      break;
    }
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
    delivered.Add(kMessages, wall, ProcessCpuSeconds() - cpuStart);
    state.SetIterationTime(wall);
  }
  CSingleton<CIpcClient>::RemoveInstance();
  Report(state, delivered);
}
BENCHMARK(BM_LibraryAloneBaseline)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
