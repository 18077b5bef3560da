#include "batch.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

void RunInOrder(unsigned threads, const std::vector<std::size_t>& after,
                const std::function<void(std::size_t)>& work,
                const std::function<void(std::size_t)>& report) {
  const std::size_t count = after.size();
  std::mutex mutex;
  std::condition_variable finished;
  std::vector<bool> done(count);
  std::atomic<std::size_t> next = 0;
  // A bool, read under the lock: not a reference into `done` read after it.
  const auto isDone = [&](std::size_t i) -> bool {
    const std::lock_guard lock(mutex);
    return done[i];
  };
  const auto waitFor = [&](std::size_t i) {
    std::unique_lock lock(mutex);
    finished.wait(lock, [&] { return done[i]; });
  };
  // Tasks are taken in order, so the one a task waits for has been taken
  // already and never waits for a later one: no wait can go round in a circle.
  const auto run = [&](std::size_t i) {
    if (after[i] != kNoTask) waitFor(after[i]);
    work(i);
    {
      const std::lock_guard lock(mutex);
      done[i] = true;
    }
    finished.notify_all();
  };
  std::vector<std::jthread> helpers;
  for (unsigned t = 1; t < threads && t < count; ++t)
    helpers.emplace_back([&] {
      for (std::size_t i; (i = next++) < count;) run(i);
    });
  // This thread takes tasks too, and between them reports whatever is ready,
  // so it sleeps only when nothing is left to take.
  for (std::size_t reported = 0; reported < count;) {
    if (isDone(reported)) {
      report(reported++);
    } else if (const std::size_t i = next++; i < count) {
      run(i);
    } else {
      waitFor(reported);
    }
  }
}
