#include "conversion.h"

#include <new>

#include "../convert/bmp_output.h"
#include "picture.h"
#include "png_output.h"
#include "standing.h"

namespace {

// Whether anything stands at `path`: a file, or what cannot be looked at.
bool Stands(Platform& os, const NativeString& path) {
  const Result<OpenedFile> opened = os.OpenForRead(path);
  if (!opened.Ok()) return opened.error.kind != SystemError::Kind::kMissing;
  os.Close(opened.value.handle);
  return true;
}

// What converting `carrier`, held whole, to `output` does to what stands
// there already: replace it (it shows the carrier's picture in other
// bytes), leave it as it is (it holds what the conversion writes), or keep
// it (it shows an edit, or cannot be read), which `conversion` then tells.
enum class Standing { kReplace, kLeave, kKeep };
Standing Judge(Platform& os, const ConversionRequest& request, CarrierFile& carrier, bool png,
               const Workspace& workspace, Conversion& conversion) {
  bool same = false;
  if (!HoldsConversion(os, carrier, conversion.output, png, workspace, &same) && same)
    return request.rewrite ? Standing::kReplace : Standing::kLeave;
  const PatchResult patch = CompareWithCarrier(os, carrier, conversion.output, workspace.reading());
  if (ShowsCarrier(patch)) return Standing::kReplace;
  conversion.kept = true;
  conversion.keptPatch = patch;
  return Standing::kKeep;
}

void Convert(Platform& os, const ConversionRequest& request, const Workspace& workspace, ConversionWatcher* watcher,
             Conversion& conversion) {
  Outcome& outcome = conversion.outcome;
  if ((outcome.error = TestCarrierName(os, request.source))) return;
  const NativeChar* suffix = request.png ? kPngSuffix : kBmpSuffix;
  conversion.output = request.base + suffix;
  bool stands = !request.force && Stands(os, conversion.output);
  CarrierFile carrier(os);
  if ((outcome.error = carrier.Open(request.source))) return;
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
  if (request.png && !ShowsPicture(carrier.payload(), carrier.rows())) {
    if (outcome.bitmap.form == BitmapForm::kRows && (outcome.bitmap.width == 0 || outcome.bitmap.height == 0)) {
      outcome.error = {Status::kRefused};
      return;
    }
    // A bitmap that shows no picture comes out as it converts, so that every
    // carrier of a tree has its file to take back.
    conversion.writtenAsBmp = true;
    suffix = kBmpSuffix;
    conversion.output = request.base + suffix;
    stands = !request.force && Stands(os, conversion.output);
  }
  const bool png = suffix == kPngSuffix;
  if (stands) {
    switch (Judge(os, request, carrier, png, workspace, conversion)) {
      case Standing::kReplace: break;
      case Standing::kLeave: outcome.unchanged = true; return;
      case Standing::kKeep: return;
    }
  }
  outcome.error = MakeOutput(os, {request.base, suffix, request.checkOnly}, [&](OutputTarget& target) {
    Error made;
    if (png) {
      made = WritePngOutput(carrier.payload(), carrier.rows(), target, workspace.writing());
    } else {
      BmpOutput bmp(os, workspace.writing(), workspace.gathering());
      const Ending ending = carrier.Pour(target, bmp, workspace.reading());
      made = ending.error;
      outcome.form = carrier.form();
      outcome.bitmap = ending.bitmap;
    }
    if (watcher && !made && !request.checkOnly) watcher->SeeStaged(request.base + kStagingSuffix);
    // The carrier is let go before the output takes its name.
    return made ? made : carrier.Close();
  });
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
