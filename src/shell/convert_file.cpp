#include "convert_file.h"

#include <iterator>

#include "../convert/bmp_output.h"
#include "../convert/file_io.h"
#include "../notices.h"

namespace {

constexpr const NativeChar* kMessages[] = {
    nullptr, notice::kNotGif, notice::kNotCarrier, notice::kNotCarrier, notice::kNotCarrier, notice::kCannotReadOrWrite,
    notice::kOutOfMemory, notice::kBusy, notice::kRefused,
};
static_assert(std::size(kMessages) == static_cast<std::size_t>(Status::kRefused) + 1);

constexpr const NativeChar* kNoticePrefix = NATIVE_TEXT("ファイル：");

}  // namespace

const NativeChar* MessageText(Status status) { return kMessages[static_cast<std::size_t>(status)]; }

void ShowFileError(const ShowNotice& show, const NativeString& path, Status status) {
  show(kNoticePrefix + path + NATIVE_TEXT("\n") + MessageText(status));
}

Outcome ConvertFile(Platform& os, const NativeString& path, const ShowNotice& show) {
  Workspace workspace;
  Outcome outcome{{Status::kOutOfMemory}};
  if (workspace.Ready()) {
    BmpOutput writer(os, workspace.writing(), workspace.gathering());
    outcome = RunJob(os, path, {path, kBmpSuffix}, writer, workspace.reading());
  }
  if (outcome.error) ShowFileError(show, path, outcome.error.status);
  return outcome;
}
