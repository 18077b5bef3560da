#include "options.h"

#include <algorithm>
#include <string>

#include "../os/system.h"
#include "texts.h"
#include "version.h"

namespace {

constexpr unsigned kMaxJobs = 256;

struct OptionName {
  NativeChar letter;  // 0: none
  const NativeChar* name;
  Flag flag;
  bool takesValue;
  bool optionalValue = false;  // a value only after "=", as in --backup=numbered
};

constexpr OptionName kOptions[] = {
    {'r', NATIVE_TEXT("recursive"), Flag::kRecursive, false},
    {'o', NATIVE_TEXT("output-dir"), Flag::kOutputDir, true},
    {0, NATIVE_TEXT("from"), Flag::kFrom, true},
    {'f', NATIVE_TEXT("format"), Flag::kFormat, true},
    {0, NATIVE_TEXT("nearest"), Flag::kNearest, false},
    {0, NATIVE_TEXT("palette"), Flag::kPalette, false},
    {0, NATIVE_TEXT("resize"), Flag::kResize, false},
    {0, NATIVE_TEXT("reserve"), Flag::kReserve, true},
    {0, NATIVE_TEXT("review"), Flag::kReview, true},
    {0, NATIVE_TEXT("force"), Flag::kForce, false},
    {'b', NATIVE_TEXT("backup"), Flag::kBackup, false, true},
    {'S', NATIVE_TEXT("suffix"), Flag::kSuffix, true},
    {'n', NATIVE_TEXT("dry-run"), Flag::kDryRun, false},
    {'j', NATIVE_TEXT("jobs"), Flag::kJobs, true},
    {'q', NATIVE_TEXT("quiet"), Flag::kQuiet, false},
    {'v', NATIVE_TEXT("verbose"), Flag::kVerbose, false},
    {0, NATIVE_TEXT("catalogue"), Flag::kCatalogue, false},
    {0, NATIVE_TEXT("help"), Flag::kHelp, false},
    {0, NATIVE_TEXT("version"), Flag::kVersion, false},
};

NativeString FromAscii(const std::string& text) { return NativeString(text.begin(), text.end()); }

// Reads the palette entries of `list`, indices and ranges as in "0,255" or
// "0-15" joined by commas, into `entries`; false when it is not such a list.
bool ReadEntries(const NativeString& list, std::bitset<256>* entries) {
  std::size_t at = 0;
  const auto index = [&](std::size_t* value) {
    const std::size_t start = at;
    *value = 0;
    while (at < list.size() && at - start < 4 && list[at] >= '0' && list[at] <= '9')
      *value = *value * 10 + static_cast<std::size_t>(list[at++] - '0');
    return at > start && *value < entries->size();
  };
  for (;;) {
    std::size_t first = 0;
    if (!index(&first)) return false;
    std::size_t last = first;
    if (at < list.size() && list[at] == '-') {
      ++at;
      if (!index(&last) || last < first) return false;
    }
    for (std::size_t i = first; i <= last; ++i) entries->set(i);
    if (at == list.size()) return true;
    if (list[at++] != ',') return false;
  }
}

NativeString UsageLine(const Command& command) {
  return FromAscii(std::string("usage: ") + command.name + " " + command.synopsis + "\n");
}

// Prints `text` on standard output; kExitFailed when it cannot.
int Show(const Command& command, const NativeString& text) {
  const SystemError error = WriteText(Stream::kOutput, text);
  if (!error) return kExitDone;
  WriteText(Stream::kError, MessagePrefix(command) + Because(Say(Text::kCannotWriteOutput), error) + NATIVE_TEXT("\n"));
  return kExitFailed;
}

int Usage(const Command& command, const NativeString& problem) {
  WriteText(Stream::kError, MessagePrefix(command) + problem + NATIVE_TEXT("\n") + UsageLine(command));
  return kExitUsage;
}

// Sets what `flag` asks for; false when `value` is not one it takes.
bool Apply(Flag flag, const NativeString& value, Options* options) {
  switch (flag) {
    case Flag::kRecursive: options->recursive = true; break;
    case Flag::kOutputDir: options->outputDir = value; return !value.empty();
    case Flag::kFrom: options->from = value; return !value.empty();
    case Flag::kFormat:
      options->png = value == NATIVE_TEXT("png");
      return options->png || value == NATIVE_TEXT("bmp");
    case Flag::kNearest: options->nearest = true; break;
    case Flag::kPalette: options->palette = true; break;
    case Flag::kResize: options->resize = true; break;
    case Flag::kReserve: return ReadEntries(value, &options->reserved);
    case Flag::kReview: options->review = value; return !value.empty();
    case Flag::kForce: options->force = true; break;
    case Flag::kCatalogue: options->catalogue = true; break;
    case Flag::kBackup:
      options->backup = true;
      options->backupControl = value;
      break;
    // As in GNU's tools, a suffix asks for backups.
    case Flag::kSuffix:
      options->backup = true;
      options->backupSuffix = value;
      break;
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

}  // namespace

NativeString MessagePrefix(const Command& command) { return FromAscii(std::string(command.name) + ": "); }

int ParseOptions(const Command& command, const std::vector<NativeString>& args, Options* options) {
  const auto known = [&](const OptionName& o) {
    return std::find(command.flags.begin(), command.flags.end(), o.flag) != command.flags.end();
  };
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
      const auto matches = [&](const OptionName& o) {
        return known(o) && (isLong ? name == o.name : o.letter == arg[at]);
      };
      const OptionName* option = std::find_if(std::begin(kOptions), std::end(kOptions), matches);
      const NativeString shown = (isLong ? NATIVE_TEXT("--") : NATIVE_TEXT("-")) + name;
      if (option == std::end(kOptions) || (equals != NativeString::npos && !option->takesValue && !option->optionalValue))
        return Usage(command, Say(Text::kUnknownOption, {isLong ? arg : shown}));
      if (option->flag == Flag::kHelp) return Show(command, UsageLine(command) + FromAscii(command.help));
      if (option->flag == Flag::kVersion)
        return Show(command, FromAscii(std::string(command.name) + " " + QUILLANE_PRODUCT_VERSION_STR + " (" +
                                   QUILLANE_FILE_VERSION_STR + ")\n"));
      NativeString value;
      if (option->takesValue) {
        if (equals != NativeString::npos)
          value = arg.substr(equals + 1);
        else if (!isLong && at + 1 < arg.size())
          value = arg.substr(at + 1);
        else if (i + 1 < args.size())
          value = args[++i];
        else
          return Usage(command, Say(Text::kNeedsValue, {shown}));
      } else if (option->optionalValue && equals != NativeString::npos) {
        value = arg.substr(equals + 1);
      }
      if (!Apply(option->flag, value, options)) return Usage(command, Say(Text::kBadValue, {shown, value}));
      if (isLong || option->takesValue) break;
    }
  }
  if (options->operands.empty()) return Usage(command, Say(Text::kNoFile));
  if (options->backup) {
    const NativeString problem =
        ChooseBackups(options->backupControl, options->backupSuffix ? &*options->backupSuffix : nullptr, &options->backups);
    if (!problem.empty()) return Usage(command, problem);
  }
  return -1;
}
