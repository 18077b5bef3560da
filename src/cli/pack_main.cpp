// quillane-pack: puts edited pictures back into their carriers, the way
// back from quillane-convert: each carrier takes the PNG or BMP picture made
// of it, in the carried bitmap's own form, and is replaced in one step.

#ifndef _WIN32
#include <clocale>
#endif

#include "../convert/file_io.h"
#include "../os/system.h"
#include "../picture/pack.h"
#include "describe.h"
#include "options.h"
#include "plan.h"
#include "report.h"
#include "run.h"
#include "texts.h"

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

// The name of the backup of `output`, the entry's output, which the entry
// keeps; when it cannot be had, the entry's problem says why.
Result<BackupName> NameEntryBackup(const Options& options, Entry& entry, const NativeString& output) {
  const Result<BackupName> name = NameBackup(options.backups, output);
  if (!name.Ok()) entry.problem = Because(Say(Text::kCannotListBackups, {output}), name.error);
  entry.backup = name.value.path;
  return name;
}

Outcome Pack(NativePlatform& os, const Options& options, Entry& entry, Workspace& workspace) {
  if (!PrepareOutput(options, entry)) return {};
  std::vector<NativeString> pictures = FindPictures(options, entry);
  if (pictures.empty()) return {};
  if (!workspace.Ready()) return {{Status::kOutOfMemory}};
  const bool backups = options.backups.control != BackupControl::kNone;
  PackJob job{entry.source, entry.base, std::move(pictures), entry.inPlace, options.nearest, options.checkOnly};
  if (backups) job.backup = [&](const NativeString& output) { return NameEntryBackup(options, entry, output); };
  const PackOutcome packed = Pack(os, job, workspace);
  if (!packed.error) {
    entry.backup = packed.backup;
    // A check names the backup a pack would make, where the output stands and would be replaced.
    const bool writes = !(packed.unchanged && entry.inPlace);
    const Result<PathKind> output = KindOf(entry.base);
    const bool stands = !output.Ok() || output.value != PathKind::kMissing;
    if (options.checkOnly && backups && writes && stands &&
        !NameEntryBackup(options, entry, entry.base).Ok())
      return {};
  }
  entry.picture = packed.picture;
  if (packed.error.status == Status::kRefused) {
    entry.problem = RefusalProblem(packed, entry.picture);
    entry.details = OffColourLines(packed.patch);
  }
  entry.mapped = packed.patch.mapped;
  entry.largestDeltaE = packed.patch.largestDeltaE;
  if (!packed.error) entry.warnings = FarColourLines(packed.patch, entry.base, entry.picture);
  Outcome outcome(packed.error);
  outcome.unchanged = packed.unchanged;
  outcome.form = packed.form;
  outcome.bitmap = packed.bitmap;
  if (packed.error && !packed.backup.empty() && entry.problem.empty()) {
    entry.outcome = outcome;
    entry.problem = OutcomeProblem(entry, kSameName) + Say(Text::kBackupStays, {packed.backup});
  }
  return outcome;
}

BatchWork Work(const Options& options, NativePlatform& os) {
  return {kSameName, [&](Entry& entry, Workspace& workspace) { return Pack(os, options, entry, workspace); },
          [](const Entry& entry) {
            const NativeString backup = entry.backup.empty() ? NativeString() : Say(Text::kBackupNote, {entry.backup});
            if (entry.outcome.unchanged) return Say(Text::kUnchanged, {entry.source, entry.picture}) + backup;
            if (entry.mapped == 0) return Say(Text::kPacked, {entry.base, entry.picture}) + backup;
            return Say(Text::kPackedMapped, {entry.base, entry.picture, Number(static_cast<long long>(entry.mapped)),
                                             Decimal(entry.largestDeltaE)}) + backup;
          },
          [&](const Plan& plan, const Tally& tally) {
            std::size_t unchanged = 0;
            std::uint64_t mapped = 0;
            double largestDeltaE = 0;
            std::size_t movedFar = 0;  // carriers with a colour moved visibly far
            for (const Entry& entry : plan.entries) {
              if (!entry.problem.empty() || entry.outcome.error || entry.notStarted) continue;
              unchanged += entry.outcome.unchanged;
              mapped += entry.mapped;
              largestDeltaE = std::max(largestDeltaE, entry.largestDeltaE);
              movedFar += entry.largestDeltaE > kVisibleDeltaE;
            }
            // Carriers only: the other files met are told apart.
            const std::size_t carriers = plan.entries.size();
            NativeString summary =
                Say(options.checkOnly ? Text::kPackSummaryChecked : Text::kPackSummary,
                    {Number(carriers), Number(carriers - tally.failed - tally.notStarted - unchanged), Number(unchanged),
                     Number(tally.failed)}) + Interrupted(tally);
            if (!plan.skipped.empty())
              summary += Say(Text::kOtherSkipped, {Number(static_cast<long long>(plan.skipped.size()))});
            if (mapped > 0) summary += Say(Text::kSummaryMapped, {Number(static_cast<long long>(mapped)), Decimal(largestDeltaE)});
            if (movedFar > 0)
              summary += Say(Text::kSummaryFar, {Number(static_cast<long long>(movedFar)),
                                                 Number(static_cast<long long>(kVisibleDeltaE))});
            return summary;
          },
          Text::kFolderToPack,
          [](const Entry& entry) {
            // A picture named for its carrier: the name without the picture's suffix.
            for (const NativeChar* suffix : {kPngSuffix, kBmpSuffix}) {
              const NativeString carrier = entry.source.substr(0, entry.source.size() - NativeString(suffix).size());
              if (entry.source.ends_with(suffix) && HasCarrierExtension(carrier))
                return Say(Text::kPictureNamed, {carrier});
            }
            return NativeString();
          }};
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) { return RunCommand(kPack, {argv + 1, argv + argc}, Work); }
#else
int main(int argc, char** argv) {
  // The system's reasons for failures come in the user's language.
  std::setlocale(LC_ALL, "");
  return RunCommand(kPack, {argv + 1, argv + argc}, Work);
}
#endif
