// Running a batch on several threads while reporting it as one thread would.
#pragma once

#include <cstddef>
#include <functional>
#include <limits>
#include <vector>

inline constexpr std::size_t kNoTask = std::numeric_limits<std::size_t>::max();

// Runs work(i) for every i below after.size() on up to `threads` threads,
// starting work(i) only once work(after[i]) has finished (after[i] is an
// earlier task, or kNoTask). Calls report(i) on this thread in order of i,
// each as soon as work(i) and the reports before it are done.
void RunInOrder(unsigned threads, const std::vector<std::size_t>& after,
                const std::function<void(std::size_t)>& work,
                const std::function<void(std::size_t)>& report);
