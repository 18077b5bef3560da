// quillane-pack: puts edited pictures back into their carriers, the way
// back from quillane-convert: each carrier takes the PNG or BMP picture made
// of it, in the carried bitmap's own form, and is replaced in one step.

#ifndef _WIN32
#include <clocale>
#endif

#include "../cli/backups.h"
#include "../cli/describe.h"
#include "../cli/run.h"
#include "../os/native_platform.h"
#include "../os/stop_at.h"
#include "../os/system.h"
#include "../picture/pack.h"
#include "../picture/picture.h"

namespace {

const Command kPack{
    "quillane-pack", "[-rnqvb] [-j N] [--nearest] [--from DIR] [-o DIR] [--backup[=CONTROL]] [-S SUFFIX] CARRIER...",
    "Puts the picture made of each carrier GIF back into it: CARRIER.png or\n"
    "CARRIER.bmp, as quillane-convert writes them, edited or not. The picture must\n"
    "keep the bitmap's size and, for a palette, its colours; only the pixels change.\n"
    "Problems are reported on standard error, one line each.\n"
    "\n"
    "  -r, --recursive       pack every .gif or .GIF file inside CARRIERs that are folders\n"
    "      --from DIR        take the pictures from DIR, where quillane-convert -o DIR\n"
    "                        wrote them, instead of beside each CARRIER\n"
    "  -o, --output-dir DIR  write the new carriers into DIR, created if missing, and\n"
    "                        leave the CARRIERs as they are; with -r, the folders below\n"
    "                        each folder CARRIER are made again in DIR\n"
    "      --nearest         store a colour the carrier's palette lacks as the palette's\n"
    "                        nearest colour (CIELAB), and say how many pixels and how far\n"
    "  -b, --backup[=CONTROL]\n"
    "                        keep each carrier replaced as a backup, as cp does:\n"
    "                        CONTROL is none (off), numbered (t), existing (nil) or\n"
    "                        simple (never); by default VERSION_CONTROL's, or existing\n"
    "  -S, --suffix SUFFIX   end simple backups' names with SUFFIX, not ~ or\n"
    "                        SIMPLE_BACKUP_SUFFIX's; implies --backup\n"
    "  -n, --dry-run         check every picture as packing would; write nothing\n"
    "  -j, --jobs N          pack up to N carriers at once (default: one per processor)\n"
    "  -q, --quiet           print only errors\n"
    "  -v, --verbose         print CARRIER <- PICTURE for each carrier packed, and\n"
    "                        the backup made or, with -n, that would be\n"
    "      --help            show this help and exit\n"
    "      --version         show the version and exit\n"
    "\n"
    "Exit status: 0 all packed or unchanged, 1 some carrier failed, 2 usage error,\n"
    "128 + N interrupted by signal N (130: Ctrl-C).\n",
    {Flag::kRecursive, Flag::kFrom, Flag::kOutputDir, Flag::kNearest, Flag::kBackup, Flag::kSuffix, Flag::kDryRun, Flag::kJobs,
     Flag::kQuiet, Flag::kVerbose, Flag::kHelp, Flag::kVersion}};

constexpr const NativeChar* kSameName = NATIVE_TEXT("");

// What the tool knows of an entry beyond what every tool does.
struct Packed {
  NativeString picture;       // the picture it took
  std::uint64_t mapped = 0;   // and its pixels stored as the nearest entry of the palette
  double largestDeltaE = 0;   // the farthest of them went
  NativeString backup;        // where the file its output replaces is kept, or would be with -n
};

// The pictures made of the entry's carrier that exist, PNG first; none,
// with the entry's problem saying why, when neither is there or one cannot
// be looked at.
std::vector<NativeString> FindPictures(const Options& options, Entry& entry) {
  const NativeString base = options.from.empty() ? entry.source : Mirror(options.from, entry);
  const NativeString png = base + kPngSuffix, bmp = base + kBmpSuffix;
  std::vector<NativeString> found;
  for (const NativeString& picture : {png, bmp}) {
    const Result<PathKind> kind = KindOf(picture);
    if (!kind.Ok()) {
      entry.problem = Because(Say(Text::kCannotReadPicture, {picture}), kind.error);
      return {};
    }
    if (kind.value != PathKind::kMissing) found.push_back(picture);
  }
  if (found.empty()) {
    entry.problem = Say(Text::kNoPicture, {png, bmp});
    entry.hint = options.from.empty() ? Say(Text::kNoPictureBeside) : Say(Text::kNoPictureFrom, {options.from, options.from});
  }
  return found;
}

// The backup the entry's output would be kept as, where one is asked for
// and the output stands; none, with the entry's problem saying why, when
// its name cannot be had.
Result<BackupName> EntryBackup(const Options& options, Entry& entry) {
  if (options.backups.control == BackupControl::kNone) return {BackupName{}};
  const Result<PathKind> output = KindOf(entry.base);
  if (output.Ok() && output.value == PathKind::kMissing) return {BackupName{}};
  const Result<BackupName> name = NameBackup(options.backups, entry.base);
  if (!name.Ok()) entry.problem = Because(Say(Text::kCannotListBackups, {entry.base}), name.error);
  return name;
}

Outcome PackEntry(NativePlatform& os, const Options& options, Entry& entry, Packed& packed, Workspace& workspace) {
  if (!PrepareOutput(options, entry)) return {};
  std::vector<NativeString> pictures = FindPictures(options, entry);
  if (pictures.empty()) return {};
  if (!workspace.Ready()) return {{Status::kOutOfMemory}};
  const Result<BackupName> backup = EntryBackup(options, entry);
  if (!backup.Ok()) return {};
  const PackJob job{entry.source, entry.base, std::move(pictures), entry.inPlace, options.nearest, options.checkOnly,
                    backup.value};
  const PackOutcome outcome = PackCarrier(os, job, workspace);
  packed.picture = outcome.picture;
  packed.mapped = outcome.patch.mapped;
  packed.largestDeltaE = outcome.patch.largestDeltaE;
  // A check names the backup a pack would make, where it would replace the output.
  packed.backup = options.checkOnly ? (outcome.unchanged && entry.inPlace ? NativeString() : backup.value.path)
                                    : outcome.backup;
  if (outcome.error.status == Status::kRefused) {
    entry.problem = RefusalProblem(outcome, packed.picture);
    entry.details = OffColourLines(outcome.patch);
  }
  if (!outcome.error) entry.warnings = FarColourLines(outcome.patch, entry.base, packed.picture);
  Outcome result(outcome.error);
  result.unchanged = outcome.unchanged;
  result.form = outcome.form;
  result.bitmap = outcome.bitmap;
  if (outcome.error.step == Step::kKeepBackup) {
    entry.problem = Because(Say(Text::kCannotBackUp, {entry.base, job.backup.path}), outcome.error.cause);
  } else if (outcome.error && !outcome.backup.empty() && entry.problem.empty()) {
    entry.outcome = result;
    entry.problem = OutcomeProblem(entry, kSameName) + Say(Text::kBackupStays, {outcome.backup});
  }
  return result;
}

// The line -v gives of a packed entry.
NativeString DoneLine(const Entry& entry, const Packed& packed) {
  const NativeString backup = packed.backup.empty() ? NativeString() : Say(Text::kBackupNote, {packed.backup});
  if (entry.outcome.unchanged) return Say(Text::kUnchanged, {entry.source, packed.picture}) + backup;
  if (packed.mapped == 0) return Say(Text::kPacked, {entry.base, packed.picture}) + backup;
  return Say(Text::kPackedMapped, {entry.base, packed.picture, Number(static_cast<long long>(packed.mapped)),
                                   Decimal(packed.largestDeltaE)}) + backup;
}

int Pack(const Options& options) {
  NativePlatform os(PauseWanted);
  Plan plan = MakePlan(os, options, kSameName);
  SayRefusedNames(plan, Text::kFolderToPack, true);
  Report report(kPack, options, plan.entries.size());
  std::vector<Packed> packed(plan.entries.size());
  RunPlan(options, plan, report, kSameName, [&](std::size_t i, Workspace& workspace) {
    Entry& entry = plan.entries[i];
    entry.outcome = PackEntry(os, options, entry, packed[i], workspace);
    entry.done = DoneLine(entry, packed[i]);
    return entry.outcome;
  });
  const Tally tally = TallyOf(plan, report);
  std::size_t unchanged = 0;
  std::uint64_t mapped = 0;
  double largestDeltaE = 0;
  std::size_t movedFar = 0;  // carriers with a colour moved visibly far
  for (std::size_t i = 0; i < plan.entries.size(); ++i) {
    const Entry& entry = plan.entries[i];
    if (!entry.problem.empty() || entry.outcome.error || entry.notStarted) continue;
    unchanged += entry.outcome.unchanged;
    mapped += packed[i].mapped;
    largestDeltaE = std::max(largestDeltaE, packed[i].largestDeltaE);
    movedFar += packed[i].largestDeltaE > kVisibleDeltaE;
  }
  // Carriers only: the other files met are told apart.
  const std::size_t carriers = plan.entries.size();
  NativeString summary = Say(options.checkOnly ? Text::kPackSummaryChecked : Text::kPackSummary,
                             {Number(carriers), Number(carriers - tally.failed - tally.notStarted - unchanged),
                              Number(unchanged), Number(tally.failed)}) +
                         Interrupted(tally);
  if (!plan.skipped.empty()) summary += Say(Text::kOtherSkipped, {Number(static_cast<long long>(plan.skipped.size()))});
  if (mapped > 0) summary += Say(Text::kSummaryMapped, {Number(static_cast<long long>(mapped)), Decimal(largestDeltaE)});
  if (movedFar > 0)
    summary += Say(Text::kSummaryFar, {Number(static_cast<long long>(movedFar)), Number(static_cast<long long>(kVisibleDeltaE))});
  return Conclude(plan, tally, summary, report);
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) { return RunTool(kPack, {argv + 1, argv + argc}, Pack); }
#else
int main(int argc, char** argv) {
  // The system's reasons for failures come in the user's language.
  std::setlocale(LC_ALL, "");
  return RunTool(kPack, {argv + 1, argv + argc}, Pack);
}
#endif
