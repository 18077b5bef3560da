// quillane-convert: converts carrier GIFs as the drop window does, for
// batches and scripts: beside the sources or into a folder of one's own,
// several at once, with one line on standard error for each problem.

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#ifndef _WIN32
#include <clocale>
#endif

#include "../../res/version.h"
#include "../convert/bitmap_format.h"
#include "../convert/convert.h"
#include "../os/native_platform.h"
#include "batch.h"
#include "texts.h"

namespace {

namespace fs = std::filesystem;

constexpr int kExitConverted = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr unsigned kMaxJobs = 256;
// Every message line starts so, as Unix tools name themselves.
constexpr const NativeChar* kPrefix = NATIVE_TEXT("quillane-convert: ");

constexpr const char* kUsage = "usage: quillane-convert [-rnqv] [-j N] [-o DIR] FILE...\n";
constexpr const char* kHelp =
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
    "Exit status: 0 all converted, 1 some file failed, 2 usage error.\n";

// Jobs report through their outcomes, which the program prints in order, so
// nothing is shown from inside a job.
class FilePlatform final : public NativePlatform {
 public:
  void ShowNotice(const NativeString&) override {}
};

struct Options {
  bool recursive = false;
  bool checkOnly = false;
  bool quiet = false;
  bool verbose = false;
  unsigned jobs = 0;       // one per processor
  NativeString outputDir;  // empty: beside each source
  std::vector<NativeString> operands;
};

enum class Flag { kRecursive, kOutputDir, kDryRun, kJobs, kQuiet, kVerbose, kHelp, kVersion };

struct OptionName {
  NativeChar letter;  // 0: none
  const NativeChar* name;
  Flag flag;
  bool takesValue;
};

constexpr OptionName kOptions[] = {
    {'r', NATIVE_TEXT("recursive"), Flag::kRecursive, false},
    {'o', NATIVE_TEXT("output-dir"), Flag::kOutputDir, true},
    {'n', NATIVE_TEXT("dry-run"), Flag::kDryRun, false},
    {'j', NATIVE_TEXT("jobs"), Flag::kJobs, true},
    {'q', NATIVE_TEXT("quiet"), Flag::kQuiet, false},
    {'v', NATIVE_TEXT("verbose"), Flag::kVerbose, false},
    {0, NATIVE_TEXT("help"), Flag::kHelp, false},
    {0, NATIVE_TEXT("version"), Flag::kVersion, false},
};

// One file of the batch and what became of it.
struct Entry {
  Entry(NativeString sourcePath, NativeString basePath)
      : source(std::move(sourcePath)), base(std::move(basePath)) {}

  NativeString source;
  NativeString base;            // the output is base + ".bmp"
  std::size_t after = kNoTask;  // an earlier entry for the same source and output
  NativeString clash;           // another source that writes the same output first
  int folderError = 0;          // why the output's folder could not be made
  Outcome outcome;

