// One carrier converted as quillane-convert and the window convert it: what
// stands at the output's name is judged against the carrier first, left as
// it is when it holds what the conversion writes or a picture the carrier
// holds already, kept when it shows an edit or is no picture unless asked
// to replace it, and a failure when it cannot be read.
#pragma once

#include <span>

#include "../convert/carrier.h"
#include "../convert/job.h"
#include "patch.h"
#include "picture.h"

// Whether the file at `path` holds exactly what converting `carrier`, held
// whole, writes: as PNG when `png`, else as BMP. A problem only when the
// file cannot be read.
PictureProblem HoldsConversion(Platform& os, CarrierFile& carrier, const NativeString& path, bool png,
                               const Workspace& workspace, bool* same);

// How the picture at `picture`, read by `read`, stands to `carrier`, held
// whole, which it leaves as it was: the patch it would make, read through
// `buffer`.
PatchResult CompareWithCarrier(Platform& os, const CarrierFile& carrier, const NativeString& picture,
                               std::span<std::uint8_t> buffer, PictureReader read = ReadPicture);

// How what stands at an output's name stands to its carrier.
enum class Standing {
  kMissing,      // nothing stands there
  kSameBytes,    // exactly what the conversion writes
  kSamePicture,  // the carrier's picture in other bytes
  kPacked,       // a picture that packs to what the carrier holds, a colour the palette lacks as its nearest entry
  kEdit,         // another picture: an edit
  kNoPicture,    // read whole, and no picture of the bitmap's: kept as an edit is, for it may be one
  kUnreadable,   // it cannot be looked at or read, which `problem` tells
};

struct Judged {
  Standing standing = Standing::kMissing;
  PatchResult patch;       // for kEdit, kNoPicture and kPacked, what it would do to the carrier
  PictureProblem problem;  // for kUnreadable, why
};

// Judges what stands at `output`, an output of `carrier`, held whole, as
// PNG when `png`, else as BMP, reading a picture with `read`.
Judged JudgeStanding(Platform& os, CarrierFile& carrier, const NativeString& output, bool png,
                     const Workspace& workspace, PictureReader read = ReadPicture);

// Whether `standing` holds something that may be a person's work: an edit,
// or a file that is no picture.
inline bool HoldsWork(Standing standing) { return standing == Standing::kEdit || standing == Standing::kNoPicture; }

// Sees a conversion at its steps, for what a catalogue proves of it.
class ConversionWatcher {
 public:
  // The carrier as opened, before its payload is read.
  virtual void SeeCarrier(const CarrierFile& carrier) = 0;
  // Its payload, held whole.
  virtual void SeePayload(const CarrierFile& carrier) = 0;
  // The output complete in its staging file, before it takes its name.
  virtual void SeeStaged(const NativeString& staging) = 0;

 protected:
  ~ConversionWatcher() = default;
};

struct ConversionRequest {
  NativeString source;
  NativeString base;       // the output is base + its suffix
  bool png = false;        // the PNG output, or for a bitmap that shows no picture its BMP
  bool force = false;      // an edit, or a file that is no picture, at the output's name is replaced too
  bool checkOnly = false;  // everything read and tested, nothing written
  // What stands and holds what the conversion writes is written again, so
  // that a watcher sees it written.
  bool rewrite = false;
  Shape shape = Shape::kProbed;  // how strictly the source is taken for a carrier
  BackupName backup = {};     // where what the output replaces is kept; none when empty
  BackupName bmpBackup = {};  // the same, for a bitmap that shows no picture going out as BMP instead of PNG
  PictureReader read = ReadPicture;
};

struct Conversion {
  Outcome outcome;  // kRefused for a bitmap of no pixels asked for as PNG
  NativeString output;  // where it went or would go
  bool writtenAsBmp = false;  // asked for as PNG, a bitmap that shows no picture went out as BMP
  Canvas::Trouble trouble = Canvas::Trouble::kNone;  // asked for as PNG, why it shows no picture
  RleFault fault = RleFault::kNone;                  // for RLE data refused
  Judged stood;               // what stood at the output's name, judged
  bool kept = false;          // what stood held work (an edit, or no picture) and was left as it was
  NativeString backup;        // where what the output replaced was kept, if anywhere
};

// Converts `request.source`, through the workspace's buffers; `watcher`,
// where there is one, sees it, and the payload is then held whole.
Conversion ConvertCarrier(Platform& os, const ConversionRequest& request, const Workspace& workspace,
                          ConversionWatcher* watcher = nullptr);
