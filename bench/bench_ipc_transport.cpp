// The two local transports of the stand-in IPC library side by side, in one process: how long
// a connect takes until the server's INIT has arrived (ConnectIpcServer), and the round trip
// of a 200-byte message that the server sends straight back. Unix-domain sockets are the
// baseline; loopback TCP adds the endpoint file read, the TCP handshake and the exchange of
// nonces and proofs (three frames, four HMAC-SHA256 computations, two random draws).
#include <stdlib.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <string>

#include <benchmark/benchmark.h>

#include "ipc/TbxIpc.h"
#include "tbxIpc/IpcServer.h"

namespace {

const char kServerName[] = "bench";

// What the client library's receive callback has seen.
std::mutex g_mutex;
std::condition_variable g_changed;
int g_received = 0;

void OnReceive(const char*, int32_t) {
  std::lock_guard<std::mutex> hold(g_mutex);
  ++g_received;
  g_changed.notify_all();
}

bool WaitForReceived(int count) {
  std::unique_lock<std::mutex> hold(g_mutex);
  return g_changed.wait_for(hold, std::chrono::seconds(10), [&] { return g_received >= count; });
}

int32_t InitClient() {
  IpcInitParam param = {};
  param.size = sizeof(IpcInitParam);
  param.clientName = "bench";
  param.clientNameLength = 5;
  param.onReceive = OnReceive;
  return InitIpcClient(&param);
}

// A private endpoint directory for the process, and the transport of one benchmark.
class Environment {
 public:
  Environment() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "bench_ipc_transport_XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) {
      dir_ = pattern;
    }
    setenv("TBX_IPC_DIR", (dir_ / "ipc").c_str(), 1);
  }
  ~Environment() {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  static void Select(const char* transport) { setenv("TBX_IPC_TRANSPORT", transport, 1); }

 private:
  std::filesystem::path dir_;
};

// An echo server: every DATA frame goes back to its sender.
class EchoServer {
 public:
  EchoServer()
      : server_(CIpcServer::Handlers{nullptr,
                                     [this](uint64_t client, const CIpcServer::Message& message) {
                                       server_.Send(client, message.text);
                                     },
                                     nullptr, nullptr}) {}
  bool Start() { return server_.Start(kServerName) == 0; }

 private:
  CIpcServer server_;
};

void Connect(benchmark::State& state, const char* transport) {
  static Environment environment;
  Environment::Select(transport);
  EchoServer server;
  if (!server.Start()) {
    state.SkipWithError("the server did not start");
    return;
  }
  for (auto _ : state) {
    InitClient();
    const auto start = std::chrono::steady_clock::now();
    const int32_t connected = ConnectIpcServer(kServerName);
    state.SetIterationTime(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    FreeIpcClient();
    if (connected != 0) {
      state.SkipWithError("connect failed");
      break;
    }
  }
}

void RoundTrip(benchmark::State& state, const char* transport) {
  static Environment environment;
  Environment::Select(transport);
  EchoServer server;
  if (!server.Start() || InitClient() != 0 || ConnectIpcServer(kServerName) != 0) {
    state.SkipWithError("set-up failed");
    FreeIpcClient();
    return;
  }
  const std::string text(200, 'x');
  {
    std::lock_guard<std::mutex> hold(g_mutex);
    g_received = 0;
  }
  int sent = 0;
  for (auto _ : state) {
    IpcSendData(text.data(), static_cast<uint32_t>(text.size()));
    if (!WaitForReceived(++sent)) {
      state.SkipWithError("no echo");
      break;
    }
  }
  FreeIpcClient();
}

BENCHMARK_CAPTURE(Connect, unix_baseline, "unix")->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(Connect, tcp, "tcp")->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(RoundTrip, unix_baseline, "unix")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(RoundTrip, tcp, "tcp")->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
