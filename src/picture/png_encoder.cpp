// PNG files written: each row filtered and deflated here through zlib as
// it comes, which libpng's writer did three times slower on the same rows.

#include "png_encoder.h"

#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "png_format.h"

namespace {

// zlib's run-length strategy finds the runs a game's art is made of about
// as well as its default does, in a fraction of the time. Runs look back
// only a byte, but a window smaller than the image makes zlib slide it, and
// walk its whole hash table each time, so it is as large as the image, up to
// zlib's largest.
constexpr int kCompressionLevel = 6;
constexpr int kMinWindowBits = 9, kMaxWindowBits = 15;
constexpr int kMemoryLevel = 8;
constexpr std::size_t kIdatSize = 64 * 1024;
constexpr std::uint8_t kFilterNone = 0, kFilterSub = 1, kFilterUp = 2;
// What Sub takes the first pixel of a row from: zeros, as many as a pixel's bytes.
constexpr std::uint8_t kNoPixel[8] = {};

void PutBigEndian32(std::uint8_t* bytes, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
}

// The sum of a filtered row's bytes, each taken as signed: the smaller, the
// better deflate packs it.
std::uint64_t Weight(const std::uint8_t* __restrict row, const std::uint8_t* __restrict from, std::size_t size) {
  std::uint64_t sum = 0;
  for (std::size_t i = 0; i < size; ++i) sum += static_cast<std::uint64_t>(std::abs(static_cast<std::int8_t>(row[i] - from[i])));
  return sum;
}

void Difference(const std::uint8_t* __restrict row, const std::uint8_t* __restrict from, std::size_t size,
                std::uint8_t* __restrict out) {
  for (std::size_t i = 0; i < size; ++i) out[i] = static_cast<std::uint8_t>(row[i] - from[i]);
}

// The PNG file a row at a time: each row filtered and deflated as it
// comes, the compressed data cut into IDAT chunks as the output fills.
class PngEncoder {
 public:
  PngEncoder(const PngForm& form, const ByteSink& write)
      : form_(form), write_(write) {}
  ~PngEncoder() {
    if (started_) deflateEnd(&stream_);
  }

  bool Encode(const std::function<void(std::uint32_t y, std::uint8_t* row)>& fill, bool* outOfMemory);

 private:
  bool Chunk(const char* type, std::span<const std::uint8_t> data);
  bool Deflate(std::span<const std::uint8_t> bytes, int flush);
  void Filter(std::uint8_t* out) const;

