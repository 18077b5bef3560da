// quillane-pack: puts edited pictures back into their carriers, the way
// back from quillane-convert: each carrier takes the PNG or BMP picture made
// of it, in the carried bitmap's own form, and is replaced in one step.

#ifndef _WIN32
#include <clocale>
#endif

#include "../cli/describe.h"
#include "../cli/run.h"
#include "../os/native_platform.h"
#include "../os/paths.h"
#include "../os/stop_at.h"
#include "../os/system.h"
#include "../picture/pack.h"
#include "../picture/picture.h"
#include "../review/page.h"
#include "../review/pictures.h"
#include "../review/review.h"

namespace {

const Command kPack{
    "quillane-pack", "[-rnqvb] [-j N] [--nearest] [--reserve LIST] [--palette] [--resize] [--from DIR] [-o DIR]\n"
    "       [--backup[=CONTROL]] [-S SUFFIX] [--review DIR] CARRIER...",
    "Puts the picture made of each carrier GIF back into it: CARRIER.png or\n"
    "CARRIER.bmp, as quillane-convert writes them, edited or not. The picture must\n"
    "keep the bitmap's size and, for a palette, its colours; only the pixels change,\n"
    "unless --palette or --resize says otherwise.\n"
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
    "      --reserve LIST    never store a colour as the entries of LIST, such as 0,255\n"
    "                        or 0-15, which the game may keep for transparency; a pixel\n"
    "                        of such an entry's very colour still goes back to it\n"
    "      --palette         take a palette edit: an indexed picture whose pixels keep\n"
    "                        their indices gives the carrier its palette's colours\n"
    "      --resize          take a picture of another size, and write the bitmap at it\n"
    "                        in its own form; the game may not expect the new size\n"
    "  -b, --backup[=CONTROL]\n"
    "                        keep each carrier replaced as a backup, as cp does:\n"
    "                        CONTROL is none (off), numbered (t), existing (nil) or\n"
    "                        simple (never); by default VERSION_CONTROL's, or existing\n"
    "  -S, --suffix SUFFIX   end simple backups' names with SUFFIX, not ~ or\n"
    "                        SIMPLE_BACKUP_SUFFIX's; implies --backup\n"
    "      --review DIR      write DIR/review.html, a page that shows each carrier packed\n"
    "                        before and after with its changes marked, and each refused\n"
    "                        with its reason, and DIR/review.json; with -n too\n"
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
    {Flag::kRecursive, Flag::kFrom, Flag::kOutputDir, Flag::kNearest, Flag::kReserve, Flag::kPalette, Flag::kResize, Flag::kReview, Flag::kBackup, Flag::kSuffix, Flag::kDryRun, Flag::kJobs,
     Flag::kQuiet, Flag::kVerbose, Flag::kHelp, Flag::kVersion}};

constexpr const NativeChar* kSameName = NATIVE_TEXT("");
// What names the review's problems on standard error.
constexpr const NativeChar* kReviewOption = NATIVE_TEXT("--review");

// What the tool knows of an entry beyond what every tool does.
struct Packed {
  PackOutcome outcome;
  NativeString backup;  // where the file its output replaces is kept, or would be with -n
  std::optional<ReviewedCarrier> review;  // with --review, of a carrier packed or that would be
};

// Where the pictures of the entry's carrier are looked for, PNG first:
// beside it, or in --from DIR; and where others of it may stand, to be
// brought in line too: beside it, when they are taken from --from DIR.
std::vector<NativeString> PicturesOf(const NativeString& base) { return {base + kPngSuffix, base + kBmpSuffix}; }

// With --review, the pictures of a carrier packed or that would be, numbered
// `number`; its payloads are let go then.
void PutOnReview(NativePlatform& os, const Options& options, const Entry& entry, std::size_t number, Packed& packed,
            Workspace& workspace) {
  PackOutcome& outcome = packed.outcome;
  if (outcome.after.empty()) return;
  ReviewedCarrier& review = packed.review.emplace();
  review.carrier = entry.base;
  review.picture = outcome.picture;
  review.number = number;
  review.moved = outcome.patch.moved;
  review.palette = outcome.patch.paletteChanges;
  WriteReviewPictures(os, options.review, outcome.before, outcome.after, review, workspace.writing());
  outcome.before = {}, outcome.after = {};
}

Outcome PackEntry(NativePlatform& os, const Options& options, Entry& entry, std::size_t i, Packed& packed,
                  Workspace& workspace) {
  if (!PrepareOutput(options, entry)) return {};
  if (!workspace.Ready()) return {{Status::kOutOfMemory}};
  const Result<BackupName> backup = PrepareBackup(options, entry, entry.base);
  if (!backup.Ok()) return {};
  const bool from = !options.from.empty();
  const PackJob job{.carrier = entry.source, .output = entry.base,
                    .pictures = PicturesOf(from ? Mirror(options.from, entry) : entry.source),
                    .others = from && entry.inPlace ? PicturesOf(entry.source) : std::vector<NativeString>{},
                    .shape = ShapeOf(entry), .inPlace = entry.inPlace,
                    .take = {.nearest = options.nearest, .palette = options.palette, .resize = options.resize,
                             .reserved = options.reserved},
                    .checkOnly = options.checkOnly, .backup = backup.value, .keepPayloads = !options.review.empty()};
  packed.outcome = PackCarrier(os, job, workspace);
  PutOnReview(os, options, entry, i + 1, packed, workspace);
  const PackOutcome& outcome = packed.outcome;
  // A check names the backup a pack would make, where it would replace the output.
  packed.backup = options.checkOnly ? (outcome.unchanged && entry.inPlace ? NativeString() : backup.value.path)
                                    : outcome.backup;
  Outcome result(outcome.error);
  result.unchanged = outcome.unchanged;
  result.form = outcome.form;
  result.bitmap = outcome.bitmap;
  if (outcome.error.status == Status::kRefused) {
    entry.problem = RefusalProblem(outcome, outcome.picture);
    entry.details = OffColourLines(outcome.patch);
    if (outcome.patch.refusal == Refusal::kNoPicture)
      entry.hint = from ? Say(Text::kNoPictureFrom, {options.from, options.from}) : Say(Text::kNoPictureBeside);
  } else if (outcome.inLineFailed) {
    entry.outcome = result;
    entry.problem = Because(Say(Text::kCannotBringInLine, {outcome.inLine.back().picture}), outcome.error.cause);
  } else if (outcome.error.step == Step::kKeepBackup) {
    entry.problem = Because(Say(Text::kCannotBackUp, {entry.base, job.backup.path}), outcome.error.cause);
  } else if (outcome.error && !outcome.backup.empty()) {
    entry.outcome = result;
    entry.problem = OutcomeProblem(entry, kSameName) + Say(Text::kBackupStays, {outcome.backup});
  }
  if (outcome.error) return result;
  const PatchResult& patch = outcome.patch;
  entry.warnings = FarColourLines(patch, entry.base, outcome.picture);
  if (patch.resized)
    entry.warnings.push_back(Say(Text::kResizeWarning, {entry.base, Number(patch.newWidth), Number(patch.newHeight),
                                                        Number(patch.width), Number(patch.height)}));
  entry.details = PaletteLines(patch);
  return result;
}

// The line -v gives of a packed entry: what changed, and where; the
// colours mapped; the pictures brought in line; the backup.
NativeString DoneLine(const Entry& entry, const Packed& packed, const std::bitset<256>& reserved) {
  const PackOutcome& outcome = packed.outcome;
  const PatchResult& patch = outcome.patch;
  NativeString line;
  if (entry.outcome.unchanged) {
    line = Say(patch.held > 0 ? Text::kUnchangedHeld : Text::kUnchanged,
               {entry.source, outcome.picture, Grouped(static_cast<long long>(patch.held))});
  } else {
    const PixelBox& box = patch.changedBox;
    line = patch.changed == 0  // a palette swap alone
               ? Say(Text::kPackedPaletteOnly, {entry.base, outcome.picture})
               : Say(Text::kPacked, {entry.base, outcome.picture, Grouped(static_cast<long long>(patch.changed)),
                                     Number(box.width), Number(box.height), Number(box.x), Number(box.y)});
    if (patch.mapped > 0)
      line += Say(Text::kPackedMapped, {Grouped(static_cast<long long>(patch.mapped)), Decimal(patch.largestDeltaE)});
    if (!patch.paletteChanges.empty())
      line += Say(Text::kPackedPalette, {Number(static_cast<long long>(patch.paletteChanges.size()))});
    if (patch.resized)
      line += Say(Text::kPackedResized, {Number(patch.newWidth), Number(patch.newHeight), Number(patch.width),
                                         Number(patch.height)});
    if (reserved.any()) line += Say(Text::kReservedNote, {EntryList(reserved)});
  }
  for (const InLine& picture : outcome.inLine) {
    line += Say(Text::kInLineNote, {picture.picture});
    if (!picture.kept.empty()) line += Say(Text::kBackupNote, {picture.kept});
  }
  return packed.backup.empty() ? line : line + Say(Text::kBackupNote, {packed.backup});
}

// With -r and -o, the rest of each tree made again in the output folder,
// so that it can stand in for the tree: its folders, its other files, and
// the carriers met that are none or failed, each copied as it is; not the
// pictures, backups and staging files of carriers. A line for -v each, a
// problem for each that cannot be made; how many were copied.
std::size_t CopyTheRest(NativePlatform& os, const Options& options, const Plan& plan, Report& report) {
  std::vector<std::pair<NativeString, NativeString>> copies;  // from, to
  for (const Skip& skip : plan.skipped) {
    if (skip.reason == Text::kNotGif) copies.emplace_back(skip.path, JoinPath(options.outputDir, skip.relative));
  }
  for (const Entry& entry : plan.entries) {
    if (entry.walked && (entry.noCarrier || entry.outcome.error || !entry.problem.empty()) && !entry.notStarted)
      copies.emplace_back(entry.source, entry.base);
  }
  std::size_t copied = 0;
  if (!options.checkOnly) {
    for (const NativeString& folder : plan.folders) {
      const NativeString made = JoinPath(options.outputDir, folder);
      if (const SystemError error = CreateFolders(made)) report.Problem(made, Because(Say(Text::kCannotCreateFolder, {made}), error));
    }
  }
  for (const auto& [from, to] : copies) {
    if (InterruptStatus()) break;
    SystemError error;
    if (!options.checkOnly) {
      error = CreateFolders(FolderOf(to));
      if (!error) error = os.CopyFileTo(from, to, to + kStagingSuffix);
    }
    if (error) {
      report.Problem(from, Because(Say(Text::kCannotCopy, {to}), error));
    } else {
      ++copied;
      if (options.verbose) report.Done(Say(options.checkOnly ? Text::kWouldCopy : Text::kCopied, {from, to}));
    }
  }
  return copied;
}

// The review of the run: the carriers it packed or would, those refused or
// failed with their reasons, the others counted; of the entries it started.
void WriteRunReview(NativePlatform& os, const Options& options, Plan& plan, std::vector<Packed>& packed, const Tally& tally,
                    const NativeString& summary, Report& report) {
  Review review{options.review, options.checkOnly, tally.interrupted != 0, summary, {}, {}, 0};
  for (std::size_t i = 0; i < plan.entries.size(); ++i) {
    const Entry& entry = plan.entries[i];
    if (entry.notStarted || entry.noCarrier) continue;
    if (packed[i].review) review.packed.push_back(std::move(*packed[i].review));
    else if (!entry.problem.empty() || entry.outcome.error)
      review.refused.push_back({entry.source, entry.problem.empty() ? OutcomeProblem(entry, kSameName) : entry.problem});
    else review.unchanged += entry.outcome.unchanged;
  }
  for (const NativeString& problem : WriteReview(os, review)) report.Problem(kReviewOption, problem);
}

int Pack(const Options& options) {
  NativePlatform os(PauseWanted);
  Plan plan = MakePlan(os, options, kSameName);
  SayRefusedNames(plan, Text::kFolderToPack, true);
  Report report(kPack, options, plan.entries.size());
  if (!options.review.empty()) {
    if (const NativeString blocked = PrepareReview(os, options.review); !blocked.empty()) {
      report.Problem(kReviewOption, blocked);
      return report.Finish();
    }
  }
  std::vector<Packed> packed(plan.entries.size());
  RunPlan(options, plan, report, kSameName, [&](std::size_t i, Workspace& workspace) {
    Entry& entry = plan.entries[i];
    entry.outcome = PackEntry(os, options, entry, i, packed[i], workspace);
    entry.done = DoneLine(entry, packed[i], options.reserved);
    return entry.outcome;
  });
  const Tally tally = TallyOf(plan, report);
  // Interrupted, the run makes no file more.
  const bool wholeTree = options.recursive && !options.outputDir.empty() && !tally.interrupted;
  const std::size_t copied = wholeTree ? CopyTheRest(os, options, plan, report) : 0;
  std::size_t unchanged = 0;
  std::uint64_t mapped = 0;
  double largestDeltaE = 0;
  std::size_t movedFar = 0;  // carriers with a colour moved visibly far
  for (std::size_t i = 0; i < plan.entries.size(); ++i) {
    const Entry& entry = plan.entries[i];
    if (!entry.problem.empty() || entry.outcome.error || entry.notStarted || entry.noCarrier) continue;
    const PatchResult& patch = packed[i].outcome.patch;
    unchanged += entry.outcome.unchanged;
    mapped += patch.mapped;
    largestDeltaE = std::max(largestDeltaE, patch.largestDeltaE);
    movedFar += patch.largestDeltaE > kVisibleDeltaE;
  }
  // Carriers only: the other files met are told apart.
  const std::size_t carriers = plan.entries.size() - tally.noCarrier;
  NativeString summary = Say(options.checkOnly ? Text::kPackSummaryChecked : Text::kPackSummary,
                             {Number(carriers), Number(carriers - tally.failed - tally.notStarted - unchanged),
                              Number(unchanged), Number(tally.failed)}) +
                         Interrupted(tally);
  if (!plan.skipped.empty()) summary += Say(Text::kOtherSkipped, {Number(static_cast<long long>(plan.skipped.size()))});
  if (copied > 0)
    summary += Say(options.checkOnly ? Text::kSummaryWouldCopy : Text::kSummaryCopied, {Number(static_cast<long long>(copied))});
  if (tally.noCarrier > 0) summary += Say(Text::kOtherNotCarriers, {Number(static_cast<long long>(tally.noCarrier))});
  if (mapped > 0) summary += Say(Text::kSummaryMapped, {Number(static_cast<long long>(mapped)), Decimal(largestDeltaE)});
  if (movedFar > 0)
    summary += Say(Text::kSummaryFar, {Number(static_cast<long long>(movedFar)), Number(static_cast<long long>(kVisibleDeltaE))});
  if (!options.review.empty()) {
    summary += Say(Text::kSummaryReview, {JoinPath(options.review, kReviewPageName)});
    WriteRunReview(os, options, plan, packed, tally, summary, report);
  }
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