  bool Converted() const { return clash.empty() && folderError == 0 && outcome.status == Status::kOk; }
};

void Print(Stream stream, const NativeString& line) { WriteText(stream, line + NATIVE_TEXT("\n")); }

// A narrow text from the C++ library, digits or a message: ASCII on
// Windows, the system's bytes elsewhere.
NativeString Widen(const std::string& text) { return NativeString(text.begin(), text.end()); }

template <typename Integer>
NativeString Number(Integer value) {
  return Widen(std::to_string(value));
}

NativeString Parent(const NativeString& path) { return fs::path(path).parent_path().native(); }

int Usage(const NativeString& problem) {
  Print(Stream::kError, kPrefix + problem);
  std::fputs(kUsage, stderr);
  return kExitUsage;
}

// Sets what `flag` asks for; false when `value` is not one it takes.
bool Apply(Flag flag, const NativeString& value, Options* options) {
  switch (flag) {
    case Flag::kRecursive: options->recursive = true; break;
    case Flag::kOutputDir: options->outputDir = value; return !value.empty();
    case Flag::kDryRun: options->checkOnly = true; break;
    case Flag::kQuiet: options->quiet = true, options->verbose = false; break;
    case Flag::kVerbose: options->verbose = true, options->quiet = false; break;
    case Flag::kJobs: {
      unsigned jobs = 0;
      for (const NativeChar c : value) {
        if (c < '0' || c > '9' || jobs > kMaxJobs) return false;
        jobs = jobs * 10 + static_cast<unsigned>(c - '0');
      }
      options->jobs = jobs;
      return jobs >= 1 && jobs <= kMaxJobs;
    }
    case Flag::kHelp:
    case Flag::kVersion: break;
  }
  return true;
}

// Reads the options and operands. Returns -1 to go on, else the exit code.
int Parse(const std::vector<NativeString>& args, Options* options) {
  bool optionsDone = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const NativeString& arg = args[i];
    if (optionsDone || arg.size() < 2 || arg[0] != '-') {
      options->operands.push_back(arg);
      continue;
    }
    if (arg == NATIVE_TEXT("--")) {
      optionsDone = true;
      continue;
    }
    // "-rv", "-j4", "-j 4", "--jobs 4" and "--jobs=4" all work.
    const bool isLong = arg[1] == '-';
    for (std::size_t at = 1; at < arg.size(); ++at) {
      const std::size_t equals = isLong ? arg.find('=') : NativeString::npos;
      const NativeString name = isLong ? arg.substr(2, equals - 2) : arg.substr(at, 1);
      const auto matches = [&](const OptionName& o) { return isLong ? name == o.name : o.letter == arg[at]; };
      const OptionName* option = std::find_if(std::begin(kOptions), std::end(kOptions), matches);
      const NativeString shown = (isLong ? NATIVE_TEXT("--") : NATIVE_TEXT("-")) + name;
      if (option == std::end(kOptions) || (equals != NativeString::npos && !option->takesValue))
        return Usage(Say(Text::kUnknownOption, {isLong ? arg : shown}));
      if (option->flag == Flag::kHelp) {
        std::fputs(kUsage, stdout);
        std::fputs(kHelp, stdout);
        return kExitConverted;
      }
      if (option->flag == Flag::kVersion) {
        std::printf("quillane-convert %s (%s)\n", QUILLANE_PRODUCT_VERSION_STR, QUILLANE_FILE_VERSION_STR);
        return kExitConverted;
      }
      NativeString value;
      if (option->takesValue) {
        if (equals != NativeString::npos)
          value = arg.substr(equals + 1);
        else if (!isLong && at + 1 < arg.size())
          value = arg.substr(at + 1);
        else if (i + 1 < args.size())
          value = args[++i];
        else
          return Usage(Say(Text::kNeedsValue, {shown}));
      }
      if (!Apply(option->flag, value, options)) return Usage(Say(Text::kBadValue, {shown, value}));
      if (isLong || option->takesValue) break;
    }
  }
  if (options->operands.empty()) return Usage(Say(Text::kNoFile));
  return -1;
}

// Adds an entry for each carrier file below `folder`, in name order so runs
// repeat; counts the other files as skipped.
bool CollectFolder(const NativeString& folder, const Options& options, std::vector<Entry>* entries,
                   std::size_t* skipped) {
  std::vector<fs::path> found;
  std::error_code error;
  fs::recursive_directory_iterator it(folder, error), end;
  for (; !error && it != end; it.increment(error)) {
    if (!it->is_regular_file(error)) continue;
    if (HasCarrierExtension(it->path().filename().native()))
      found.push_back(it->path());
    else
      ++*skipped;
  }
  if (error) {
    Print(Stream::kError, kPrefix + folder + NATIVE_TEXT(": ") +
                              Say(Text::kCannotReadFolder) + NATIVE_TEXT(": ") + Widen(error.message()));
    return false;
  }
  std::sort(found.begin(), found.end());
  for (const fs::path& file : found) {
    const fs::path base =
        options.outputDir.empty() ? file : options.outputDir / file.lexically_relative(folder);
    entries->emplace_back(file.native(), base.native());
  }
  return true;
}

