#include "paths.h"

#include <filesystem>

namespace {

// The separators a name may be split at, the system's own first.
#ifdef _WIN32
constexpr const NativeChar* kSeparators = L"\\/";
constexpr bool kDriveColon = true;
#else
constexpr const NativeChar* kSeparators = "/";
constexpr bool kDriveColon = false;
#endif

}  // namespace

// Joined by hand: std::filesystem takes the path apart and together again.
// A separator already there, and on Windows a drive's colon ("C:" is that
// drive's working folder), takes none after it.
NativeString JoinPath(const NativeString& folder, const NativeString& name) {
  if (folder.empty()) return name;
  NativeString joined = folder;
  const NativeChar last = folder.back();
  const bool ends = NativeString(kSeparators).find(last) != NativeString::npos || (kDriveColon && last == ':');
  if (!ends) joined += kSeparators[0];
  return joined += name;
}

NativeString FolderOf(const NativeString& path) { return std::filesystem::path(path).parent_path().native(); }

NativeString NameOf(const NativeString& path) { return std::filesystem::path(path).filename().native(); }

bool HoldsSeparator(const NativeString& name) { return name.find_first_of(kSeparators) != NativeString::npos; }

std::vector<NativeString> NamesOf(const NativeString& path) {
  std::vector<NativeString> names;
  for (std::size_t start = 0;;) {
    const std::size_t end = path.find_first_of(kSeparators, start);
    names.push_back(path.substr(start, end - start));
    if (end == NativeString::npos) break;
    start = end + 1;
  }
  while (names.size() > 1 && names.back().empty()) names.pop_back();
  return names;
}
