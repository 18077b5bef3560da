// Running a batch on several threads while reporting it as one thread would.
#pragma once

#include <cstddef>
#include <functional>
#include <limits>
#include <vector>

inline constexpr std::size_t kNoTask = std::numeric_limits<std::size_t>::max();

// Runs work(i) for every i below after.size() on up to `threads` threads,
// this one included, starting work(i) only once work(after[i]) has finished
// (after[i] is an earlier task, or kNoTask). Calls report(i) on this thread
// in order of i, once work(i) and the reports before it are done; with one
// thread, right after work(i).
void RunInOrder(unsigned threads, const std::vector<std::size_t>& after,
                const std::function<void(std::size_t)>& work,
                const std::function<void(std::size_t)>& report);
