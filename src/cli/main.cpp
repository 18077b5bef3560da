// quillane-convert: converts carrier GIFs as the drop window does, for
// batches and scripts: beside the sources or into a folder of one's own,
// several at once, with one line on standard error for each problem.

#ifndef _WIN32
#include <clocale>
#endif

#include <algorithm>

#include "../convert/bitmap_writer.h"
#include "../convert/file_io.h"
#include "../os/system.h"
#include "../picture/standing_output.h"
#include "../picture/png_writer.h"
#include "catalogue.h"
#include "describe.h"
#include "evidence.h"
#include "options.h"
#include "plan.h"
#include "report.h"
#include "run.h"
#include "texts.h"

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

// What converting the entry to `output` would do to an output that stands
// there already: replace it (none stands, --force, or it shows the
// carrier's picture in other bytes), leave it as it is (it holds what the
// conversion writes), or keep it (it shows an edit, or cannot be read),
// which the entry then says.
enum class Standing { kReplace, kLeave, kKeep };
Standing Judge(NativePlatform& os, const Options& options, Entry& entry, const NativeString& output, bool png,
              const Workspace& workspace, Outcome* outcome) {
  const Result<PathKind> standing = KindOf(output);
  if (options.force || (standing.Ok() && standing.value == PathKind::kMissing)) return Standing::kReplace;
  // A carrier that cannot be read fails its conversion, which says why.
  Carrier carrier(os);
  if (ReadCarrier(os, entry.source, &carrier, workspace.reading())) return Standing::kReplace;
  outcome->form = carrier.form;
  outcome->bitmap = carrier.bitmap;
  // A catalogue proves what it lists as it is written: the same bytes go out again.
  if (HoldsConversion(os, carrier, output, png, workspace.reading(), workspace.writing()))
    return options.catalogue ? Standing::kReplace : Standing::kLeave;
  const PatchResult patch = CompareWithCarrier(os, carrier, output, workspace.reading());
  if (ShowsCarrier(patch)) return Standing::kReplace;
  entry.kept = true;
  entry.warnings = {KeptLine(patch, output)};
  return Standing::kKeep;
}

Outcome Convert(NativePlatform& os, const Options& options, Entry& entry, Workspace& workspace) {
  if (!PrepareOutput(options, entry)) return {};
  if (!workspace.Ready()) return {{Status::kOutOfMemory}};
  // For a catalogue, each job is witnessed as it runs.
  const auto run = [&](OutputWriter& writer, const NativeChar* suffix) {
    Outcome outcome;
    switch (Judge(os, options, entry, entry.base + suffix, suffix == kPngSuffix, workspace, &outcome)) {
      case Standing::kReplace: break;
      case Standing::kLeave: outcome.unchanged = true; return outcome;
      case Standing::kKeep: return outcome;
    }
    const Job job{entry.source, entry.base, suffix, options.checkOnly};
    if (!options.catalogue) return RunJob(os, job, writer, workspace.reading());
    WitnessWriter witness(os, writer, workspace.reading(), entry.base + kStagingSuffix);
    outcome = RunJob(os, job, witness, workspace.reading());
    entry.evidence = witness.Take(outcome, entry.base + suffix);
    return outcome;
  };
  BitmapWriter bmp(os, workspace.writing(), workspace.gathering());
  if (!options.png) return run(bmp, kBmpSuffix);
  PngWriter png(os, workspace.writing());
  const Outcome outcome = run(png, kPngSuffix);
  if (outcome.error.status != Status::kRefused) return outcome;
  if (HasNoPixels(outcome.bitmap)) {
    entry.problem = Say(Text::kCannotWritePng, {BitmapTrouble(outcome.bitmap)});
    return outcome;
  }
  // A bitmap that shows no picture comes out as it converts, so that every
  // carrier of a tree has its file to take back.
  entry.writtenAsBmp = true;
  Outcome converted = run(bmp, kBmpSuffix);
  converted.bitmap = outcome.bitmap;
  return converted;
}

BatchWork Work(const Options& options, NativePlatform& os) {
  const NativeChar* suffix = options.png ? kPngSuffix : kBmpSuffix;
  return {.suffix = suffix,
          .job = [&](Entry& entry, Workspace& workspace) { return Convert(os, options, entry, workspace); },
          .done = [&, suffix](const Entry& entry) {
            if (options.checkOnly) return Description(entry);
            if (entry.writtenAsBmp)
              return Say(Text::kWrittenAsBmp, {entry.source, entry.base + kBmpSuffix, BitmapTrouble(entry.outcome.bitmap)});
            return Say(Text::kConverted, {entry.source, entry.base + suffix});
          },
          .summary = [&](const Plan& plan, const Tally& tally) {
            const std::size_t total = plan.entries.size() + plan.skipped.size();
            const auto kept = static_cast<std::size_t>(
                std::count_if(plan.entries.begin(), plan.entries.end(), [](const Entry& entry) { return entry.kept; }));
            const std::size_t converted = plan.entries.size() - tally.failed - tally.notStarted - kept;
            NativeString summary = Say(options.checkOnly ? Text::kSummaryChecked : Text::kSummary,
                                       {Number(total), Number(converted), Number(tally.failed)});
            if (kept > 0) summary += Say(Text::kSummaryKept, {Number(kept)});
            return summary + Skipped(plan) + Interrupted(tally);
          },
          .folder = Text::kFolder,
          .ready = [&](Report& report) {
            if (!options.catalogue) return true;
            const NativeString blocked = CatalogueBlocked(os, options.outputDir, options.checkOnly);
            if (!blocked.empty()) report.Problem(kCatalogueOption, blocked);
            return blocked.empty();
          },
          .conclude = [&, suffix](const Plan& plan, const NativeString& summary, Report& report) {
            if (!options.catalogue) return;
            Catalogue catalogue{options.outputDir, options.checkOnly, summary, {}};
            for (const Entry& entry : plan.entries) catalogue.records.push_back(RecordOf(entry, suffix, options.checkOnly));
            for (const NativeString& problem : WriteCatalogue(os, catalogue)) report.Problem(kCatalogueOption, problem);
          }};
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) { return RunCommand(kConvert, {argv + 1, argv + argc}, Work); }
#else
int main(int argc, char** argv) {
  // The system's reasons for failures come in the user's language.
  std::setlocale(LC_ALL, "");
  return RunCommand(kConvert, {argv + 1, argv + argc}, Work);
}
#endif
