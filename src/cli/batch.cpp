#include "batch.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

void RunInOrder(unsigned threads, const std::vector<std::size_t>& after,
                const std::function<void(std::size_t)>& work,
                const std::function<void(std::size_t)>& report) {
  const std::size_t count = after.size();
  if (threads <= 1 || count <= 1) {
    for (std::size_t i = 0; i < count; ++i) {
      work(i);
      report(i);
    }
    return;
  }
  std::mutex mutex;
  std::condition_variable finished;
  std::vector<bool> done(count);
  std::atomic<std::size_t> next = 0;
  const auto waitFor = [&](std::size_t i) {
    std::unique_lock lock(mutex);
    finished.wait(lock, [&] { return done[i]; });
  };
  // Tasks are taken in order, so the one a task waits for has been taken
  // already and never waits for a later one: no wait can go round in a circle.
  const auto worker = [&] {
    for (std::size_t i; (i = next++) < count;) {
      if (after[i] != kNoTask) waitFor(after[i]);
      work(i);
      {
        const std::lock_guard lock(mutex);
        done[i] = true;
      }
      finished.notify_all();
    }
  };
  std::vector<std::jthread> pool;
  for (unsigned t = 0; t < threads && t < count; ++t) pool.emplace_back(worker);
  for (std::size_t i = 0; i < count; ++i) {
    waitFor(i);
    report(i);
  }
}
