// quillane-convert: converts carrier GIFs as the drop window does, for
// batches and scripts: beside the sources or into a folder of one's own,
// several at once, with one line on standard error for each problem.

#include <filesystem>
#include <new>

#ifndef _WIN32
#include <clocale>
#endif

#include "../convert/bitmap_rows.h"
#include "../convert/file_io.h"
#include "../os/native_platform.h"
#include "../os/system.h"
#include "options.h"
#include "plan.h"
#include "report.h"
#include "run.h"
#include "texts.h"

namespace {

const Command kConvert{
    "quillane-convert", "[-rnqv] [-j N] [-o DIR] FILE...",
    "Converts each carrier GIF FILE to FILE.bmp, as dropping it on the Quillane\n"
    "window does. Problems are reported on standard error, one line each.\n"
    "\n"
    "  -r, --recursive       convert every .gif or .GIF file inside FILEs that are folders\n"
    "  -o, --output-dir DIR  write into DIR, created if missing, instead of beside each\n"
    "                        FILE; with -r, the folders below each folder FILE are\n"
    "                        made again in DIR\n"
    "  -n, --dry-run         read and check every file as a conversion would; write nothing\n"
    "  -j, --jobs N          convert up to N files at once (default: one per processor)\n"
    "  -q, --quiet           print only errors\n"
    "  -v, --verbose         print SOURCE -> OUTPUT for each converted file; with -n,\n"
    "                        what each good file carries\n"
    "      --help            show this help and exit\n"
    "      --version         show the version and exit\n"
    "\n"
    "Exit status: 0 all converted, 1 some file failed, 2 usage error.\n",
    {Flag::kRecursive, Flag::kOutputDir, Flag::kDryRun, Flag::kJobs, Flag::kQuiet, Flag::kVerbose, Flag::kHelp,
     Flag::kVersion}};

// Jobs report through their outcomes, which the program prints in order, so
// nothing is shown from inside a job.
class FilePlatform final : public NativePlatform {
 public:
  void ShowNotice(const NativeString&) override {}
};

Outcome Convert(FilePlatform& os, const Options& options, Entry& entry, Workspace& workspace) {
  // An output folder is made only for a file that may go in it.
  if (Error e = TestCarrierName(os, entry.source)) return {e};
  if (!options.outputDir.empty() && !options.checkOnly) {
    const NativeString folder = std::filesystem::path(entry.base).parent_path().native();
    if (const SystemError error = CreateFolders(folder)) {
      entry.problem = Because(Say(Text::kCannotCreateFolder, {folder}), error);
      return {};
    }
  }
  if (!workspace.Ready()) return {{Status::kOutOfMemory}};
  BitmapWriter writer(os, workspace.writing(), workspace.gathering());
  return RunJob(os, {entry.source, entry.base, kBmpSuffix, options.checkOnly}, writer, workspace.reading());
}

int Run(const std::vector<NativeString>& args) {
  UseJapanese(PrefersJapanese());
  Options options;
  if (const int exit = ParseOptions(kConvert, args, &options); exit >= 0) return exit;
  FilePlatform os;
  Plan plan = MakePlan(os, options, kBmpSuffix);
  Report report(kConvert, options, plan.entries.size());
  RunPlan(
      options, plan, report, kBmpSuffix, [&](Entry& entry, Workspace& workspace) { return Convert(os, options, entry, workspace); },
      [&](const Entry& entry) {
        return options.checkOnly ? Description(entry) : Say(Text::kConverted, {entry.source, entry.base + kBmpSuffix});
      });
  const std::size_t total = plan.entries.size() + plan.skipped, failed = report.Failed();
  if (total > 1) {
    NativeString summary = Say(options.checkOnly ? Text::kSummaryChecked : Text::kSummary,
                               {Number(total), Number(plan.entries.size() - failed), Number(failed)});
    if (plan.skipped) summary += Say(Text::kSkipped, {Number(plan.skipped)});
    report.Summary(summary);
  }
  return report.Finish();
}

// Everything but the conversions themselves, which say so for their file.
int RunSafely(const std::vector<NativeString>& args) {
  OpenStandardStreams();
  try {
    return Run(args);
  } catch (const std::bad_alloc&) {
    WriteText(Stream::kError, MessagePrefix(kConvert) + Say(Text::kOutOfMemory) + NATIVE_TEXT("\n"));
    return kExitFailed;
  }
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) { return RunSafely({argv + 1, argv + argc}); }
#else
int main(int argc, char** argv) {
  // The system's reasons for failures come in the user's language.
  std::setlocale(LC_ALL, "");
  return RunSafely({argv + 1, argv + argc});
}
#endif
