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
    "quillane-convert", "[-rnqv] [-j N] [-o DIR] [-f png|bmp] [--catalogue] FILE...",
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
    "                        its carrier), which is otherwise kept\n"
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
    {Flag::kRecursive, Flag::kOutputDir, Flag::kFormat, Flag::kForce, Flag::kDryRun, Flag::kJobs, Flag::kQuiet, Flag::kVerbose,
     Flag::kCatalogue, Flag::kHelp,
     Flag::kVersion}};

// What names the catalogue's problems on standard error.
constexpr const NativeChar* kCatalogueOption = NATIVE_TEXT("--catalogue");

// What the tool knows of an entry beyond what every tool does.
struct Converted {
  Conversion conversion;
  Evidence evidence;  // for --catalogue, what its conversion proved
};

Outcome ConvertEntry(NativePlatform& os, const Options& options, Entry& entry, Converted& converted,
                     Workspace& workspace) {
  if (!PrepareOutput(options, entry)) return {};
  if (!workspace.Ready()) return {{Status::kOutOfMemory}};
  Witness witness(os, workspace.reading());
  const ConversionRequest request{entry.source, entry.base, options.png, options.force, options.checkOnly,
                                  options.catalogue};
  const Conversion& conversion = converted.conversion =
      ConvertCarrier(os, request, workspace, options.catalogue ? &witness : nullptr);
  const bool wrote = !conversion.outcome.error && !conversion.kept && !conversion.outcome.unchanged && !options.checkOnly;
  if (options.catalogue) converted.evidence = witness.Conclude(wrote ? conversion.output : NativeString());
  if (conversion.kept) entry.warnings = {KeptLine(conversion.keptPatch, conversion.output)};
  const Error& error = conversion.outcome.error;
  if (error.status == Status::kRefused) {
    entry.problem = Say(Text::kCannotWritePng, {BitmapTrouble(conversion.outcome.bitmap)});
  } else if (error && conversion.writtenAsBmp) {
    entry.outcome = conversion.outcome;
    entry.problem = OutcomeProblem(entry, kBmpSuffix);
  }
  return conversion.outcome;
}

// The line -v gives of a converted entry.
NativeString DoneLine(const Options& options, const Entry& entry, const Conversion& conversion) {
  if (conversion.kept) return {};
  if (options.checkOnly) return Description(entry);
  if (conversion.writtenAsBmp)
    return Say(Text::kWrittenAsBmp, {entry.source, entry.base + kBmpSuffix, BitmapTrouble(entry.outcome.bitmap)});
  return Say(Text::kConverted, {entry.source, entry.base + (options.png ? kPngSuffix : kBmpSuffix)});
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
  const NativeString said = conversion.kept ? KeptLine(conversion.keptPatch, conversion.output) : NativeString();
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
  const std::size_t done = plan.entries.size() - tally.failed - tally.notStarted - kept;
  NativeString summary =
      Say(options.checkOnly ? Text::kSummaryChecked : Text::kSummary, {Number(total), Number(done), Number(tally.failed)});
  if (kept > 0) summary += Say(Text::kSummaryKept, {Number(kept)});
  summary += Skipped(plan) + Interrupted(tally);
  // Interrupted, the catalogue still tells what the run did; the entries it
  // never started are left out, and the summary counts them.
  if (options.catalogue) {
    Catalogue catalogue{options.outputDir, options.checkOnly, tally.interrupted != 0, summary, {}};
    for (std::size_t i = 0; i < plan.entries.size(); ++i) {
      if (!plan.entries[i].notStarted) catalogue.records.push_back(Record(options, plan.entries[i], converted[i]));
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