// Finds outputs named twice: the same source again waits for its earlier
// conversion; another source is refused, so nothing is overwritten.
void FindSharedOutputs(NativePlatform& os, std::vector<Entry>* entries) {
  const auto key = [&](const NativeString& path) {
    NativeString absolute;
    return NameKey(os.AbsolutePath(path, &absolute) ? absolute : path);
  };
  struct Writer {
    NativeString source;  // as given
    NativeString sourceKey;
    std::size_t latest;  // the last entry of that source
  };
  std::map<NativeString, Writer> writers;
  for (std::size_t i = 0; i < entries->size(); ++i) {
    Entry& entry = (*entries)[i];
    const NativeString source = key(entry.source);
    const auto [found, added] = writers.try_emplace(key(entry.base), Writer{entry.source, source, i});
    if (added) continue;
    if (found->second.sourceKey == source) {
      entry.after = std::exchange(found->second.latest, i);
    } else {
      entry.clash = found->second.source;
    }
  }
}

// What went wrong with `entry`, in words.
NativeString Problem(const Entry& entry) {
  const NativeString output = entry.base + kOutputSuffix;
  if (!entry.clash.empty()) return Say(Text::kWrittenTwice, {output, entry.clash});
  const auto because = [](const NativeString& what, int error) {
    return error == 0 ? what : what + NATIVE_TEXT(": ") + ErrorText(error);
  };
  if (entry.folderError != 0)
    return because(Say(Text::kCannotCreateFolder, {Parent(entry.base)}), entry.folderError);
  const Outcome& outcome = entry.outcome;
  switch (outcome.status) {
    case Status::kOk: break;
    case Status::kBadExtension: return Say(Text::kNotGif);
    case Status::kOutOfMemory: return Say(Text::kOutOfMemory);
    case Status::kUnsupported:
      if (outcome.step != Step::kOpenSource) return Say(Text::kNotCarrier);
      if (outcome.error == kNotAFile) return Say(Text::kNotAFile);
      return because(Say(Text::kCannotOpen), outcome.error);
    case Status::kIoError:
      switch (outcome.step) {
        case Step::kCreateOutput: return because(Say(Text::kCannotCreate, {output}), outcome.error);
        case Step::kWriteOutput: return because(Say(Text::kCannotWrite, {output}), outcome.error);
        case Step::kReplaceOutput: return because(Say(Text::kCannotReplace, {output}), outcome.error);
        default: return because(Say(Text::kCannotRead), outcome.error);
      }
  }
  return {};
}

NativeString CompressionName(std::uint32_t compression) {
  switch (compression) {
    case bmp::kRle8: return NATIVE_TEXT("RLE8");
    case bmp::kRle4: return NATIVE_TEXT("RLE4");
    case bmp::kJpeg: return NATIVE_TEXT("JPEG");
    case bmp::kPng: return NATIVE_TEXT("PNG");
  }
  return Number(compression);
}

// What a checked file carries, for --dry-run --verbose.
NativeString Description(const Entry& entry) {
  const Carrier& carrier = entry.outcome.carrier;
  NativeString text =
      Say(Text::kChecked,
          {entry.source, Say(carrier.form == CarrierForm::kImage ? Text::kImageData : Text::kComment),
           Number(carrier.bytes)});
  if (carrier.hasFields) text += Say(Text::kCheckedSize, {Number(carrier.width), Number(carrier.height)});
  const NativeString depth = Number(carrier.bitsPerPixel);
  switch (carrier.bitmap) {
    case BitmapForm::kPlain: break;
    case BitmapForm::kRows:
      if (carrier.rowBytes == carrier.writtenRowBytes)
        text += Say(Text::kCheckedRows, {depth, Number(carrier.rowBytes)});
      else
        text += Say(Text::kCheckedPaddedRows, {depth, Number(carrier.rowBytes), Number(carrier.writtenRowBytes)});
      break;
    case BitmapForm::kCompressed: text += Say(Text::kCheckedCompressed, {CompressionName(carrier.compression)}); break;
  }
  return text;
}

// On a terminal, a line above the messages shows how far a batch has got;
// it is cleared before each message.
class Progress {
 public:
  explicit Progress(bool shown) : shown_(shown) {}

