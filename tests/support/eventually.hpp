#pragma once

#include <chrono>
#include <thread>

namespace testing_support {

// Polls `done` until it holds or `limit` has passed. The machine may be
// shared with other builds, so limits are generous; a passing test rarely
// waits long.
template <typename Pred>
bool eventually(Pred done, std::chrono::milliseconds limit = std::chrono::seconds(15)) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

}  // namespace testing_support
