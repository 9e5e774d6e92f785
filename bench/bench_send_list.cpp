// The send list under load: messages per second from 1 and 4 producer threads to the one
// consumer, and the heap bytes each queued message holds, measured with a counting global
// operator new and with the allocator's own statistics.
#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include <benchmark/benchmark.h>

#include "IpcClient/IpcSendList.h"
#include "valkoConfig/ConfigTestSeams.h"

namespace {

std::atomic<int64_t> gNewCalls{0};        // operator new calls so far
std::atomic<int64_t> gRequestedBytes{0};  // bytes asked of operator new so far, frees ignored

}  // namespace

// Counts what the program asks for; the default operator delete frees with std::free.
void* operator new(std::size_t size) {
  void* block = std::malloc(size == 0 ? 1 : size);
  if (block == nullptr) {
    throw std::bad_alloc();
  }
  gNewCalls.fetch_add(1, std::memory_order_relaxed);
  gRequestedBytes.fetch_add(static_cast<int64_t>(size), std::memory_order_relaxed);
  return block;
}

namespace {

constexpr int64_t kMessagesPerRound = 20000;

// A heartbeat-sized message: a type past the short-string buffer and 200 bytes of data.
IpcMessage TypicalMessage(int32_t priority) {
  IpcMessage message;
  message.type = "T_MSG_KORVEXMONITOR_IPC_HEART";
  message.data = std::string(200, 'd');
  message.priority = priority;
  return message;
}

void PushPop(benchmark::State& state) {
  const int producers = static_cast<int>(state.range(0));
  valko::testing::OverrideQueueSizeRatio(100.0);  // no refusal while the consumer lags
  CIpcSendList list;
  list.InitSemaphore();
  const IpcMessage message = TypicalMessage(0);
  for (auto _ : state) {
    std::vector<std::thread> threads;
    for (int p = 0; p < producers; ++p) {
      threads.emplace_back([&list, &message, producers, p] {
        for (int64_t i = p; i < kMessagesPerRound; i += producers) {
          list.Push(message, static_cast<int32_t>(i % CIpcSendList::kPriorityCount));
        }
      });
    }
    IpcMessage out;
    for (int64_t i = 0; i < kMessagesPerRound; ++i) {
      list.Pop(out);
    }
    for (std::thread& thread : threads) {
      thread.join();
    }
  }
  state.SetItemsProcessed(state.iterations() * kMessagesPerRound);
  valko::testing::ClearQueueSizeRatioOverride();
}

// Heap taken per queued message: "requested" sums the sizes given to operator new while
// pushing (nothing is freed then), "allocated" is the growth of the allocator's in-use bytes
// (block headers and rounding included).
void MemoryPerQueuedMessage(benchmark::State& state) {
  constexpr int64_t kQueued = 100000;
  valko::testing::OverrideQueueSizeRatio(100.0);  // 300000 per priority
  const IpcMessage message = TypicalMessage(2);
  for (auto _ : state) {
    auto* list = new CIpcSendList;
    const int64_t callsBefore = gNewCalls.load();
    const int64_t requestedBefore = gRequestedBytes.load();
    const size_t allocatedBefore = mallinfo2().uordblks;
    for (int64_t i = 0; i < kQueued; ++i) {
      list->Push(message, 2);
    }
    const double calls = static_cast<double>(gNewCalls.load() - callsBefore);
    const double requested = static_cast<double>(gRequestedBytes.load() - requestedBefore);
    const double allocated = static_cast<double>(mallinfo2().uordblks - allocatedBefore);
    state.counters["news_per_msg"] = calls / kQueued;
    state.counters["requested_B_per_msg"] = requested / kQueued;
    state.counters["allocated_B_per_msg"] = allocated / kQueued;
    state.counters["payload_B_per_msg"] =
        static_cast<double>(message.type.size() + message.data.size());
    state.counters["sizeof_IpcMessage"] = sizeof(IpcMessage);
    delete list;
  }
  valko::testing::ClearQueueSizeRatioOverride();
}

BENCHMARK(PushPop)->Arg(1)->Arg(4)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(MemoryPerQueuedMessage)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
