// quillane-convert: converts carrier GIFs as the drop window does, for
// batches and scripts: beside the sources or into a folder of one's own,
// several at once, with one line on standard error for each problem.

#ifndef _WIN32
#include <clocale>
#endif

#include "../convert/bitmap_writer.h"
#include "../convert/file_io.h"
#include "../os/system.h"
#include "../picture/png_writer.h"
#include "catalogue.h"
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
    "Exit status: 0 all converted, 1 some file failed, 2 usage error.\n",
    {Flag::kRecursive, Flag::kOutputDir, Flag::kFormat, Flag::kDryRun, Flag::kJobs, Flag::kQuiet, Flag::kVerbose,
     Flag::kCatalogue, Flag::kHelp, Flag::kVersion}};

// What names the catalogue's problems on standard error.
constexpr const NativeChar* kCatalogueOption = NATIVE_TEXT("--catalogue");


Outcome Convert(NativePlatform& os, const Options& options, Entry& entry, Workspace& workspace) {
  if (!PrepareOutput(options, entry)) return {};
  if (!workspace.Ready()) return {{Status::kOutOfMemory}};
  // For a catalogue, each job is witnessed as it runs.
  const auto run = [&](OutputWriter& writer, const NativeChar* suffix) {
    const Job job{entry.source, entry.base, suffix, options.checkOnly};
    if (!options.catalogue) return RunJob(os, job, writer, workspace.reading());
    WitnessWriter witness(os, writer, workspace.reading(), entry.base + kStagingSuffix);
    const Outcome outcome = RunJob(os, job, witness, workspace.reading());
    entry.evidence = witness.Take(outcome, entry.base + suffix);
    return outcome;
  };
  const auto asBmp = [&] {
    BitmapWriter writer(os, workspace.writing(), workspace.gathering());
    return run(writer, kBmpSuffix);
  };
  if (!options.png) return asBmp();
  PngWriter writer(os, workspace.writing());
  const Outcome outcome = run(writer, kPngSuffix);
  if (outcome.error.status != Status::kRefused) return outcome;
  if (HasNoPixels(outcome.bitmap)) {
    entry.problem = Say(Text::kCannotWritePng, {BitmapTrouble(outcome.bitmap)});
    return outcome;
  }
  // A bitmap that shows no picture comes out as it converts, so that every
  // carrier of a tree has its file to take back.
  entry.keptAsBmp = true;
  Outcome converted = asBmp();
  converted.bitmap = outcome.bitmap;
  return converted;
}

BatchWork Work(const Options& options, NativePlatform& os) {
  const NativeChar* suffix = options.png ? kPngSuffix : kBmpSuffix;
  return {suffix, [&](Entry& entry, Workspace& workspace) { return Convert(os, options, entry, workspace); },
          [&, suffix](const Entry& entry) {
            if (options.checkOnly) return Description(entry);
            if (entry.keptAsBmp)
              return Say(Text::kKeptAsBmp, {entry.source, entry.base + kBmpSuffix, BitmapTrouble(entry.outcome.bitmap)});
            return Say(Text::kConverted, {entry.source, entry.base + suffix});
          },
          [&](const Plan& plan, std::size_t total, std::size_t failed) {
            return Say(options.checkOnly ? Text::kSummaryChecked : Text::kSummary,
                       {Number(total), Number(plan.entries.size() - failed), Number(failed)}) +
                   Skipped(plan);
          },
          Text::kFolder,
          [](const Entry&) { return NativeString(); },
          [&](Report& report) {
            if (!options.catalogue) return true;
            const NativeString blocked = CatalogueBlocked(os, options.outputDir, options.checkOnly);
            if (!blocked.empty()) report.Problem(kCatalogueOption, blocked);
            return blocked.empty();
          },
          [&, suffix](const Plan& plan, const NativeString& summary, Report& report) {
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
