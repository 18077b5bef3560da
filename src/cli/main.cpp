// quillane-convert: converts files exactly as the drop window does, for
// batches and scripts. Notices go to standard error, one after another.

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <vector>

#include "../../res/version.h"
#include "../convert/convert.h"
#include "../os/native_platform.h"

namespace {

namespace fs = std::filesystem;

constexpr int kExitConverted = 0;
constexpr int kExitNotice = 1;
constexpr int kExitUsage = 2;

constexpr const char* kUsage = "usage: quillane-convert [-r] [--help] [--version] FILE...\n";
constexpr const char* kHelp =
    "Converts each carrier GIF FILE to FILE.bmp beside it, as dropping it on\n"
    "the Quillane window does. Problems are reported on standard error.\n"
    "\n"
    "  -r, --recursive  convert every .gif or .GIF file inside directory arguments\n"
    "      --help       show this help and exit\n"
    "      --version    show the version and exit\n"
    "\n"
    "Exit status: 0 all converted, 1 some file got a notice, 2 usage error.\n";

// Notices go to standard error; on a terminal a progress line above them
// shows how far a batch has got, and is cleared before each notice.
class ConsolePlatform : public NativePlatform {
 public:
  explicit ConsolePlatform(bool progress) : progress_(progress) {}

  void ShowNotice(const NativeString& text) override {
    ClearProgress();
    WriteToStandardError(text + NATIVE_TEXT("\n"));
  }

  void ShowProgress(std::size_t done, std::size_t total, const NativeString& path) {
    if (!progress_) return;
    const std::size_t slash = path.find_last_of(NATIVE_TEXT("/\\"));
    const NativeString name = slash == NativeString::npos ? path : path.substr(slash + 1);
    std::string count = "[";
    count += std::to_string(done);
    count += '/';
    count += std::to_string(total);
    count += "] ";
    NativeString line = NATIVE_TEXT("\r\x1b[K");
    line.append(count.begin(), count.end());
    WriteToStandardError(line + name);
    shown_ = true;
  }

  void ClearProgress() {
    if (shown_) WriteToStandardError(NATIVE_TEXT("\r\x1b[K"));
    shown_ = false;
  }

 private:
  bool progress_;
  bool shown_ = false;
};

// Adds the carrier files below `directory`, in name order so runs repeat.
bool CollectDirectory(const fs::path& directory, std::vector<NativeString>* files) {
  std::vector<NativeString> found;
  std::error_code error;
  fs::recursive_directory_iterator it(directory, error), end;
  for (; !error && it != end; it.increment(error)) {
    if (it->is_regular_file(error) && HasCarrierExtension(it->path().filename().native()))
      found.push_back(it->path().native());
  }
  if (error) {
    WriteToStandardError(NATIVE_TEXT("quillane-convert: cannot read directory ") +
                         directory.native() + NATIVE_TEXT("\n"));
    return false;
  }
  std::sort(found.begin(), found.end());
  files->insert(files->end(), found.begin(), found.end());
  return true;
}

int Usage(const NativeString& problem) {
  WriteToStandardError(problem);
  std::fputs(kUsage, stderr);
  return kExitUsage;
}

int Run(const std::vector<NativeString>& args) {
  bool recursive = false;
  std::vector<NativeString> operands;
  bool optionsDone = false;
  for (const NativeString& arg : args) {
    if (optionsDone || arg.size() < 2 || arg[0] != '-') {
      operands.push_back(arg);
    } else if (arg == NATIVE_TEXT("--")) {
      optionsDone = true;
    } else if (arg == NATIVE_TEXT("-r") || arg == NATIVE_TEXT("--recursive")) {
      recursive = true;
    } else if (arg == NATIVE_TEXT("--help")) {
      std::fputs(kUsage, stdout);
      std::fputs(kHelp, stdout);
      return kExitConverted;
    } else if (arg == NATIVE_TEXT("--version")) {
      std::printf("quillane-convert %s (%s)\n", QUILLANE_PRODUCT_VERSION_STR,
                  QUILLANE_FILE_VERSION_STR);
      return kExitConverted;
    } else {
      return Usage(NATIVE_TEXT("quillane-convert: unknown option ") + arg + NATIVE_TEXT("\n"));
    }
  }
  if (operands.empty()) return Usage(NATIVE_TEXT("quillane-convert: no FILE given\n"));

  int exitCode = kExitConverted;
  std::vector<NativeString> files;
  for (const NativeString& operand : operands) {
    std::error_code error;
    if (recursive && fs::is_directory(operand, error)) {
      if (!CollectDirectory(operand, &files)) exitCode = kExitNotice;
    } else {
      files.push_back(operand);
    }
  }

  ConsolePlatform os(files.size() > 1 && StandardErrorIsTerminal());
  for (std::size_t i = 0; i < files.size(); ++i) {
    os.ShowProgress(i, files.size(), files[i]);
    if (ConvertFile(os, files[i]) != Status::kOk) exitCode = kExitNotice;
  }
  os.ClearProgress();
  return exitCode;
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) { return Run({argv + 1, argv + argc}); }
#else
int main(int argc, char** argv) { return Run({argv + 1, argv + argc}); }
#endif
