// Running a batch on several threads while reporting it as one thread would.
#pragma once

#include <cstddef>
#include <functional>
#include <limits>
#include <vector>

inline constexpr std::size_t kNoTask = std::numeric_limits<std::size_t>::max();

// What a task may ask of the batch it runs in.
class BatchControl {
 public:
  // Waits until another task has finished; false at once when no other is
  // running that could.
  virtual bool WaitForAnother() = 0;

 protected:
  ~BatchControl() = default;
};

// Runs work(i, t, control) for every i below after.size() on up to `threads`
// threads, this one (t = 0) included, as many as the system lets it start,
// each with its own t below `threads`, starting work(i)
// only once work(after[i]) has finished (after[i] is an earlier task, or
// kNoTask). Calls report(i) on this thread in order of i, once work(i) and
// the reports before it are done; with one thread, right after work(i).
// When a report returns false, no task starts any more and no report
// follows; those running finish first.
void RunInOrder(unsigned threads, const std::vector<std::size_t>& after,
                const std::function<void(std::size_t, std::size_t, BatchControl&)>& work,
                const std::function<bool(std::size_t)>& report);
