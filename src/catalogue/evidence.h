// What --catalogue proves of one conversion, taken while the job has its
// files open: the SHA-256 of the carrier, of its payload and of the output,
// and what the carried bitmap shows. A hash is kept only where it is of the
// file the job converted or wrote.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "../convert/carrier.h"
#include "../os/system.h"
#include "../picture/conversion.h"
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

// Witnesses one conversion of a carrier held whole, step by step, reading
// through `buffer` (the job's reading buffer will do): the carrier hashed
// whole through its handle, before its payload is read; its payload hashed
// and looked at, the carrier's hash kept only if the file is still as it
// was opened; and the output's staging file known once complete.
class Witness final : public ConversionWatcher {
 public:
  Witness(Platform& os, std::span<std::uint8_t> buffer) : os_(os), buffer_(buffer) {}

  void SeeCarrier(const CarrierFile& carrier) override;
  void SeePayload(const CarrierFile& carrier) override;
  void SeeStaged(const NativeString& staging) override;
  // What the job proved, the output it wrote, `written`, read back if that
  // is still the file the job wrote; none of an output when it wrote none.
  Evidence Conclude(const NativeString& written);

 private:
  Platform& os_;
  std::span<std::uint8_t> buffer_;
  std::optional<FileId> written_;
  Evidence evidence_;
};
