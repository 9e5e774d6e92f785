// Bounded polling for end-to-end tests. A wait never asserts on how long something took; it
// only gives up after a generous limit and says what it was waiting for.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>

namespace e2e {

// Long enough for a loaded two-core machine running other tests beside this one.
constexpr std::chrono::milliseconds kWaitLimit{60000};
constexpr std::chrono::milliseconds kPollInterval{20};

// Polls `done` until it holds or `limit` has passed.
inline bool PollUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds limit = kWaitLimit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) {
      return done();
    }
    std::this_thread::sleep_for(kPollInterval);
  }
  return true;
}

// As PollUntil, as a gtest result naming what did not happen.
inline ::testing::AssertionResult WaitFor(const std::string& what,
                                          const std::function<bool()>& done,
                                          std::chrono::milliseconds limit = kWaitLimit) {
  if (PollUntil(done, limit)) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure()
         << "gave up after " << limit.count() << " ms waiting for: " << what;
}

}  // namespace e2e
