#include "pack.h"

#include <algorithm>
#include <new>

#include "../convert/bmp_output.h"
#include "conversion.h"
#include "png_output.h"

namespace {

// What `picture` does to the carrier's payload, `payload` or a copy of it;
// a bitmap whose pixels cannot be had takes back only its own conversion.
PatchResult Patch(Platform& os, CarrierFile& carrier, std::vector<std::uint8_t>& payload, const NativeString& picture,
                  PatchOptions options, const Workspace& workspace) {
  options.read = ReadPicture;
  PatchResult result = PatchPayload(os, payload, carrier.rows(), picture, options, workspace.reading());
  if (result.refusal != Refusal::kNotStorable) return result;
  bool same = false;
  result.picture = HoldsConversion(os, carrier, picture, false, workspace, &same);
  result.refusal = result.picture ? Refusal::kPicture : same ? Refusal::kNone : Refusal::kNotStorable;
  return result;
}

// A payload this large is not copied for a picture before it is seen to stand.
constexpr std::size_t kLookFirstAbove = std::size_t{1} << 20;

// Whether a picture may stand at `path`, for a payload of `size` bytes: a
// copy made for one that does not is memory held for nothing, which for a
// large bitmap is worth a look first.
bool MayStand(Platform& os, const NativeString& path, std::size_t size) {
  if (size <= kLookFirstAbove) return true;
  const Result<OpenedFile> opened = os.OpenForRead(path);
  if (!opened.Ok()) return opened.error.kind != SystemError::Kind::kMissing;
  os.Close(opened.value.handle);
  return true;
}

// Whether a picture that gave `result` does not stand at all.
bool Absent(const PatchResult& result) {
  return result.refusal == Refusal::kPicture && result.picture.kind == PictureProblem::Kind::kCannotOpen &&
         result.picture.cause.kind == SystemError::Kind::kMissing;
}

// A picture that stands, read into a copy of the carrier's payload.
struct Read {
  NativeString picture;
  std::vector<std::uint8_t> payload;
  PatchResult result;
};

// Patches the carrier with whichever picture that stands holds the edit;
// with kNoPicture when none stands, kTwoEdits when two hold different edits.
// The payload that holds the edit is `written`; the pictures that showed
// the carrier as it was are `unedited`.
PatchResult PatchWithEdit(Platform& os, CarrierFile& carrier, const PackJob& job, const Workspace& workspace,
                          PackOutcome& outcome, std::vector<std::uint8_t>& written, std::vector<Read>& unedited) {
  const std::span<const std::uint8_t> payload = carrier.payload();
  std::vector<Read> read;
  for (const NativeString& picture : job.pictures) {
    if (!MayStand(os, picture, payload.size())) continue;
    Read& one = read.emplace_back(Read{picture, {payload.begin(), payload.end()}, {}});
    one.result = Patch(os, carrier, one.payload, picture, job.take, workspace);
    if (Absent(one.result)) read.pop_back();
  }
  PatchResult refused;
  if (read.empty()) {
    // Named where they were looked for.
    outcome.picture = job.pictures.front();
    outcome.other = job.pictures.back();
    refused.refusal = Refusal::kNoPicture;
    return refused;
  }
  const auto edited = [](const Read& one) { return !ShowsCarrier(one.result); };
  const auto chosen = std::find_if(read.begin(), read.end(), edited);
  Read& taken = chosen == read.end() ? read.front() : *chosen;
  outcome.picture = taken.picture;
  // A picture that cannot be read at all says so before anything is weighed against it.
  const PictureProblem::Kind problem = taken.result.picture.kind;
  if (problem == PictureProblem::Kind::kCannotOpen || problem == PictureProblem::Kind::kCannotRead) return taken.result;
  for (const Read& one : read) {
    if (&one == &taken || !edited(one)) continue;
    // An edit made twice, as when one picture was saved in both forms, is one edit.
    if (one.result.refusal != Refusal::kNone || taken.result.refusal != Refusal::kNone || one.payload != taken.payload) {
      outcome.other = one.picture;
      refused.refusal = Refusal::kTwoEdits;
      return refused;
    }
  }
  const PatchResult result = taken.result;
  written = chosen == read.end() ? std::vector<std::uint8_t>(payload.begin(), payload.end()) : std::move(taken.payload);
  for (Read& one : read) {
    if (!edited(one)) unedited.push_back(std::move(one));
  }
  return result;
}

// The pictures to bring in line once the carrier's payload holds the edit:
// those read that showed it as it was, and the others that do, judged
// against `original`, what the carrier held.
std::vector<Read> PicturesToBring(Platform& os, CarrierFile& carrier, const PackJob& job, const Workspace& workspace,
                                  std::span<const std::uint8_t> original, std::vector<Read> unedited) {
  for (const NativeString& picture : job.others) {
    if (!MayStand(os, picture, original.size())) continue;
    Read& one = unedited.emplace_back(Read{picture, {original.begin(), original.end()}, {}});
    one.result = Patch(os, carrier, one.payload, picture, {}, workspace);
    if (!ShowsCarrier(one.result)) unedited.pop_back();
  }
  return unedited;
}

// The payload the carrier is written with, and its rows.
struct Written {
  std::vector<std::uint8_t> payload;
  BitmapRows rows;
};

// Writes `picture`, one of the carrier's, anew as the carrier converts once
// it holds `written`, through its own staging file; one that holds colours
// the palette lacks, which only it holds, is kept first under a numbered name.
Error BringInLine(Platform& os, Written& written, const Read& picture, const Workspace& workspace, InLine* done) {
  const BackupName kept = picture.result.held > 0 ? BackupName{picture.picture + NATIVE_TEXT(".~1~"), true} : BackupName{};
  const auto make = [&](OutputTarget& target) {
    if (picture.picture.ends_with(kPngSuffix)) return WritePngOutput(written.payload, written.rows, target, workspace.writing());
    BmpOutput bmp(os, workspace.writing(), workspace.gathering());
    return PourPayload(written.payload, target, bmp).error;
  };
  return MakeOutput(os, {picture.picture, NATIVE_TEXT("")}, make, kept, &done->kept);
}

// Writes the carrier with its patched payload as `output`, through a
// staging file that takes that name in one step, once the pictures to bring
// in line show it; kRefused when the carrier changed since it was read.
Error WriteCarrierFile(Platform& os, CarrierFile& carrier, Written& written, const PackJob& job,
                       const Workspace& workspace, const std::vector<Read>& bring, PackOutcome& outcome) {
  StagedOutput out(os);
  if (Error e = out.Create(job.output + kStagingSuffix, job.output)) return e;
  if (Error e = carrier.WriteWith(written.payload, out.file(), workspace.writing())) return e;
  // Before the carrier takes its name: cut off between the two, the
  // pictures show the edit and pack again to it, never the other way round.
  for (const Read& picture : bring) {
    InLine& done = outcome.inLine.emplace_back(InLine{picture.picture, {}});
    if (Error e = BringInLine(os, written, picture, workspace, &done)) {
      outcome.inLineFailed = true;
      return e;
    }
  }
  if (Error e = carrier.Close()) return e;
  return out.Commit(job.backup, &outcome.backup);
}

PackOutcome PackSteps(Platform& os, const PackJob& job, const Workspace& workspace) {
  PackOutcome outcome;
  if ((outcome.error = TestCarrierName(os, job.carrier))) return outcome;
  CarrierFile carrier(os);
  if ((outcome.error = carrier.Open(job.carrier, job.shape))) return outcome;
  outcome.error = carrier.Hold(workspace.reading());
  outcome.form = carrier.form();
  outcome.bitmap = carrier.bitmap();
  if (outcome.error) return outcome;
  Written written;
  std::vector<Read> unedited;
  outcome.patch = PatchWithEdit(os, carrier, job, workspace, outcome, written.payload, unedited);
  if (outcome.patch.refusal != Refusal::kNone) {
    outcome.error = {Status::kRefused};
    return outcome;
  }
  outcome.unchanged = ShowsCarrier(outcome.patch);
  if (outcome.unchanged) {
    outcome.error = carrier.Close();
    // Elsewhere, the carrier goes as it is: its bytes, permissions and time.
    if (!outcome.error && !job.inPlace && !job.checkOnly) {
      if (const SystemError error = os.CopyFileTo(job.carrier, job.output, job.output + kStagingSuffix))
        outcome.error = {Status::kIoError, Step::kReplaceOutput, error};
    }
    return outcome;
  }
  FindBitmapRows(written.payload, written.payload.size(), &written.rows);
  const std::vector<Read> bring = PicturesToBring(os, carrier, job, workspace, carrier.payload(), std::move(unedited));
  if (job.checkOnly) {
    for (const Read& picture : bring) outcome.inLine.push_back({picture.picture, {}});
    outcome.error = carrier.Close();
  } else {
    outcome.error = WriteCarrierFile(os, carrier, written, job, workspace, bring, outcome);
    if (outcome.error.status == Status::kRefused) outcome.patch.refusal = Refusal::kCarrierChanged;
  }
  if (job.keepPayloads && !outcome.error) {
    outcome.before.assign(carrier.payload().begin(), carrier.payload().end());
    outcome.after = std::move(written.payload);
  }
  return outcome;
}

}  // namespace

PackOutcome PackCarrier(Platform& os, const PackJob& job, const Workspace& workspace) {
  // Whatever runs out of memory, the files it took are let go on the way out.
  try {
    return PackSteps(os, job, workspace);
  } catch (const std::bad_alloc&) {
    PackOutcome outcome;
    outcome.error = {Status::kOutOfMemory};
    return outcome;
  }
}
