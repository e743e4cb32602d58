// How the tool waits out a file another program holds for a moment (a virus
// scanner, the indexer, another instance's write): one schedule for every
// step that tries again.
#pragma once

#include <algorithm>
#include <chrono>
#include <thread>

// Calls `refused` until it answers false (done, or failed for a reason that
// waiting does not cure) or `patience` has passed, pausing in between.
template <typename Attempt>
void RetryWhileRefused(std::chrono::milliseconds patience, Attempt refused) {
  const auto deadline = std::chrono::steady_clock::now() + patience;
  std::chrono::milliseconds pause{5};
  while (refused() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(pause);
    pause = std::min(pause * 2, std::chrono::milliseconds{200});
  }
}
