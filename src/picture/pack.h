// The way back: an edited picture put into the carrier it came from, in
// four steps: the carrier read, the picture read into its pixels, the
// patch judged, the carrier written again. Only the payload's pixel bytes
// change; every other byte of the carrier, and its length, stay as they
// were, and a pixel whose colour did not change keeps its stored bits.
#pragma once

#include <vector>

#include "../convert/file_io.h"
#include "../convert/job.h"
#include "patch.h"

// One pack, as the tools run it.
struct PackJob {
  NativeString carrier;
  NativeString output;  // the carrier itself, or where -o puts it
  // The pictures made of the carrier, one or two (its PNG and its BMP), of
  // which the one that holds an edit goes back.
  std::vector<NativeString> pictures;
  bool inPlace = false;  // the output is the carrier, which an unchanged picture leaves alone
  bool nearest = false;
  bool checkOnly = false;
  BackupName backup;  // where the file the output replaces is kept; empty for no backup
};

struct PackOutcome {
  Error error;  // kRefused: `patch.refusal` says why
  CarrierForm form = CarrierForm::kImage;
  BitmapInfo bitmap;
  PatchResult patch;
  NativeString picture;    // the picture taken, or with kTwoEdits the first of them
  NativeString other;      // with kTwoEdits, the second
  bool unchanged = false;  // the picture shows the carrier's own pixels
  NativeString backup;     // where the file the output replaced was kept, if anywhere
};

// The four steps for `job`, with the workspace's buffers. Of two pictures,
// the one that shows other pixels than the carrier goes back; both when
// they show the same, and neither when they differ from each other.
PackOutcome PackCarrier(Platform& os, const PackJob& job, const Workspace& workspace);
