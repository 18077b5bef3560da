#include "stop_at.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr std::size_t kMostSteps = 64;  // one bit each

// Whether `path` ends in the names `names`, given in ASCII.
bool EndsIn(const NativeString& path, std::string_view names) {
  if (names.empty()) return true;
  if (path.size() < names.size() || !std::equal(names.rbegin(), names.rend(), path.rbegin())) return false;
  const std::size_t before = path.size() - names.size();
  return before == 0 || path[before - 1] == '/' || path[before - 1] == '\\';
}

}  // namespace

bool PauseWanted(const char* step, const NativeString& staging) {
  static const std::vector<std::string> wanted = [] {
    std::vector<std::string> steps;
    const char* const list = std::getenv("QUILLANE_STOP_AT");
    for (std::string_view rest = list ? list : ""; !rest.empty() && steps.size() < kMostSteps;) {
      const std::size_t comma = std::min(rest.find(','), rest.size());
      steps.emplace_back(rest.substr(0, comma));
      rest.remove_prefix(std::min(comma + 1, rest.size()));
    }
    return steps;
  }();
  static std::atomic<std::uint64_t> paused = 0;
  for (std::size_t i = 0; i < wanted.size(); ++i) {
    const std::string_view entry = wanted[i];
    const std::size_t at = entry.find('@');
    if (entry.substr(0, at) != step || !EndsIn(staging, at == std::string_view::npos ? "" : entry.substr(at + 1)))
      continue;
    const std::uint64_t bit = std::uint64_t{1} << i;
    if (!(paused.fetch_or(bit) & bit)) return true;
  }
  return false;
}