  const PngForm& form_;
  const ByteSink& write_;
  z_stream stream_{};
  bool started_ = false;
  std::size_t pixelBytes_ = 0;
  std::vector<std::uint8_t> row_, above_, filtered_;
  std::unique_ptr<std::uint8_t[]> compressed_;  // not cleared: deflate fills what is written
};

bool PngEncoder::Encode(const std::function<void(std::uint32_t y, std::uint8_t* row)>& fill, bool* outOfMemory) {
  const bool indexed = form_.colours == PngForm::Colours::kIndexed;
  pixelBytes_ = indexed ? 1 : form_.colours == PngForm::Colours::kTrueColourAlpha ? 4 : 3;
  const std::size_t rowBytes =
      indexed ? (std::size_t{form_.width} * form_.depth + 7) / 8 : std::size_t{form_.width} * pixelBytes_;
  const std::uint64_t dataSize = std::uint64_t{form_.height} * (rowBytes + 1);
  int windowBits = kMinWindowBits;
  while (windowBits < kMaxWindowBits && (std::uint64_t{1} << windowBits) < dataSize) ++windowBits;
  started_ = deflateInit2(&stream_, kCompressionLevel, Z_DEFLATED, windowBits, kMemoryLevel, Z_RLE) == Z_OK;
  *outOfMemory = !started_;
  if (!started_) return false;
  row_.resize(rowBytes);
  above_.assign(rowBytes, 0);
  filtered_.resize(rowBytes + 1);
  compressed_ = std::make_unique_for_overwrite<std::uint8_t[]>(kIdatSize);
  stream_.next_out = compressed_.get();
  stream_.avail_out = static_cast<uInt>(kIdatSize);

  std::uint8_t header[png::kIhdrSize];
  PutBigEndian32(header, form_.width);
  PutBigEndian32(header + 4, form_.height);
  header[8] = static_cast<std::uint8_t>(indexed ? form_.depth : 8);
  header[9] = indexed ? png::kTypeIndexed
                      : form_.colours == PngForm::Colours::kTrueColourAlpha ? png::kTypeTrueColourAlpha : png::kTypeTrueColour;
  header[10] = header[11] = header[12] = 0;  // deflate, adaptive filters, not interlaced
  if (!write_(png::kSignature) || !Chunk("IHDR", header)) return false;
  if (indexed) {
    std::vector<std::uint8_t> palette;
    for (const Rgba& colour : form_.palette) palette.insert(palette.end(), colour.begin(), colour.begin() + 3);
    if (!Chunk("PLTE", palette)) return false;
  }
  for (std::uint32_t y = 0; y < form_.height; ++y) {
    fill(y, row_.data());
    Filter(filtered_.data());
    if (!Deflate(filtered_, Z_NO_FLUSH)) return false;
    row_.swap(above_);
  }
  return Deflate({}, Z_FINISH) && Chunk("IEND", {});
}

// Palette rows go as they are, for their indices are no quantities; a row
// of colours takes the difference from the row above or from the pixel to
// its left, whichever leaves the smaller sum: as small as Paeth's guess for
// flat art and photographs alike, and read back several times faster.
void PngEncoder::Filter(std::uint8_t* out) const {
  if (form_.colours == PngForm::Colours::kIndexed) {
    out[0] = kFilterNone;
    std::copy(row_.begin(), row_.end(), out + 1);
    return;
  }
  // Sub takes the pixel to the left, none for the first: the row against
  // itself a pixel on, its first pixel as it is.
  const std::size_t first = std::min(pixelBytes_, row_.size()), rest = row_.size() - first;
  const std::uint8_t* row = row_.data();
  const std::uint64_t up = Weight(row, above_.data(), row_.size());
  const std::uint64_t sub = Weight(row, kNoPixel, first) + Weight(row + first, row, rest);
  if (up <= sub) {
    out[0] = kFilterUp;
    Difference(row, above_.data(), row_.size(), out + 1);
  } else {
    out[0] = kFilterSub;
    std::copy_n(row, first, out + 1);
    Difference(row + first, row, rest, out + 1 + first);
  }
}

bool PngEncoder::Deflate(std::span<const std::uint8_t> bytes, int flush) {
  stream_.next_in = const_cast<Bytef*>(bytes.data());
  stream_.avail_in = static_cast<uInt>(bytes.size());
  for (;;) {
    const int result = deflate(&stream_, flush);
    if (result != Z_OK && result != Z_STREAM_END && result != Z_BUF_ERROR) return false;
    const bool full = stream_.avail_out == 0;
    if (full || (flush == Z_FINISH && result == Z_STREAM_END)) {
      const std::size_t size = kIdatSize - stream_.avail_out;
      if (size > 0 && !Chunk("IDAT", {compressed_.get(), size})) return false;
      stream_.next_out = compressed_.get();
      stream_.avail_out = static_cast<uInt>(kIdatSize);
    }
    if (flush == Z_FINISH ? result == Z_STREAM_END : stream_.avail_in == 0 && !full) return true;
  }
}

bool PngEncoder::Chunk(const char* type, std::span<const std::uint8_t> data) {
  std::uint8_t head[8], tail[4];
  PutBigEndian32(head, static_cast<std::uint32_t>(data.size()));
  std::memcpy(head + 4, type, 4);
  uLong crc = crc32(0, head + 4, 4);
  // zlib takes no data for a request to start afresh.
  if (!data.empty()) crc = crc32(crc, data.data(), static_cast<uInt>(data.size()));
  PutBigEndian32(tail, static_cast<std::uint32_t>(crc));
  return write_(head) && (data.empty() || write_(data)) && write_(tail);
}

}  // namespace

bool WritePng(const PngForm& form, const std::function<void(std::uint32_t y, std::uint8_t* row)>& fill,
              const ByteSink& write, bool* outOfMemory) {
  *outOfMemory = false;
  return PngEncoder(form, write).Encode(fill, outOfMemory);
}

