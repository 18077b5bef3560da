#include "conversion.h"

#include <new>

#include <vector>

#include "../convert/bmp_output.h"
#include "png_output.h"

namespace {

// Whether a picture that could not be read was read whole and is no
// picture, rather than never read: a file that cannot be opened, read or
// held, or changed meanwhile, tells nothing of what it shows.
bool ReadWhole(const PictureProblem& problem) {
  switch (problem.kind) {
    case PictureProblem::Kind::kCannotOpen:
    case PictureProblem::Kind::kCannotRead:
    case PictureProblem::Kind::kChanged:
    case PictureProblem::Kind::kRowsTooLarge:
    case PictureProblem::Kind::kOutOfMemory: return false;
    default: return true;
  }
}

// The carrier's output, as PNG or as BMP, made into `target`; a payload not
// held streams from the file through `buffer`.
Ending MakeCarrierOutput(Platform& os, CarrierFile& carrier, bool png, OutputTarget& target, const Workspace& workspace,
                         std::span<std::uint8_t> buffer) {
  if (png) return WritePngOutput(carrier.payload(), carrier.rows(), target, workspace.writing());
  BmpOutput bmp(os, workspace.writing(), workspace.gathering());
  return carrier.Pour(target, bmp, buffer);
}

}  // namespace

PictureProblem HoldsConversion(Platform& os, CarrierFile& carrier, const NativeString& path, bool png,
                               const Workspace& workspace, bool* same) {
  *same = false;
  const Result<OpenedFile> opened = os.OpenForRead(path);
  if (!opened.Ok()) return {PictureProblem::Kind::kCannotOpen, opened.error};
  ScopedFile closing(os, opened.value.handle);
  MatchTarget target(os, opened.value, workspace.reading());
  const Error made = MakeCarrierOutput(os, carrier, png, target, workspace, {}).error;
  const Result<bool> matched = target.Same();
  if (!matched.Ok()) return {PictureProblem::Kind::kCannotRead, matched.error};
  // An output that could not be made matches nothing, not even an empty file.
  *same = matched.value && !made;
  return {};
}

PatchResult CompareWithCarrier(Platform& os, const CarrierFile& carrier, const NativeString& picture,
                               std::span<std::uint8_t> buffer, PictureReader read) {
  const std::span<const std::uint8_t> payload = carrier.payload();
  std::vector<std::uint8_t> copy(payload.begin(), payload.end());
  return PatchPayload(os, copy, carrier.rows(), picture, {.read = read}, buffer);
}

Judged JudgeStanding(Platform& os, CarrierFile& carrier, const NativeString& output, bool png,
                     const Workspace& workspace, PictureReader read) {
  Judged judged;
  bool same = false;
  judged.problem = HoldsConversion(os, carrier, output, png, workspace, &same);
  if (judged.problem.kind == PictureProblem::Kind::kCannotOpen && judged.problem.cause.kind == SystemError::Kind::kMissing) {
    judged.problem = {};
    return judged;
  }
  if (judged.problem) {
    judged.standing = Standing::kUnreadable;
    return judged;
  }
  if (same) {
    judged.standing = Standing::kSameBytes;
    return judged;
  }
  judged.patch = CompareWithCarrier(os, carrier, output, workspace.reading(), read);
  const PatchResult& patch = judged.patch;
  if (patch.refusal == Refusal::kPicture && !ReadWhole(patch.picture)) {
    judged.standing = Standing::kUnreadable;
    judged.problem = patch.picture;
  } else if (ShowsCarrier(patch)) {
    judged.standing = patch.held > 0 ? Standing::kPacked : Standing::kSamePicture;
  } else {
    const bool picture = patch.refusal != Refusal::kPicture || patch.picture.kind == PictureProblem::Kind::kWrongSize;
    judged.standing = picture ? Standing::kEdit : Standing::kNoPicture;
  }
  return judged;
}

