// One carrier converted as quillane-convert converts it: an output that
// stands is judged first, left as it is when it holds what the conversion
// writes, kept when it shows an edit, and replaced otherwise.
#pragma once

#include "../convert/carrier.h"
#include "../convert/job.h"
#include "patch.h"

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
  bool force = false;      // what stands at the output's name is replaced, whatever it shows
  bool checkOnly = false;  // everything read and tested, nothing written
  // What stands and holds what the conversion writes is written again, so
  // that a watcher sees it written.
  bool rewrite = false;
};

struct Conversion {
  Outcome outcome;  // kRefused for a bitmap of no pixels asked for as PNG
  NativeString output;  // where it went or would go, or the output kept
  bool writtenAsBmp = false;  // asked for as PNG, a bitmap that shows no picture went out as BMP
  bool kept = false;          // the output stood and showed an edit, or no picture: left as it was
  PatchResult keptPatch;      // how the kept output stands to the carrier
};

// Converts `request.source`, through the workspace's buffers; `watcher`,
// where there is one, sees it, and the payload is then held whole.
Conversion ConvertCarrier(Platform& os, const ConversionRequest& request, const Workspace& workspace,
                          ConversionWatcher* watcher = nullptr);
