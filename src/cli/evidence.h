// What --catalogue proves of one conversion, taken while the job has its
// files open: the SHA-256 of the carrier, of its payload and of the output,
// and what the carried bitmap shows. A hash is kept only where it is of the
// file the job converted or wrote.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "../convert/job.h"
#include "../os/system.h"
#include "../picture/pixels.h"
#include "sha256.h"

struct Evidence {
  std::optional<Sha256Digest> carrier;  // the whole carrier, unchanged from its opening to the job's end
  std::optional<Sha256Digest> payload;  // the chain's bytes, which the output was made of
  std::optional<Sha256Digest> output;   // the output the job wrote, read back once it took its name
  std::optional<std::uint64_t> carrierBytes;
  std::optional<std::uint64_t> outputBytes;
  bool showsPicture = false;  // a bitmap with pixels that its BMP or PNG shows
  std::vector<Rgba> palette;  // a palette bitmap's colours, in index order
};

// Passes a job's payload on to `inner` and witnesses it: the carrier hashed
// as the job opened it, before its payload is poured, through `buffer` (the
// job's reading buffer will do), and checked unchanged when the payload has
// ended; the payload hashed as it comes; and the staging file `staging`
// identified once it is complete.
class WitnessWriter final : public OutputWriter {
 public:
  WitnessWriter(Platform& os, OutputWriter& inner, std::span<std::uint8_t> buffer, NativeString staging)
      : os_(os), inner_(inner), buffer_(buffer), staging_(std::move(staging)) {}

  Error Start(FileHandle file, const OpenedFile& source) override;
  Error Append(std::span<const std::uint8_t> bytes) override;
  Ending Finish(CarrierForm form) override;

  // What the job that ended as `outcome` proved, its output `output` read
  // back if that is still the file the job wrote.
  Evidence Take(const Outcome& outcome, const NativeString& output);

 private:
  Platform& os_;
  OutputWriter& inner_;
  std::span<std::uint8_t> buffer_;
  NativeString staging_;
  FileHandle file_ = kNoFile;
  OpenedFile source_;
  bool started_ = false;   // the carrier is hashed at the first pass only
  bool finished_ = false;  // the last pass had the payload whole
  Sha256 payload_;
  std::vector<std::uint8_t> head_;  // the payload's first bytes: its headers and palette
  std::optional<FileId> written_;
  Evidence evidence_;
};

// The one place --catalogue reads a carried bitmap's headers itself, from
// the payload's first bytes `head`: whether it shows a picture, and a
// palette's colours, into `evidence`.
void LookAt(const BitmapInfo& bitmap, std::span<const std::uint8_t> head, Evidence* evidence);
