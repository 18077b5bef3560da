#include "pack.h"

#include <algorithm>
#include <new>

#include "conversion.h"

namespace {

// What `picture` does to the carrier's payload, `payload` or a copy of it;
// a bitmap whose pixels cannot be had takes back only its own conversion.
PatchResult Patch(Platform& os, CarrierFile& carrier, std::span<std::uint8_t> payload, const NativeString& picture,
                  bool nearest, const Workspace& workspace) {
  PatchResult result = PatchPayload(os, payload, carrier.rows(), picture, nearest, workspace.reading(), ReadPicture);
  if (result.refusal != Refusal::kNotStorable) return result;
  bool same = false;
  result.picture = HoldsConversion(os, carrier, picture, false, workspace, &same);
  result.refusal = result.picture ? Refusal::kPicture : same ? Refusal::kNone : Refusal::kNotStorable;
  return result;
}

// Patches the carrier with whichever of two pictures holds the edit, and
// names it; with kTwoEdits when both do and their edits differ.
PatchResult PatchWithEdit(Platform& os, CarrierFile& carrier, const PackJob& job, const Workspace& workspace,
                          NativeString* taken) {
  const std::span<std::uint8_t> payload = carrier.payload();
  std::vector<std::uint8_t> copies[2];
  PatchResult results[2];
  bool edited[2];
  for (int i = 0; i < 2; ++i) {
    copies[i].assign(payload.begin(), payload.end());
    results[i] = Patch(os, carrier, copies[i], job.pictures[i], job.nearest, workspace);
    edited[i] = !ShowsCarrier(results[i]);
  }
  // An edit made twice, as when one picture was saved in both forms, is one edit.
  const bool same = results[0].refusal == Refusal::kNone && results[1].refusal == Refusal::kNone &&
                    copies[0] == copies[1];
  const int chosen = edited[0] || !edited[1] ? 0 : 1;
  *taken = job.pictures[chosen];
  if (edited[0] && edited[1] && !same) {
    PatchResult refused;
    refused.refusal = Refusal::kTwoEdits;
    return refused;
  }
  std::copy(copies[chosen].begin(), copies[chosen].end(), payload.begin());
  return results[chosen];
}

// Writes the carrier with its patched payload as `output`, through a
// staging file that takes that name in one step; kRefused when the carrier
// changed since it was read.
Error WriteCarrierFile(Platform& os, CarrierFile& carrier, const PackJob& job, const Workspace& workspace,
                       NativeString* kept) {
  StagedOutput out(os);
  if (Error e = out.Create(job.output + kStagingSuffix, job.output)) return e;
  if (Error e = carrier.WriteWith(carrier.payload(), out.file(), workspace.writing())) return e;
  if (Error e = carrier.Close()) return e;
  return out.Commit(job.backup, kept);
}

PackOutcome PackSteps(Platform& os, const PackJob& job, const Workspace& workspace) {
  PackOutcome outcome;
  if ((outcome.error = TestCarrierName(os, job.carrier))) return outcome;
  CarrierFile carrier(os);
  if ((outcome.error = carrier.Open(job.carrier))) return outcome;
  outcome.error = carrier.Hold(workspace.reading());
  outcome.form = carrier.form();
  outcome.bitmap = carrier.bitmap();
  if (outcome.error) return outcome;
  if (job.pictures.size() == 1) {
    outcome.picture = job.pictures[0];
    outcome.patch = Patch(os, carrier, carrier.payload(), outcome.picture, job.nearest, workspace);
  } else {
    outcome.patch = PatchWithEdit(os, carrier, job, workspace, &outcome.picture);
    if (outcome.patch.refusal == Refusal::kTwoEdits) outcome.other = job.pictures[1];
  }
  if (outcome.patch.refusal != Refusal::kNone) {
    outcome.error = {Status::kRefused};
    return outcome;
  }
  outcome.unchanged = outcome.patch.changed == 0;
  if (job.checkOnly || (outcome.unchanged && job.inPlace)) {
    outcome.error = carrier.Close();
    return outcome;
  }
  outcome.error = WriteCarrierFile(os, carrier, job, workspace, &outcome.backup);
  if (outcome.error.status == Status::kRefused) outcome.patch.refusal = Refusal::kCarrierChanged;
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
