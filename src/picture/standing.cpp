#include "standing.h"

#include <vector>

#include "../convert/bmp_output.h"
#include "png_output.h"

PictureProblem HoldsConversion(Platform& os, CarrierFile& carrier, const NativeString& path, bool png,
                               const Workspace& workspace, bool* same) {
  *same = false;
  const Result<OpenedFile> opened = os.OpenForRead(path);
  if (!opened.Ok()) return {PictureProblem::Kind::kCannotOpen, opened.error};
  ScopedFile closing(os, opened.value.handle);
  MatchTarget target(os, opened.value, workspace.reading());
  Error made;
  if (png) {
    made = WritePngOutput(carrier.payload(), carrier.rows(), target, workspace.writing());
  } else {
    BmpOutput output(os, workspace.writing(), workspace.gathering());
    made = carrier.Pour(target, output, {}).error;
  }
  const Result<bool> matched = target.Same();
  if (!matched.Ok()) return {PictureProblem::Kind::kCannotRead, matched.error};
  // An output that could not be made matches nothing, not even an empty file.
  *same = matched.value && !made;
  return {};
}

PatchResult CompareWithCarrier(Platform& os, const CarrierFile& carrier, const NativeString& picture,
                               std::span<std::uint8_t> buffer) {
  const std::span<const std::uint8_t> payload = carrier.payload();
  std::vector<std::uint8_t> copy(payload.begin(), payload.end());
  return PatchPayload(os, copy, carrier.rows(), picture, false, buffer);
}
