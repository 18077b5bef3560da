// The carrier GIF file, in one place: opened once, its payload poured into
// an output as it is read or held whole in memory, and the carrier written
// again around another payload from the very file that was read.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "bitmap_rows.h"
#include "file_io.h"
#include "output_writer.h"

class CarrierFile {
 public:
  explicit CarrierFile(Platform& os) : os_(os), file_(os, kNoFile) {}

  // Opens the carrier at `path`, to be taken for one as `shape` says:
  // kUnsupported at kOpenSource when it cannot be opened.
  Error Open(const NativeString& path, Shape shape = Shape::kProbed);
  OpenedFile opened() const { return {file_.get(), stamp_}; }
  CarrierForm form() const { return form_; }

  // Pours the payload through `writer` into `target`, from the file through
  // `buffer` (twice when the writer asks) or as it is held.
  Ending Pour(OutputTarget& target, OutputWriter& writer, std::span<std::uint8_t> buffer);

  // Reads the payload whole, through `buffer`, and finds its rows: kDamaged,
  // with what the payload showed, when they do not fit it.
  Error Hold(std::span<std::uint8_t> buffer);
  bool held() const { return held_; }
  std::span<std::uint8_t> payload() { return payload_; }
  std::span<const std::uint8_t> payload() const { return payload_; }
  const BitmapRows& rows() const { return rows_; }
  const BitmapInfo& bitmap() const { return bitmap_; }

  // Writes to `out`, through `buffer`, the carrier as it was read with
  // `payload` in its chain: the bytes before and after the chain as they
  // are, the chain laid out as the reader reads it, the file's permissions
  // kept. kRefused when the file changed since it was opened.
  Error WriteWith(std::span<const std::uint8_t> payload, FileHandle out, std::span<std::uint8_t> buffer);

  // Lets the file go: kIoError when its close fails.
  Error Close();

 private:
  Platform& os_;
  ScopedFile file_;
  FileStamp stamp_;
  CarrierForm form_ = CarrierForm::kImage;
  Shape shape_ = Shape::kProbed;
  bool held_ = false;
  std::vector<std::uint8_t> payload_;
  BitmapRows rows_;
  BitmapInfo bitmap_;
};
