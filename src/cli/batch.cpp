#include "batch.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

namespace {

class Batch final : public BatchControl {
 public:
  Batch(const std::vector<std::size_t>& after,
        const std::function<void(std::size_t, std::size_t, BatchControl&)>& work)
      : after_(after), work_(work), done_(after.size()) {}

  bool WaitForAnother() override {
    std::unique_lock lock(mutex_);
    // The ones waiting here finish nothing until another does.
    if (running_ - waiting_ <= 1) return false;
    const std::size_t seen = finished_;
    ++waiting_;
    changed_.wait(lock, [&] { return finished_ != seen; });
    --waiting_;
    return true;
  }

  // Takes the next task to run on thread `thread`; false when none is left.
  bool TakeAndRun(std::size_t thread) {
    const std::size_t i = next_++;
    if (i >= done_.size()) return false;
    // Tasks are taken in order, so the one a task waits for has been taken
    // already and never waits for a later one: no wait can go round in a circle.
    if (after_[i] != kNoTask) WaitFor(after_[i]);
    if (!stopped_) {
      Count(+1);
      work_(i, thread, *this);
      Count(-1);
    }
    {
      const std::lock_guard lock(mutex_);
      done_[i] = true;
      ++finished_;
    }
    changed_.notify_all();
    return true;
  }

  // A bool, read under the lock: not a reference into `done_` read after it.
  bool IsDone(std::size_t i) {
    const std::lock_guard lock(mutex_);
    return done_[i];
  }

  void WaitFor(std::size_t i) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return done_[i]; });
  }

  void Stop() { stopped_ = true; }
  bool Stopped() const { return stopped_; }

 private:
  void Count(int change) {
    const std::lock_guard lock(mutex_);
    running_ += change;
  }

  const std::vector<std::size_t>& after_;
  const std::function<void(std::size_t, std::size_t, BatchControl&)>& work_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<bool> done_;
  std::atomic<std::size_t> next_ = 0;
  std::atomic<bool> stopped_ = false;
  int running_ = 0;
  int waiting_ = 0;
  std::size_t finished_ = 0;
};

}  // namespace

void RunInOrder(unsigned threads, const std::vector<std::size_t>& after,
                const std::function<void(std::size_t, std::size_t, BatchControl&)>& work,
                const std::function<bool(std::size_t)>& report) {
  const std::size_t count = after.size();
  Batch batch(after, work);
  std::vector<std::jthread> helpers;
  // A thread the system will not start leaves its share to the others.
  try {
    for (unsigned t = 1; t < threads && t < count; ++t)
      helpers.emplace_back([&batch, t] { while (batch.TakeAndRun(t)) {} });
  } catch (const std::system_error&) {
  } catch (const std::bad_alloc&) {
  }
  // This thread takes tasks too, and between them reports whatever is ready,
  // so it sleeps only when nothing is left to take.
  for (std::size_t reported = 0; reported < count && !batch.Stopped();) {
    if (batch.IsDone(reported)) {
      if (!report(reported++)) batch.Stop();
    } else if (!batch.TakeAndRun(0)) {
      batch.WaitFor(reported);
    }
  }
  // Once stopped, the rest are taken without being run.
  while (batch.TakeAndRun(0)) {}
}
