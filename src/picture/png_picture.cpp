// libpng reads: it reports errors by jumping back to where the call began,
// so the reading keeps all its state in one struct reached through a
// pointer, and the function that sets the jump point holds no object a jump
// could skip. Writing needs no such library: rows are filtered and deflated
// here, through zlib.

#include "png_picture.h"

#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

// What an ancillary chunk may take, inflated, and how many may be kept:
// room for a colour profile, far below what a hostile one claims.
constexpr png_alloc_size_t kChunkLimit = 8 * 1024 * 1024;
constexpr png_uint_32 kChunkCountLimit = 1000;

// zlib's run-length strategy finds the runs a game's art is made of about
// as well as its default does, in a fraction of the time. Runs look back
// only a byte, but a window smaller than the image makes zlib slide it, and
// walk its whole hash table each time, so it is as large as the image, up to
// zlib's largest.
constexpr int kCompressionLevel = 6;
constexpr int kMinWindowBits = 9, kMaxWindowBits = 15;
constexpr int kMemoryLevel = 8;
constexpr std::size_t kIdatSize = 64 * 1024;
constexpr std::uint8_t kTypeTrueColour = 2, kTypeIndexed = 3, kTypeTrueColourAlpha = 6;
constexpr std::uint8_t kFilterNone = 0, kFilterPaeth = 4;

// Where IHDR's width and height lie, right after the signature.
constexpr std::size_t kIhdrType = 12, kIhdrWidth = 16, kIhdrHeight = 20, kIhdrEnd = 24;

struct Reading {
  png_structp png = nullptr;
  png_infop info = nullptr;
  PictureFile* file = nullptr;
  std::uint32_t width = 0, height = 0;
  PictureSink* sink = nullptr;
  PictureProblem problem;  // what the file or the reading found, ahead of libpng's words
  bool outOfMemory = false;
  char message[200] = {};  // libpng's last word
  std::vector<std::uint8_t> row;
  PictureInfo picture;
};

