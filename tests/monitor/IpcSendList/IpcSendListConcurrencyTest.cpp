#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "IpcClient/IpcSendList.h"
#include "SendListTestSupport.h"

namespace {

using sendlist_test::Message;
using sendlist_test::ScopedQueueLimit;

constexpr int kProducers = 4;
constexpr int kPerProducer = 20000;

// Producer p sends sequence numbers 0..kPerProducer-1 as "p:seq", spread over the priorities.
TEST(SendListConcurrency, FourProducersOneConsumerLoseAndDuplicateNothing) {
  ScopedQueueLimit limit(kProducers * kPerProducer);  // no refusal however far the consumer lags
  CIpcSendList list;
  ASSERT_TRUE(list.InitSemaphore());

  std::vector<std::thread> producers;
  for (int p = 0; p < kProducers; ++p) {
    producers.emplace_back([&list, p] {
      for (int seq = 0; seq < kPerProducer; ++seq) {
        const int priority = seq % CIpcSendList::kPriorityCount;
        if (!list.Push(Message(std::to_string(p) + ":" + std::to_string(seq), priority),
                       priority)) {
          ADD_FAILURE() << "push refused: " << p << ":" << seq;
          list.WakeConsumer();  // the consumer would otherwise wait for it forever
        }
      }
    });
  }

  // seen[p][seq]; lastSeq[p][priority] checks FIFO per producer within one priority.
  std::vector<std::vector<int>> seen(kProducers, std::vector<int>(kPerProducer, 0));
  std::vector<std::vector<int>> lastSeq(kProducers,
                                        std::vector<int>(CIpcSendList::kPriorityCount, -1));
  for (int n = 0; n < kProducers * kPerProducer; ++n) {
    IpcMessage out;
    if (!list.Pop(out)) {
      ADD_FAILURE() << "Pop failed after " << n << " messages";
      break;
    }
    const size_t colon = out.data.find(':');
    const int p = std::stoi(out.data.substr(0, colon));
    const int seq = std::stoi(out.data.substr(colon + 1));
    ++seen[p][seq];
    EXPECT_GT(seq, lastSeq[p][out.priority]) << out.data;
    lastSeq[p][out.priority] = seq;
  }
  for (std::thread& producer : producers) {
    producer.join();
  }

  for (int p = 0; p < kProducers; ++p) {
    for (int seq = 0; seq < kPerProducer; ++seq) {
      ASSERT_EQ(seen[p][seq], 1) << p << ":" << seq;
    }
  }
  EXPECT_EQ(list.Count(), 0u);
}

}  // namespace