  void Show(std::size_t done, std::size_t total, const NativeString& path) {
    if (!shown_ || done >= total) return;
    const std::size_t slash = path.find_last_of(NATIVE_TEXT("/\\"));
    WriteText(Stream::kError, NATIVE_TEXT("\r\x1b[K[") + Number(done) + NATIVE_TEXT("/") + Number(total) +
                                  NATIVE_TEXT("] ") +
                                  path.substr(slash == NativeString::npos ? 0 : slash + 1));
    visible_ = true;
  }

  void Clear() {
    if (visible_) WriteText(Stream::kError, NATIVE_TEXT("\r\x1b[K"));
    visible_ = false;
  }

 private:
  bool shown_;
  bool visible_ = false;
};

int Run(const std::vector<NativeString>& args) {
  UseJapanese(PrefersJapanese());
  Options options;
  if (const int exit = Parse(args, &options); exit >= 0) return exit;

  FilePlatform os;
  int exitCode = kExitConverted;
  std::vector<Entry> entries;
  std::size_t skipped = 0;
  for (const NativeString& operand : options.operands) {
    std::error_code error;
    if (options.recursive && fs::is_directory(operand, error)) {
      if (!CollectFolder(operand, options, &entries, &skipped)) exitCode = kExitFailed;
    } else if (options.outputDir.empty()) {
      entries.emplace_back(operand, operand);
    } else {
      NativeString absolute;
      const fs::path name = fs::path(os.AbsolutePath(operand, &absolute) ? absolute : operand).filename();
      entries.emplace_back(operand, (options.outputDir / name).native());
    }
  }

  FindSharedOutputs(os, &entries);
  if (!options.outputDir.empty() && !options.checkOnly) {
    std::map<NativeString, int> folders;  // each output folder and why it could not be made
    for (Entry& entry : entries) {
      const NativeString folder = Parent(entry.base);
      auto [made, added] = folders.try_emplace(folder, 0);
      if (added && !folder.empty() && !os.CreateFolders(folder)) made->second = os.LastError();
      entry.folderError = made->second;
    }
  }

  std::vector<std::size_t> after;
  for (const Entry& entry : entries) after.push_back(entry.after);
  const unsigned threads = options.jobs ? options.jobs : std::max(1u, std::thread::hardware_concurrency());
  Progress progress(entries.size() > 1 && !options.quiet && StandardErrorIsTerminal());
  std::size_t converted = 0;
  const auto work = [&](std::size_t i) {
    Entry& entry = entries[i];
    if (!entry.clash.empty() || entry.folderError != 0) return;
    FilePlatform jobOs;
    entry.outcome = RunJob(jobOs, {entry.source, entry.base, options.checkOnly});
  };
  const auto report = [&](std::size_t i) {
    const Entry& entry = entries[i];
    if (entry.Converted()) {
      ++converted;
      if (options.verbose)
        Print(Stream::kOutput, options.checkOnly
                                   ? Description(entry)
                                   : Say(Text::kConverted, {entry.source, entry.base + kOutputSuffix}));
    } else {
      progress.Clear();
      Print(Stream::kError,
            kPrefix + entry.source + NATIVE_TEXT(": ") + Problem(entry));
      exitCode = kExitFailed;
    }
    if (i + 1 < entries.size()) progress.Show(i + 1, entries.size(), entries[i + 1].source);
  };
  if (!entries.empty()) progress.Show(0, entries.size(), entries[0].source);
  RunInOrder(threads, after, work, report);
  progress.Clear();

  const std::size_t total = entries.size() + skipped;
  if (total > 1 && !options.quiet) {
    NativeString summary = Say(options.checkOnly ? Text::kSummaryChecked : Text::kSummary,
                               {Number(total), Number(converted), Number(entries.size() - converted)});
    if (skipped) summary += Say(Text::kSkipped, {Number(skipped)});
    Print(Stream::kError, summary);
  }
  return exitCode;
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) { return Run({argv + 1, argv + argc}); }
#else
int main(int argc, char** argv) {
  // The system's reasons for failures come in the user's language.
  std::setlocale(LC_ALL, "");
  return Run({argv + 1, argv + argc});
}
#endif