void OnError(png_structp png, png_const_charp message) {
  auto* reading = static_cast<Reading*>(png_get_error_ptr(png));
  std::snprintf(reading->message, sizeof reading->message, "%s", message);
  png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

png_voidp Allocate(png_structp png, png_alloc_size_t size) {
  void* block = std::malloc(size);
  if (!block) static_cast<Reading*>(png_get_mem_ptr(png))->outOfMemory = true;
  return block;
}

void Free(png_structp, png_voidp block) { std::free(block); }

void PutBigEndian32(std::uint8_t* bytes, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
}

std::uint32_t BigEndian32(std::span<const std::uint8_t> bytes, std::size_t at) {
  return std::uint32_t{bytes[at]} << 24 | std::uint32_t{bytes[at + 1]} << 16 | std::uint32_t{bytes[at + 2]} << 8 |
         bytes[at + 3];
}

void OnRead(png_structp png, png_bytep data, std::size_t size) {
  auto* reading = static_cast<Reading*>(png_get_io_ptr(png));
  reading->problem = reading->file->Read(data, size);
  if (reading->problem) png_error(png, "read");
}

// Indices stay indices, one byte each; every other form becomes 8-bit RGBA,
// tRNS and all, 16-bit samples rounded to the nearest 8-bit ones.
void ChooseForm(Reading* r, int colourType) {
  PictureInfo& picture = r->picture;
  if (colourType != PNG_COLOR_TYPE_PALETTE) {
    png_set_expand(r->png);
    png_set_scale_16(r->png);
    png_set_gray_to_rgb(r->png);
    png_set_add_alpha(r->png, kOpaque, PNG_FILLER_AFTER);
    return;
  }
  picture.indexed = true;
  png_colorp colours = nullptr;
  int count = 0;
  png_get_PLTE(r->png, r->info, &colours, &count);
  png_bytep alphas = nullptr;
  int alphaCount = 0;
  png_get_tRNS(r->png, r->info, &alphas, &alphaCount, nullptr);
  for (int i = 0; i < count; ++i)
    picture.palette.push_back({colours[i].red, colours[i].green, colours[i].blue, i < alphaCount ? alphas[i] : kOpaque});
  png_set_packing(r->png);
}

bool Decode(Reading* r) {
  if (setjmp(png_jmpbuf(r->png))) return false;
  png_set_read_fn(r->png, r, OnRead);
  png_set_crc_action(r->png, PNG_CRC_ERROR_QUIT, PNG_CRC_ERROR_QUIT);
  // Image data past the picture's end, and palette indices past the palette, are errors.
  png_set_benign_errors(r->png, 0);
  png_set_user_limits(r->png, r->width, r->height);
  png_set_chunk_malloc_max(r->png, kChunkLimit);
  png_set_chunk_cache_max(r->png, kChunkCountLimit);
  png_read_info(r->png, r->info);
  r->picture.width = r->width;
  r->picture.height = r->height;
  ChooseForm(r, png_get_color_type(r->png, r->info));
  png_read_update_info(r->png, r->info);
  r->row.resize(png_get_rowbytes(r->png, r->info));
  r->sink->Begin(r->picture);
  // Interlaced rows come pass by pass, each pass's pixels as a run of their own.
  const int passes = png_get_interlace_type(r->png, r->info) == PNG_INTERLACE_ADAM7 ? 7 : 1;
  for (int pass = 0; pass < passes; ++pass) {
    const png_uint_32 columns = passes == 1 ? r->width : PNG_PASS_COLS(r->width, pass);
    const png_uint_32 rows = passes == 1 ? r->height : PNG_PASS_ROWS(r->height, pass);
    if (columns == 0 || rows == 0) continue;
    for (png_uint_32 i = 0; i < rows; ++i) {
      png_read_row(r->png, r->row.data(), nullptr);
      PixelRun run{i, 0, 1, columns, r->row.data()};
      if (passes > 1) {
        run.y = PNG_PASS_START_ROW(pass) + i * PNG_PASS_ROW_OFFSET(pass);
        run.x = PNG_PASS_START_COL(pass);
        run.step = PNG_PASS_COL_OFFSET(pass);
      }
      r->sink->Take(run);
    }
  }
  png_read_end(r->png, nullptr);
  return true;
}

bool Contains(const char* text, const char* part) { return std::strstr(text, part) != nullptr; }

// Each byte less the guess from the bytes left, above and above left of it.
// Written without branches, over rows and outputs that never overlap, so
// that the compiler takes many bytes at a time.
void PaethRow(const std::uint8_t* __restrict row, const std::uint8_t* __restrict above, std::size_t size,
              std::size_t pixelBytes, std::uint8_t* __restrict out) {
  const std::size_t first = std::min(pixelBytes, size);
  for (std::size_t i = 0; i < first; ++i) out[i] = static_cast<std::uint8_t>(row[i] - above[i]);
  const std::uint8_t* __restrict left = row;
  const std::uint8_t* __restrict corner = above;
  for (std::size_t j = 0; j + pixelBytes < size; ++j) {
    const int a = left[j], b = above[j + pixelBytes], c = corner[j];
    const int toLeft = std::abs(b - c), toUp = std::abs(a - c), toCorner = std::abs(a + b - 2 * c);
    const int upOrCorner = toUp <= toCorner ? b : c;
    const int guess = toLeft <= std::min(toUp, toCorner) ? a : upOrCorner;
    out[j + pixelBytes] = static_cast<std::uint8_t>(row[j + pixelBytes] - guess);
  }
}

// The PNG file a row at a time: each row filtered and deflated as it
// comes, the compressed data cut into IDAT chunks as the output fills.
class PngEncoder {
 public:
  PngEncoder(const PngForm& form, const std::function<bool(std::span<const std::uint8_t>)>& write)
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
  const std::function<bool(std::span<const std::uint8_t>)>& write_;
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

  std::uint8_t header[13];
  PutBigEndian32(header, form_.width);
  PutBigEndian32(header + 4, form_.height);
  header[8] = static_cast<std::uint8_t>(indexed ? form_.depth : 8);
  header[9] = indexed ? kTypeIndexed
                      : form_.colours == PngForm::Colours::kTrueColourAlpha ? kTypeTrueColourAlpha : kTypeTrueColour;
  header[10] = header[11] = header[12] = 0;  // deflate, adaptive filters, not interlaced
  if (!write_(kPngSignature) || !Chunk("IHDR", header)) return false;
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

// Palette rows go as they are, for their indices are no quantities; colours
// take Paeth's guess from the pixels left, above and above left, which
// suits photographs and flat art alike.
void PngEncoder::Filter(std::uint8_t* out) const {
  if (form_.colours == PngForm::Colours::kIndexed) {
    out[0] = kFilterNone;
    std::copy(row_.begin(), row_.end(), out + 1);
    return;
  }
  out[0] = kFilterPaeth;
  PaethRow(row_.data(), above_.data(), row_.size(), pixelBytes_, out + 1);
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

PictureProblem ReadPng(PictureFile& file, std::uint32_t width, std::uint32_t height, PictureSink& sink) {
  // The size is told before libpng is given the file, so that a picture
  // larger than its bitmap is refused with its own size. libpng takes only
  // a file that opens with this IHDR, so the size it reads is this one.
  const std::span<const std::uint8_t> head = file.Peek(kIhdrEnd);
  if (head.size() == kIhdrEnd && std::memcmp(&head[kIhdrType], "IHDR", 4) == 0 &&
      (BigEndian32(head, kIhdrWidth) != width || BigEndian32(head, kIhdrHeight) != height))
    return PictureProblem::WrongSize(BigEndian32(head, kIhdrWidth), BigEndian32(head, kIhdrHeight));
  Reading reading;
  reading.file = &file;
  reading.width = width;
  reading.height = height;
  reading.sink = &sink;
  reading.png = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, &reading, OnError, OnWarning, &reading, Allocate, Free);
  if (reading.png) reading.info = png_create_info_struct(reading.png);
  struct Release {
    Reading& r;
    ~Release() { png_destroy_read_struct(&r.png, &r.info, nullptr); }
  } release{reading};
  if (!reading.info) return {PictureProblem::Kind::kOutOfMemory};
  if (Decode(&reading)) return {};
  if (reading.problem) return reading.problem;
  if (reading.outOfMemory) return {PictureProblem::Kind::kOutOfMemory};
  const char* message = reading.message;
  if (Contains(message, "CRC error") || Contains(message, "incorrect data check")) return {PictureProblem::Kind::kChecksum};
  if (Contains(message, "Not enough image data")) return {PictureProblem::Kind::kCutShort};
  return PictureProblem::Damaged(message);
}

bool WritePng(const PngForm& form, const std::function<void(std::uint32_t y, std::uint8_t* row)>& fill,
              const std::function<bool(std::span<const std::uint8_t>)>& write, bool* outOfMemory) {
  *outOfMemory = false;
  return PngEncoder(form, write).Encode(fill, outOfMemory);
}
