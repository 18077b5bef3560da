// The way back: an edited picture put into the carrier it came from, in
// four steps: the carrier read, the pictures read into its pixels, the
// patch judged, the carrier written again. Only the payload changes: its
// pixels, and with --palette its palette, in place; RLE data encoded anew,
// or with --resize a bitmap of another size, at its new length. Every
// other byte of the carrier stays as it was, and a pixel whose colour did
// not change keeps its stored bits.
//
// A pack remembers by what it leaves: each picture of the carrier that
// showed the carrier as it was, holding nothing of a person's, is brought in
// line with the carrier written, so that every picture of it then shows
// what it holds, and packing again changes nothing.
#pragma once

#include <vector>

#include "../convert/file_io.h"
#include "../convert/job.h"
#include "patch.h"

// One pack, as the tools run it.
struct PackJob {
  NativeString carrier;
  NativeString output;  // the carrier itself, or where -o puts it
  // Where the pictures made of the carrier may stand, its PNG and its BMP,
  // of which the one that holds an edit goes back.
  std::vector<NativeString> pictures;
  // Where other pictures of it may stand, to bring in line too.
  std::vector<NativeString> others = {};
  Shape shape = Shape::kProbed;  // how strictly the carrier is taken for one
  bool inPlace = false;  // the output is the carrier, which an unchanged picture leaves alone
  PatchOptions take = {};  // how an edit is taken; pictures are read as PNG or BMP
  bool checkOnly = false;
  BackupName backup = {};  // where the file the output replaces is kept; empty for no backup
  bool keepPayloads = false;  // the outcome holds the payload before and after, to be looked at
};

// A picture brought in line with the carrier written, and where it was kept
// first where it held colours the palette lacks, which only it holds.
struct InLine {
  NativeString picture;
  NativeString kept;
};

struct PackOutcome {
  Error error;  // kRefused: `patch.refusal` says why
  CarrierForm form = CarrierForm::kImage;
  BitmapInfo bitmap;
  PatchResult patch;
  NativeString picture;    // the picture taken, or with kTwoEdits or kNoPicture the first of them
  NativeString other;      // with kTwoEdits or kNoPicture, the second
  bool unchanged = false;  // the picture shows the carrier's own pixels
  NativeString backup;     // where the file the output replaced was kept, if anywhere
  std::vector<InLine> inLine;  // the pictures brought in line, or with a check that would be
  bool inLineFailed = false;   // `error` is of the last of them, and the carrier was not replaced
  // With keepPayloads, of a carrier packed or that would be: its payload, and the one written.
  std::vector<std::uint8_t> before, after;
};

// The four steps for `job`, with the workspace's buffers. Of two pictures,
// the one that shows other pixels than the carrier goes back; both when
// they show the same, and neither when they differ from each other.
PackOutcome PackCarrier(Platform& os, const PackJob& job, const Workspace& workspace);
