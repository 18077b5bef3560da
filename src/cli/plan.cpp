#include "plan.h"

#include <algorithm>
#include <map>
#include <string>
#include <utility>

#include "../os/paths.h"
#include "../os/system.h"
#include "../picture/picture.h"
#include "texts.h"

namespace {

// The name a backup named `name` keeps, NAME~ or NAME.~N~ as GNU's tools
// name them; empty for a name of no backup.
NativeString BackedUp(const NativeString& name) {
  if (!name.ends_with(NATIVE_TEXT("~"))) return {};
  const std::size_t mark = name.rfind(NATIVE_TEXT(".~"));
  const auto digit = [](NativeChar c) { return c >= '0' && c <= '9'; };
  if (mark != NativeString::npos && mark + 3 < name.size() && std::all_of(name.begin() + mark + 2, name.end() - 1, digit))
    return name.substr(0, mark);
  return name.substr(0, name.size() - 1);
}

// Adds an entry for each carrier below `folder`, depth first in name order
// so that runs repeat, and one for each folder that cannot be read; notes
// the folders, and the other files as skipped, but for a carrier's pictures
// and outputs, telling staging files and backups of a carrier or its
// pictures apart.
void Walk(const NativeString& folder, const NativeString& relative, Plan* plan) {
  Result<std::vector<FolderEntry>> listed = ListFolder(folder);
  if (!listed.Ok()) {
    Entry& entry = plan->entries.emplace_back();
    entry.source = folder;
    entry.problem = Say(Text::kCannotReadFolder) + NATIVE_TEXT(": ") + ErrorText(listed.error.code);
    return;
  }
  std::vector<FolderEntry>& found = listed.value;
  const auto byName = [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; };
  std::sort(found.begin(), found.end(), byName);
  const auto isCarrier = [&](const NativeString& name) {
    const auto at = std::lower_bound(found.begin(), found.end(), FolderEntry{name, {}}, byName);
    return at != found.end() && at->name == name && at->kind != FolderEntry::Kind::kFolder && HasCarrierExtension(name);
  };
  // A carrier of this folder, or a picture or output made of one, standing or not.
  const auto isOurs = [&](const NativeString& name) {
    for (const NativeChar* suffix : {kBmpSuffix, kPngSuffix}) {
      const NativeString ending = suffix;
      if (name.ends_with(ending) && isCarrier(name.substr(0, name.size() - ending.size()))) return true;
    }
    return isCarrier(name);
  };
  for (const FolderEntry& item : found) {
    const NativeString path = JoinPath(folder, item.name), below = JoinPath(relative, item.name);
    const auto stemOf = [&](const NativeChar* suffix) {
      const NativeString ending = suffix;
      return item.name.ends_with(ending) ? item.name.substr(0, item.name.size() - ending.size()) : NativeString();
    };
    if (item.kind == FolderEntry::Kind::kFolder) {
      plan->folders.push_back(below);
      Walk(path, below, plan);
    } else if (HasCarrierExtension(item.name)) {
      // FIFOs, sockets and links to nothing are refused by the conversion, as when named.
      Entry& entry = plan->entries.emplace_back();
      entry.source = path;
      entry.relative = below;
      entry.walked = true;
    } else if (item.kind == FolderEntry::Kind::kFile && !isCarrier(stemOf(kBmpSuffix)) &&
               !isCarrier(stemOf(kPngSuffix))) {
      const NativeString staged = stemOf(kStagingSuffix);
      const Text reason = HasCarrierExtension(staged) || isOurs(staged) ? Text::kStagingLeft
                          : isOurs(BackedUp(item.name))                  ? Text::kBackupLeft
                                                                         : Text::kNotGif;
      plan->skipped.push_back({path, below, reason, plan->entries.size()});
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
  const NativeString folder = FolderOf(output);
  return FileKey(os, folder.empty() ? NATIVE_TEXT(".") : folder) + NATIVE_TEXT("/") + NameKey(NameOf(output));
}

// Two files are one only if their names are one, so only entries whose
// names meet are told apart by what they name: each output, and with -o
// each source, which an output must not replace unless it is its own.
void FindSharedOutputs(Platform& os, bool outputDir, const NativeChar* suffix, std::vector<Entry>* entries) {
  struct Claim {
    std::size_t entry;
    bool source;
  };
  std::map<NativeString, std::vector<Claim>> byName;
  for (std::size_t i = 0; i < entries->size(); ++i) {
    const Entry& entry = (*entries)[i];
    if (!entry.problem.empty() || entry.outcome.error) continue;
    byName[NameKey(NameOf(entry.base + suffix))].push_back({i, false});
    if (outputDir) byName[NameKey(NameOf(entry.source))].push_back({i, true});
  }
  struct Writer {
    NativeString source;  // as given
    NativeString sourceKey;
    std::size_t latest;  // the last entry of that source
  };
  for (const auto& [name, group] : byName) {
    if (group.size() < 2) continue;
    std::map<NativeString, std::size_t> sources;  // by where they stand, the first entry of each
    for (const Claim& claim : group) {
      if (claim.source) sources.try_emplace(OutputKey(os, (*entries)[claim.entry].source), claim.entry);
    }
    std::map<NativeString, Writer> writers;
    for (const Claim& claim : group) {
      if (claim.source) continue;
      Entry& entry = (*entries)[claim.entry];
      const NativeString output = OutputKey(os, entry.base + suffix);
      if (const auto source = sources.find(output); source != sources.end()) {
        const Entry& replaced = (*entries)[source->second];
        if (FileKey(os, replaced.source) == FileKey(os, entry.source)) entry.inPlace = true;
        else entry.problem = Say(Text::kReplacesSource, {entry.base + suffix, replaced.source});
        if (!entry.problem.empty()) continue;
      }
      const NativeString sourceKey = FileKey(os, entry.source);
      const auto [found, added] = writers.try_emplace(output, Writer{entry.source, sourceKey, claim.entry});
      if (added) continue;
      if (found->second.sourceKey == sourceKey)
        entry.after = std::exchange(found->second.latest, claim.entry);
      else
        entry.problem = Say(Text::kWrittenTwice, {entry.base + suffix, found->second.source});
    }
  }
}

}  // namespace

NativeString Mirror(const NativeString& dir, const Entry& entry) { return JoinPath(dir, entry.relative); }

Plan MakePlan(Platform& os, const Options& options, const NativeChar* suffix) {
  Plan plan;
  for (const NativeString& operand : options.operands) {
    const Result<std::vector<NativeString>> names = OperandNames(operand);
    if (!names.Ok()) {
      Entry& entry = plan.entries.emplace_back();
      entry.source = operand;
      entry.problem = Because(Say(Text::kCannotOpen), names.error);
      continue;
    }
    for (const NativeString& name : names.value) {
      Result<PathKind> kind;
      if (options.recursive) {
        kind = KindOf(name);
        if (kind.Ok() && kind.value == PathKind::kFolder) {
          Walk(name, {}, &plan);
          continue;
        }
      }
      Entry& entry = plan.entries.emplace_back();
      entry.source = name;
      // Whether to walk it cannot be told; the system's reason says why.
      if (!kind.Ok()) entry.problem = Because(Say(Text::kCannotRead), kind.error);
      const Result<NativeString> absolute = os.AbsolutePath(name);
      entry.relative = NameOf(absolute.Ok() ? absolute.value : name);
    }
  }
  const bool outputDir = !options.outputDir.empty();
  for (Entry& entry : plan.entries) {
    // A name refused takes no part in what follows, so it claims no output.
    if (entry.problem.empty()) entry.outcome = Outcome(TestCarrierName(os, entry.source));
    entry.base = outputDir ? Mirror(options.outputDir, entry) : entry.source;
    entry.inPlace = !outputDir;
  }
  FindSharedOutputs(os, outputDir, suffix, &plan.entries);
  return plan;
}