namespace {

// Whether anything stands at `path`; why not, when it cannot be looked at.
Result<bool> Stands(Platform& os, const NativeString& path) {
  const Result<OpenedFile> opened = os.OpenForRead(path);
  if (opened.error.kind == SystemError::Kind::kMissing) return {false};
  if (!opened.Ok()) return {true, opened.error};
  os.Close(opened.value.handle);
  return {true};
}

void Convert(Platform& os, const ConversionRequest& request, const Workspace& workspace, ConversionWatcher* watcher,
             Conversion& conversion) {
  Outcome& outcome = conversion.outcome;
  if ((outcome.error = TestCarrierName(os, request.source))) return;
  const NativeChar* suffix = request.png ? kPngSuffix : kBmpSuffix;
  conversion.output = request.base + suffix;
  CarrierFile carrier(os);
  if ((outcome.error = carrier.Open(request.source, request.shape))) return;
  // What stands at the output's name is judged, so that nothing of a
  // person's is replaced unknown; what cannot be looked at is a failure.
  const auto look = [&] {
    const Result<bool> stands = Stands(os, conversion.output);
    if (!stands.Ok()) {
      conversion.stood = {Standing::kUnreadable, {}, {PictureProblem::Kind::kCannotOpen, stands.error}};
      outcome.error = {Status::kIoError, Step::kReadOutput, stands.error};
    }
    return stands.value;
  };
  bool stands = look();
  if (outcome.error) return;
  if (watcher) watcher->SeeCarrier(carrier);
  // The payload is held whole where it is judged, or goes out as a picture
  // or proof; else it streams from the carrier into the output.
  if (request.png || watcher || stands) {
    outcome.error = carrier.Hold(workspace.reading());
    outcome.form = carrier.form();
    outcome.bitmap = carrier.bitmap();
    if (watcher && carrier.held()) watcher->SeePayload(carrier);
    if (outcome.error) return;
  }
  Canvas canvas;
  if (request.png) conversion.trouble = canvas.Open(carrier.payload(), carrier.rows());
  conversion.fault = canvas.Fault();
  if (request.png && conversion.trouble == Canvas::Trouble::kNone && (canvas.Width() == 0 || canvas.Height() == 0)) {
    outcome.error = {Status::kRefused};
    return;
  }
  if (request.png && conversion.trouble != Canvas::Trouble::kNone) {
    // A bitmap that shows no picture comes out as it converts, so that every
    // carrier of a tree has its file to take back.
    conversion.writtenAsBmp = true;
    suffix = kBmpSuffix;
    conversion.output = request.base + suffix;
    stands = look();
    if (outcome.error) return;
  }
  const bool png = suffix == kPngSuffix;
  if (stands) {
    conversion.stood = JudgeStanding(os, carrier, conversion.output, png, workspace, request.read);
    switch (conversion.stood.standing) {
      case Standing::kMissing:
      case Standing::kSamePicture: break;
      case Standing::kSameBytes:
        if (request.rewrite) break;
        [[fallthrough]];
      case Standing::kPacked: outcome.unchanged = true; return;
      case Standing::kEdit:
      case Standing::kNoPicture:
        if (request.force) break;
        conversion.kept = true;
        return;
      case Standing::kUnreadable:
        outcome.error = {Status::kIoError, Step::kReadOutput, conversion.stood.problem.cause};
        return;
    }
  }
  outcome.error = MakeOutput(os, {request.base, suffix, request.checkOnly}, [&](OutputTarget& target) {
    const Ending ending = MakeCarrierOutput(os, carrier, png, target, workspace, workspace.reading());
    const Error made = ending.error;
    if (!png) {
      // Streamed, the payload shows what it holds as it goes.
      outcome.form = carrier.form();
      outcome.bitmap = ending.bitmap;
    }
    if (watcher && !made && !request.checkOnly) watcher->SeeStaged(request.base + kStagingSuffix);
    // The carrier is let go before the output takes its name.
    return made ? made : carrier.Close();
  }, conversion.writtenAsBmp ? request.bmpBackup : request.backup, &conversion.backup);
}

}  // namespace

Conversion ConvertCarrier(Platform& os, const ConversionRequest& request, const Workspace& workspace,
                          ConversionWatcher* watcher) {
  Conversion conversion;
  // Whatever runs out of memory, the files it took are let go on the way out.
  try {
    Convert(os, request, workspace, watcher, conversion);
  } catch (const std::bad_alloc&) {
    conversion.outcome = {{Status::kOutOfMemory}};
  }
  return conversion;
}
