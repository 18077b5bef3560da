// libpng reports errors by jumping back to where the call began, so the
// reading keeps all its state in one struct reached through a pointer, and
// the function that sets the jump point holds no object a jump could skip.

#include "png_reader.h"

#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "png_format.h"

namespace {

// What an ancillary chunk may take, inflated, and how many may be kept:
// room for a colour profile, far below what a hostile one claims.
constexpr png_alloc_size_t kChunkLimit = 8 * 1024 * 1024;
constexpr png_uint_32 kChunkCountLimit = 1000;

struct Reading {
  png_structp png = nullptr;
  png_infop info = nullptr;
  PictureFile* file = nullptr;
  PictureTarget target;
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
  picture.alpha = (colourType & PNG_COLOR_MASK_ALPHA) != 0 || png_get_valid(r->png, r->info, PNG_INFO_tRNS) != 0;
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
  png_set_user_limits(r->png, r->target.width, r->target.height);
  png_set_chunk_malloc_max(r->png, kChunkLimit);
  png_set_chunk_cache_max(r->png, kChunkCountLimit);
  png_read_info(r->png, r->info);
  r->picture.width = r->target.width;
  r->picture.height = r->target.height;
  ChooseForm(r, png_get_color_type(r->png, r->info));
  // Updating the information takes libpng's rows: its row at the larger of
  // the file's depth and ours, and the previous row at the file's; then comes ours.
  const std::uint64_t fileRow = png_get_rowbytes(r->png, r->info);
  const std::uint64_t ownRow = std::uint64_t{r->target.width} * (r->picture.indexed ? 1 : 4);
  const std::uint64_t rows = std::max(fileRow, ownRow) + fileRow + ownRow;
  const std::uint64_t limit = std::max(kPngRowsFloor, kPngRowsPerTargetRow * r->target.rowBytes);
  if (rows > limit) {
    r->problem = PictureProblem::RowsTooLarge(rows, limit);
    return false;
  }
  png_read_update_info(r->png, r->info);
  r->row.resize(png_get_rowbytes(r->png, r->info));
  r->sink->Begin(r->picture);
  // Interlaced rows come pass by pass, each pass's pixels as a run of their own.
  const int passes = png_get_interlace_type(r->png, r->info) == PNG_INTERLACE_ADAM7 ? 7 : 1;
  for (int pass = 0; pass < passes; ++pass) {
    const png_uint_32 columns = passes == 1 ? r->target.width : PNG_PASS_COLS(r->target.width, pass);
    const png_uint_32 passRows = passes == 1 ? r->target.height : PNG_PASS_ROWS(r->target.height, pass);
    if (columns == 0 || passRows == 0) continue;
    for (png_uint_32 i = 0; i < passRows; ++i) {
      png_read_row(r->png, r->row.data(), nullptr);
      PixelRun run{i, 0, 1, columns, r->row.data()};
      if (passes > 1) {
        run.y = PNG_PASS_START_ROW(pass) + i * PNG_PASS_ROW_OFFSET(pass);
        run.x = PNG_PASS_START_COL(pass);
        run.step = PNG_PASS_COL_OFFSET(pass);
      }
      r->sink->Accept(run);
    }
  }
  png_read_end(r->png, nullptr);
  return true;
}

bool Contains(const char* text, const char* part) { return std::strstr(text, part) != nullptr; }


}  // namespace

PictureProblem ReadPng(PictureFile& file, const PictureTarget& target, PictureSink& sink) {
  // The size is told before libpng is given the file, so that a picture
  // larger than its bitmap is refused with its own size. libpng takes only
  // a file that opens with this IHDR, so the size it reads is this one.
  const std::span<const std::uint8_t> head = file.Peek(png::kIhdrEnd);
  if (head.size() == png::kIhdrEnd && std::memcmp(&head[png::kIhdrType], "IHDR", 4) == 0 &&
      (BigEndian32(head, png::kIhdrWidth) != target.width || BigEndian32(head, png::kIhdrHeight) != target.height))
    return PictureProblem::WrongSize(BigEndian32(head, png::kIhdrWidth), BigEndian32(head, png::kIhdrHeight));
  Reading reading;
  reading.file = &file;
  reading.target = target;
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
