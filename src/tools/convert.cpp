// quillane-convert: converts carrier GIFs as the drop window does, for
// batches and scripts: beside the sources or into a folder of one's own,
// several at once, with one line on standard error for each problem.

#ifndef _WIN32
#include <clocale>
#endif

#include <algorithm>

#include "../catalogue/catalogue.h"
#include "../cli/describe.h"
#include "../cli/run.h"
#include "../os/native_platform.h"
#include "../os/stop_at.h"
#include "../picture/conversion.h"
#include "../picture/picture.h"

namespace {

const Command kConvert{
    "quillane-convert", "[-rnqvb] [-j N] [-o DIR] [-f png|bmp] [--force] [--backup[=CONTROL]] [-S SUFFIX] [--catalogue] FILE...",
    "Converts each carrier GIF FILE to FILE.bmp, as dropping it on the Quillane\n"
    "window does. Problems are reported on standard error, one line each.\n"
    "\n"
    "  -r, --recursive       convert every .gif or .GIF file inside FILEs that are folders\n"
    "  -o, --output-dir DIR  write into DIR, created if missing, instead of beside each\n"
    "                        FILE; with -r, the folders below each folder FILE are\n"
    "                        made again in DIR\n"
    "  -f, --format FORMAT   bmp (the default) or png: write FILE.png, the same picture\n"
    "                        as a PNG file\n"
    "      --force           replace an output that shows an edit (another picture than\n"
    "                        its carrier) or is no picture, which is otherwise kept;\n"
    "                        each one replaced is named\n"
    "  -b, --backup[=CONTROL]\n"
    "                        keep each output replaced as a backup, as cp does:\n"
    "                        CONTROL is none (off), numbered (t), existing (nil) or\n"
    "                        simple (never); by default VERSION_CONTROL's, or existing\n"
    "  -S, --suffix SUFFIX   end simple backups' names with SUFFIX, not ~ or\n"
    "                        SIMPLE_BACKUP_SUFFIX's; implies --backup\n"
    "  -n, --dry-run         read and check every file as a conversion would; write nothing\n"
    "  -j, --jobs N          convert up to N files at once (default: one per processor)\n"
    "  -q, --quiet           print only errors\n"
    "  -v, --verbose         print SOURCE -> OUTPUT for each converted file; with -n,\n"
    "                        what each good file carries\n"
    "      --catalogue       write index.html, a page that shows every picture, index.json,\n"
    "                        a record of each FILE with its SHA-256, and SHA256SUMS of the\n"
    "                        outputs, into DIR or the working folder\n"
    "      --help            show this help and exit\n"
    "      --version         show the version and exit\n"
    "\n"
    "Exit status: 0 all converted or kept, 1 some file failed, 2 usage error,\n"
    "128 + N interrupted by signal N (130: Ctrl-C).\n",
    {Flag::kRecursive, Flag::kOutputDir, Flag::kFormat, Flag::kForce, Flag::kBackup, Flag::kSuffix, Flag::kDryRun, Flag::kJobs,
     Flag::kQuiet, Flag::kVerbose, Flag::kCatalogue, Flag::kHelp, Flag::kVersion}};

// What names the catalogue's problems on standard error.
constexpr const NativeChar* kCatalogueOption = NATIVE_TEXT("--catalogue");

// What the tool knows of an entry beyond what every tool does.
struct Converted {
  Conversion conversion;
  Evidence evidence;  // for --catalogue, what its conversion proved
  bool replacedEdit = false;  // an output that showed an edit, replaced by --force
};

Outcome ConvertEntry(NativePlatform& os, const Options& options, Entry& entry, Converted& converted,
                     Workspace& workspace) {
  if (!PrepareOutput(options, entry)) return {};
  if (!workspace.Ready()) return {{Status::kOutOfMemory}};
  const Result<BackupName> backup = PrepareBackup(options, entry, entry.base + (options.png ? kPngSuffix : kBmpSuffix));
  const Result<BackupName> bmpBackup = options.png ? PrepareBackup(options, entry, entry.base + kBmpSuffix) : backup;
  if (!backup.Ok() || !bmpBackup.Ok()) return {};
  Witness witness(os, workspace.reading());
  const ConversionRequest request{.source = entry.source, .base = entry.base, .png = options.png, .force = options.force,
                                  .checkOnly = options.checkOnly, .rewrite = options.catalogue, .shape = ShapeOf(entry),
                                  .backup = backup.value, .bmpBackup = bmpBackup.value};
  const Conversion& conversion = converted.conversion =
      ConvertCarrier(os, request, workspace, options.catalogue ? &witness : nullptr);
  const Outcome& outcome = conversion.outcome;
  const bool wrote = !outcome.error && !conversion.kept && !outcome.unchanged && !options.checkOnly;
  if (options.catalogue) converted.evidence = witness.Conclude(wrote ? conversion.output : NativeString());
  const Standing stood = conversion.stood.standing;
  if (conversion.kept) {
    entry.warnings = {KeptLine(conversion.stood, conversion.output)};
  } else if (HoldsWork(stood) && !outcome.error) {
    // An edit replaced is said whatever -q and -v say, as it cannot be had back but from its backup.
    entry.warnings = {ReplacedLine(conversion.stood, conversion.output, conversion.backup, options.checkOnly)};
    converted.replacedEdit = true;
  }
  if (outcome.error.status == Status::kRefused) {
    entry.problem = Say(Text::kCannotWritePng, {BitmapTrouble(outcome.bitmap)});
  } else if (outcome.error.step == Step::kReadOutput) {
    entry.problem = UnreadableProblem(conversion.stood.problem, conversion.output);
  } else if (outcome.error && conversion.writtenAsBmp) {
    entry.outcome = outcome;
    entry.problem = OutcomeProblem(entry, kBmpSuffix);
  }
  return outcome;
}

// The line -v gives of a converted entry.
NativeString DoneLine(const Options& options, const Entry& entry, const Conversion& conversion) {
  if (conversion.kept) return {};
  if (options.checkOnly) return Description(entry);
  const NativeString backup = conversion.backup.empty() ? NativeString() : Say(Text::kBackupNote, {conversion.backup});
  if (conversion.writtenAsBmp)
    return Say(Text::kWrittenAsBmp, {entry.source, conversion.output, CanvasTrouble(conversion.trouble, conversion.fault, entry.outcome.bitmap)}) + backup;
  return Say(Text::kConverted, {entry.source, conversion.output}) + backup;
}

// The catalogue's record of an entry once the batch has run.
CatalogueRecord Record(const Options& options, const Entry& entry, const Converted& converted) {
  const Conversion& conversion = converted.conversion;
  const NativeChar* suffix = conversion.writtenAsBmp || !options.png ? kBmpSuffix : kPngSuffix;
  if (entry.outcome.error || !entry.problem.empty()) {
    Entry failed = entry;
    if (failed.problem.empty()) failed.problem = OutcomeProblem(entry, suffix);
    return RecordOf(failed, Verdict::kFailed, {}, {}, converted.evidence);
  }
  if (options.checkOnly) return RecordOf(entry, Verdict::kChecked, {}, {}, converted.evidence);
  const Verdict verdict = conversion.kept ? Verdict::kKept : conversion.writtenAsBmp ? Verdict::kKeptAsBmp : Verdict::kConverted;
  const NativeString said = conversion.kept ? KeptLine(conversion.stood, conversion.output) : NativeString();
  return RecordOf(entry, verdict, entry.base + suffix, said, converted.evidence);
}

int Convert(const Options& options) {
  NativePlatform os(PauseWanted);
  const NativeChar* suffix = options.png ? kPngSuffix : kBmpSuffix;
  Plan plan = MakePlan(os, options, suffix);
  SayRefusedNames(plan, Text::kFolder, false);
  Report report(kConvert, options, plan.entries.size());
  if (options.catalogue) {
    const NativeString blocked = CatalogueBlocked(os, options.outputDir, options.checkOnly);
    if (!blocked.empty()) {
      report.Problem(kCatalogueOption, blocked);
      return report.Finish();
    }
  }
  std::vector<Converted> converted(plan.entries.size());
  RunPlan(options, plan, report, suffix, [&](std::size_t i, Workspace& workspace) {
    Entry& entry = plan.entries[i];
    entry.outcome = ConvertEntry(os, options, entry, converted[i], workspace);
    entry.done = DoneLine(options, entry, converted[i].conversion);
    return entry.outcome;
  });
  const Tally tally = TallyOf(plan, report);
  const std::size_t total = plan.entries.size() + plan.skipped.size();
  const auto kept = static_cast<std::size_t>(
      std::count_if(converted.begin(), converted.end(), [](const Converted& c) { return c.conversion.kept; }));
  std::size_t replaced = 0;
  for (std::size_t i = 0; i < converted.size(); ++i) replaced += converted[i].replacedEdit && plan.entries[i].problem.empty();
  const std::size_t done = plan.entries.size() - tally.failed - tally.noCarrier - tally.notStarted - kept;
  NativeString summary =
      Say(options.checkOnly ? Text::kSummaryChecked : Text::kSummary, {Number(total), Number(done), Number(tally.failed)});
  if (kept > 0) summary += Say(Text::kSummaryKept, {Number(kept)});
  if (replaced > 0) summary += Say(options.checkOnly ? Text::kSummaryWouldReplace : Text::kSummaryReplaced, {Number(replaced)});
  summary += Skipped(plan, tally) + Interrupted(tally);
  // Interrupted, the catalogue still tells what the run did; the entries it
  // never started are left out, and the summary counts them; so are the
  // files that are no carriers, as the summary counts them apart.
  if (options.catalogue) {
    Catalogue catalogue{options.outputDir, options.checkOnly, tally.interrupted != 0, summary, {}};
    for (std::size_t i = 0; i < plan.entries.size(); ++i) {
      const Entry& entry = plan.entries[i];
      if (!entry.notStarted && !entry.noCarrier) catalogue.records.push_back(Record(options, entry, converted[i]));
    }
    for (const NativeString& problem : WriteCatalogue(os, catalogue)) report.Problem(kCatalogueOption, problem);
  }
  return Conclude(plan, tally, summary, report);
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) { return RunTool(kConvert, {argv + 1, argv + argc}, Convert); }
#else
int main(int argc, char** argv) {
  // The system's reasons for failures come in the user's language.
  std::setlocale(LC_ALL, "");
  return RunTool(kConvert, {argv + 1, argv + argc}, Convert);
}
#endif
