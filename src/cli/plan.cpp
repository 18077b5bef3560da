#include "plan.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <system_error>
#include <utility>

#include "texts.h"

namespace {

namespace fs = std::filesystem;

// Adds an entry for each carrier below `folder`, depth first in name order
// so that runs repeat, and one for each folder that cannot be read; counts
// the other files as skipped.
void Walk(const fs::path& folder, const fs::path& relative, Plan* plan) {
  Result<std::vector<FolderEntry>> listed = ListFolder(folder.native());
  if (!listed.Ok()) {
    Entry& entry = plan->entries.emplace_back();
    entry.source = folder.native();
    entry.problem = Say(Text::kCannotReadFolder) + NATIVE_TEXT(": ") + ErrorText(listed.error.code);
    return;
  }
  std::vector<FolderEntry>& found = listed.value;
  std::sort(found.begin(), found.end(), [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
  for (const FolderEntry& item : found) {
    const fs::path path = folder / item.name, below = relative / item.name;
    if (item.kind == FolderEntry::Kind::kFolder) {
      Walk(path, below, plan);
    } else if (HasCarrierExtension(item.name)) {
      // FIFOs, sockets and links to nothing are refused by the conversion, as when named.
      Entry& entry = plan->entries.emplace_back();
      entry.source = path.native();
      entry.relative = below.native();
    } else if (item.kind == FolderEntry::Kind::kFile) {
      ++plan->skipped;
    }
  }
}

// What names a file however it is spelled: its identity where it exists,
// else its absolute path, letter case folded where the system ignores it.
NativeString FileKey(Platform& os, const NativeString& path) {
  if (const Result<FileId> id = IdentifyFile(path); id.Ok()) {
    const std::string volume = std::to_string(id.value.volume), file = std::to_string(id.value.file);
    NativeString key(1, '#');
    key.append(volume.begin(), volume.end()).append(1, ':').append(file.begin(), file.end());
    return key;
  }
  const Result<NativeString> absolute = os.AbsolutePath(path);
  NativeString key(1, '@');
  return key += NameKey(absolute.Ok() ? absolute.value : path);
}

// An output that may not exist yet: its folder's key and its own name.
NativeString OutputKey(Platform& os, const NativeString& output) {
  const fs::path path(output);
  const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(NATIVE_TEXT("."));
  return FileKey(os, folder.native()) + NATIVE_TEXT("/") + NameKey(path.filename().native());
}

// Two outputs are one file only if their names are one, so only entries
// whose output names meet are told apart by what they name.
void FindSharedOutputs(Platform& os, const NativeChar* suffix, std::vector<Entry>* entries) {
  std::map<NativeString, std::vector<std::size_t>> byName;
  for (std::size_t i = 0; i < entries->size(); ++i) {
    if ((*entries)[i].problem.empty())
      byName[NameKey(fs::path((*entries)[i].base + suffix).filename().native())].push_back(i);
  }
  struct Writer {
    NativeString source;  // as given
    NativeString sourceKey;
    std::size_t latest;  // the last entry of that source
  };
  for (const auto& [name, group] : byName) {
    if (group.size() < 2) continue;
    std::map<NativeString, Writer> writers;
    for (const std::size_t i : group) {
      Entry& entry = (*entries)[i];
      const NativeString source = FileKey(os, entry.source);
      const auto [found, added] =
          writers.try_emplace(OutputKey(os, entry.base + suffix), Writer{entry.source, source, i});
      if (added) continue;
      if (found->second.sourceKey == source)
        entry.after = std::exchange(found->second.latest, i);
      else
        entry.problem = Say(Text::kWrittenTwice, {entry.base + suffix, found->second.source});
    }
  }
}

}  // namespace

NativeString Mirror(const NativeString& dir, const Entry& entry) { return (fs::path(dir) / entry.relative).native(); }

Plan MakePlan(Platform& os, const Options& options, const NativeChar* suffix) {
  Plan plan;
  for (const NativeString& operand : options.operands) {
    std::error_code error;
    if (options.recursive && fs::is_directory(operand, error)) {
      Walk(operand, {}, &plan);
      continue;
    }
    Entry& entry = plan.entries.emplace_back();
    entry.source = operand;
    const Result<NativeString> absolute = os.AbsolutePath(operand);
    entry.relative = fs::path(absolute.Ok() ? absolute.value : operand).filename().native();
  }
  for (Entry& entry : plan.entries) entry.base = options.outputDir.empty() ? entry.source : Mirror(options.outputDir, entry);
  FindSharedOutputs(os, suffix, &plan.entries);
  return plan;
}
