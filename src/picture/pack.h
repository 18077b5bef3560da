// The way back: an edited picture put into the carrier it came from, in
// four steps: the carrier read, the picture read into its pixels, the
// patch judged, the carrier written again. Only the payload's pixel bytes
// change; every other byte of the carrier, and its length, stay as they
// were, and a pixel whose colour did not change keeps its stored bits.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "../convert/file_io.h"
#include "../convert/job.h"
#include "held_payload.h"
#include "patch.h"
#include "picture.h"

// A carrier read whole: its file, still open, so that it is written again
// from the very bytes read, and its payload in memory.
struct Carrier {
  explicit Carrier(Platform& os) : file(os, kNoFile) {}

  ScopedFile file;
  FileStamp stamp;  // as the file was opened
  CarrierForm form = CarrierForm::kImage;
  HeldPayload payload;
  BitmapRows rows;
  BitmapInfo bitmap;  // what the payload shows of itself
};

// Why a picture does not go back.
enum class Refusal {
  kNone,
  kPicture,         // the picture cannot be read: the patch's `picture` says why
  kTransparent,     // pixels the bitmap cannot hold: `pixels`
  kOffPalette,      // colours the palette lacks: `pixels` and `offColours`
  kNotStorable,     // the bitmap's pixels cannot be had, and the picture is not its conversion
  kCarrierChanged,  // the carrier changed while it was packed
  kTwoEdits,        // two pictures of the carrier show different edits
};

// What a picture does to its carrier's payload.
struct PatchResult {
  Refusal refusal = Refusal::kNone;
  PictureProblem picture;
  PixelTally pixels;
  std::vector<OffColour> offColours;  // the commonest, most pixels first
  std::uint64_t changed = 0;          // pixels stored anew
  std::uint64_t mapped = 0;           // of them, stored as the nearest entry of the palette
  double largestDeltaE = 0;           // the farthest such a pixel went
  std::size_t farColourCount = 0;     // colours of them moved farther than kVisibleDeltaE
  std::vector<OffColour> farColours;  // the commonest of those, most pixels first
};

// Colours a result lists at most.
inline constexpr std::size_t kColoursListed = 5;

// Opens the carrier at `path` and holds its payload, reading through
// `buffer`; kUnsupported, with what it showed, when it does not convert.
Error ReadCarrier(Platform& os, const NativeString& path, Carrier* carrier, std::span<std::uint8_t> buffer);

// Reads the picture at `picture` into `payload`, a carrier's payload whose
// rows are `rows` or a copy of it, through `buffer`. `nearest`: a colour a
// palette lacks is stored as its nearest entry.
PatchResult PatchPayload(Platform& os, std::span<std::uint8_t> payload, const BitmapRows& rows,
                         const NativeString& picture, bool nearest, std::span<std::uint8_t> buffer);

// Whether a picture that gave `patch` shows its carrier's own pixels.
inline bool ShowsCarrier(const PatchResult& patch) { return patch.refusal == Refusal::kNone && patch.changed == 0; }

// Hands the bytes converting `payload`, whose rows are `rows`, writes as
// BMP to `take`, a piece the size of `scratch` at a time.
bool StreamConverted(std::span<const std::uint8_t> payload, const BitmapRows& rows, std::span<std::uint8_t> scratch,
                     const ByteSink& take);

// Writes the carrier with its payload as `output`, through a staging file
// that takes that name in one step, keeping the carrier's permissions;
// kRefused when the carrier changed since it was read. With `backup`, the
// file `output` names is kept first as StagedOutput::Commit keeps it.
Error WriteCarrierFile(Platform& os, Carrier& carrier, const NativeString& output, std::span<std::uint8_t> buffer,
                       const BackupNamer& backup = {}, NativeString* kept = nullptr);

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
  BackupNamer backup = {};  // where the file the output replaces is kept; empty for no backup
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
PackOutcome Pack(Platform& os, const PackJob& job, const Workspace& workspace);
