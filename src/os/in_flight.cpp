#include "in_flight.h"

#include <algorithm>
#include <atomic>
#include <new>
#include <thread>

namespace {

// As many as a batch runs jobs at most, each with one staging file.
constexpr std::size_t kPlaces = 256;

// A place goes kFree -> kFilling -> kHeld -> kFree in the thread that owns
// its file, or kHeld -> kTaken in a handler, after which it stays so.
enum State : int { kFree, kFilling, kHeld, kTaken };

struct Place {
  std::atomic<int> state = kFree;
  std::atomic<FileHandle> hold = kNoFile;
  std::atomic<NativeChar*> path = nullptr;
};
static_assert(std::atomic<int>::is_always_lock_free && std::atomic<FileHandle>::is_always_lock_free &&
              std::atomic<NativeChar*>::is_always_lock_free);

Place places[kPlaces];

}  // namespace

void EnterInFlight(FileHandle hold, const NativeString& path) {
  for (Place& place : places) {
    int free = kFree;
    if (!place.state.compare_exchange_strong(free, kFilling, std::memory_order_acquire)) continue;
    NativeChar* copy = new (std::nothrow) NativeChar[path.size() + 1];
    if (!copy) {
      place.state.store(kFree, std::memory_order_release);
      return;
    }
    std::copy(path.begin(), path.end(), copy);
    copy[path.size()] = 0;
    place.hold.store(hold, std::memory_order_relaxed);
    place.path.store(copy, std::memory_order_relaxed);
    place.state.store(kHeld, std::memory_order_release);
    return;
  }
}

void LeaveInFlight(FileHandle hold) {
  for (Place& place : places) {
    if (place.state.load(std::memory_order_acquire) != kHeld || place.hold.load(std::memory_order_relaxed) != hold)
      continue;
    NativeChar* const path = place.path.load(std::memory_order_relaxed);
    int held = kHeld;
    if (place.state.compare_exchange_strong(held, kFree, std::memory_order_acq_rel)) {
      delete[] path;
      return;
    }
    // A handler on another thread is removing it and ends the process next.
    for (;;) std::this_thread::yield();
  }
}

void RemoveInFlight(void (*remove)(FileHandle hold, const NativeChar* path)) {
  for (Place& place : places) {
    int held = kHeld;
    if (place.state.compare_exchange_strong(held, kTaken, std::memory_order_acq_rel))
      remove(place.hold.load(std::memory_order_relaxed), place.path.load(std::memory_order_relaxed));
  }
}
