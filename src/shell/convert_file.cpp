#include "convert_file.h"

#include <iterator>

#include "../convert/file_io.h"
#include "../notices.h"
#include "../picture/bmp_reader.h"
#include "../picture/conversion.h"

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
  if (!workspace.Ready()) {
    ShowFileError(show, path, Status::kOutOfMemory);
    return {{Status::kOutOfMemory}};
  }
  // The window writes BMP alone, so what stands at its output's name is read as BMP alone.
  const Conversion conversion = ConvertCarrier(os, {.source = path, .base = path, .read = ReadBmpPicture}, workspace);
  if (conversion.kept) show(kNoticePrefix + conversion.output + NATIVE_TEXT("\n") + notice::kKeptEdit);
  if (conversion.outcome.error) ShowFileError(show, path, conversion.outcome.error.status);
  return conversion.outcome;
}
