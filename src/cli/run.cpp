#include "run.h"

#include <algorithm>
#include <new>
#include <set>
#include <thread>

#include "../os/paths.h"
#include "../os/system.h"
#include "../picture/picture.h"
#include "batch.h"
#include "describe.h"
#include "texts.h"

namespace {

// What a job may hold open at once (the source, the staging file and its
// hold, a picture), and what the program keeps for itself besides.
constexpr std::size_t kFilesPerJob = 4;
constexpr std::size_t kFilesKept = 8;

// As many jobs as asked, one per processor by default, and no more than the
// descriptors allow.
unsigned Jobs(const Options& options) {
  const unsigned asked = options.jobs ? options.jobs : std::max(1u, std::thread::hardware_concurrency());
  const std::size_t limit = OpenFileLimit();
  const std::size_t allowed = limit > kFilesKept + kFilesPerJob ? (limit - kFilesKept) / kFilesPerJob : 1;
  return static_cast<unsigned>(std::min<std::size_t>(asked, allowed));
}

}  // namespace

int RunTool(const Command& command, const std::vector<NativeString>& args, int (*run)(const Options& options)) {
  OpenStandardStreams();
  CatchInterrupts();
  try {
    UseJapanese(PrefersJapanese());
    Options options;
    if (const int exit = ParseOptions(command, args, &options); exit >= 0) return exit;
    return run(options);
  } catch (const std::bad_alloc&) {
    WriteText(Stream::kError, MessagePrefix(command) + Say(Text::kOutOfMemory) + NATIVE_TEXT("\n"));
    return kExitFailed;
  }
}

void SayRefusedNames(Plan& plan, Text folder, bool pictures) {
  for (Entry& entry : plan.entries) {
    if (entry.outcome.error.status != Status::kBadExtension) continue;
    const Result<PathKind> kind = KindOf(entry.source);
    if (kind.Ok() && kind.value == PathKind::kFolder) {
      entry.problem = Say(folder);
      continue;
    }
    // A picture named for its carrier: the name without the picture's suffix.
    for (const NativeChar* suffix : {kPngSuffix, kBmpSuffix}) {
      const NativeString carrier = entry.source.substr(0, entry.source.size() - NativeString(suffix).size());
      if (pictures && entry.source.ends_with(suffix) && HasCarrierExtension(carrier))
        entry.problem = Say(Text::kPictureNamed, {carrier});
    }
  }
}

Tally TallyOf(const Plan& plan, const Report& report) {
  Tally tally{report.Failed(), 0, 0, InterruptStatus()};
  for (const Entry& entry : plan.entries) {
    tally.noCarrier += entry.noCarrier;
    tally.notStarted += entry.notStarted;
  }
  return tally;
}

int Conclude(const Plan& plan, const Tally& tally, const NativeString& summary, Report& report) {
  if (plan.entries.size() + plan.skipped.size() > 1) report.Summary(summary);
  const int status = report.Finish();
  return tally.interrupted ? tally.interrupted : status;
}

NativeString Skipped(const Plan& plan, const Tally& tally) {
  NativeString said;
  if (!plan.skipped.empty()) said += Say(Text::kSkipped, {Number(static_cast<long long>(plan.skipped.size()))});
  if (tally.noCarrier > 0) said += Say(Text::kNotCarriers, {Number(static_cast<long long>(tally.noCarrier))});
  return said;
}

NativeString Interrupted(const Tally& tally) {
  return tally.interrupted ? Say(Text::kNotStarted, {Number(static_cast<long long>(tally.notStarted))}) : NativeString();
}

bool PrepareOutput(const Options& options, Entry& entry) {
  if (options.outputDir.empty() || options.checkOnly) return true;
  const NativeString folder = FolderOf(entry.base);
  const SystemError error = CreateFolders(folder);
  if (error) entry.problem = Because(Say(Text::kCannotCreateFolder, {folder}), error);
  return !error;
}

Result<BackupName> PrepareBackup(const Options& options, Entry& entry, const NativeString& output) {
  if (options.backups.control == BackupControl::kNone) return {BackupName{}};
  const Result<PathKind> kind = KindOf(output);
  if (kind.Ok() && kind.value == PathKind::kMissing) return {BackupName{}};
  const Result<BackupName> name = NameBackup(options.backups, output);
  if (!name.Ok()) entry.problem = Because(Say(Text::kCannotListBackups, {output}), name.error);
  return name;
}

void RunPlan(const Options& options, Plan& plan, Report& report, const NativeChar* suffix, const EntryJob& job) {
  std::vector<Entry>& entries = plan.entries;
  std::vector<std::size_t> after;
  for (const Entry& entry : entries) after.push_back(entry.after);
  // A thread runs only with its buffers; threads then start while the system lets them.
  std::vector<Workspace> workspaces(Jobs(options));
  unsigned threads = 1;
  while (threads < workspaces.size() && workspaces[threads].Ready()) ++threads;
  const auto work = [&](std::size_t i, std::size_t thread, BatchControl& batch) {
    Entry& entry = entries[i];
    // Those under way finish; what is not started yet is left as it is.
    if (InterruptStatus()) {
      entry.notStarted = true;
      return;
    }
    if (!entry.problem.empty() || entry.outcome.error) return;
    try {
      // Out of descriptors, a job waits for another to give some back.
      do entry.outcome = job(i, workspaces[thread]);
      while (TooManyOpenFiles(entry.outcome.error.cause) && batch.WaitForAnother());
      // A file met in a folder that is no carrier at all is passed over, as a game folder's other GIFs are.
      const Error& error = entry.outcome.error;
      if (entry.walked && error.status == Status::kUnsupported && error.step == Step::kReadSource) {
        entry.noCarrier = true;
        entry.outcome = {};
        entry.problem.clear();
        entry.done = Say(Text::kSkippedFile, {entry.source, Say(Text::kNoCarrierFile)});
      }
      if (entry.outcome.error && entry.problem.empty()) entry.problem = OutcomeProblem(entry, suffix);
    } catch (const std::bad_alloc&) {
      entry.outcome = {{Status::kOutOfMemory}};
    }
  };
  std::set<NativeString> hinted;
  // With -v, the files skipped, each before the entry met after it.
  std::size_t skip = 0;
  bool writing = true;
  const auto showSkipped = [&](std::size_t before) {
    for (; writing && skip < plan.skipped.size() && plan.skipped[skip].before <= before; ++skip) {
      const Skip& skipped = plan.skipped[skip];
      writing = !options.verbose || report.Done(Say(Text::kSkippedFile, {skipped.path, Say(skipped.reason)}));
    }
    return writing;
  };
  const auto show = [&](std::size_t i) {
    if (!showSkipped(i)) return false;
    const Entry& entry = entries[i];
    if (entry.notStarted) return true;
    // A problem that could not be put in words for want of memory is still one.
    const bool failed = entry.outcome.error || !entry.problem.empty();
    NativeString problem = entry.problem.empty() ? OutcomeProblem(entry, suffix) : entry.problem;
    if (!entry.hint.empty() && hinted.insert(entry.hint).second) problem += entry.hint;
    writing = failed ? report.Problem(entry.source, problem, entry.details)
                     : report.Warning(entry.warnings) && (!options.verbose || entry.done.empty() || report.Done(entry.done, entry.details));
    if (i + 1 < entries.size() && !InterruptStatus()) report.Progress(i + 1, entries[i + 1].source);
    return writing;
  };
  if (!entries.empty()) report.Progress(0, entries[0].source);
  RunInOrder(threads, after, work, show);
  showSkipped(entries.size());
  report.ClearProgress();
}
